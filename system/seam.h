// The library's one test seam. Three things pass it, each the system's own
// in production at the cost of one load of a pointer:
//  - the allocations the modules make for themselves (handles, records,
//    buffers handed to callers), tagged by module;
//  - every access to the files the library keeps (the B-tree files and
//    their journals, the name store, the printer files, the registry file,
//    the identifier registry's lock file), through one table of calls;
//  - named points where a test may make an operation fail.
// Tests replace them (tests/support: the failing allocator, the in-memory
// file system with power-loss semantics, the tap on the file table). The
// log files, spool files and named mutexes stay on the real file system:
// they pass system_io() wherever a table is asked for.
#pragma once

#include <atomic>
#include <cstddef>
#include <sys/stat.h>
#include <sys/types.h>

namespace vrcore::system::seam {

// ---- Allocation ----------------------------------------------------------

// Whose allocation it is, so that a test can fail one module's alone.
enum class Module : unsigned char {
    Status,       // status lists and message buffers
    Threads,      // thread records and key storage
    Paths,        // converted paths
    Log,          // message states and text chunks
    Messages,     // catalog texts and work buffers
    Btree,        // handles, pools, page copies, match lists
    NameService,  // objects and strings of the name service
    PrinterNames, // printer records, lists and strings
    Transfer,     // transfer buffers
    Events,       // the encoding contexts of event queues
    Client,       // reply packets and the ping cache of the DPA client
    Rpc,          // decoded stub data of remote calls
};
inline constexpr unsigned kModules = unsigned(Module::Rpc) + 1;

// A test's allocator must be interchangeable with the heap (malloc and
// free underneath): a block it gave may be released after it is gone.
// Modules whose blocks outlive a test (thread records, log states) keep
// the allocator with the block and give the block back to it.
struct Allocator {
    void *(*alloc)(Module m, size_t n);
    void (*release)(Module m, void *p);
};

namespace detail {
extern std::atomic<const Allocator *> g_allocator;
} // namespace detail

// The allocator in use: the heap's unless a test put another in place.
inline const Allocator &CurrentAllocator() {
    return *detail::g_allocator.load(std::memory_order_acquire);
}
inline void *Alloc(Module m, size_t n) { return CurrentAllocator().alloc(m, n); }
inline void Release(Module m, void *p) { CurrentAllocator().release(m, p); }
const Allocator &Heap();
// Puts a test's allocator in place; nullptr restores the heap.
void SetAllocator(const Allocator *a);

// ---- Files ---------------------------------------------------------------

// Whole-file locks: flock(2) locks, or record locks held by the open file
// description (fcntl F_OFD_SETLK). The two kinds never conflict.
enum class LockKind : unsigned char { Flock, Ofd };
enum class LockMode : unsigned char { Unlock, Shared, Exclusive };

// Every entry behaves as its system call: -1 and errno on failure.
struct Io {
    int (*open)(const char *path, int flags, unsigned mode);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void *buf, size_t n);
    ssize_t (*write)(int fd, const void *buf, size_t n);
    ssize_t (*pread)(int fd, void *buf, size_t n, off_t at);
    ssize_t (*pwrite)(int fd, const void *buf, size_t n, off_t at);
    int (*fsync)(int fd);
    int (*ftruncate)(int fd, off_t size);
    int (*fstat)(int fd, struct stat *st);
    int (*fchmod)(int fd, unsigned mode);
    int (*fchown)(int fd, uid_t uid, gid_t gid);
    int (*stat)(const char *path, struct stat *st);
    int (*unlink)(const char *path);
    int (*rename)(const char *from, const char *to);
    // Makes the entries of the directory holding `path` durable.
    int (*sync_dir)(const char *path);
    // Takes or drops a lock of the whole file; without `wait` a lock held
    // elsewhere fails at once (EWOULDBLOCK, or EACCES for a record lock).
    int (*lock)(int fd, LockKind kind, LockMode mode, bool wait);
};

namespace detail {
extern std::atomic<const Io *> g_io;
} // namespace detail

// The table in use: the system's unless a test put another in place.
inline const Io &CurrentIo() { return *detail::g_io.load(std::memory_order_acquire); }
const Io &SystemIo();
// Puts a test's table in place; nullptr restores the system's.
void SetIo(const Io *table);

// ---- Failure points ------------------------------------------------------

enum class Point : unsigned char {
    PageChange, // a B-tree page is about to change (arg: its number)
};

// Asked at each point; true makes the operation fail there.
struct Faults {
    bool (*fails)(void *ctx, Point point, unsigned arg);
    void *ctx;
};

namespace detail {
extern std::atomic<const Faults *> g_faults;
} // namespace detail

inline bool Fails(Point point, unsigned arg) {
    const Faults *f = detail::g_faults.load(std::memory_order_acquire);
    return f && f->fails(f->ctx, point, arg);
}
// Puts a test's points in place; nullptr removes them.
void SetFaults(const Faults *faults);

} // namespace vrcore::system::seam
