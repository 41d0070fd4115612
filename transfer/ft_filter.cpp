// The versioned files through which filters process a spooled document:
// a filter reads the latest version (".prev", else ".orig", else the
// referenced file) and writes ".curr", which becomes ".prev" when done.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include <vrcore/fa.h>

#include "system/guard.h"
#include "transfer/ft_internal.h"

using namespace vrcore::transfer;

// ---------------------------------------------------------------------------
// Filter versions.

namespace {

const char *SuffixOf(int kind) {
    switch (kind) {
    case FT_VERSION_ORIG: return ".orig";
    case FT_VERSION_CURR: return ".curr";
    case FT_VERSION_PREV: return ".prev";
    case FT_VERSION_NONE: return "";
    default: return nullptr;
    }
}

std::string Version(const FT_Filter *f, int kind) { return std::string(f->base) + SuffixOf(kind); }

bool FilterOk(const FT_Filter *f) {
    return f && strnlen(f->base, sizeof f->base) < sizeof f->base && f->base[0] != '\0';
}

// Closes the output and makes it the ".prev" version, retrying a failed
// rename ten times.
uint32_t FinishFilter(Doc d, FT_Filter *f) {
    int out = f->output;
    f->output = -1;
    if (::close(out) != 0 && errno != EINTR) {
        int e = errno;
        CloseFd(f->input);
        ::unlink(Version(f, FT_VERSION_CURR).c_str());
        FT_LOG(5, d, "FT_PPSetDataBuffer: close failed, errno=%d\n", e);
        return IoError(e);
    }
    CloseFd(f->input);
    std::string curr = Version(f, FT_VERSION_CURR), prev = Version(f, FT_VERSION_PREV);
    // rename() replaces ".prev" in one step, so a reader always finds a
    // whole version.
    for (int attempt = 1;; ++attempt) {
        if (::rename(curr.c_str(), prev.c_str()) == 0) return 0;
        int e = errno;
        FT_LOG(5, d, "FT_PPSetDataBuffer: rename failed, errno=%d, retry=%d\n", e, attempt);
        if (attempt >= 10) break;
        RenamePause(attempt);
    }
    ::unlink(curr.c_str());
    return FT_S_FAILED;
}

} // namespace

extern "C" uint32_t FT_VersionName(const char *base, int kind, char *out, size_t size) try {
    const char *suffix = SuffixOf(kind);
    if (!base || !out || !suffix) return FT_S_OTHER;
    size_t a = std::strlen(base), b = std::strlen(suffix);
    if (a + b + 1 > size) return FT_S_OTHER;
    std::memcpy(out, base, a);
    std::memcpy(out + a, suffix, b + 1);
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_PPStartGetDataBuffer(const GEN_DocumentIdentifier *id,
                                            const char *spool_name, const char *referenced,
                                            FT_Filter *filter) try {
    Doc d = DocOf(id);
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
    int fd = OpenRead(Version(filter, FT_VERSION_PREV).c_str());
    if (fd < 0 && errno == ENOENT) fd = OpenRead(Version(filter, FT_VERSION_ORIG).c_str());
    if (fd < 0 && errno == ENOENT && referenced && *referenced) {
        char *native = nullptr;
        size_t native_len = 0;
        size_t n = std::strlen(referenced);
        uint32_t rc = FA_ConvertFilePath(referenced, n + 1, &native, &native_len);
        if (rc != 0) {
            FT_LOG(5, d, "FT_PPStartGetDataBuffer: bad path %s\n", referenced);
            return rc == FA_S_NOMEM ? FT_S_NOMEM : FT_S_OTHER;
        }
        fd = OpenRead(native);
        int e = errno;
        FA_FreeFilePath(native);
        errno = e;
    }
    if (fd < 0) {
        int e = errno;
        FT_LOG(5, d, "FT_PPStartGetDataBuffer: cannot open %s: errno %d\n", filter->base, e);
        return NotRegular(e) ? FT_S_FAILED : OpenError(e);
    }
    filter->input = fd;
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_PPGetDataBuffer(const GEN_DocumentIdentifier *id, FT_Filter *filter,
                                       void *data, size_t size, size_t *count, int *end) try {
    Doc d = DocOf(id);
    if (!id) return FT_S_NODOCID;
    if (!FilterOk(filter) || !data || !count || !end) {
        FT_LOG(5, d, "FT_PPGetDataBuffer: missing arguments\n");
        return FT_S_OTHER;
    }
    if (filter->input < 0) {
        FT_LOG(5, d, "FT_PPGetDataBuffer: no input open\n");
        return FT_S_BADFD;
    }
    *count = 0;
    *end = 0;
    long r = ReadSome(filter->input, data, size);
    if (r < 0) {
        FT_LOG(5, d, "FT_PPGetDataBuffer: read failed, errno=%d\n", errno);
        return errno == EBADF ? FT_S_BADFD : FT_S_FAILED;
    }
    *count = static_cast<size_t>(r);
    *end = r == 0 && size > 0;
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_PPStartSetDataBuffer(const GEN_DocumentIdentifier *id,
                                            FT_Filter *filter) try {
    Doc d = DocOf(id);
    if (!id) return FT_S_NODOCID;
    if (!FilterOk(filter)) {
        FT_LOG(5, d, "FT_PPStartSetDataBuffer: no filter\n");
        return FT_S_OTHER;
    }
    if (filter->output >= 0) {
        FT_LOG(5, d, "FT_PPStartSetDataBuffer: output already open\n");
        return FT_S_OTHER;
    }
    std::string curr = Version(filter, FT_VERSION_CURR);
    // What an interrupted filter left is no version of the document.
    ::unlink(curr.c_str());
    int fd;
    do {
        fd = ::open(curr.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int e = errno;
        FT_LOG(5, d, "FT_PPStartSetDataBuffer: cannot create %s: errno %d\n", curr.c_str(), e);
        return OpenError(e);
    }
    filter->output = fd;
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_PPSetDataBuffer(const GEN_DocumentIdentifier *id, FT_Filter *filter,
                                       const void *data, size_t count, int last) try {
    Doc d = DocOf(id);
    if (!id) return FT_S_NODOCID;
    if (!FilterOk(filter) || (count > 0 && !data)) {
        FT_LOG(5, d, "FT_PPSetDataBuffer: missing arguments\n");
        return FT_S_OTHER;
    }
    if (filter->output < 0) {
        FT_LOG(5, d, "FT_PPSetDataBuffer: no output open\n");
        return FT_S_BADFD;
    }
    const char *p = static_cast<const char *>(data);
    WriteWait room(AcceptTimeoutMs());
    while (count > 0) {
        ssize_t w = ::write(filter->output, p, count);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN && room.Wait(filter->output)) continue;
            int e = errno;
            if (e == ENOSPC || e == EDQUOT)
                FT_LOG(5, d, "FT_PPSetDataBuffer: no space left\n");
            else
                FT_LOG(5, d, "FT_PPSetDataBuffer: write failed, errno=%d\n", e);
            FT_PPAbort(id, filter);
            return IoError(e);
        }
        room.Progress();
        p += w;
        count -= static_cast<size_t>(w);
    }
    return last ? FinishFilter(d, filter) : 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_PPAppendFileRemainder(const GEN_DocumentIdentifier *id,
                                             FT_Filter *filter) try {
    Doc d = DocOf(id);
    if (!id) return FT_S_NODOCID;
    if (!FilterOk(filter)) {
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
    return FinishFilter(d, filter);
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_PPAbort(const GEN_DocumentIdentifier *id, FT_Filter *filter) try {
    Doc d = DocOf(id);
    if (!filter) return FT_S_OTHER;
    CloseFd(filter->input);
    if (filter->output >= 0) {
        CloseFd(filter->output);
        if (FilterOk(filter)) ::unlink(Version(filter, FT_VERSION_CURR).c_str());
    }
    FT_LOG(6, d, "FT_PPAbort: filter ended\n");
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)
