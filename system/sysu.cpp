// System calls in their POSIX forms: unique time stamps, time conversions,
// files, directories, byte-range locks, system identification and option
// scanning.

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "system/guard.h"
#include "vrcore/sysu.h"

extern "C" {
// The option variables with their customary initial values. Any reference
// to them (the program's, the C library's getopt, SYSU_Getopt's) goes through
// the dynamic symbol, so all share the one object the loader chose.
VR_EXPORT char *optarg = nullptr;
VR_EXPORT int optind = 1;
VR_EXPORT int opterr = 1;
VR_EXPORT int optopt = '?';
}

namespace vrcore::system::sysu {
namespace {

// Last value handed out, in microseconds since 1970.
std::atomic<int64_t> g_last_time{0};

std::mutex g_readdir_lock;

struct OptionScan {
    std::mutex lock;
    const char *next = nullptr; // rest of the current cluster of options
    int left_optind = 1;        // optind as the last call left it
} g_opt;

int LockCommand(int command) {
    switch (command) {
    case F_SETLK: return F_OFD_SETLK;
    case F_SETLKW: return F_OFD_SETLKW;
    case F_GETLK: return F_OFD_GETLK;
    default: return -1;
    }
}

} // namespace
} // namespace vrcore::system::sysu

using namespace vrcore::system::sysu;

extern "C" {

VR_EXPORT int SYSU_Gettimeofday(struct timeval *tv, void *) try {
    if (!tv) {
        errno = EFAULT;
        return -1;
    }
    timespec ts;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return -1;
    int64_t now = static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
    // Never the same value twice, and never backwards even if the clock is
    // set back: the next value is at least one microsecond past the last.
    int64_t last = g_last_time.load(std::memory_order_relaxed);
    int64_t next;
    do {
        next = now > last ? now : last + 1;
    } while (!g_last_time.compare_exchange_weak(last, next, std::memory_order_relaxed));
    tv->tv_sec = static_cast<time_t>(next / 1000000);
    tv->tv_usec = static_cast<suseconds_t>(next % 1000000);
    return 0;
}
VR_CATCH_ERRNO(-1)

VR_EXPORT struct tm *SYSU_Localtime_r(const time_t *t, struct tm *result) try {
    if (!t || !result) {
        errno = EINVAL;
        return nullptr;
    }
    return localtime_r(t, result);
}
VR_CATCH_ERRNO(nullptr)

VR_EXPORT struct tm *SYSU_Gmtime_r(const time_t *t, struct tm *result) try {
    if (!t || !result) {
        errno = EINVAL;
        return nullptr;
    }
    return gmtime_r(t, result);
}
VR_CATCH_ERRNO(nullptr)

VR_EXPORT char *SYSU_Asctime_r(const struct tm *tm, char *buffer) try {
    if (!tm || !buffer) {
        errno = EINVAL;
        return nullptr;
    }
    return asctime_r(tm, buffer); // NULL and EOVERFLOW when the year does not fit
}
VR_CATCH_ERRNO(nullptr)

VR_EXPORT char *SYSU_Ctime_r(const time_t *t, char *buffer) try {
    struct tm tm;
    if (!buffer || !SYSU_Localtime_r(t, &tm)) {
        if (!buffer) errno = EINVAL;
        return nullptr;
    }
    return SYSU_Asctime_r(&tm, buffer);
}
VR_CATCH_ERRNO(nullptr)

VR_EXPORT int SYSU_Open(const char *path, int flags, int mode) try {
    return open(path, flags, static_cast<mode_t>(mode));
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int SYSU_Creat(const char *path, int mode) try {
    return open(path, O_WRONLY | O_CREAT | O_TRUNC, static_cast<mode_t>(mode));
}
VR_CATCH_ERRNO(-1)

VR_EXPORT DIR *SYSU_Opendir(const char *path) try {
    if (!path) {
        errno = EINVAL;
        return nullptr;
    }
    return opendir(path);
}
VR_CATCH_ERRNO(nullptr)

VR_EXPORT int SYSU_Readdir_r(DIR *dir, struct dirent *entry, struct dirent **result) try {
    if (!dir || !entry || !result) {
        errno = EINVAL;
        return EINVAL;
    }
    std::lock_guard<std::mutex> hold(g_readdir_lock);
    errno = 0;
    struct dirent *d = readdir(dir);
    if (!d) {
        *result = nullptr;
        return errno; // 0 at the end of the directory
    }
    // The system's record may be shorter than struct dirent: copy by field.
    entry->d_ino = d->d_ino;
    entry->d_off = d->d_off;
    entry->d_reclen = d->d_reclen;
    entry->d_type = d->d_type;
    size_t n = strnlen(d->d_name, sizeof(entry->d_name) - 1);
    std::memcpy(entry->d_name, d->d_name, n);
    entry->d_name[n] = '\0';
    *result = entry;
    return 0;
}
VR_CATCH_CODE(ENOMEM, EIO)

VR_EXPORT int SYSU_Closedir(DIR *dir) try {
    if (!dir) {
        errno = EINVAL;
        return -1;
    }
    return closedir(dir);
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int SYSU_LockFile(int fd, int command, struct flock *lock) try {
    int cmd = LockCommand(command);
    if (!lock || cmd < 0) {
        errno = EINVAL;
        return -1;
    }
    lock->l_pid = 0; // required for locks owned by the open file
    return fcntl(fd, cmd, lock);
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int SYSU_UnlockFile(int fd, const struct flock *lock) try {
    if (!lock) {
        errno = EINVAL;
        return -1;
    }
    struct flock unlock = *lock;
    unlock.l_type = F_UNLCK;
    unlock.l_pid = 0;
    return fcntl(fd, F_OFD_SETLK, &unlock);
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int SYSU_Mkdir(const char *path, int mode) try {
    return mkdir(path, static_cast<mode_t>(mode));
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int SYSU_Ftruncate(int fd, off_t length) try { return ftruncate(fd, length); }
VR_CATCH_ERRNO(-1)

VR_EXPORT int SYSU_Access(const char *path, int mode) try { return access(path, mode); }
VR_CATCH_ERRNO(-1)

VR_EXPORT int SYSU_Uname(struct utsname *info) try {
    if (!info) {
        errno = EFAULT;
        return -1;
    }
    struct utsname u;
    if (uname(&u) != 0) return -1;
    *info = u;
    int major = 0, minor = 0;
    std::sscanf(u.release, "%d.%d", &major, &minor);
    std::snprintf(info->release, sizeof info->release, "%d.%d", major, minor);
    const char *m = u.machine;
    if (m[0] == 'i' && m[1] >= '3' && m[1] <= '6' && std::strcmp(m + 2, "86") == 0) {
        std::snprintf(info->machine, sizeof info->machine, "I386");
    } else if (std::strncmp(m, "mips", 4) == 0) {
        std::snprintf(info->machine, sizeof info->machine, "MIPS");
    } else if (std::strncmp(m, "alpha", 5) == 0) {
        std::snprintf(info->machine, sizeof info->machine, "ALPHA");
    } else if (m[0] == '\0') {
        std::snprintf(info->machine, sizeof info->machine, "UNKNOWN");
    } else {
        for (char *p = info->machine; *p; ++p)
            *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    }
    return 0;
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int SYSU_Getopt(int argc, char *const argv[], const char *options) try {
    std::lock_guard<std::mutex> hold(g_opt.lock);
    if (optind == 0 || optind != g_opt.left_optind) { // restart, or moved by the caller
        if (optind == 0) optind = 1;
        g_opt.next = nullptr;
    }
    optarg = nullptr;
    auto leave = [](int c) {
        g_opt.left_optind = optind;
        return c;
    };
    if (!argv || !options || argc <= 0) return leave(-1);
    const char *prog = argv[0] ? argv[0] : "";
    if (!g_opt.next || *g_opt.next == '\0') {
        g_opt.next = nullptr;
        if (optind >= argc || !argv[optind] || argv[optind][0] != '-' || argv[optind][1] == '\0')
            return leave(-1);
        if (std::strcmp(argv[optind], "--") == 0) {
            ++optind;
            return leave(-1);
        }
        g_opt.next = argv[optind] + 1;
    }
    int c = static_cast<unsigned char>(*g_opt.next++);
    const char *opt_entry = (c == ':') ? nullptr : std::strchr(options, c);
    bool quiet = options[0] == ':';
    auto end_of_cluster = [&] {
        if (*g_opt.next == '\0') {
            ++optind;
            g_opt.next = nullptr;
        }
    };
    if (!opt_entry) {
        optopt = c;
        if (opterr && !quiet) std::fprintf(stderr, "%s: unknown option -%c\n", prog, c);
        end_of_cluster();
        return leave('?');
    }
    if (opt_entry[1] != ':') {
        end_of_cluster();
        return leave(c);
    }
    if (*g_opt.next != '\0') { // "-ovalue"
        optarg = const_cast<char *>(g_opt.next);
        ++optind;
    } else if (optind + 1 < argc && argv[optind + 1]) { // "-o value"
        optarg = argv[optind + 1];
        optind += 2;
    } else {
        optopt = c;
        ++optind;
        g_opt.next = nullptr;
        if (quiet) return leave(':');
        if (opterr) std::fprintf(stderr, "%s: option -%c requires an argument\n", prog, c);
        return leave('?');
    }
    g_opt.next = nullptr;
    return leave(c);
}
VR_CATCH_ERRNO(-1)

} // extern "C"
