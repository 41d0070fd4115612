// Loopback TCP sockets for tests and benchmarks.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace vrtest {

// A TCP socket on an ephemeral loopback port (in `port`), not yet listening; -1 on failure.
inline int LoopbackSocket(uint16_t &port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        close(s);
        return -1;
    }
    port = ntohs(a.sin_port);
    return s;
}

// The same, listening.
inline int LoopbackListener(uint16_t &port, int backlog = SOMAXCONN) {
    int s = LoopbackSocket(port);
    if (s >= 0 && listen(s, backlog) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// A connection to a loopback port; -1 when it is refused.
inline int ConnectLoopback(uint16_t port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(s);
        return -1;
    }
    return s;
}

} // namespace vrtest
