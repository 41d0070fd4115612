// File references: copying a file the server can read into the spool.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include <vrcore/fa.h>

#include "transfer/ft_internal.h"

namespace vrcore::transfer {

bool NativePath(const unsigned char *bytes, size_t n, std::string &out) {
    if (!bytes || n == 0 || std::memchr(bytes, '\0', n)) return false;
    std::string portable(reinterpret_cast<const char *>(bytes), n);
    char *native = nullptr;
    size_t native_len = 0;
    if (FA_ConvertFilePath(portable.c_str(), portable.size() + 1, &native, &native_len) != 0)
        return false;
    out.assign(native);
    FA_FreeFilePath(native);
    return !out.empty();
}

uint32_t CopyReference(Doc d, const std::string &path, const std::string &dir, FT_Result *result) {
    int in = -1;
    if (uint32_t rc = OpenDocument(d, "copy_reference", path, in)) return rc;
    FdGuard close_in{in};
    SpoolFile out;
    if (uint32_t rc = out.Create(dir, d, false)) return rc;
    // The kernel copies within and between file systems where it can;
    // otherwise the bytes go through a buffer.
    uint64_t copied = 0;
    bool by_kernel = true;
    while (by_kernel) {
        ssize_t n = ::copy_file_range(in, nullptr, out.Fd(), nullptr, 1 << 30, 0);
        if (n > 0) {
            copied += static_cast<uint64_t>(n);
            continue;
        }
        if (n == 0) break;
        if (errno == EINTR) continue;
        if ((errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
             errno == EBADF) &&
            copied == 0) {
            by_kernel = false;
            break;
        }
        FT_LOG(5, d, "copy_reference: copy failed, errno=%d\n", errno);
        return IoError(errno);
    }
    if (!by_kernel) {
        constexpr size_t kChunk = 64 * 1024;
        std::unique_ptr<char[]> chunk(new (std::nothrow) char[kChunk]);
        if (!chunk) return FT_S_NOMEM;
        for (;;) {
            long r = ReadSome(in, chunk.get(), kChunk);
            if (r < 0) {
                FT_LOG(5, d, "copy_reference: read failed, errno=%d\n", errno);
                return FT_S_FAILED;
            }
            if (r == 0) break;
            if (uint32_t rc = out.WriteAll(chunk.get(), static_cast<size_t>(r))) {
                FT_LOG(5, d, "copy_reference: write failed, errno=%d\n", errno);
                return rc;
            }
        }
        copied = out.Written();
    }
    return Publish(out, d, copied, result);
}

} // namespace vrcore::transfer
