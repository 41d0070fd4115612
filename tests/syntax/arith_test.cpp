// Cardinal-64 addition and generalized-time arithmetic, under several zones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "valuegen.h"
#include "vrcore/genu.h"

namespace {

using vrtest::StatusList;

TEST(Cardinal64, AddsModulo64Bits) {
    const struct {
        GEN_Cardinal64 a, b;
        int32_t add;
        uint64_t want;
    } cases[] = {{{0, 0xFFFFFFFFu}, {0, 1}, 0, 1ull << 32},
                 {{0xFFFFFFFFu, 0xFFFFFFFFu}, {0, 2}, 0, 1},
                 {{1, 0}, {}, -1, 0xFFFFFFFFu},
                 {{0, 0}, {}, -1, ~0ull},
                 {{0, 0xFFFFFFFEu}, {}, 3, 0x100000001ull},
                 {{5, 5}, {}, INT32_MIN, 0x480000005ull}};
    for (const auto &c : cases) {
        GEN_Cardinal64 r{};
        c.add ? GENU_AddCardinal64Int(&r, &c.a, c.add) : GENU_AddCardinal64(&r, &c.a, &c.b);
        EXPECT_EQ(uint64_t{r.high} << 32 | r.low, c.want);
    }
}

GEN_GeneralizedTime Local(int16_t y, int16_t mo, int16_t d, int16_t h, int16_t mi, int16_t s,
                          int16_t ms, int16_t mindiff) {
    return {y, mo, d, h, mi, s, ms, mindiff, 0};
}
GEN_GeneralizedTime Utc(int16_t y, int16_t mo, int16_t d, int16_t h, int16_t mi, int16_t s,
                        int16_t ms = 0) {
    return {static_cast<int16_t>(y - 1900), mo, d, h, mi, s, ms, 0, 1};
}

std::string Show(const GEN_GeneralizedTime &t) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d-%02d-%02d %02d:%02d:%02d.%03d mindiff %d utc %d", t.year,
                  t.month, t.day, t.hour, t.minute, t.second, t.millisecond, t.mindiff, t.utc);
    return buf;
}

// The results must not depend on the process's time zone.
class InZone : public ::testing::TestWithParam<const char *> {
  protected:
    void SetUp() override {
        if (const char *old = std::getenv("TZ")) old_tz_ = old;
        setenv("TZ", GetParam(), 1);
        tzset();
    }
    void TearDown() override {
        old_tz_ ? setenv("TZ", old_tz_->c_str(), 1) : unsetenv("TZ");
        tzset();
    }

  private:
    std::optional<std::string> old_tz_;
};

INSTANTIATE_TEST_SUITE_P(Zones, InZone,
                         ::testing::Values("UTC", "Europe/Berlin", "America/New_York",
                                           "Australia/Lord_Howe"));

TEST_P(InZone, DeltaArithmeticRollsOver) {
    const struct {
        const char *what;
        GEN_GeneralizedTime in;
        uint32_t seconds;
        int32_t mode;
        GEN_GeneralizedTime want;
    } cases[] = {
        {"New Year", Local(2026, 12, 31, 23, 30, 0, 250, -60), 86400, 0,
         Local(2027, 1, 1, 23, 30, 0, 250, -60)},
        {"leap day", Local(2024, 2, 28, 0, 0, 0, 0, 0), 86400, 0,
         Local(2024, 2, 29, 0, 0, 0, 0, 0)},
        {"no leap day in 2100", Local(2100, 2, 28, 0, 0, 0, 0, 0), 86400, 0,
         Local(2100, 3, 1, 0, 0, 0, 0, 0)},
        {"back over New Year", Local(2027, 1, 1, 0, 0, 10, 0, -60), 20, 1,
         Local(2026, 12, 31, 23, 59, 50, 0, -60)},
        {"Berlin spring change", Local(2026, 3, 28, 12, 0, 0, 0, -60), 86400, 0,
         Local(2026, 3, 29, 12, 0, 0, 0, -60)},
        {"New York autumn change", Local(2026, 11, 1, 0, 30, 0, 0, 240), 7200, 0,
         Local(2026, 11, 1, 2, 30, 0, 0, 240)},
        {"utc years from 1900", Utc(1999, 12, 31, 23, 59, 59, 7), 1, 0,
         Utc(2000, 1, 1, 0, 0, 0, 7)},
        {"the largest delta", Utc(2000, 1, 1, 0, 0, 0), 0xFFFFFFFFu, 0, Utc(2136, 2, 7, 6, 28, 15)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        StatusList st;
        GEN_GeneralizedTime out{}, fixed{}, back{};
        ASSERT_EQ(GENU_GeneralizedTimeDeltaArithmetic(st, &c.in, c.seconds, c.mode, &out), 0);
        EXPECT_EQ(Show(out), Show(c.want));
        // The fixed modes agree, and undo each other.
        auto fn =
            c.mode ? GENU_SubtractDeltaTimeFromGeneralizedTime : GENU_AddDeltaTimeToGeneralizedTime;
        auto undo =
            c.mode ? GENU_AddDeltaTimeToGeneralizedTime : GENU_SubtractDeltaTimeFromGeneralizedTime;
        ASSERT_EQ(fn(st, &c.in, c.seconds, &fixed), 0);
        EXPECT_EQ(Show(fixed), Show(c.want));
        ASSERT_EQ(undo(st, &fixed, c.seconds, &back), 0);
        EXPECT_EQ(Show(back), Show(c.in));
    }
}

TEST_P(InZone, DeltaArithmeticFailures) {
    StatusList st;
    GEN_GeneralizedTime t = Local(2026, 1, 1, 0, 0, 0, 0, 0), out{};
    EXPECT_EQ(GENU_GeneralizedTimeDeltaArithmetic(st, &t, 1, 2, &out), 1);
    EXPECT_EQ(st.Code(), 0u); // no status entry for an unknown mode
    GEN_GeneralizedTime late = Local(32767, 12, 31, 23, 59, 59, 0, 0);
    EXPECT_EQ(st.Failed(GENU_AddDeltaTimeToGeneralizedTime(st, &late, 1, &out)), GEN_S_INVALID);
    // The output may be the input.
    ASSERT_EQ(GENU_AddDeltaTimeToGeneralizedTime(st, &t, 61, &t), 0);
    EXPECT_EQ(Show(t), Show(Local(2026, 1, 1, 0, 1, 1, 0, 0)));
}

TEST_P(InZone, TimesCompareByTheInstantTheyDenote) {
    const struct {
        const char *what;
        GEN_GeneralizedTime a, b;
        int32_t want;
    } cases[] = {
        {"only the milliseconds differ", Utc(2026, 5, 1, 8, 0, 0, 900),
         Utc(2026, 5, 1, 8, 0, 0, 150), 750},
        {"Berlin summer time and its UTC", Local(2026, 7, 1, 14, 0, 0, 0, -120),
         Utc(2026, 7, 1, 12, 0, 0), 0},
        {"the two autumn hours of New York", Local(2026, 11, 1, 1, 30, 0, 0, 240),
         Local(2026, 11, 1, 1, 30, 0, 0, 300), -1},
        {"one second across New Year", Utc(2026, 12, 31, 23, 59, 59), Utc(2027, 1, 1, 0, 0, 0), -1},
        {"day 0 is the month's eve", Local(2026, 3, 0, 0, 0, 0, 0, 0),
         Local(2026, 2, 28, 0, 0, 0, 0, 0), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        StatusList st;
        int32_t r = 99;
        ASSERT_EQ(GEN_CompareGeneralizedTime(st, &c.a, &c.b, &r), 0);
        EXPECT_EQ(r, c.want);
        ASSERT_EQ(GEN_CompareAttrValue(st, 48, &c.b, &c.a, &r), 0);
        EXPECT_EQ(r, -c.want);
    }
}

TEST_P(InZone, CurrentTimeAndZone) {
    StatusList st;
    GEN_GeneralizedTime *before = nullptr, *local = nullptr, *after = nullptr;
    ASSERT_EQ(GENU_GetCurrentTime(st, &before, 1) + GENU_GetCurrentTime(st, &local, 0) +
                  GENU_GetCurrentTime(st, &after, 7),
              0);
    EXPECT_TRUE(before->year >= 126 && before->year < 1900) << before->year; // years from 1900
    EXPECT_TRUE(Show(*before).ends_with(" mindiff 0 utc 1")) << Show(*before);
    EXPECT_TRUE(Show(*after).ends_with(" mindiff 0 utc 1")) << Show(*after);
    std::time_t now = std::time(nullptr);
    struct tm tm {};
    localtime_r(&now, &tm);
    EXPECT_GE(local->year, 2026);
    EXPECT_EQ(Show(*local).substr(19),
              ".000 mindiff " + std::to_string(-tm.tm_gmtoff / 60) + " utc 0");
    // The local time denotes the same instant as the UTC readings around it.
    int32_t r = 1;
    ASSERT_EQ(GEN_CompareGeneralizedTime(st, before, local, &r), 0);
    EXPECT_LE(r, 0);
    ASSERT_EQ(GEN_CompareGeneralizedTime(st, local, after, &r), 0);
    EXPECT_LE(r, 0);
    for (auto *t : {before, local, after}) GENU__CoveredFree(t);

    // The cached offset is the zone's standard one, whatever the season.
    GENU_TimeZoneInit();
    const std::string zone = GetParam();
    EXPECT_EQ(GENU_GetTimeZone(), zone == "Europe/Berlin"         ? -3600
                                  : zone == "America/New_York"    ? 18000
                                  : zone == "Australia/Lord_Howe" ? -37800
                                                                  : 0);
}

} // namespace
