# pkg-config file and CMake package (find_package(vrcore) gives the
# imported target vrcore::vrcore).
include(CMakePackageConfigHelpers)
set(VRCORE_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/vrcore)

# The pkg-config file finds its prefix relative to its own location, so an
# installed tree can be moved.
file(RELATIVE_PATH VRCORE_PC_UP
  "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
string(REGEX REPLACE "/$" "" VRCORE_PC_UP "${VRCORE_PC_UP}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/vrcore.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/vrcore.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vrcore.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(EXPORT vrcoreTargets NAMESPACE vrcore:: DESTINATION ${VRCORE_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vrcoreConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vrcoreConfig.cmake
  INSTALL_DESTINATION ${VRCORE_CMAKEDIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vrcoreConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vrcoreConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/vrcoreConfigVersion.cmake
  DESTINATION ${VRCORE_CMAKEDIR})

# The lock directory of the named mutexes is shared by every user of the
# installation: world-writable with the sticky bit, like /var/lock.
install(CODE "
  set(lockdir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VRCORE_INSTALL_LOCKDIR}\")
  file(MAKE_DIRECTORY \"\${lockdir}\")
  execute_process(COMMAND chmod 1777 \"\${lockdir}\")
")
