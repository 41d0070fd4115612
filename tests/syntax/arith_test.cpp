// Value arithmetic and times: cardinal-64 addition, delta times added to and
// subtracted from generalized times, the time comparison and the current
// time, each under UTC and under zones with daylight saving.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "valuegen.h"
#include "vrcore/genu.h"

namespace {

using vrtest::StatusList;

TEST(Cardinal64, AddsModulo64Bits) {
    struct Case {
        GEN_Cardinal64 a, b, want;
    } cases[] = {
        {{0, 0xFFFFFFFFu}, {0, 1}, {1, 0}},
        {{0xFFFFFFFFu, 0xFFFFFFFFu}, {0, 2}, {0, 1}},
        {{7, 5}, {1, 6}, {8, 11}},
    };
    for (const Case &c : cases) {
        GEN_Cardinal64 r{};
        GENU_AddCardinal64(&r, &c.a, &c.b);
        EXPECT_EQ(r.high, c.want.high);
        EXPECT_EQ(r.low, c.want.low);
    }
    struct IntCase {
        GEN_Cardinal64 a;
        int32_t add;
        GEN_Cardinal64 want;
    } int_cases[] = {
        {{1, 0}, -1, {0, 0xFFFFFFFFu}},
        {{0, 0}, -1, {0xFFFFFFFFu, 0xFFFFFFFFu}},
        {{0, 0xFFFFFFFEu}, 3, {1, 1}},
        {{5, 5}, INT32_MIN, {4, 0x80000005u}},
    };
    for (const IntCase &c : int_cases) {
        GEN_Cardinal64 r{};
        GENU_AddCardinal64Int(&r, &c.a, c.add);
        EXPECT_EQ(r.high, c.want.high);
        EXPECT_EQ(r.low, c.want.low);
    }
    uint64_t n = 0;
    GEN_Cardinal64 v{1, 0};
    GEN_GenToUint64(&n, &v);
    EXPECT_EQ(n, uint64_t{1} << 32);
    GEN_Uint64ToGen(&v, 0x0000000300000004ull);
    EXPECT_EQ(v.high, 3u);
    EXPECT_EQ(v.low, 4u);
}

GEN_GeneralizedTime Local(int y, int mo, int d, int h, int mi, int s, int ms, int mindiff) {
    return {static_cast<int16_t>(y),  static_cast<int16_t>(mo), static_cast<int16_t>(d),
            static_cast<int16_t>(h),  static_cast<int16_t>(mi), static_cast<int16_t>(s),
            static_cast<int16_t>(ms), static_cast<int16_t>(mindiff), 0};
}
GEN_GeneralizedTime Utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    GEN_GeneralizedTime t = Local(y - 1900, mo, d, h, mi, s, ms, 0);
    t.utc = 1;
    return t;
}

std::string Show(const GEN_GeneralizedTime &t) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d-%02d-%02d %02d:%02d:%02d.%03d mindiff %d utc %d", t.year,
                  t.month, t.day, t.hour, t.minute, t.second, t.millisecond, t.mindiff, t.utc);
    return buf;
}

// Runs each test under several process time zones; the results must not
// depend on the zone.
class InZone : public ::testing::TestWithParam<const char *> {
  protected:
    void SetUp() override {
        const char *old = std::getenv("TZ");
        had_tz_ = old != nullptr;
        if (old) old_tz_ = old;
        setenv("TZ", GetParam(), 1);
        tzset();
    }
    void TearDown() override {
        if (had_tz_)
            setenv("TZ", old_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    bool had_tz_ = false;
    std::string old_tz_;
};

INSTANTIATE_TEST_SUITE_P(Zones, InZone,
                         ::testing::Values("UTC", "Europe/Berlin", "America/New_York",
                                           "Australia/Lord_Howe"));

TEST_P(InZone, DeltaArithmeticRollsOver) {
    struct Case {
        const char *what;
        GEN_GeneralizedTime in;
        uint32_t seconds;
        int32_t mode;
        GEN_GeneralizedTime want;
    } cases[] = {
        {"a day after New Year's Eve 23:30", Local(2026, 12, 31, 23, 30, 0, 250, -60), 86400, 0,
         Local(2027, 1, 1, 23, 30, 0, 250, -60)},
        {"month end", Local(2026, 1, 31, 12, 0, 0, 0, 300), 86400, 0,
         Local(2026, 2, 1, 12, 0, 0, 0, 300)},
        {"leap day", Local(2024, 2, 28, 0, 0, 0, 0, 0), 86400, 0, Local(2024, 2, 29, 0, 0, 0, 0, 0)},
        {"no leap day in 2100", Local(2100, 2, 28, 0, 0, 0, 0, 0), 86400, 0,
         Local(2100, 3, 1, 0, 0, 0, 0, 0)},
        {"back over New Year", Local(2027, 1, 1, 0, 0, 10, 0, -60), 20, 1,
         Local(2026, 12, 31, 23, 59, 50, 0, -60)},
        {"across the spring change of Berlin", Local(2026, 3, 28, 12, 0, 0, 0, -60), 86400, 0,
         Local(2026, 3, 29, 12, 0, 0, 0, -60)},
        {"across the autumn change of New York", Local(2026, 11, 1, 0, 30, 0, 0, 240), 7200, 0,
         Local(2026, 11, 1, 2, 30, 0, 0, 240)},
        {"utc: years from 1900 roll into 2000", Utc(1999, 12, 31, 23, 59, 59, 7), 1, 0,
         Utc(2000, 1, 1, 0, 0, 0, 7)},
        {"utc: midnight in summer stays midnight", Utc(2026, 7, 1, 0, 30, 0), 0, 0,
         Utc(2026, 7, 1, 0, 30, 0)},
        {"utc: back into the previous month", Utc(2026, 3, 1, 0, 0, 0), 1, 1,
         Utc(2026, 2, 28, 23, 59, 59)},
        {"utc: the largest delta", Utc(2000, 1, 1, 0, 0, 0), 0xFFFFFFFFu, 0,
         Utc(2136, 2, 7, 6, 28, 15)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        StatusList st;
        GEN_GeneralizedTime out{};
        ASSERT_EQ(GENU_GeneralizedTimeDeltaArithmetic(st, &c.in, c.seconds, c.mode, &out), 0);
        EXPECT_EQ(Show(out), Show(c.want));
        // The fixed modes agree, and undo each other.
        GEN_GeneralizedTime fixed{}, back{};
        auto fn = c.mode ? GENU_SubtractDeltaTimeFromGeneralizedTime
                         : GENU_AddDeltaTimeToGeneralizedTime;
        auto undo = c.mode ? GENU_AddDeltaTimeToGeneralizedTime
                           : GENU_SubtractDeltaTimeFromGeneralizedTime;
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
    EXPECT_EQ(st.code(), 0u); // no status entry for an unknown mode
    EXPECT_EQ(st.failed(GENU_AddDeltaTimeToGeneralizedTime(st, nullptr, 1, &out)), GEN_S_NULLARG);
    GEN_GeneralizedTime late = Local(32767, 12, 31, 23, 59, 59, 0, 0);
    EXPECT_EQ(st.failed(GENU_AddDeltaTimeToGeneralizedTime(st, &late, 1, &out)), GEN_S_INVALID);
    // The output may be the input.
    ASSERT_EQ(GENU_AddDeltaTimeToGeneralizedTime(st, &t, 61, &t), 0);
    EXPECT_EQ(Show(t), Show(Local(2026, 1, 1, 0, 1, 1, 0, 0)));
}

TEST_P(InZone, TimesCompareByTheInstantTheyDenote) {
    struct Case {
        const char *what;
        GEN_GeneralizedTime a, b;
        int32_t want;
    } cases[] = {
        {"only the milliseconds differ", Utc(2026, 5, 1, 8, 0, 0, 900), Utc(2026, 5, 1, 8, 0, 0, 150),
         750},
        {"a Berlin summer time and its UTC", Local(2026, 7, 1, 14, 0, 0, 0, -120),
         Utc(2026, 7, 1, 12, 0, 0), 0},
        {"a New York winter time and its UTC", Local(2026, 1, 15, 7, 0, 0, 0, 300),
         Utc(2026, 1, 15, 12, 0, 0), 0},
        {"the two readings of the autumn hour in New York", Local(2026, 11, 1, 1, 30, 0, 0, 240),
         Local(2026, 11, 1, 1, 30, 0, 0, 300), -1},
        {"one second across New Year", Utc(2026, 12, 31, 23, 59, 59), Utc(2027, 1, 1, 0, 0, 0), -1},
        {"month 13 is January of the next year", Local(2026, 13, 1, 0, 0, 0, 0, 0),
         Local(2027, 1, 1, 0, 0, 0, 0, 0), 0},
        {"day 0 is the last of the month before", Local(2026, 3, 0, 0, 0, 0, 0, 0),
         Local(2026, 2, 28, 0, 0, 0, 0, 0), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        StatusList st;
        int32_t r = 99;
        ASSERT_EQ(GEN_CompareGeneralizedTime(st, &c.a, &c.b, &r), 0);
        EXPECT_EQ(r, c.want);
        ASSERT_EQ(GEN_CompareAttrValue(st, 48, &c.b, &c.a, &r), 0);
        EXPECT_EQ(r, -c.want);
    }
}

TEST_P(InZone, CurrentTime) {
    StatusList st;
    GEN_GeneralizedTime *before = nullptr, *local = nullptr, *after = nullptr;
    ASSERT_EQ(GENU_GetCurrentTime(st, &before, 1), 0);
    ASSERT_EQ(GENU_GetCurrentTime(st, &local, 0), 0);
    ASSERT_EQ(GENU_GetCurrentTime(st, &after, 7), 0);
    EXPECT_LT(before->year, 1900);
    EXPECT_GE(before->year, 126);
    EXPECT_EQ(before->mindiff, 0);
    EXPECT_EQ(before->utc, 1);
    EXPECT_EQ(after->utc, 1);
    EXPECT_GE(local->year, 2026);
    EXPECT_EQ(local->utc, 0);
    EXPECT_EQ(local->millisecond, 0);
    // The local time denotes the same instant as the UTC readings around it.
    int32_t r = 0;
    ASSERT_EQ(GEN_CompareGeneralizedTime(st, before, local, &r), 0);
    EXPECT_LE(r, 0);
    ASSERT_EQ(GEN_CompareGeneralizedTime(st, local, after, &r), 0);
    EXPECT_LE(r, 0);
    std::time_t now = std::time(nullptr);
    struct tm tm {};
    localtime_r(&now, &tm);
    EXPECT_EQ(local->mindiff, -tm.tm_gmtoff / 60);
    GENU__CoveredFree(before);
    GENU__CoveredFree(local);
    GENU__CoveredFree(after);
    EXPECT_EQ(st.failed(GENU_GetCurrentTime(st, nullptr, 1)), GEN_S_NULLARG);
}

TEST_P(InZone, TimeZoneInitCachesTheStandardOffset) {
    GENU_TimeZoneInit();
    long want = std::string(GetParam()) == "Europe/Berlin"        ? -3600
                : std::string(GetParam()) == "America/New_York"   ? 18000
                : std::string(GetParam()) == "Australia/Lord_Howe" ? -37800
                                                                   : 0;
    EXPECT_EQ(GENU_GetTimeZone(), want);
}

} // namespace
