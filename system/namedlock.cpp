// Named system-wide mutexes on lock files.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "system/config.h"
#include "system/fileio.h"

namespace vrcore::system::cfg {

// One per lock file and process, shared by every handle of that name.
struct NamedMutex::State {
    std::string path;
    pid_t pid = 0; // a child process inherits the table, not the lock
    long refs = 0; // handles; guarded by the table's mutex
    int fd = -1;
    std::recursive_timed_mutex threads; // exclusion between this process's threads
    std::atomic<std::thread::id> owner{};
    long depth = 0; // recursion depth of the owner
    ~State() {
        if (fd >= 0) ::close(fd);
    }
};

namespace {

// Open mutexes by lock-file path. A state leaves the table with its last
// handle.
std::mutex g_table_mutex;
std::map<std::string, NamedMutex::State *> &Table() {
    static auto *t = new std::map<std::string, NamedMutex::State *>;
    return *t;
}

// The lock directory is shared by every user: world-writable with the
// sticky bit, like /var/lock.
int EnsureLockDir(const std::string &dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    size_t slash = dir.rfind('/');
    if (slash != std::string::npos && slash > 0)
        if (int rc = MakeDirs(dir.substr(0, slash), 0755)) return rc;
    if (mkdir(dir.c_str(), 0777) == 0) {
        if (chmod(dir.c_str(), 01777) != 0) {
            // Still usable by this user.
        }
        return 0;
    }
    return errno == EEXIST ? 0 : errno;
}

// The lock files stay on the real file system whatever table tests use.
int FlockWait(int fd, long timeout_ms, std::chrono::steady_clock::time_point deadline) {
    long left = 0;
    if (timeout_ms >= 0) {
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline -
                                                               std::chrono::steady_clock::now());
        left = std::max<long>(0, static_cast<long>(ms.count()));
    }
    int rc =
        system::fileio::Lock(fd, system::seam::LockKind::Flock, system::seam::LockMode::Exclusive,
                             timeout_ms < 0 ? -1 : left, system::seam::SystemIo());
    return rc == EWOULDBLOCK && timeout_ms >= 0 ? ETIMEDOUT : rc;
}

} // namespace

std::string LockFileName(std::string_view name) {
    if (name.empty()) return {};
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f || c == '/' || c == '\\' || c == '%' || (i == 0 && c == '.')) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    out += ".lck";
    if (out.size() > NAME_MAX) return {};
    return out;
}

NamedMutex::NamedMutex() = default;
NamedMutex::~NamedMutex() { Close(); }

int NamedMutex::Open(std::string_view name) {
    try {
        Close();
        if (name.empty()) return EINVAL;
        std::string file = LockFileName(name);
        if (file.empty()) return ENAMETOOLONG;
        std::string dir = LockDir();
        std::string path = dir + "/" + file;
        std::lock_guard<std::mutex> g(g_table_mutex);
        auto &t = Table();
        auto it = t.find(path);
        if (it != t.end() && it->second->pid == getpid()) {
            state_ = it->second;
            ++state_->refs;
            return 0;
        }
        if (int rc = EnsureLockDir(dir)) return rc;
        auto s = std::make_unique<State>();
        s->path = path;
        s->pid = getpid();
        s->fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (s->fd < 0) return errno;
        struct stat st;
        if (fstat(s->fd, &st) == 0 && (st.st_mode & 0777) != 0666 && st.st_uid == geteuid() &&
            fchmod(s->fd, 0666) != 0) {
            // Others may be unable to open it; this process can still lock.
        }
        // An entry left by the parent of a forked child is dropped, not
        // freed: its memory is the parent's copy.
        auto [slot, added] = t.insert({path, s.get()});
        if (!added) slot->second = s.get();
        s->refs = 1;
        state_ = s.release();
        return 0;
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
}

void NamedMutex::Close() {
    if (!state_) return;
    std::lock_guard<std::mutex> g(g_table_mutex);
    if (--state_->refs == 0) {
        // The last handle of a mutex its thread still holds releases it.
        if (state_->pid == getpid() && state_->owner.load() == std::this_thread::get_id())
            while (state_->depth > 0) Unlock();
        auto &t = Table();
        auto it = t.find(state_->path);
        if (it != t.end() && it->second == state_) t.erase(it);
        delete state_;
    }
    state_ = nullptr;
}

std::string NamedMutex::Path() const { return state_ ? state_->path : std::string(); }

int NamedMutex::Lock(long timeout_ms) {
    if (!state_) return EBADF;
    State &s = *state_;
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    if (timeout_ms < 0)
        s.threads.lock();
    else if (!s.threads.try_lock_until(deadline))
        return ETIMEDOUT;
    if (s.depth == 0) {
        if (int rc = FlockWait(s.fd, timeout_ms, deadline)) {
            s.threads.unlock();
            return rc;
        }
        s.owner.store(std::this_thread::get_id());
    }
    ++s.depth;
    return 0;
}

int NamedMutex::Unlock() {
    if (!state_) return EBADF;
    State &s = *state_;
    if (s.owner.load() != std::this_thread::get_id() || s.depth == 0) return EPERM;
    if (--s.depth == 0) {
        s.owner.store(std::thread::id());
        system::fileio::Lock(s.fd, system::seam::LockKind::Flock, system::seam::LockMode::Unlock,
                             -1, system::seam::SystemIo());
    }
    s.threads.unlock();
    return 0;
}

} // namespace vrcore::system::cfg
