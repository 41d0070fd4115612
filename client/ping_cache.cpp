// The ping cache and the ping itself.
#include "client/ping_cache.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "system/config.h"
#include "system/seam.h"
#include "vrcore/log.h"

namespace vrcore::client {
namespace {

namespace seam = vrcore::system::seam;

constexpr const char *kSource = "c_supprt.msrpc";
constexpr size_t kGrowth = 32;
constexpr const char *kKey = "Software\\Halvane\\Tessaril\\odp";

time_t SystemClock() { return time(nullptr); }

} // namespace

PingSettings ReadPingSettings() {
    PingSettings s;
    vrcore::system::cfg::Registry reg;
    s.timeout = reg.GetDword(kKey, "PingTimeout", s.timeout);
    s.tries = reg.GetDword(kKey, "PingTry", s.tries);
    s.period = reg.GetDword(kKey, "CacheEffectivePeriod", s.period);
    LOG_CondMessage(6, kSource, __LINE__, "PingTimeout %u\n", s.timeout);
    LOG_CondMessage(6, kSource, __LINE__, "PingTry %u\n", s.tries);
    LOG_CondMessage(6, kSource, __LINE__, "CacheEffectivePeriod %u\n", s.period);
    return s;
}

PingCache::PingCache(const PingSettings &settings, Clock clock)
    : settings_(settings), clock_(clock ? clock : SystemClock) {
    last_sweep_ = Now();
    Ready();
}

PingCache::~PingCache() { seam::Release(seam::Module::Client, table_); }

int64_t PingCache::Now() const { return static_cast<int64_t>(clock_()); }

// The empty table is made on first use; until it can be, look-ups find
// nothing and records are dropped.
bool PingCache::Ready() { return table_ || Resize(kGrowth); }

bool PingCache::Resize(size_t capacity) {
    auto *t = static_cast<Entry *>(seam::Alloc(seam::Module::Client, capacity * sizeof(Entry)));
    if (!t) return false;
    if (count_) memcpy(t, table_, count_ * sizeof(Entry));
    seam::Release(seam::Module::Client, table_);
    table_ = t;
    capacity_ = capacity;
    return true;
}

size_t PingCache::Find(uint32_t address, bool *found) const {
    size_t lo = 0, hi = count_;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (table_[mid].address < address)
            lo = mid + 1;
        else
            hi = mid;
    }
    *found = lo < count_ && table_[lo].address == address;
    return lo;
}

void PingCache::Remove(size_t at) {
    memmove(table_ + at, table_ + at + 1, (count_ - at - 1) * sizeof(Entry));
    --count_;
    size_t half = capacity_ / 2;
    if (count_ < capacity_ / 4 && half >= kGrowth && count_ < half && Resize(half))
        LOG_CondMessage(6, kSource, __LINE__, "shrinked size = %ld, cnt = %ld\n", long(capacity_),
                        long(count_));
}

void PingCache::Sweep(int64_t now) {
    if (now <= last_sweep_ + settings_.period / 2) return;
    last_sweep_ = now;
    LOG_CondMessage(6, kSource, __LINE__, "check_expire size= %d, cnt= %d\n", int(capacity_),
                    int(count_));
    for (size_t i = count_; i-- > 0;)
        if (table_[i].expiry < now) Remove(i);
    LOG_CondMessage(6, kSource, __LINE__, "checked size= %d, cnt= %d\n", int(capacity_),
                    int(count_));
}

bool PingCache::Lookup(uint32_t address, uint32_t *state) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!Ready()) return false;
    int64_t now = Now();
    bool found = false;
    size_t at = Find(address, &found);
    if (found && table_[at].expiry < now) {
        LOG_CondMessage(6, kSource, __LINE__, "expired\n");
        Remove(at);
        found = false;
    } else if (found) {
        *state = table_[at].state;
    }
    Sweep(now);
    return found;
}

void PingCache::Record(uint32_t address, uint32_t state) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!Ready()) return;
    int64_t now = Now();
    bool found = false;
    size_t at = Find(address, &found);
    if (!found) {
        if (count_ == capacity_ && !Resize(capacity_ + kGrowth)) return;
        memmove(table_ + at + 1, table_ + at, (count_ - at) * sizeof(Entry));
        ++count_;
        table_[at].address = address;
    }
    table_[at].state = state;
    table_[at].expiry = now + settings_.period;
    Sweep(now);
}

size_t PingCache::Capacity() {
    std::lock_guard<std::mutex> hold(mutex_);
    return capacity_;
}

size_t PingCache::Count() {
    std::lock_guard<std::mutex> hold(mutex_);
    return count_;
}

PingCache &ProcessPingCache() {
    // Lives to the end of the process: a thread may bind while others exit.
    static PingCache *cache = new PingCache(ReadPingSettings());
    return *cache;
}

// ---- The ping -------------------------------------------------------------

namespace {

uint16_t Checksum(const unsigned char *p, size_t n) {
    uint32_t sum = 0;
    for (; n > 1; p += 2, n -= 2) sum += uint32_t(p[0]) << 8 | p[1];
    if (n) sum += uint32_t(p[0]) << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

// One echo reply from the address in what the socket delivered: behind
// the IP header on a raw socket, alone on a datagram socket.
bool IsReply(const unsigned char *p, ssize_t n, bool raw, const sockaddr_in &from,
             uint32_t address) {
    size_t header = raw && n > 0 ? size_t(p[0] & 0x0F) * 4 : 0;
    if (n < 0 || size_t(n) < header + 8) {
        LOG_CondMessage(6, kSource, __LINE__, "too small %d\n", int(n));
        return false;
    }
    if (p[header] != 0) {
        LOG_CondMessage(6, kSource, __LINE__, "wrong type\n");
        return false;
    }
    if (from.sin_addr.s_addr != address) {
        LOG_CondMessage(6, kSource, __LINE__, "ip != from.sin_addr.s_addr\n");
        return false;
    }
    return true;
}

} // namespace

int Ping(uint32_t address, const PingSettings &settings) {
    bool raw = false;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        raw = true;
        fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    }
    if (fd < 0) {
        LOG_CondMessage(5, kSource, __LINE__, "socket: %d\n", errno);
        return -1;
    }
    unsigned char request[8] = {8, 0, 0, 0, 0, 0, 0, 0};
    uint16_t sum = Checksum(request, sizeof request);
    request[2] = static_cast<unsigned char>(sum >> 8);
    request[3] = static_cast<unsigned char>(sum);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    using Steady = std::chrono::steady_clock;
    for (uint32_t attempt = 0; attempt < settings.tries; ++attempt) {
        if (sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&to), sizeof to) !=
            ssize_t(sizeof request)) {
            LOG_CondMessage(5, kSource, __LINE__, "sendto: %d\n", errno);
            continue;
        }
        auto deadline = Steady::now() + std::chrono::seconds(settings.timeout);
        // Other ICMP traffic a raw socket sees is read and passed over
        // until the try's time is up.
        for (int packets = 0; packets < 256; ++packets) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
            pollfd pfd{fd, POLLIN, 0};
            int ready = left.count() > 0 ? poll(&pfd, 1, int(left.count())) : 0;
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0) {
                LOG_CondMessage(5, kSource, __LINE__, "select: %d\n", errno);
                close(fd);
                return -1;
            }
            if (ready == 0) {
                LOG_CondMessage(6, kSource, __LINE__, "timeout\n");
                break;
            }
            unsigned char reply[512];
            sockaddr_in from{};
            socklen_t from_len = sizeof from;
            ssize_t n = recvfrom(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr *>(&from),
                                 &from_len);
            if (n < 0) {
                LOG_CondMessage(5, kSource, __LINE__, "recvfrom: %d\n", errno);
                continue;
            }
            char text[INET_ADDRSTRLEN] = "";
            inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
            LOG_CondMessage(6, kSource, __LINE__, "got msg from %s\n", text);
            if (IsReply(reply, n, raw, from, address)) {
                LOG_CondMessage(6, kSource, __LINE__, "ping okay\n");
                close(fd);
                return 1;
            }
        }
    }
    LOG_CondMessage(6, kSource, __LINE__, "ping timed out\n");
    close(fd);
    return 0;
}

} // namespace vrcore::client
