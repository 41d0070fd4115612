// Whole reads and writes, whole-file locks and crash-safe rewrites.
#include "system/fileio.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace vrcore::system::fileio {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFirstPause = std::chrono::microseconds(200);
constexpr auto kLongestPause = std::chrono::microseconds(20000);
constexpr int kTempAttempts = 100;

// Waits until fd can take more bytes; false with errno set on failure.
bool WaitWritable(int fd) {
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, -1) >= 0 || errno == EINTR;
}

// Six characters for a fresh temporary name.
void FillRandom(char *out) {
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<uint64_t> counter{0};
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t x = uint64_t(ts.tv_nsec) ^ (uint64_t(ts.tv_sec) << 30) ^ (uint64_t(getpid()) << 16) ^
                 (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    for (int i = 0; i < 6; ++i) {
        x ^= x >> 31;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 27;
        out[i] = chars[x % (sizeof chars - 1)];
    }
}

// Gives the open file its mode and owner, writes and syncs it, and closes
// it; on failure closes it and removes `path`.
Result Fill(int fd, const std::string &path, std::string_view text, const NewFile &how,
            const system::seam::Io &io) {
    Result r;
    if (how.uid != uid_t(-1) || how.gid != gid_t(-1))
        if (io.fchown(fd, how.uid, how.gid) != 0) {
            // Only a privileged writer may give a file away.
        }
    if (how.mode >= 0 && io.fchmod(fd, unsigned(how.mode)) != 0)
        r = {errno, Step::Mode};
    else if (int e = WriteAll(fd, text.data(), text.size(), io))
        r = {e, Step::Write};
    else if (io.fsync(fd) != 0)
        r = {errno, Step::Sync};
    if (io.close(fd) != 0 && !r.err) r = {errno, Step::Close};
    if (r.err) io.unlink(path.c_str());
    return r;
}

} // namespace

int ReadAll(int fd, std::string &out, size_t limit, const system::seam::Io &io) {
    char buf[16384];
    for (;;) {
        ssize_t n = io.read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return 0;
        if (out.size() + size_t(n) > limit) return EFBIG;
        try {
            out.append(buf, size_t(n));
        } catch (const std::bad_alloc &) {
            return ENOMEM;
        }
    }
}

int WriteAll(int fd, const void *p, size_t n, const system::seam::Io &io) {
    const char *c = static_cast<const char *>(p);
    while (n > 0) {
        ssize_t w = io.write(fd, c, n);
        if (w > 0) {
            c += w;
            n -= size_t(w);
            continue;
        }
        if (w == 0) return EIO;
        if (errno == EINTR) continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitWritable(fd)) continue;
        return errno;
    }
    return 0;
}

int SendAll(int fd, const void *p, size_t n, size_t piece, int timeout_ms) {
    const char *c = static_cast<const char *>(p);
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    while (n > 0) {
        ssize_t k = ::send(fd, c, std::min(n, piece), MSG_NOSIGNAL);
        if (k > 0) {
            c += k;
            n -= size_t(k);
            continue;
        }
        if (k == 0) return EIO;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        int ms = -1;
        if (timeout_ms >= 0) {
            auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return ETIMEDOUT;
            ms = int(std::min<long long>(left, 0x7fffffff));
        }
        pollfd pf{fd, POLLOUT, 0};
        int r = ::poll(&pf, 1, ms);
        if (r < 0 && errno != EINTR) return errno;
    }
    return 0;
}

int Lock(int fd, system::seam::LockKind kind, system::seam::LockMode mode, long wait_ms,
         const system::seam::Io &io) {
    auto held = [kind](int e) {
        return e == EWOULDBLOCK || e == EAGAIN ||
               (kind == system::seam::LockKind::Ofd && e == EACCES);
    };
    // Dropping a lock and waiting without limit block in the call; a
    // limited wait tries again after growing pauses until its end.
    bool blocking = wait_ms < 0 || mode == system::seam::LockMode::Unlock;
    auto deadline = Clock::now() + std::chrono::milliseconds(blocking ? 0 : wait_ms);
    auto pause = std::chrono::duration_cast<Clock::duration>(kFirstPause);
    for (;;) {
        if (io.lock(fd, kind, mode, blocking) == 0) return 0;
        int e = errno;
        if (e == EINTR) continue;
        if (!held(e)) return e;
        if (!blocking) {
            auto now = Clock::now();
            if (now >= deadline) return EWOULDBLOCK;
            pause = std::min(pause, deadline - now);
        }
        // A blocking call may still find the lock held on some file
        // systems: it is tried again after a pause, never in a spin.
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::duration_cast<Clock::duration>(kLongestPause));
    }
}

Result WriteFile(const std::string &path, std::string_view text, const NewFile &how,
                 const system::seam::Io &io) {
    int fd = io.open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, how.create_mode);
    if (fd < 0) return {errno, Step::Create};
    return Fill(fd, path, text, how, io);
}

Result ReplaceFile(const std::string &path, std::string_view text, const NewFile &how,
                   const std::string &temp, const system::seam::Io &io) {
    std::string tmp = temp;
    int fd = -1;
    if (!temp.empty()) {
        fd = io.open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, how.create_mode);
    } else {
        size_t slash = path.rfind('/');
        std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
        std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
        for (int i = 0; i < kTempAttempts; ++i) {
            tmp = dir + "/." + base + ".XXXXXX";
            FillRandom(&tmp[tmp.size() - 6]);
            fd = io.open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, how.create_mode);
            if (fd >= 0 || errno != EEXIST) break;
        }
    }
    if (fd < 0) return {errno, Step::Create};
    Result r = Fill(fd, tmp, text, how, io);
    if (r.err) return r;
    if (io.rename(tmp.c_str(), path.c_str()) != 0) {
        r = {errno, Step::Rename};
        io.unlink(tmp.c_str());
        return r;
    }
    if (io.sync_dir(path.c_str()) != 0) return {errno, Step::SyncDir};
    return r;
}

} // namespace vrcore::system::fileio
