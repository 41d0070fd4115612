/* vrcore configuration: the registry file and the installation paths.
 *
 * The registry is one text file ($TS_ROOT/etc/vrcore/registry.reg, or the
 * file named by VRCORE_REGISTRY) holding typed values under keys such as
 * "Software\Halvane\Tessaril\pgr". A key without a hive belongs to
 * HKEY_LOCAL_MACHINE; "\" and "/" both separate its components; keys and
 * value names compare without regard to case. A NULL or empty value name
 * is the key's default value. */
#ifndef VRCORE_VRCFG_H
#define VRCORE_VRCFG_H

#include "vrdefs.h"

VR_BEGIN_DECLS

/* A 32-bit number, or dflt when the file, key or value is missing or the
 * value is of another type. */
VR_EXPORT uint32_t VR_RegGetDword(const char *key, const char *name, uint32_t dflt);

/* A string value; an expandable one has its %NAME% references expanded
 * from the environment. When the file, key or value is missing or the
 * value is of another type, dflt is used instead, or, when dflt is NULL,
 * -1 is returned with buf holding "". Otherwise returns the length of the
 * text; at most size - 1 bytes and a terminator are stored in buf, so a
 * result >= size means the text was cut. -1 also for a NULL key, or a NULL
 * buf with a non-zero size. */
VR_EXPORT long VR_RegGetString(const char *key, const char *name, const char *dflt, char *buf,
                               size_t size);

/* The name of the index-th key directly under `key` (0 first, in the
 * order the file first names them, each once whatever its case), stored
 * as VR_RegGetString stores text; returns its length, or -1 when there is
 * no such key (index past the last, a missing file or key, a NULL key, or
 * a NULL buf with a non-zero size). */
VR_EXPORT long VR_RegEnumKey(const char *key, uint32_t index, char *buf, size_t size);

/* Writes: the file is rewritten atomically under an exclusive lock, and is
 * unchanged on failure. Return 0 or an errno value: EINVAL for a NULL or
 * unwritable key, or a name or text holding control characters; ENOENT
 * when deleting what is absent; ENOMEM; or a system call's error. */
VR_EXPORT int VR_RegSetString(const char *key, const char *name, const char *value);
VR_EXPORT int VR_RegSetExpandString(const char *key, const char *name, const char *value);
VR_EXPORT int VR_RegSetDword(const char *key, const char *name, uint32_t value);
VR_EXPORT int VR_RegDeleteValue(const char *key, const char *name);

/* Installation paths, all derived from TS_ROOT (when set and not empty)
 * or the root the library was built for. */
typedef enum VR_PathKind {
    VR_PATH_ROOT = 0,    /* the installation root */
    VR_PATH_ETC = 1,     /* <root>/etc/vrcore */
    VR_PATH_WINDIR = 2,  /* $windir when set, else <root>/etc/vrcore */
    VR_PATH_DATA = 3,    /* <root>/share/data */
    VR_PATH_CATALOG = 4, /* <root>/share/vrcore/nls */
    VR_PATH_LOCK = 5,    /* <root>/var/vrcore/lock */
    VR_PATH_SPOOL = 6,   /* <root>/var/vrcore/spool */
    VR_PATH_REGISTRY = 7 /* $VRCORE_REGISTRY, else <root>/etc/vrcore/registry.reg */
} VR_PathKind;

/* Stores the path as VR_RegGetString stores text and returns its length;
 * -1 for an unknown kind or a NULL buf with a non-zero size. */
VR_EXPORT long VR_GetPath(VR_PathKind which, char *buf, size_t size);

VR_END_DECLS

#endif /* VRCORE_VRCFG_H */
