# Directories below the installation root. The same relative paths reach
# the library sources as definitions, so installed files and the paths the
# library computes cannot drift apart.
set(VRCORE_INSTALL_ETCDIR   "etc/vrcore")        # registry file, windir default
set(VRCORE_INSTALL_DATADIR  "share/data")        # data files ("charset.dat")
set(VRCORE_INSTALL_NLSDIR   "share/vrcore/nls")  # message catalogs
set(VRCORE_INSTALL_LOCKDIR  "var/vrcore/lock")   # named-mutex lock files
set(VRCORE_INSTALL_SPOOLDIR "var/vrcore/spool")  # spool files
set(VRCORE_DIR_DEFINITIONS
  VRCORE_REL_ETCDIR="${VRCORE_INSTALL_ETCDIR}"
  VRCORE_REL_DATADIR="${VRCORE_INSTALL_DATADIR}"
  VRCORE_REL_NLSDIR="${VRCORE_INSTALL_NLSDIR}"
  VRCORE_REL_LOCKDIR="${VRCORE_INSTALL_LOCKDIR}"
  VRCORE_REL_SPOOLDIR="${VRCORE_INSTALL_SPOOLDIR}")
