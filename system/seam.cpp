// The test seam's production side: the heap, the system's file calls, no
// failure points.
#include "system/seam.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vrcore::system::seam {
namespace {

void *HeapAlloc(Module, size_t n) { return std::malloc(n); }
void HeapRelease(Module, void *p) { std::free(p); }
constexpr Allocator kHeap = {HeapAlloc, HeapRelease};

int SysOpen(const char *path, int flags, unsigned mode) {
    return ::open(path, flags, mode_t(mode));
}
int SysFchmod(int fd, unsigned mode) { return ::fchmod(fd, mode_t(mode)); }

int SysSyncDir(const char *path) {
    char dir[PATH_MAX];
    const char *slash = std::strrchr(path, '/');
    size_t n = slash ? size_t(slash - path) : 0;
    if (n >= sizeof dir) {
        errno = ENAMETOOLONG;
        return -1;
    }
    if (slash && n == 0) n = 1; // the root directory
    std::memcpy(dir, slash ? path : ".", slash ? n : 1);
    dir[slash ? n : 1] = '\0';
    int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int rc = ::fsync(fd);
    int e = errno;
    ::close(fd);
    errno = e;
    return rc;
}

int SysLock(int fd, LockKind kind, LockMode mode, bool wait) {
    if (kind == LockKind::Flock) {
        int op = mode == LockMode::Unlock ? LOCK_UN : mode == LockMode::Shared ? LOCK_SH : LOCK_EX;
        return ::flock(fd, op | (wait ? 0 : LOCK_NB));
    }
    struct flock fl {};
    fl.l_type = short(mode == LockMode::Unlock   ? F_UNLCK
                      : mode == LockMode::Shared ? F_RDLCK
                                                 : F_WRLCK);
    fl.l_whence = SEEK_SET;
    return ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
}

constexpr Io kSystem = {SysOpen,  ::close,     ::read,     ::write,   ::pread,  ::pwrite,
                        ::fsync,  ::ftruncate, ::fstat,    SysFchmod, ::fchown, ::stat,
                        ::unlink, ::rename,    SysSyncDir, SysLock};

} // namespace

namespace detail {
std::atomic<const Allocator *> g_allocator{&kHeap};
std::atomic<const Io *> g_io{&kSystem};
std::atomic<const Faults *> g_faults{nullptr};
} // namespace detail

const Allocator &Heap() { return kHeap; }
void SetAllocator(const Allocator *a) {
    detail::g_allocator.store(a ? a : &kHeap, std::memory_order_release);
}

const Io &SystemIo() { return kSystem; }
void SetIo(const Io *table) {
    detail::g_io.store(table ? table : &kSystem, std::memory_order_release);
}

void SetFaults(const Faults *faults) { detail::g_faults.store(faults, std::memory_order_release); }

} // namespace vrcore::system::seam
