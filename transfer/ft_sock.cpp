// Socket transfer: the server that receives a document into a spool file
// and the client that sends a local file.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "system/guard.h"
#include "system/fileio.h"
#include "transfer/ft_internal.h"

namespace vrcore::transfer {

namespace {
constexpr size_t kChunk = 1024 * 1024;
constexpr int kAttempts = 5;
constexpr int kLingerSeconds = 100;
} // namespace

int ListenAny(uint16_t &port) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(s, 5) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        int e = errno;
        ::close(s);
        errno = e;
        return -1;
    }
    port = ntohs(a.sin_port);
    return s;
}

int AcceptWithin(int listener, long timeout_ms) {
    using clock = std::chrono::steady_clock;
    auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left < 0) left = 0;
        pollfd p{listener, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left > 0x7fffffff ? 0x7fffffff : left));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) {
            if (clock::now() < deadline) continue;
            errno = ETIMEDOUT;
            return -1;
        }
        int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0) return c;
        // The client may have gone between poll and accept.
        if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED) continue;
        return -1;
    }
}

bool ConnectionGone(int err) {
    switch (err) {
    case EINTR:
    case ENOBUFS:
    case ENOMEM: return false;
    default: return true;
    }
}

uint32_t ReceiveToFile(int sock, SpoolFile &out, Doc d) {
    // A client silent for as long as one may take to arrive is gone.
    long idle_ms = AcceptTimeoutMs();
    timeval tv{idle_ms / 1000, (idle_ms % 1000) * 1000};
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[kChunk]);
    if (!chunk) return FT_S_NOMEM;
    int transient = 0;
    for (;;) {
        ssize_t r = ::recv(sock, chunk.get(), kChunk, 0);
        if (r == 0) break;
        if (r < 0) {
            int e = errno;
            if (e == EAGAIN || e == EWOULDBLOCK) {
                FT_LOG(5, d, "receive_to_file: client silent, transfer abandoned\n");
                return FT_S_FAILED;
            }
            if (!ConnectionGone(e) && ++transient < 1000) {
                if (e != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            FT_LOG(5, d, "receive_to_file: receive failed, errno=%d\n", e);
            return FT_S_FAILED;
        }
        transient = 0;
        if (uint32_t rc = out.WriteAll(chunk.get(), static_cast<size_t>(r))) {
            FT_LOG(5, d, "receive_to_file: write failed, errno=%d\n", errno);
            return rc;
        }
    }
    if (out.Written() == 0) {
        FT_LOG(5, d, "SocketAcceptToFile2: failed to transfer!\n");
        return FT_S_FAILED;
    }
    return 0;
}

int ConnectRetrying(const FT_SocketAddress &addr, Doc d) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(addr.port);
    std::memcpy(&a.sin_addr, addr.address, 4);
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0) {
            FT_LOG(5, d, "connect_retrying: socket failed, errno=%d\n", errno);
            return -1;
        }
        int r;
        do {
            r = ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
        } while (r != 0 && errno == EINTR);
        if (r == 0) {
            linger l{1, kLingerSeconds};
            ::setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            return s;
        }
        ::close(s);
        FT_LOG(5, d, "Socket_ClientFile: connect failed: retry #%d\n", attempt);
        if (attempt < kAttempts) ConnectPause(attempt);
    }
    return -1;
}

// Sends all of a file to a connected socket: *sent receives the count.
uint32_t SendFile(int sock, int fd, Doc d, uint64_t &sent) {
    sent = 0;
    // A plain read and send loop: over loopback, sendfile's page-backed
    // buffers make the receiving side slower than copies do.
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[kChunk]);
    if (!chunk) return FT_S_NOMEM;
    for (;;) {
        long r = ReadSome(fd, chunk.get(), kChunk);
        if (r == 0) return 0;
        if (r < 0 || !SendAll(sock, chunk.get(), static_cast<size_t>(r), sent)) {
            FT_LOG(5, d, "Socket_ClientFile: socket transfer failed\n");
            return FT_S_FAILED;
        }
    }
}

bool SendAll(int sock, const void *data, size_t n, uint64_t &sent) {
    const char *p = static_cast<const char *>(data);
    WriteWait room(AcceptTimeoutMs());
    while (n > 0) {
        ssize_t w = ::send(sock, p, n, MSG_NOSIGNAL);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN && room.Wait(sock)) continue;
            return false;
        }
        room.Progress();
        p += w;
        n -= static_cast<size_t>(w);
        sent += static_cast<uint64_t>(w);
    }
    sent += n;
    return true;
}

} // namespace vrcore::transfer

using namespace vrcore::transfer;

extern "C" uint32_t FT_SocketServer(const GEN_DocumentIdentifier *id, const FT_SpoolInfo *,
                                    FT_Result *result) try {
    Doc d = DocOf(id);
    if (!result) {
        FT_LOG(5, d, "FT_SocketServer: no result\n");
        return FT_S_OTHER;
    }
    int listener = result->listen_socket;
    result->listen_socket = -1;
    FdGuard close_listener{listener};
    if (!id) {
        FT_LOG(5, d, "FT_SocketServer: no document ID\n");
        return FT_S_NODOCID;
    }
    if (listener < 0) {
        FT_LOG(5, d, "FT_SocketServer: no prepared socket\n");
        return FT_S_OTHER;
    }
    if (strnlen(result->spool_name, sizeof result->spool_name) >= sizeof result->spool_name) {
        FT_LOG(5, d, "FT_SocketServer: bad spool name\n");
        return FT_S_OTHER;
    }
    int sock = AcceptWithin(listener, AcceptTimeoutMs());
    if (sock < 0) {
        if (errno == ETIMEDOUT)
            FT_LOG(5, d, "SocketAccept: socket transfer timeout\n");
        else
            FT_LOG(5, d, "FT_SocketServer: accept failed, errno=%d\n", errno);
        return FT_S_OTHER;
    }
    FdGuard close_sock{sock};
    try {
        SpoolFile out;
        if (uint32_t rc = out.CreateNamed(result->spool_name)) {
            FT_LOG(5, d, "FT_SocketServer: cannot create %s: errno %d\n", result->spool_name,
                   errno);
            return rc;
        }
        if (uint32_t rc = ReceiveToFile(sock, out, d)) return rc;
        if (uint32_t rc = Publish(out, d, out.Written(), result)) return rc;
        FT_LOG(6, d, "FT_SocketServer: %llu bytes into %s\n",
               static_cast<unsigned long long>(result->size), result->spool_name);
        return 0;
    } catch (const std::bad_alloc &) {
        return FT_S_NOMEM;
    }
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)
