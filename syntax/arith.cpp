// Value arithmetic: cardinal-64 addition, delta times added to and
// subtracted from generalized times, and the current time.
#include <ctime>

#include "system/guard.h"
#include "syntax/calendar.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"
#include "vrcore/stf.h"

#include <atomic>

namespace vrcore::syntax {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar
// (month 1..12, any day: days beyond the month carry over).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    int64_t era = FloorDiv(y, 400);
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Seconds since the epoch of the time's own clock reading, its zone aside.
int64_t ClockSeconds(const GEN_GeneralizedTime &t) {
    int64_t year = t.utc ? 1900 + int64_t{t.year} : int64_t{t.year};
    int64_t month0 = int64_t{t.month} - 1;
    int64_t carry = FloorDiv(month0, 12);
    int64_t days = DaysFromCivil(year + carry, month0 - carry * 12 + 1, 1) + t.day - 1;
    return days * 86400 + int64_t{t.hour} * 3600 + int64_t{t.minute} * 60 + t.second;
}

std::atomic<long> g_zone_west{0};

} // namespace

int64_t TimeToSeconds(const GEN_GeneralizedTime &t) {
    return ClockSeconds(t) + (t.utc ? 0 : int64_t{t.mindiff} * 60);
}

Civil SecondsToCivil(int64_t s) {
    int64_t days = FloorDiv(s, 86400);
    int64_t rem = s - days * 86400;
    days += 719468;
    int64_t era = FloorDiv(days, 146097);
    int64_t doe = days - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    Civil c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = yoe + era * 400 + (c.month <= 2);
    c.hour = static_cast<int>(rem / 3600);
    c.minute = static_cast<int>(rem / 60 % 60);
    c.second = static_cast<int>(rem % 60);
    return c;
}

} // namespace vrcore::syntax

using namespace vrcore::syntax;

extern "C" {

VR_EXPORT void GEN_GenToUint64(uint64_t *out, const GEN_Cardinal64 *value) try {
    if (out && value) *out = (uint64_t{value->high} << 32) | value->low;
}
VR_CATCH_VOID

VR_EXPORT void GEN_Uint64ToGen(GEN_Cardinal64 *out, uint64_t value) try {
    if (!out) return;
    out->high = static_cast<uint32_t>(value >> 32);
    out->low = static_cast<uint32_t>(value);
}
VR_CATCH_VOID

VR_EXPORT void GENU_AddCardinal64(GEN_Cardinal64 *result, const GEN_Cardinal64 *first,
                                  const GEN_Cardinal64 *second) try {
    uint64_t a = 0, b = 0;
    if (!result || !first || !second) return;
    GEN_GenToUint64(&a, first);
    GEN_GenToUint64(&b, second);
    GEN_Uint64ToGen(result, a + b);
}
VR_CATCH_VOID

VR_EXPORT void GENU_AddCardinal64Int(GEN_Cardinal64 *result, const GEN_Cardinal64 *first,
                                     int32_t addend) try {
    uint64_t a = 0;
    if (!result || !first) return;
    GEN_GenToUint64(&a, first);
    GEN_Uint64ToGen(result, a + static_cast<uint64_t>(int64_t{addend}));
}
VR_CATCH_VOID

// The time moved by the seconds on its own clock: a local time keeps its
// distance from UTC, so moving it is the same on either clock.
VR_EXPORT int GENU_GeneralizedTimeDeltaArithmetic(STF_List *status, const GEN_GeneralizedTime *time,
                                                  GEN_DeltaTime seconds, int32_t mode,
                                                  GEN_GeneralizedTime *result) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!time || !result) {
        STF_AddStatus(status, GEN_S_NULLARG, 0);
        return 1;
    }
    if (mode != GENU_DELTA_ADD && mode != GENU_DELTA_SUBTRACT) {
        LOG_CondMessage(5, "arith.cpp", __LINE__, "Functionality not implemented.\n");
        return 1;
    }
    GEN_GeneralizedTime t = *time;
    int64_t s = ClockSeconds(t) + (mode == GENU_DELTA_ADD ? 1 : -1) * int64_t{seconds};
    Civil c = SecondsToCivil(s);
    int64_t year = t.utc ? c.year - 1900 : c.year;
    if (year < INT16_MIN || year > INT16_MAX) {
        STF_AddStatus(status, GEN_S_INVALID, 0);
        return 1;
    }
    t.year = static_cast<int16_t>(year);
    t.month = static_cast<int16_t>(c.month);
    t.day = static_cast<int16_t>(c.day);
    t.hour = static_cast<int16_t>(c.hour);
    t.minute = static_cast<int16_t>(c.minute);
    t.second = static_cast<int16_t>(c.second);
    *result = t;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_AddDeltaTimeToGeneralizedTime(STF_List *status, const GEN_GeneralizedTime *time,
                                                 GEN_DeltaTime seconds,
                                                 GEN_GeneralizedTime *result) try {
    return GENU_GeneralizedTimeDeltaArithmetic(status, time, seconds, GENU_DELTA_ADD, result);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_SubtractDeltaTimeFromGeneralizedTime(STF_List *status,
                                                        const GEN_GeneralizedTime *time,
                                                        GEN_DeltaTime seconds,
                                                        GEN_GeneralizedTime *result) try {
    return GENU_GeneralizedTimeDeltaArithmetic(status, time, seconds, GENU_DELTA_SUBTRACT, result);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT void GENU_TimeZoneInit(void) try {
    tzset();
    g_zone_west.store(timezone);
}
VR_CATCH_VOID

VR_EXPORT long GENU_GetTimeZone(void) try { return g_zone_west.load(); }
VR_CATCH_RETURN(0)

// A local time carries the distance from UTC in force at that instant
// (daylight saving included), so that it always denotes the right instant.
VR_EXPORT int GENU_GetCurrentTime(STF_List *status, GEN_GeneralizedTime **out, int32_t utc) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!out) {
        STF_AddStatus(status, GEN_S_NULLARG, 0);
        return 1;
    }
    *out = nullptr;
    time_t now = std::time(nullptr);
    struct tm tm {};
    if (!(utc ? gmtime_r(&now, &tm) : localtime_r(&now, &tm))) {
        STF_AddStatus(status, GEN_S_INVALID, 0);
        return 1;
    }
    auto *t = static_cast<GEN_GeneralizedTime *>(GENU__CoveredMalloc(sizeof(GEN_GeneralizedTime)));
    if (!t) {
        STF_AddStatus(status, GEN_S_NOMEM, 0);
        return 1;
    }
    t->year = static_cast<int16_t>(utc ? tm.tm_year : tm.tm_year + 1900);
    t->month = static_cast<int16_t>(tm.tm_mon + 1);
    t->day = static_cast<int16_t>(tm.tm_mday);
    t->hour = static_cast<int16_t>(tm.tm_hour);
    t->minute = static_cast<int16_t>(tm.tm_min);
    t->second = static_cast<int16_t>(tm.tm_sec);
    t->millisecond = 0;
    t->mindiff = static_cast<int16_t>(utc ? 0 : -tm.tm_gmtoff / 60);
    t->utc = utc ? 1 : 0;
    *out = t;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
