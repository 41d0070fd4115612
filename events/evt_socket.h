// The sockets of event messages: waiting with a deadline, resolving a
// remote "host:port", connecting, writing one encoding and reading one
// back. Nothing here knows a queue.
#pragma once

#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vrcore::events {

using Clock = std::chrono::steady_clock;

constexpr int kSocketBuffer = 8192;
// Returned by a wait or a read woken because the queue was closed.
constexpr int kClosed = -1;

// A point in time to wait until, or none.
struct Deadline {
    bool limited = false;
    Clock::time_point at{};

    static Deadline After(int seconds) {
        Deadline d;
        if (seconds > 0) {
            d.limited = true;
            d.at = Clock::now() + std::chrono::seconds(seconds);
        }
        return d;
    }
    // Milliseconds left for poll: -1 without limit, 0 when passed.
    int PollMs() const {
        if (!limited) return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(at - Clock::now()).count();
        if (left <= 0) return 0;
        return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
    }
};

// Waits for `events` on fd or for the wake descriptor (when >= 0).
// Returns 1 ready, 0 timed out, kClosed when woken, -2 on a poll failure.
int Wait(int fd, short events, int wake_fd, const Deadline &d);

// A descriptor closed at the end of a scope.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { Reset(); }
    void Reset(int f = -1) {
        if (fd >= 0) close(fd);
        fd = f;
    }
};

// Splits "host:port" and resolves the host to its IPv4 addresses.
int Resolve(std::string_view text, uint16_t *port, std::vector<sockaddr_in> &out);

// The port registered for event messages in the services database, or
// EVT_DEFAULT_PORT.
uint16_t RegisteredPort();

// One connection attempt. Returns 0 with the connected socket in `out`,
// an errno value of the attempt, or -1 when the socket cannot be set up.
int ConnectOnce(const sockaddr_in &to, int timeout, Fd &out);

// Writes all bytes in pieces of at most the socket buffer, within the
// time-out as a whole.
int WriteAll(int fd, const unsigned char *p, size_t n, int timeout);

// Reads exactly one encoding from a connection: no more than the limit,
// nothing after the deadline.
int ReadOne(int fd, int wake_fd, const Deadline &d, std::vector<unsigned char> &buf, size_t *size);

} // namespace vrcore::events
