/* vrcore system calls: the time, directory, file, locking and option
 * functions every module uses. They follow their POSIX models: -1 (or
 * NULL) and errno on failure, unless stated otherwise. */
#ifndef VRCORE_SYSU_H
#define VRCORE_SYSU_H

#include <dirent.h>
#include <fcntl.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/utsname.h>
#include <time.h>

#include "vrdefs.h"

VR_BEGIN_DECLS

/* Seconds and microseconds since 1970. Successive calls in one process,
 * from any threads, return strictly increasing values. tz is ignored. */
VR_EXPORT int SYSU_Gettimeofday(struct timeval *tv, void *tz);

/* Re-entrant time conversions; the result is copied into the caller's
 * record or buffer (at least SYSU_TIMEBUF_SIZE bytes for the texts). */
#define SYSU_TIMEBUF_SIZE 26
VR_EXPORT struct tm *SYSU_Localtime_r(const time_t *t, struct tm *result);
VR_EXPORT struct tm *SYSU_Gmtime_r(const time_t *t, struct tm *result);
VR_EXPORT char *SYSU_Ctime_r(const time_t *t, char *buffer);
VR_EXPORT char *SYSU_Asctime_r(const struct tm *tm, char *buffer);

/* Files are always opened as bytes; there is no text mode to ask for. */
VR_EXPORT int SYSU_Open(const char *path, int flags, int mode);
/* Creates or truncates a file for writing. */
VR_EXPORT int SYSU_Creat(const char *path, int mode);

/* Directory listing, every entry including "." and "..". SYSU_Readdir_r
 * copies the next entry into *entry and sets *result to entry, or to NULL at
 * the end; it returns 0, or an error number (also left in errno). */
VR_EXPORT DIR *SYSU_Opendir(const char *path);
VR_EXPORT int SYSU_Readdir_r(DIR *dir, struct dirent *entry, struct dirent **result);
VR_EXPORT int SYSU_Closedir(DIR *dir);

/* Byte-range locks described as for fcntl: command F_SETLK (fail at once
 * with EAGAIN when another holder conflicts), F_SETLKW (wait) or F_GETLK;
 * lock->l_type F_RDLCK (shared) or F_WRLCK (exclusive). Locks belong to the
 * open file, not to the process: two descriptors opened separately conflict
 * even within one process, and closing another descriptor of the same file
 * does not drop them. */
VR_EXPORT int SYSU_LockFile(int fd, int command, struct flock *lock);
/* Releases the range described by lock (its type is ignored). */
VR_EXPORT int SYSU_UnlockFile(int fd, const struct flock *lock);

VR_EXPORT int SYSU_Mkdir(const char *path, int mode);
VR_EXPORT int SYSU_Ftruncate(int fd, off_t length);
VR_EXPORT int SYSU_Access(const char *path, int mode);

/* System name and node name as the system reports them, release as
 * "major.minor", machine in capitals ("I386" for the 32-bit x86 family,
 * "MIPS", "ALPHA", otherwise the system's name, e.g. "X86_64"). */
VR_EXPORT int SYSU_Uname(struct utsname *info);

/* Classic option scanning. The variables are the ordinary optarg, optind,
 * opterr and optopt of the C library's interface, declared here exactly as
 * there: a program sees one set of them whichever of the two headers it
 * includes, and SYSU_Getopt and the C library's getopt both use that set.
 * Setting optind to 0 (or to any value other than the one last left)
 * restarts the scan. An option not in the list prints
 * "<argv[0]>: unknown option -<c>" on standard error when opterr is set. */
VR_EXPORT extern char *optarg;
VR_EXPORT extern int optind;
VR_EXPORT extern int opterr;
VR_EXPORT extern int optopt;
VR_EXPORT int SYSU_Getopt(int argc, char *const argv[], const char *options);

VR_END_DECLS

#endif /* VRCORE_SYSU_H */
