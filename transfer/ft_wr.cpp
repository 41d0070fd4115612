// Spool names and spool files, inline documents, and the versioned files
// through which filters process a spooled document.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <vrcore/fa.h>
#include <vrcore/log.h>

#include "system/config.h"
#include "system/fileio.h"
#include "transfer/ft_internal.h"

namespace vrcore::ft {

// ---------------------------------------------------------------------------
// Timing hooks.

namespace {
struct Hook {
    std::atomic<PauseHook> fn{nullptr};
    std::atomic<void *> ctx{nullptr};
};
Hook g_connect_pause, g_rename_pause;
std::atomic<long> g_accept_ms{-1}, g_ftp_ms{-1};
constexpr long kAcceptDefaultMs = 600L * 1000;
constexpr long kFtpDefaultMs = 120L * 1000;

void pause(Hook &h, int attempt) {
    PauseHook fn = h.fn.load();
    if (fn)
        fn(attempt, h.ctx.load());
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
}
} // namespace

void set_connect_pause(PauseHook hook, void *ctx) {
    g_connect_pause.ctx = ctx;
    g_connect_pause.fn = hook;
}
void set_rename_pause(PauseHook hook, void *ctx) {
    g_rename_pause.ctx = ctx;
    g_rename_pause.fn = hook;
}
void set_accept_timeout_ms(long ms) { g_accept_ms = ms; }
void set_ftp_timeout_ms(long ms) { g_ftp_ms = ms; }
long accept_timeout_ms() {
    long v = g_accept_ms.load();
    return v < 0 ? kAcceptDefaultMs : v;
}
long ftp_timeout_ms() {
    long v = g_ftp_ms.load();
    return v < 0 ? kFtpDefaultMs : v;
}
void *allocate(size_t n) { return seam::alloc(seam::Module::Transfer, n); }
void release(void *p) { seam::release(seam::Module::Transfer, p); }

void connect_pause(int attempt) { pause(g_connect_pause, attempt); }
void rename_pause(int attempt) { pause(g_rename_pause, attempt); }

// ---------------------------------------------------------------------------
// Tracing.

Doc doc_of(const GEN_DocumentIdentifier *id) {
    if (!id) return {"", 0};
    return {id->job.value, id->document_number ? static_cast<int>(*id->document_number) : 0};
}

void trace(int severity, const char *file, int line, Doc d, const char *fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    // The identifier may be unterminated in a hostile structure: at most
    // its 256 bytes are shown.
    LOG_CondMessage(severity, file, line, "jobId = %.256s, docNum = %d: %s", d.job, d.num, text);
}

// ---------------------------------------------------------------------------
// Spool names.

std::string encode_job(std::string_view job) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : job) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '_' || c == '.') {
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

uint32_t spool_dir(const FT_SpoolInfo *spool, std::string &out) {
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
            out = cfg::spool_dir();
            int e = cfg::make_dirs(out, 0700);
            if (e != 0) return FT_S_OTHER;
        }
        while (out.size() > 1 && out.back() == '/') out.pop_back();
        return 0;
    } catch (const std::bad_alloc &) {
        return FT_S_NOMEM;
    }
}

std::string spool_name(const std::string &dir, Doc d, bool tmp) {
    struct timeval tv{};
    gettimeofday(&tv, nullptr);
    char nums[80];
    std::snprintf(nums, sizeof nums, ".%d.%ld.%ld.orig%s", d.num, static_cast<long>(tv.tv_sec),
                  static_cast<long>(tv.tv_usec), tmp ? ".tmp" : "");
    return dir + "/ft_" + encode_job(std::string_view(d.job, strnlen(d.job, 256))) + nums;
}

uint32_t open_error(int err) {
    switch (err) {
    case EMFILE:
    case ENFILE:
    case ENOMEM: return FT_S_NOFILES;
    case ENOSPC:
    case EDQUOT: return FT_S_NOSPACE;
    default: return FT_S_OTHER;
    }
}

uint32_t io_error(int err) {
    if (err == ENOSPC || err == EDQUOT) return FT_S_NOSPACE;
    return FT_S_FAILED;
}

bool put_name(char *field, size_t size, const std::string &name) {
    if (name.size() >= size) return false;
    std::memcpy(field, name.c_str(), name.size() + 1);
    return true;
}

uint32_t publish(SpoolFile &out, Doc d, uint64_t size, FT_Result *result) {
    if (uint32_t rc = out.finish(d)) return rc;
    if (!put_name(result->spool_name, sizeof result->spool_name, out.name())) {
        ::unlink(out.name().c_str());
        return FT_S_OTHER;
    }
    result->size = size;
    result->listen_socket = -1;
    return 0;
}

void close_fd(int &fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int open_read(const char *path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
    // come. What was opened is judged by its descriptor, so a name swapped
    // after the open cannot slip anything else in.
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st{};
    int flags = 0;
    int err = 0;
    if (::fstat(fd, &st) != 0 || (flags = ::fcntl(fd, F_GETFL)) < 0) err = errno;
    else if (S_ISDIR(st.st_mode)) err = EISDIR;
    else if (!S_ISREG(st.st_mode)) err = ENXIO;
    else if (::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) err = errno;
    if (err != 0) {
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

uint32_t open_document(Doc d, const char *fn, const std::string &path, int &fd) {
    fd = open_read(path.c_str());
    if (fd >= 0) return 0;
    int e = errno; // before logging, which may change it
    if (not_regular(e)) {
        FT_LOG(5, d, "%s: %s is no regular file\n", fn, path.c_str());
        return FT_S_FAILED;
    }
    FT_LOG(5, d, "%s: cannot open %s: errno %d\n", fn, path.c_str(), e);
    return e == ENOENT || e == EACCES ? FT_S_FAILED : open_error(e);
}

long read_some(int fd, void *data, size_t n) {
    ssize_t r;
    do {
        r = ::read(fd, data, n);
    } while (r < 0 && errno == EINTR);
    return r;
}

// ---------------------------------------------------------------------------
// Spool files.

SpoolFile::~SpoolFile() {
    if (!keep_) discard();
}

uint32_t SpoolFile::create_named(const std::string &name) {
    if (name.size() >= FT_NAME_MAX) return FT_S_OTHER;
    int fd;
    do {
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno == EEXIST ? FT_S_FAILED : open_error(errno);
    fd_ = fd;
    name_ = name;
    written_ = 0;
    keep_ = false;
    return 0;
}

uint32_t SpoolFile::create(const std::string &dir, Doc d, bool tmp) {
    uint32_t rc = FT_S_FAILED;
    try {
        for (int attempt = 0; attempt < 5; ++attempt) {
            std::string name = spool_name(dir, d, tmp);
            errno = 0;
            rc = create_named(name);
            if (rc == 0 || errno != EEXIST) break;
            std::this_thread::sleep_for(std::chrono::microseconds(1 + attempt));
        }
    } catch (const std::bad_alloc &) {
        return FT_S_NOMEM;
    }
    if (rc != 0) FT_LOG(5, d, "cannot create a spool file in %s: errno %d\n", dir.c_str(), errno);
    return rc;
}

uint32_t SpoolFile::write_all(const void *data, size_t n) {
    // Spool files stay on the real file system whatever table tests use.
    if (int e = fileio::write_all(fd_, data, n, seam::system_io())) return io_error(e);
    written_ += n;
    return 0;
}

uint32_t SpoolFile::finish(Doc d) {
    if (fd_ >= 0 && ::close(fd_) != 0 && errno != EINTR) {
        fd_ = -1;
        FT_LOG(5, d, "closing %s failed: errno %d\n", name_.c_str(), errno);
        return io_error(errno);
    }
    fd_ = -1;
    constexpr std::string_view tmp = ".tmp";
    if (name_.size() > tmp.size() && name_.compare(name_.size() - tmp.size(), tmp.size(), tmp) == 0) {
        std::string final_name = name_.substr(0, name_.size() - tmp.size());
        // Never replace an existing file.
        int r = ::renameat2(AT_FDCWD, name_.c_str(), AT_FDCWD, final_name.c_str(), RENAME_NOREPLACE);
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

void SpoolFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!name_.empty() && !keep_) ::unlink(name_.c_str());
    name_.clear();
}

} // namespace vrcore::ft

using namespace vrcore::ft;

// ---------------------------------------------------------------------------
// Inline documents.

extern "C" uint32_t FT_ExternalToFile(const GEN_DocumentContent *content,
                                      const GEN_DocumentIdentifier *id, const FT_SpoolInfo *spool,
                                      FT_Result *result) {
    Doc d = doc_of(id);
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
    if (uint32_t rc = spool_dir(spool, dir)) return rc;
    SpoolFile out;
    if (uint32_t rc = out.create(dir, d, true)) return rc;
    if (uint32_t rc = out.write_all(ext.data.value, static_cast<size_t>(ext.data.length))) {
        FT_LOG(5, d, "FT_ExternalToFile: write failed: errno %d\n", errno);
        return rc;
    }
    return publish(out, d, out.written(), result);
}

// ---------------------------------------------------------------------------
// Filter versions.

namespace {

const char *suffix_of(int kind) {
    switch (kind) {
    case FT_VERSION_ORIG: return ".orig";
    case FT_VERSION_CURR: return ".curr";
    case FT_VERSION_PREV: return ".prev";
    case FT_VERSION_NONE: return "";
    default: return nullptr;
    }
}

std::string version(const FT_Filter *f, int kind) { return std::string(f->base) + suffix_of(kind); }


bool filter_ok(const FT_Filter *f) {
    return f && strnlen(f->base, sizeof f->base) < sizeof f->base && f->base[0] != '\0';
}

// Closes the output and makes it the ".prev" version, retrying a failed
// rename ten times.
uint32_t finish_filter(Doc d, FT_Filter *f) {
    int out = f->output;
    f->output = -1;
    if (::close(out) != 0 && errno != EINTR) {
        int e = errno;
        close_fd(f->input);
        ::unlink(version(f, FT_VERSION_CURR).c_str());
        FT_LOG(5, d, "FT_PPSetDataBuffer: close failed, errno=%d\n", e);
        return io_error(e);
    }
    close_fd(f->input);
    std::string curr = version(f, FT_VERSION_CURR), prev = version(f, FT_VERSION_PREV);
    // rename() replaces ".prev" in one step, so a reader always finds a
    // whole version.
    for (int attempt = 1;; ++attempt) {
        if (::rename(curr.c_str(), prev.c_str()) == 0) return 0;
        int e = errno;
        FT_LOG(5, d, "FT_PPSetDataBuffer: rename failed, errno=%d, retry=%d\n", e, attempt);
        if (attempt >= 10) break;
        rename_pause(attempt);
    }
    ::unlink(curr.c_str());
    return FT_S_FAILED;
}

} // namespace

extern "C" uint32_t FT_VersionName(const char *base, int kind, char *out, size_t size) {
    const char *suffix = suffix_of(kind);
    if (!base || !out || !suffix) return FT_S_OTHER;
    size_t a = std::strlen(base), b = std::strlen(suffix);
    if (a + b + 1 > size) return FT_S_OTHER;
    std::memcpy(out, base, a);
    std::memcpy(out + a, suffix, b + 1);
    return 0;
}

extern "C" uint32_t FT_PPStartGetDataBuffer(const GEN_DocumentIdentifier *id,
                                            const char *spool_name, const char *referenced,
                                            FT_Filter *filter) {
    Doc d = doc_of(id);
    if (!id) {
        FT_LOG(5, d, "FT_PPStartGetDataBuffer: no document ID\n");
        return FT_S_NODOCID;
    }
    if (!spool_name || !filter) {
        FT_LOG(5, d, "FT_PPStartGetDataBuffer: no spool name or filter\n");
        return FT_S_OTHER;
    }
    filter->input = filter->output = -1;
    filter->base[0] = '\0';
    std::string_view name(spool_name);
    size_t at = name.rfind(".orig");
    if (at == std::string_view::npos || at + 1 > sizeof filter->base - 8) {
        FT_LOG(5, d, "FT_PPStartGetDataBuffer: not a spool name: %s\n", spool_name);
        return FT_S_OTHER;
    }
    std::memcpy(filter->base, spool_name, at);
    filter->base[at] = '\0';
    int fd = open_read(version(filter, FT_VERSION_PREV).c_str());
    if (fd < 0 && errno == ENOENT) fd = open_read(version(filter, FT_VERSION_ORIG).c_str());
    if (fd < 0 && errno == ENOENT && referenced && *referenced) {
        char *native = nullptr;
        size_t native_len = 0;
        size_t n = std::strlen(referenced);
        uint32_t rc = FA_ConvertFilePath(referenced, n + 1, &native, &native_len);
        if (rc != 0) {
            FT_LOG(5, d, "FT_PPStartGetDataBuffer: bad path %s\n", referenced);
            return rc == FA_S_NOMEM ? FT_S_NOMEM : FT_S_OTHER;
        }
        fd = open_read(native);
        int e = errno;
        FA_FreeFilePath(native);
        errno = e;
    }
    if (fd < 0) {
        int e = errno;
        FT_LOG(5, d, "FT_PPStartGetDataBuffer: cannot open %s: errno %d\n", filter->base, e);
        return not_regular(e) ? FT_S_FAILED : open_error(e);
    }
    filter->input = fd;
    return 0;
}

extern "C" uint32_t FT_PPGetDataBuffer(const GEN_DocumentIdentifier *id, FT_Filter *filter,
                                       void *data, size_t size, size_t *count, int *end) {
    Doc d = doc_of(id);
    if (!id) return FT_S_NODOCID;
    if (!filter_ok(filter) || !data || !count || !end) {
        FT_LOG(5, d, "FT_PPGetDataBuffer: missing arguments\n");
        return FT_S_OTHER;
    }
    if (filter->input < 0) {
        FT_LOG(5, d, "FT_PPGetDataBuffer: no input open\n");
        return FT_S_BADFD;
    }
    *count = 0;
    *end = 0;
    long r = read_some(filter->input, data, size);
    if (r < 0) {
        FT_LOG(5, d, "FT_PPGetDataBuffer: read failed, errno=%d\n", errno);
        return errno == EBADF ? FT_S_BADFD : FT_S_FAILED;
    }
    *count = static_cast<size_t>(r);
    *end = r == 0 && size > 0;
    return 0;
}

extern "C" uint32_t FT_PPStartSetDataBuffer(const GEN_DocumentIdentifier *id, FT_Filter *filter) {
    Doc d = doc_of(id);
    if (!id) return FT_S_NODOCID;
    if (!filter_ok(filter)) {
        FT_LOG(5, d, "FT_PPStartSetDataBuffer: no filter\n");
        return FT_S_OTHER;
    }
    if (filter->output >= 0) {
        FT_LOG(5, d, "FT_PPStartSetDataBuffer: output already open\n");
        return FT_S_OTHER;
    }
    std::string curr = version(filter, FT_VERSION_CURR);
    // What an interrupted filter left is no version of the document.
    ::unlink(curr.c_str());
    int fd;
    do {
        fd = ::open(curr.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int e = errno;
        FT_LOG(5, d, "FT_PPStartSetDataBuffer: cannot create %s: errno %d\n", curr.c_str(), e);
        return open_error(e);
    }
    filter->output = fd;
    return 0;
}

extern "C" uint32_t FT_PPSetDataBuffer(const GEN_DocumentIdentifier *id, FT_Filter *filter,
                                       const void *data, size_t count, int last) {
    Doc d = doc_of(id);
    if (!id) return FT_S_NODOCID;
    if (!filter_ok(filter) || (count > 0 && !data)) {
        FT_LOG(5, d, "FT_PPSetDataBuffer: missing arguments\n");
        return FT_S_OTHER;
    }
    if (filter->output < 0) {
        FT_LOG(5, d, "FT_PPSetDataBuffer: no output open\n");
        return FT_S_BADFD;
    }
    if (int e = vrcore::fileio::write_all(filter->output, data, count, vrcore::seam::system_io())) {
        if (e == ENOSPC || e == EDQUOT)
            FT_LOG(5, d, "FT_PPSetDataBuffer: no space left\n");
        else
            FT_LOG(5, d, "FT_PPSetDataBuffer: write failed, errno=%d\n", e);
        FT_PPAbort(id, filter);
        return io_error(e);
    }
    return last ? finish_filter(d, filter) : 0;
}

extern "C" uint32_t FT_PPAppendFileRemainder(const GEN_DocumentIdentifier *id, FT_Filter *filter) {
    Doc d = doc_of(id);
    if (!id) return FT_S_NODOCID;
    if (!filter_ok(filter)) {
        FT_LOG(5, d, "FT_PPAppendFileRemainder: no filter\n");
        return FT_S_OTHER;
    }
    if (filter->input < 0 || filter->output < 0) {
        FT_LOG(5, d, "FT_PPAppendFileRemainder: input or output not open\n");
        return FT_S_BADFD;
    }
    char chunk[4096];
    for (;;) {
        size_t n = 0;
        int end = 0;
        if (uint32_t rc = FT_PPGetDataBuffer(id, filter, chunk, sizeof chunk, &n, &end)) {
            FT_PPAbort(id, filter);
            return rc;
        }
        if (end) break;
        if (uint32_t rc = FT_PPSetDataBuffer(id, filter, chunk, n, 0)) return rc;
    }
    return finish_filter(d, filter);
}

extern "C" uint32_t FT_PPAbort(const GEN_DocumentIdentifier *id, FT_Filter *filter) {
    Doc d = doc_of(id);
    if (!filter) return FT_S_OTHER;
    close_fd(filter->input);
    if (filter->output >= 0) {
        close_fd(filter->output);
        if (filter_ok(filter)) ::unlink(version(filter, FT_VERSION_CURR).c_str());
    }
    FT_LOG(6, d, "FT_PPAbort: filter ended\n");
    return 0;
}
