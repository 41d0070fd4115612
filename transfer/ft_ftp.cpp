// Anonymous FTP retrieval of a document into a spool file.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "system/fileio.h"
#include "transfer/ft_internal.h"

namespace vrcore::transfer {

// ---------------------------------------------------------------------------
// Replies.

void FtpReplyReader::Feed(const char *data, size_t n) {
    if (failed_) return;
    size_t at = 0;
    while (at < n && !failed_) {
        const void *nl = std::memchr(data + at, '\n', n - at);
        size_t end = nl ? static_cast<size_t>(static_cast<const char *>(nl) - data) : n;
        partial_.append(data + at, end - at);
        if (partial_.size() + current_.text.size() > kMaxReply) {
            failed_ = true;
            break;
        }
        if (!nl) break;
        std::string l;
        l.swap(partial_);
        if (!l.empty() && l.back() == '\r') l.pop_back();
        Line(l);
        at = end + 1;
    }
}

namespace {
bool CodeOf(std::string_view l, int &code) {
    if (l.size() < 3) return false;
    for (int i = 0; i < 3; ++i)
        if (l[i] < '0' || l[i] > '9') return false;
    if (l[0] < '1' || l[0] > '5') return false;
    code = (l[0] - '0') * 100 + (l[1] - '0') * 10 + (l[2] - '0');
    return true;
}
} // namespace

void FtpReplyReader::Line(std::string_view l) {
    int code = 0;
    if (!in_multi_) {
        if (!CodeOf(l, code) || (l.size() > 3 && l[3] != ' ' && l[3] != '-')) {
            failed_ = true;
            return;
        }
        current_.code = code;
        current_.text.assign(l.size() > 4 ? l.substr(4) : std::string_view());
        if (l.size() > 3 && l[3] == '-') {
            in_multi_ = true;
            return;
        }
    } else {
        // Lines between the first and the last are free text; the last
        // repeats the code followed by a blank (or nothing).
        current_.text += '\n';
        bool last = CodeOf(l, code) && code == current_.code && (l.size() == 3 || l[3] == ' ');
        current_.text.append(last ? (l.size() > 4 ? l.substr(4) : std::string_view()) : l);
        if (!last) return;
        in_multi_ = false;
    }
    ready_.push_back(std::move(current_));
    current_ = FtpReply{};
}

bool FtpReplyReader::Next(FtpReply &out) {
    if (taken_ >= ready_.size()) {
        ready_.clear();
        taken_ = 0;
        return false;
    }
    out = std::move(ready_[taken_++]);
    return true;
}

// ---------------------------------------------------------------------------
// Sources.

bool ParseFtpSource(std::string_view src, std::string &host, uint16_t &port, std::string &path) {
    for (unsigned char c : src)
        if (c < 0x20 || c == 0x7f) return false; // CR and LF would end a command early
    if (src.size() >= 6 && strncasecmp(src.data(), "ftp://", 6) == 0) src.remove_prefix(6);
    size_t slash = src.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 >= src.size()) return false;
    std::string_view authority = src.substr(0, slash);
    port = 21;
    size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
        std::string_view digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return false;
        unsigned long v = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + static_cast<unsigned long>(c - '0');
        }
        if (v == 0 || v > 65535) return false;
        port = static_cast<uint16_t>(v);
        authority = authority.substr(0, colon);
    }
    if (authority.empty() || authority.find(' ') != std::string_view::npos) return false;
    host.assign(authority);
    path.assign(src.substr(slash + 1));
    return true;
}

// ---------------------------------------------------------------------------
// The control connection.

namespace {

using Clock = std::chrono::steady_clock;

using Fd = FdGuard;

// Waits for `events` on fd until the time-out. 1 ready, 0 time-out, -1 error.
int WaitFor(int fd, short events, long timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return 0;
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, static_cast<int>(left > 0x7fffffff ? 0x7fffffff : left));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r > 0) return 1;
    }
}

class Control {
  public:
    Control(int fd, Doc d) : fd_(fd), d_(d) {}

    // Reads the next reply; false on time-out, error or bad syntax.
    bool Reply(FtpReply &out) {
        char buf[2048];
        while (!reader_.Next(out)) {
            if (reader_.Failed()) {
                FT_LOG(5, d_, "Control::reply: malformed reply\n");
                return false;
            }
            int w = WaitFor(fd_, POLLIN, FtpTimeoutMs());
            if (w <= 0) {
                FT_LOG(5, d_, "Control::reply: no reply from the server\n");
                return false;
            }
            ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                FT_LOG(5, d_, "Control::reply: control connection closed\n");
                return false;
            }
            reader_.Feed(buf, static_cast<size_t>(r));
        }
        FT_LOG(8, d_, "Control::reply: reply %d %s\n", out.code, out.text.c_str());
        return true;
    }

    bool Send(const char *word, const std::string &arg) {
        std::string line =
            arg.empty() ? std::string(word) + "\r\n" : std::string(word) + ' ' + arg + "\r\n";
        const char *p = line.data();
        size_t left = line.size();
        while (left > 0) {
            ssize_t w = ::send(fd_, p, left, MSG_NOSIGNAL);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) {
                FT_LOG(5, d_, "Control::send: cannot send %s: errno %d\n", word, errno);
                return false;
            }
            p += w;
            left -= static_cast<size_t>(w);
        }
        return true;
    }

    // Sends a command and reads its final reply (skipping none: an FTP
    // server answers each command once, preliminary replies aside).
    bool Command(const char *word, const std::string &arg, FtpReply &out) {
        return Send(word, arg) && Reply(out);
    }

  private:
    int fd_;
    Doc d_;
    FtpReplyReader reader_;
};

int ConnectWithin(const sockaddr_in &a, long timeout_ms) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return -1;
    int r = ::connect(s, reinterpret_cast<const sockaddr *>(&a), sizeof a);
    if (r != 0 && errno == EINPROGRESS) {
        if (WaitFor(s, POLLOUT, timeout_ms) == 1) {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
            r = err == 0 ? 0 : -1;
        }
    }
    if (r != 0) {
        ::close(s);
        return -1;
    }
    int flags = ::fcntl(s, F_GETFL);
    ::fcntl(s, F_SETFL, flags & ~O_NONBLOCK);
    return s;
}

int ConnectHost(const std::string &host, uint16_t port, Doc d) {
    addrinfo hints{};
    hints.ai_family = AF_INET; // the PORT command carries IPv4 addresses only
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    int g = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (g != 0) {
        FT_LOG(5, d, "connect_host: unknown host %s\n", host.c_str());
        return -1;
    }
    int s = -1;
    for (addrinfo *ai = list; ai && s < 0; ai = ai->ai_next) {
        sockaddr_in a{};
        std::memcpy(&a, ai->ai_addr, sizeof a);
        a.sin_port = htons(port);
        s = ConnectWithin(a, FtpTimeoutMs());
    }
    ::freeaddrinfo(list);
    if (s < 0) FT_LOG(5, d, "connect_host: cannot connect to %s port %u\n", host.c_str(), port);
    return s;
}

bool Positive(const FtpReply &r) { return r.code >= 200 && r.code < 300; }

} // namespace

uint32_t FtpRetrieve(Doc d, const std::string &host, uint16_t port, const std::string &path,
                     const std::string &dir, FT_Result *result) {
    Fd ctl(ConnectHost(host, port, d));
    if (ctl.fd < 0) return FT_S_OTHER;
    Control c(ctl.fd, d);
    FtpReply r;
    // The greeting; "120 ready in a while" comes before the real one.
    do {
        if (!c.Reply(r)) return FT_S_FAILED;
    } while (r.code >= 100 && r.code < 200);
    if (!Positive(r)) {
        FT_LOG(5, d, "ftp_retrieve: server refused the connection: %d\n", r.code);
        return FT_S_FAILED;
    }
    if (!c.Command("USER", "anonymous", r)) return FT_S_FAILED;
    if (r.code == 331 || r.code == 332) {
        if (!c.Command("PASS", "tolvek", r)) return FT_S_FAILED;
    }
    if (!Positive(r)) {
        FT_LOG(5, d, "ftp_retrieve: anonymous login refused: %d\n", r.code);
        return FT_S_FAILED;
    }
    // Image type: the document's bytes arrive as they are stored.
    if (!c.Command("TYPE", "I", r)) return FT_S_FAILED;
    if (!Positive(r)) {
        FT_LOG(5, d, "ftp_retrieve: TYPE refused: %d\n", r.code);
        return FT_S_FAILED;
    }
    // Stream mode and file structure are every server's defaults; a server
    // that does not know the commands still works that way.
    if (!c.Command("MODE", "S", r)) return FT_S_FAILED;
    if (!Positive(r) && r.code != 502 && r.code != 504) return FT_S_FAILED;
    if (!c.Command("STRU", "F", r)) return FT_S_FAILED;
    if (!Positive(r) && r.code != 502 && r.code != 504) return FT_S_FAILED;

    // The data connection: listen beside the control connection's address.
    sockaddr_in local{}, peer{};
    socklen_t len = sizeof local;
    if (::getsockname(ctl.fd, reinterpret_cast<sockaddr *>(&local), &len) != 0) return FT_S_OTHER;
    len = sizeof peer;
    if (::getpeername(ctl.fd, reinterpret_cast<sockaddr *>(&peer), &len) != 0) return FT_S_OTHER;
    Fd lis(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (lis.fd < 0) return FT_S_OTHER;
    local.sin_port = 0;
    len = sizeof local;
    if (::bind(lis.fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 ||
        ::listen(lis.fd, 1) != 0 ||
        ::getsockname(lis.fd, reinterpret_cast<sockaddr *>(&local), &len) != 0) {
        FT_LOG(5, d, "ftp_retrieve: no data socket: errno %d\n", errno);
        return FT_S_OTHER;
    }
    const unsigned char *ip = reinterpret_cast<const unsigned char *>(&local.sin_addr);
    unsigned p = ntohs(local.sin_port);
    char port_arg[64];
    std::snprintf(port_arg, sizeof port_arg, "%d,%d,%d,%d,%d,%d", ip[0], ip[1], ip[2], ip[3],
                  p >> 8, p & 0xff);
    if (!c.Command("PORT", port_arg, r)) return FT_S_FAILED;
    if (!Positive(r)) {
        FT_LOG(5, d, "ftp_retrieve: PORT refused: %d\n", r.code);
        return FT_S_FAILED;
    }
    if (!c.Command("RETR", path, r)) return FT_S_FAILED;
    if (r.code == 550) {
        FT_LOG(5, d, "ftp_retrieve: %s: no such file\n", path.c_str());
        c.Send("QUIT", "");
        return FT_S_FAILED;
    }
    if (r.code < 100 || r.code >= 200) {
        FT_LOG(5, d, "ftp_retrieve: RETR refused: %d\n", r.code);
        return FT_S_FAILED;
    }
    // Only the server may connect to the data socket.
    Fd data;
    auto deadline = Clock::now() + std::chrono::milliseconds(FtpTimeoutMs());
    while (data.fd < 0) {
        long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        int s = left > 0 ? AcceptWithin(lis.fd, left) : -1;
        if (s < 0) {
            FT_LOG(5, d, "ftp_retrieve: no data connection\n");
            return FT_S_FAILED;
        }
        sockaddr_in from{};
        len = sizeof from;
        if (::getpeername(s, reinterpret_cast<sockaddr *>(&from), &len) == 0 &&
            from.sin_addr.s_addr == peer.sin_addr.s_addr) {
            data.fd = s;
        } else {
            ::close(s);
        }
    }
    SpoolFile out;
    if (uint32_t rc = out.Create(dir, d, false)) return rc;
    constexpr size_t kChunk = 64 * 1024;
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[kChunk]);
    if (!chunk) return FT_S_NOMEM;
    for (;;) {
        int w = WaitFor(data.fd, POLLIN, FtpTimeoutMs());
        if (w <= 0) {
            FT_LOG(5, d, "ftp_retrieve: data connection stalled\n");
            return FT_S_FAILED;
        }
        ssize_t n = ::recv(data.fd, chunk.get(), kChunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            FT_LOG(5, d, "ftp_retrieve: receive failed, errno=%d\n", errno);
            return FT_S_FAILED;
        }
        if (n == 0) break;
        if (uint32_t rc = out.WriteAll(chunk.get(), static_cast<size_t>(n))) {
            FT_LOG(5, d, "ftp_retrieve: write failed, errno=%d\n", errno);
            return rc;
        }
    }
    CloseFd(data.fd);
    // The transfer counts only when the server says it completed.
    if (!c.Reply(r)) return FT_S_FAILED;
    if (!Positive(r)) {
        FT_LOG(5, d, "ftp_retrieve: transfer not completed: %d\n", r.code);
        return FT_S_FAILED;
    }
    if (c.Send("QUIT", "")) c.Reply(r);
    return Publish(out, d, out.Written(), result);
}

} // namespace vrcore::transfer
