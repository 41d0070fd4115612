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

using vrcore::client::kPingReachable;
using vrcore::client::kPingUnreachable;
using vrcore::client::PingCache;

time_t g_now = 1000000;
time_t FakeClock() { return g_now; }

TEST(PingCache, AnEntryHoldsForItsPeriodThenGoes) {
    g_now = 1000000;
    PingCache cache({3, 3, 120}, FakeClock);
    uint32_t host = inet_addr("10.1.2.3");
    uint32_t state = 7;
    EXPECT_FALSE(cache.Lookup(host, &state));
    cache.Record(host, kPingUnreachable);
    for (time_t later : {0, 60, 120}) {
        g_now = 1000000 + later;
        ASSERT_TRUE(cache.Lookup(host, &state)) << later;
        EXPECT_EQ(state, kPingUnreachable);
    }
    g_now = 1000121;
    EXPECT_FALSE(cache.Lookup(host, &state));
    EXPECT_EQ(cache.Count(), 0u);
    // Recording again renews the entry and its state.
    cache.Record(host, kPingUnreachable);
    g_now += 100;
    cache.Record(host, kPingReachable);
    g_now += 100;
    ASSERT_TRUE(cache.Lookup(host, &state));
    EXPECT_EQ(state, kPingReachable);
}

TEST(PingCache, GrowsBy32KeepsOrderAndShrinksWhenMostlyEmpty) {
    g_now = 2000000;
    PingCache cache({3, 3, 120}, FakeClock);
    EXPECT_EQ(cache.Capacity(), 32u);
    // Addresses in an order that inserts at the front, back and middle;
    // each keeps its own state.
    auto addr = [](uint32_t i) { return (i * 2654435761u) ^ 0x5A5A5A5Au; };
    for (uint32_t i = 0; i < 33; ++i) cache.Record(addr(i), i % 2);
    EXPECT_EQ(cache.Capacity(), 64u);
    for (uint32_t i = 0; i < 70; ++i) cache.Record(addr(i), i % 2); // 33 again, 37 new
    EXPECT_EQ(cache.Count(), 70u);
    EXPECT_EQ(cache.Capacity(), 96u);
    for (uint32_t i = 0; i < 33; ++i) {
        uint32_t state = 9;
        ASSERT_TRUE(cache.Lookup(addr(i), &state)) << i;
        EXPECT_EQ(state, i % 2) << i;
    }
    // A new table that cannot be had drops the record, nothing else.
    for (uint32_t i = 70; i < 96; ++i) cache.Record(addr(i + 1000), 1);
    {
        vrtest::FailModule fail(vrcore::system::seam::Module::Client, 1);
        cache.Record(addr(5000), 1);
    }
    uint32_t state = 0;
    EXPECT_FALSE(cache.Lookup(addr(5000), &state));
    EXPECT_EQ(cache.Count(), 96u);
    // The sweep removes every expired entry; the table halves while it is
    // less than a quarter full and the half holds at least 32.
    g_now += 121;
    cache.Record(addr(1), 1);
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_EQ(cache.Capacity(), 48u);
}

TEST(PingCache, SettingsComeFromTheRegistryFile) {
    vrtest::ScratchDir dir("vrping");
    std::string reg = dir.Path() + "/registry.reg";
    std::ofstream(reg) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril\\odp]\n"
                          "\"PingTimeout\"=dword:00000005\n\"PingTry\"=\"7\"\n";
    setenv("VRCORE_REGISTRY", reg.c_str(), 1);
    vrcore::client::PingSettings s = vrcore::client::ReadPingSettings();
    unsetenv("VRCORE_REGISTRY");
    EXPECT_EQ(s.timeout, 5u);
    EXPECT_EQ(s.tries, 3u); // a string is not a dword: the default
    EXPECT_EQ(s.period, 120u);
}

TEST(PingCache, TheLoopbackAnswers) {
    int answer = vrcore::client::Ping(htonl(INADDR_LOOPBACK), {2, 2, 120});
    if (answer < 0) GTEST_SKIP() << "no ICMP socket of either kind may be opened here";
    EXPECT_EQ(answer, 1);
}

} // namespace
