// The ping cache: whether a server host answered lately, so that binding
// neither pings a host it reached a moment ago nor waits again for one
// that did not answer. One table per process, sorted by address, each
// entry valid for a period after it was recorded; the table grows by 32
// entries and shrinks by half when it is mostly empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>

namespace vrcore::client {

struct PingSettings {
    uint32_t timeout = 3;  // seconds to wait for one echo reply
    uint32_t tries = 3;    // echo requests per ping
    uint32_t period = 120; // seconds an entry stays valid; sweeps every half period
};

// The settings under "Software\Halvane\Tessaril\odp" of the registry file
// ("PingTimeout", "PingTry", "CacheEffectivePeriod", each a dword), with
// the defaults above for what is missing or of another type.
PingSettings ReadPingSettings();

inline constexpr uint32_t kPingReachable = 1;
inline constexpr uint32_t kPingUnreachable = 0;

class PingCache {
  public:
    using Clock = time_t (*)();
    explicit PingCache(const PingSettings &settings, Clock clock = nullptr);
    ~PingCache();
    PingCache(const PingCache &) = delete;
    PingCache &operator=(const PingCache &) = delete;

    // The state recorded for the address (network byte order), if its
    // entry has not expired: true and *state. An expired entry goes.
    bool Lookup(uint32_t address, uint32_t *state);
    // Records the state for the period; dropped when the table cannot grow.
    void Record(uint32_t address, uint32_t state);

    size_t Capacity();
    size_t Count();
    const PingSettings &Settings() const { return settings_; }

  private:
    struct Entry {
        uint32_t address;
        int64_t expiry; // seconds of the clock
        uint32_t state;
    };
    bool Ready();
    size_t Find(uint32_t address, bool *found) const;
    void Remove(size_t at);
    bool Resize(size_t capacity);
    void Sweep(int64_t now);
    int64_t Now() const;

    PingSettings settings_;
    Clock clock_;
    std::mutex mutex_;
    Entry *table_ = nullptr;
    size_t capacity_ = 0;
    size_t count_ = 0;
    int64_t last_sweep_ = 0;
};

// The process's cache, made on first use with the registry's settings.
PingCache &ProcessPingCache();

// Pings the address (network byte order) with up to `tries` echo requests,
// waiting `timeout` seconds for each: 1 answered, 0 no answer, -1 the ping
// could not be made (no ICMP socket of either kind).
int Ping(uint32_t address, const PingSettings &settings);

} // namespace vrcore::client
