// The sockets of event messages (evt_socket.h).
#include "events/evt_socket.h"
#include "system/fileio.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "encoding/ber_stream.h"
#include "events/evt_wire.h"
#include "vrcore/evt.h"
#include "vrcore/log.h"

namespace vrcore::events {

int Wait(int fd, short events, int wake_fd, const Deadline &d) {
    pollfd p[2] = {{fd, events, 0}, {wake_fd, POLLIN, 0}};
    nfds_t n = wake_fd >= 0 ? 2 : 1;
    for (;;) {
        int ms = d.PollMs();
        int r = poll(p, n, ms);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -2;
        }
        if (n == 2 && p[1].revents) return kClosed;
        if (r > 0) return 1;
        if (ms >= 0 && d.PollMs() == 0) return 0;
    }
}

int Resolve(std::string_view text, uint16_t *port, std::vector<sockaddr_in> &out) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos) return EVT_E_ARGUMENT;
    std::string host(text.substr(0, colon));
    std::string_view digits = text.substr(colon + 1);
    if (host.empty() || digits.empty() || digits.size() > 5 || host.find('\0') != std::string::npos)
        return EVT_E_ARGUMENT;
    unsigned long p = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return EVT_E_ARGUMENT;
        p = p * 10 + static_cast<unsigned long>(c - '0');
    }
    if (p == 0 || p > 65535) return EVT_E_ARGUMENT;
    *port = static_cast<uint16_t>(p);

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    int rc = getaddrinfo(host.c_str(), nullptr, &hints, &res);
    if (rc != 0 || !res) {
        LOG_CondMessage(5, __FILE__, __LINE__, "EVT: cannot resolve \"%s\": %s", host.c_str(),
                        gai_strerror(rc));
        return EVT_E_ARGUMENT;
    }
    std::unique_ptr<addrinfo, void (*)(addrinfo *)> hold(res, &freeaddrinfo);
    for (const addrinfo *a = res; a; a = a->ai_next) {
        if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
        sockaddr_in sa;
        memcpy(&sa, a->ai_addr, sizeof sa);
        sa.sin_port = htons(*port);
        bool seen = false;
        for (const auto &o : out) seen = seen || o.sin_addr.s_addr == sa.sin_addr.s_addr;
        if (!seen) out.push_back(sa);
    }
    return out.empty() ? EVT_E_ARGUMENT : EVT_E_OK;
}

uint16_t RegisteredPort() {
    servent entry, *found = nullptr;
    char buf[1024];
    if (getservbyname_r("tsl-ntfy", "tcp", &entry, buf, sizeof buf, &found) == 0 && found)
        return ntohs(static_cast<uint16_t>(found->s_port));
    return EVT_DEFAULT_PORT;
}

int ConnectOnce(const sockaddr_in &to, int timeout, Fd &out) {
    Fd s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (s.fd < 0) return -1;
    int size = kSocketBuffer, one = 1;
    linger lg{1, 1};
    if (setsockopt(s.fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) != 0 ||
        setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) != 0 ||
        setsockopt(s.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0)
        return -1;
    if (connect(s.fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        if (errno != EINPROGRESS) return errno;
        int w = Wait(s.fd, POLLOUT, -1, Deadline::After(timeout));
        if (w == 0) return ETIMEDOUT;
        if (w < 0) return EIO;
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
        if (err) return err;
    }
    out.Reset(s.fd);
    s.fd = -1;
    return 0;
}

int WriteAll(int fd, const unsigned char *p, size_t n, int timeout) {
    int e =
        vrcore::system::fileio::SendAll(fd, p, n, kSocketBuffer, timeout > 0 ? timeout * 1000 : -1);
    return e == 0 ? EVT_E_OK : e == ETIMEDOUT ? EVT_E_TIMEOUT : EVT_E_SOCKET;
}

int ReadOne(int fd, int wake_fd, const Deadline &d, std::vector<unsigned char> &buf, size_t *size) {
    buf.clear();
    for (;;) {
        vrcore::ber::Scan s =
            vrcore::ber::ScanElement(buf.data(), buf.size(), kMaxMessageBytes, size);
        if (s == vrcore::ber::Scan::kNeedMore && buf.size() >= kMaxMessageBytes)
            s = vrcore::ber::Scan::kTooLarge;
        switch (s) {
        case vrcore::ber::Scan::kComplete: return EVT_E_OK;
        case vrcore::ber::Scan::kNeedMore: break;
        case vrcore::ber::Scan::kTooLarge:
            LOG_CondMessage(5, __FILE__, __LINE__, "EVT: a received message exceeds %zu bytes",
                            kMaxMessageBytes);
            return EVT_E_DECODE;
        default:
            LOG_CondMessage(5, __FILE__, __LINE__, "EVT: a received message is not a BER encoding");
            return EVT_E_DECODE;
        }
        size_t have = buf.size();
        size_t room = kMaxMessageBytes - have;
        size_t want = have < kSocketBuffer ? kSocketBuffer : have;
        size_t chunk = room < want ? room : want;
        buf.resize(have + chunk);
        ssize_t k = recv(fd, buf.data() + have, chunk, 0);
        buf.resize(have + (k > 0 ? static_cast<size_t>(k) : 0));
        if (k > 0) continue;
        if (k == 0) {
            LOG_CondMessage(5, __FILE__, __LINE__, "EVT: a connection ended inside its message");
            return EVT_E_DECODE;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            LOG_CondMessage(5, __FILE__, __LINE__, "EVT: reading a message failed: %s",
                            strerror(errno));
            return EVT_E_DECODE;
        }
        int w = Wait(fd, POLLIN, wake_fd, d);
        if (w == kClosed) return kClosed;
        if (w == 0) {
            LOG_CondMessage(5, __FILE__, __LINE__,
                            "EVT: a sender did not finish its message in time");
            return EVT_E_TIMEOUT;
        }
        if (w < 0) return EVT_E_SOCKET;
    }
}

} // namespace vrcore::events
