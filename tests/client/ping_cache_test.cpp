// The ping cache: expiry, the sorted table's growth and shrinking, its
// settings, and a ping of the loopback.
#include <arpa/inet.h>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "client/ping_cache.h"
#include "failalloc.h"
#include "scratch.h"

namespace {

using vrcore::client::PingCache;

time_t g_now = 1000000;
time_t FakeClock() { return g_now; }
uint32_t Addr(uint32_t i) { return (i * 2654435761u) ^ 0x5A5A5A5Au; } // distinct, unordered

TEST(PingCache, EntriesHoldForTheirPeriodAndTheTableGrowsAndShrinks) {
    PingCache cache({3, 3, 120}, FakeClock);
    uint32_t state = 7;
    cache.Record(Addr(0), 0);
    const time_t t0 = g_now;
    for (time_t at : {0, 60, 120, 121}) {
        g_now = t0 + at;
        EXPECT_EQ(cache.Lookup(Addr(0), &state), at <= 120) << at;
    }
    EXPECT_EQ(state, 0u);
    // 33 addresses grow the table from 32 to 64, 96 fill it to 96; each
    // keeps its own state; one more that cannot have a new table is dropped.
    EXPECT_EQ(cache.Capacity(), 32u);
    for (uint32_t i = 0; i < 96; ++i) {
        cache.Record(Addr(i), i % 2);
        if (i == 32) {
            EXPECT_EQ(cache.Capacity(), 64u);
        }
    }
    for (uint32_t i = 0; i < 96; ++i)
        ASSERT_TRUE(cache.Lookup(Addr(i), &state) && state == i % 2) << i;
    {
        vrtest::FailModule fail(vrcore::system::seam::Module::Client, 1);
        cache.Record(Addr(500), 1);
    }
    EXPECT_FALSE(cache.Lookup(Addr(500), &state));
    EXPECT_EQ(cache.Count(), 96u);
    // Renewed, one entry outlives the sweep; the table halves while under a
    // quarter full and the half holds 32.
    g_now += 100;
    cache.Record(Addr(1), 0);
    g_now += 61;
    cache.Record(Addr(2), 1);
    EXPECT_TRUE(cache.Lookup(Addr(1), &state) && state == 0);
    EXPECT_EQ(cache.Count(), 2u);
    EXPECT_EQ(cache.Capacity(), 48u);
}

TEST(PingCache, SettingsComeFromTheRegistryAndTheLoopbackAnswers) {
    vrtest::ScratchDir dir("vrping");
    std::string reg = dir.Path() + "/registry.reg";
    std::ofstream(reg) << "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril\\odp]\n"
                          "\"PingTimeout\"=dword:00000005\n\"PingTry\"=\"7\"\n";
    const char *was = std::getenv("VRCORE_REGISTRY"); // another suite's registry stays in place
    std::string saved = was ? was : "";
    setenv("VRCORE_REGISTRY", reg.c_str(), 1);
    vrcore::client::PingSettings s = vrcore::client::ReadPingSettings();
    was ? setenv("VRCORE_REGISTRY", saved.c_str(), 1) : unsetenv("VRCORE_REGISTRY");
    EXPECT_EQ(s.timeout, 5u);
    EXPECT_EQ(s.tries, 3u); // a string is not a dword: the default
    EXPECT_EQ(s.period, 120u);
    int answer = vrcore::client::Ping(htonl(INADDR_LOOPBACK), {2, 2, 120});
    if (answer < 0) GTEST_SKIP() << "no ICMP socket of either kind may be opened here";
    EXPECT_EQ(answer, 1);
}

} // namespace
