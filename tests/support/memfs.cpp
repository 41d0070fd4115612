#include "memfs.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace vrtest {
namespace {
MemFs *g_fs = nullptr;
IoTap *g_tap = nullptr;

int Err(int e) {
    errno = e;
    return -1;
}
} // namespace

// ---- MemFs -------------------------------------------------------------------

bool MemFs::Change() {
    if (changes_left == 0) dead_ = true;
    if (dead_) return false;
    if (changes_left > 0) changes_left--;
    return true;
}

void MemFs::Record(Node &n, std::function<void(Bytes &)> change) {
    change(n.data);
    n.unsynced.push_back(std::move(change));
}

void MemFs::Die() {
    fds_.clear();
    dead_ = false;
    changes_left = -1;
}

void MemFs::PowerLoss(std::mt19937 *keep_some) {
    Die();
    auto keep = [&] { return keep_some && (*keep_some)() % 2; };
    auto now = names_;
    names_ = synced_names_;
    for (auto &[n, node] : now) // names made, replaced or removed since the sync
        if ((!synced_names_.count(n) || synced_names_[n] != node) && keep()) names_[n] = node;
    for (auto &[n, node] : synced_names_)
        if (!now.count(n) && keep()) names_.erase(n);
    for (auto &[n, node] : names_) {
        for (auto &change : node->unsynced)
            if (keep()) change(node->synced);
        node->unsynced.clear();
        node->data = node->synced;
    }
}

std::map<std::string, MemFs::Bytes> MemFs::Snapshot() const {
    std::map<std::string, Bytes> s;
    for (auto &[n, node] : synced_names_) s[n] = node->synced;
    return s;
}

void MemFs::Restore(const std::map<std::string, Bytes> &files) {
    Die();
    names_.clear();
    for (auto &[n, bytes] : files) names_[n] = std::make_shared<Node>(Node{bytes, bytes, {}});
    synced_names_ = names_;
}

std::string MemFs::Read(const std::string &path) const {
    auto it = names_.find(path);
    return it == names_.end() ? std::string()
                              : std::string(it->second->data.begin(), it->second->data.end());
}

std::vector<std::string> MemFs::Names() const {
    std::vector<std::string> names;
    for (auto &[n, node] : names_) names.push_back(n);
    return names;
}

struct MemFsCalls {
    using Node = MemFs::Node;
    static MemFs &Fs() { return *g_fs; }
    // The open file of fd, or null: errno EIO once dead (or dying at this `change`), or EBADF.
    static MemFs::Open *Fd(int fd, bool change = false) {
        auto it = Fs().fds_.find(fd);
        int e = Fs().dead_                 ? EIO
                : it == Fs().fds_.end()    ? EBADF
                : change && !Fs().Change() ? EIO
                                           : 0;
        if (e) Err(e);
        return e ? nullptr : &it->second;
    }
    static int Fill(const Node &n, struct stat *st) {
        *st = {};
        st->st_mode = S_IFREG | n.mode;
        st->st_size = off_t(n.data.size());
        st->st_ino = ino_t(reinterpret_cast<uintptr_t>(&n));
        st->st_uid = geteuid();
        st->st_gid = getegid();
        return 0;
    }
    static int Open(const char *path, int flags, unsigned mode) {
        if (Fs().dead_) return Err(EIO);
        auto it = Fs().names_.find(path);
        if (it == Fs().names_.end()) {
            if (!(flags & O_CREAT)) return Err(ENOENT);
            if (!Fs().Change()) return Err(EIO);
            it = Fs().names_.emplace(path, std::make_shared<Node>()).first;
            it->second->mode = mode & 07777 & ~022u;
        } else if ((flags & O_CREAT) && (flags & O_EXCL)) {
            return Err(EEXIST);
        } else if (flags & O_TRUNC) {
            if (!Fs().Change()) return Err(EIO);
            Fs().Record(*it->second, [](MemFs::Bytes &d) { d.clear(); });
        }
        Fs().fds_[Fs().next_fd_] = {it->second, 0};
        return Fs().next_fd_++;
    }
    static int Close(int fd) { return Fs().fds_.erase(fd) ? 0 : Err(EBADF); }
    static ssize_t Pread(int fd, void *buf, size_t n, off_t at) {
        MemFs::Open *o = Fd(fd);
        if (!o) return -1;
        auto &d = o->node->data;
        n = size_t(at) >= d.size() ? 0 : std::min(n, d.size() - size_t(at));
        if (n) std::memcpy(buf, d.data() + at, n);
        return ssize_t(n);
    }
    static ssize_t Pwrite(int fd, const void *buf, size_t n, off_t at) {
        MemFs::Open *o = Fd(fd, true);
        if (!o) return -1;
        auto *b = static_cast<const uint8_t *>(buf);
        Fs().Record(*o->node, [at, bytes = MemFs::Bytes(b, b + n)](MemFs::Bytes &d) {
            if (d.size() < size_t(at) + bytes.size()) d.resize(size_t(at) + bytes.size());
            std::copy(bytes.begin(), bytes.end(), d.begin() + at);
        });
        return ssize_t(n);
    }
    static ssize_t Read(int fd, void *buf, size_t n) {
        MemFs::Open *o = Fd(fd);
        ssize_t got = o ? Pread(fd, buf, n, o->at) : -1;
        if (got > 0) o->at += got;
        return got;
    }
    static ssize_t Write(int fd, const void *buf, size_t n) {
        MemFs::Open *o = Fd(fd);
        ssize_t put = o ? Pwrite(fd, buf, n, o->at) : -1;
        if (put > 0) o->at += put;
        return put;
    }
    static int Fsync(int fd) {
        MemFs::Open *o = Fd(fd, true);
        if (!o) return -1;
        o->node->synced = o->node->data;
        o->node->unsynced.clear();
        return 0;
    }
    static int Ftruncate(int fd, off_t n) {
        MemFs::Open *o = Fd(fd, true);
        if (o) Fs().Record(*o->node, [n](MemFs::Bytes &d) { d.resize(size_t(n)); });
        return o ? 0 : -1;
    }
    static int Fstat(int fd, struct stat *st) {
        MemFs::Open *o = Fd(fd);
        return o ? Fill(*o->node, st) : -1;
    }
    static int Fchmod(int fd, unsigned mode) {
        MemFs::Open *o = Fd(fd);
        if (o) o->node->mode = mode & 07777;
        return o ? 0 : -1;
    }
    static int Fchown(int fd, uid_t, gid_t) { return Fd(fd) ? 0 : -1; }
    static int Stat(const char *path, struct stat *st) {
        if (Fs().dead_) return Err(EIO);
        auto it = Fs().names_.find(path);
        return it == Fs().names_.end() ? Err(ENOENT) : Fill(*it->second, st);
    }
    static int Unlink(const char *path) {
        if (Fs().dead_) return Err(EIO);
        if (!Fs().names_.count(path)) return Err(ENOENT);
        if (!Fs().Change()) return Err(EIO);
        Fs().names_.erase(path);
        return 0;
    }
    static int Rename(const char *from, const char *to) {
        if (Fs().dead_) return Err(EIO);
        auto it = Fs().names_.find(from);
        if (it == Fs().names_.end()) return Err(ENOENT);
        if (!Fs().Change()) return Err(EIO);
        auto node = it->second;
        Fs().names_.erase(it);
        Fs().names_[to] = node;
        return 0;
    }
    // The names of the directory holding `path` alone.
    static int SyncDir(const char *path) {
        if (!Fs().Change()) return Err(EIO);
        auto dir = [](const std::string &p) { return p.substr(0, p.rfind('/') + 1); };
        std::string here = dir(path);
        std::erase_if(Fs().synced_names_, [&](auto &e) { return dir(e.first) == here; });
        for (auto &[n, node] : Fs().names_)
            if (dir(n) == here) Fs().synced_names_[n] = node;
        return 0;
    }
    static int Lock(int fd, vrcore::system::seam::LockKind, vrcore::system::seam::LockMode, bool) {
        return Fd(fd) ? 0 : -1;
    }
    static constexpr vrcore::system::seam::Io kTable = {
        Open,  Close,  Read,   Write, Pread,  Pwrite, Fsync,   Ftruncate,
        Fstat, Fchmod, Fchown, Stat,  Unlink, Rename, SyncDir, Lock};
};

MemFs::MemFs() {
    g_fs = this;
    vrcore::system::seam::SetIo(&MemFsCalls::kTable);
}

MemFs::~MemFs() {
    vrcore::system::seam::SetIo(nullptr);
    g_fs = nullptr;
}

// ---- IoTap ---------------------------------------------------------------------

struct TapCalls {
    using Io = vrcore::system::seam::Io;
    // The path a descriptor was opened as (the system knows those opened before).
    static std::string PathOf(int fd) {
        auto it = g_tap->paths_.find(fd);
        if (it != g_tap->paths_.end()) return it->second;
        char link[PATH_MAX];
        std::string proc = "/proc/self/fd/" + std::to_string(fd);
        ssize_t n = g_tap->under_ == &vrcore::system::seam::SystemIo()
                        ? readlink(proc.c_str(), link, sizeof link)
                        : -1;
        return n > 0 ? std::string(link, size_t(n)) : std::string();
    }
    static std::string PathOf(const char *path) { return path; }
    // Each entry asks the tap first, then calls the table underneath.
    template <IoOp Op, auto M> struct Call;
    template <IoOp Op, class R, class A, class... B, R (*Io::*M)(A, B...)> struct Call<Op, M> {
        static R Run(A a, B... b) {
            if (g_tap->before_(Op, PathOf(a))) {
                errno = EIO;
                return R(-1);
            }
            return (g_tap->under_->*M)(a, b...);
        }
    };
    static int Open(const char *path, int flags, unsigned mode) {
        int fd = Call<IoOp::Open, &Io::open>::Run(path, flags, mode);
        if (fd >= 0) g_tap->paths_[fd] = path;
        return fd;
    }
    // A failed close releases the descriptor all the same.
    static int Close(int fd) {
        bool fail = g_tap->before_(IoOp::Close, PathOf(fd));
        int rc = g_tap->under_->close(fd);
        g_tap->paths_.erase(fd);
        return fail ? Err(EIO) : rc;
    }
#define VR_TAP(op, member) Call<IoOp::op, &Io::member>::Run
    // clang-format off
    static constexpr Io kTable = {
        Open, Close, VR_TAP(Read, read), VR_TAP(Write, write), VR_TAP(Pread, pread),
        VR_TAP(Pwrite, pwrite), VR_TAP(Fsync, fsync), VR_TAP(Ftruncate, ftruncate),
        VR_TAP(Fstat, fstat), VR_TAP(Fchmod, fchmod), VR_TAP(Fchown, fchown), VR_TAP(Stat, stat),
        VR_TAP(Unlink, unlink), VR_TAP(Rename, rename), VR_TAP(SyncDir, sync_dir), VR_TAP(Lock, lock)};
    // clang-format on
#undef VR_TAP
};

IoTap::IoTap(Fn before) : before_(std::move(before)), under_(&vrcore::system::seam::CurrentIo()) {
    g_tap = this;
    vrcore::system::seam::SetIo(&TapCalls::kTable);
}

IoTap::~IoTap() {
    vrcore::system::seam::SetIo(under_);
    g_tap = nullptr;
}

} // namespace vrtest
