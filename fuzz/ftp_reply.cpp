// Hostile bytes from an FTP server's control connection, fed in pieces of
// varying size, and hostile FTP sources.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/ft_internal.h"

using vrcore::transfer::FtpReply;
using vrcore::transfer::FtpReplyReader;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the piece size, so replies split anywhere.
    size_t piece = 1 + data[0] % 17;
    const char *text = reinterpret_cast<const char *>(data + 1);
    size_t n = size - 1;
    FtpReplyReader rd;
    FtpReply r;
    size_t total = 0;
    for (size_t at = 0; at < n; at += piece) {
        rd.Feed(text + at, piece < n - at ? piece : n - at);
        while (rd.Next(r)) {
            if (r.code < 100 || r.code > 599) std::abort();
            if (r.text.size() > FtpReplyReader::kMaxReply) std::abort();
            total += r.text.size();
        }
    }
    if (total > n) std::abort(); // replies never hold more than was received
    std::string host, path;
    uint16_t port = 0;
    if (vrcore::transfer::ParseFtpSource(std::string_view(text, n), host, port, path)) {
        for (char c : host + path)
            if (c == '\r' || c == '\n' || c == '\0') std::abort();
        if (host.empty() || path.empty() || port == 0) std::abort();
    }
    return 0;
}
