// Spool names and spool files, the descriptor helpers of the transfers,
// and inline documents written into the spool.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include <vrcore/fa.h>

#include "system/guard.h"
#include "system/config.h"
#include "transfer/ft_internal.h"

namespace vrcore::transfer {

// ---------------------------------------------------------------------------
// Spool names.

std::string EncodeJob(std::string_view job) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : job) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    // A name component holds at most 255 bytes; "ft_" and the numbers and
    // suffixes take at most 60 of them.
    constexpr size_t kMax = 180;
    if (out.size() > kMax) {
        uint64_t h = 14695981039346656037ull; // FNV-1a of the whole identifier
        for (unsigned char c : job) h = (h ^ c) * 1099511628211ull;
        char tail[20];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(h));
        size_t keep = kMax - 17;
        while (keep > 0 && out[keep - 1] == '%') --keep; // never split a %XX
        if (keep > 1 && out[keep - 2] == '%') keep -= 2;
        out.resize(keep);
        out += tail;
    }
    return out;
}

uint32_t SpoolDir(const FT_SpoolInfo *spool, std::string &out) {
    try {
        if (spool && spool->directory) {
            size_t n = std::strlen(spool->directory);
            if (n == 0) return FT_S_OTHER;
            char *native = nullptr;
            size_t native_len = 0;
            uint32_t rc = FA_ConvertFilePath(spool->directory, n + 1, &native, &native_len);
            if (rc == FA_S_NOMEM) return FT_S_NOMEM;
            if (rc != 0) return FT_S_OTHER;
            out.assign(native);
            FA_FreeFilePath(native);
        } else {
            out = system::cfg::SpoolDir();
            int e = system::cfg::MakeDirs(out, 0700);
            if (e != 0) return FT_S_OTHER;
        }
        while (out.size() > 1 && out.back() == '/') out.pop_back();
        return 0;
    } catch (const std::bad_alloc &) {
        return FT_S_NOMEM;
    }
}

std::string SpoolName(const std::string &dir, Doc d, bool tmp) {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    char nums[80];
    std::snprintf(nums, sizeof nums, ".%d.%ld.%ld.orig%s", d.num, static_cast<long>(tv.tv_sec),
                  static_cast<long>(tv.tv_usec), tmp ? ".tmp" : "");
    return dir + "/ft_" + EncodeJob(std::string_view(d.job, strnlen(d.job, 256))) + nums;
}

uint32_t OpenError(int err) {
    switch (err) {
    case EMFILE:
    case ENFILE:
    case ENOMEM: return FT_S_NOFILES;
    case ENOSPC:
    case EDQUOT: return FT_S_NOSPACE;
    default: return FT_S_OTHER;
    }
}

uint32_t IoError(int err) {
    if (err == ENOSPC || err == EDQUOT) return FT_S_NOSPACE;
    return FT_S_FAILED;
}

bool PutName(char *field, size_t size, const std::string &name) {
    if (name.size() >= size) return false;
    std::memcpy(field, name.c_str(), name.size() + 1);
    return true;
}

uint32_t Publish(SpoolFile &out, Doc d, uint64_t size, FT_Result *result) {
    if (uint32_t rc = out.Finish(d)) return rc;
    if (!PutName(result->spool_name, sizeof result->spool_name, out.Name())) {
        ::unlink(out.Name().c_str());
        return FT_S_OTHER;
    }
    result->size = size;
    result->listen_socket = -1;
    return 0;
}

void CloseFd(int &fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int OpenRead(const char *path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
    // come. What was opened is judged by its descriptor, so a name swapped
    // after the open cannot slip anything else in.
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st {};
    int flags = 0;
    int err = 0;
    if (::fstat(fd, &st) != 0 || (flags = ::fcntl(fd, F_GETFL)) < 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    else if (!S_ISREG(st.st_mode))
        err = ENXIO;
    else if (::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        err = errno;
    if (err != 0) {
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

uint32_t OpenDocument(Doc d, const char *fn, const std::string &path, int &fd) {
    fd = OpenRead(path.c_str());
    if (fd >= 0) return 0;
    int e = errno; // before logging, which may change it
    if (NotRegular(e)) {
        FT_LOG(5, d, "%s: %s is no regular file\n", fn, path.c_str());
        return FT_S_FAILED;
    }
    FT_LOG(5, d, "%s: cannot open %s: errno %d\n", fn, path.c_str(), e);
    return e == ENOENT || e == EACCES ? FT_S_FAILED : OpenError(e);
}

long ReadSome(int fd, void *data, size_t n) {
    ssize_t r;
    do {
        r = ::read(fd, data, n);
    } while (r < 0 && errno == EINTR);
    return r;
}

bool WriteWait::Wait(int fd) {
    using clock = std::chrono::steady_clock;
    if (!stalled_) {
        stalled_ = true;
        deadline_ = clock::now() + std::chrono::milliseconds(timeout_ms_);
    }
    for (;;) {
        auto start = clock::now();
        if (start >= deadline_) {
            errno = ETIMEDOUT;
            return false;
        }
        long left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - start).count();
        pollfd p{fd, POLLOUT, 0};
        int r = ::poll(&p, 1, static_cast<int>(left > 0x7fffffff ? 0x7fffffff : left));
        if (r < 0 && errno != EINTR) return false;
        if (r <= 0) continue;
        // Room reported at once after a refused write: pause before the
        // next attempt.
        if (clock::now() - start < std::chrono::milliseconds(1))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }
}

// ---------------------------------------------------------------------------
// Spool files.

SpoolFile::~SpoolFile() {
    if (!keep_) Discard();
}

uint32_t SpoolFile::CreateNamed(const std::string &name) {
    if (name.size() >= FT_NAME_MAX) return FT_S_OTHER;
    int fd;
    do {
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno == EEXIST ? FT_S_FAILED : OpenError(errno);
    fd_ = fd;
    name_ = name;
    written_ = 0;
    keep_ = false;
    return 0;
}

uint32_t SpoolFile::Create(const std::string &dir, Doc d, bool tmp) {
    uint32_t rc = FT_S_FAILED;
    try {
        for (int attempt = 0; attempt < 5; ++attempt) {
            std::string name = SpoolName(dir, d, tmp);
            errno = 0;
            rc = CreateNamed(name);
            if (rc == 0 || errno != EEXIST) break;
            std::this_thread::sleep_for(std::chrono::microseconds(1 + attempt));
        }
    } catch (const std::bad_alloc &) {
        return FT_S_NOMEM;
    }
    if (rc != 0) FT_LOG(5, d, "cannot create a spool file in %s: errno %d\n", dir.c_str(), errno);
    return rc;
}

uint32_t SpoolFile::WriteAll(const void *data, size_t n) {
    const char *p = static_cast<const char *>(data);
    WriteWait room(AcceptTimeoutMs());
    while (n > 0) {
        ssize_t w = ::write(fd_, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN && room.Wait(fd_)) continue;
            return IoError(errno);
        }
        room.Progress();
        p += w;
        n -= static_cast<size_t>(w);
        written_ += static_cast<uint64_t>(w);
    }
    return 0;
}

uint32_t SpoolFile::Finish(Doc d) {
    if (fd_ >= 0 && ::close(fd_) != 0 && errno != EINTR) {
        fd_ = -1;
        FT_LOG(5, d, "closing %s failed: errno %d\n", name_.c_str(), errno);
        return IoError(errno);
    }
    fd_ = -1;
    constexpr std::string_view tmp = ".tmp";
    if (name_.size() > tmp.size() &&
        name_.compare(name_.size() - tmp.size(), tmp.size(), tmp) == 0) {
        std::string final_name = name_.substr(0, name_.size() - tmp.size());
        // Never replace an existing file.
        int r =
            ::renameat2(AT_FDCWD, name_.c_str(), AT_FDCWD, final_name.c_str(), RENAME_NOREPLACE);
        if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
            r = ::link(name_.c_str(), final_name.c_str());
            if (r == 0) ::unlink(name_.c_str());
        }
        if (r != 0) {
            FT_LOG(5, d, "cannot name the spool file %s: errno %d\n", final_name.c_str(), errno);
            return FT_S_FAILED;
        }
        name_ = std::move(final_name);
    }
    keep_ = true;
    return 0;
}

void SpoolFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!name_.empty() && !keep_) ::unlink(name_.c_str());
    name_.clear();
}

} // namespace vrcore::transfer

using namespace vrcore::transfer;

// ---------------------------------------------------------------------------
// Inline documents.

extern "C" uint32_t FT_ExternalToFile(const GEN_DocumentContent *content,
                                      const GEN_DocumentIdentifier *id, const FT_SpoolInfo *spool,
                                      FT_Result *result) try {
    Doc d = DocOf(id);
    if (!id) {
        FT_LOG(5, d, "FT_ExternalToFile: no document ID\n");
        return FT_S_NODOCID;
    }
    if (!content) {
        FT_LOG(5, d, "FT_ExternalToFile: no document content\n");
        return FT_S_NOCONTENT;
    }
    if (!result) {
        FT_LOG(5, d, "FT_ExternalToFile: no result\n");
        return FT_S_OTHER;
    }
    const GEN_External &ext = content->u.included;
    if (content->choice != GEN_CONTENT_INCLUDED ||
        !(ext.encoding == GEN_EXTERNAL_OCTET_ALIGNED ||
          (ext.encoding == GEN_EXTERNAL_ARBITRARY && ext.unused_bits == 0)) ||
        ext.data.length < 0 || (ext.data.length > 0 && !ext.data.value)) {
        FT_LOG(5, d, "FT_ExternalToFile: unsupported inline content\n");
        return FT_S_BADFD;
    }
    std::string dir;
    if (uint32_t rc = SpoolDir(spool, dir)) return rc;
    SpoolFile out;
    if (uint32_t rc = out.Create(dir, d, true)) return rc;
    if (uint32_t rc = out.WriteAll(ext.data.value, static_cast<size_t>(ext.data.length))) {
        FT_LOG(5, d, "FT_ExternalToFile: write failed: errno %d\n", errno);
        return rc;
    }
    return Publish(out, d, out.Written(), result);
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)
