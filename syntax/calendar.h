// Calendar arithmetic on generalized times, shared by the time comparison
// and the delta arithmetic. Times are reduced to the UTC clock they denote
// and counted in seconds with the proleptic Gregorian calendar, so that
// neither depends on the process's time zone or its daylight-saving rules.
#pragma once

#include <cstdint>

#include "vrcore/gen.h"

namespace vrcore::syntax {

// Seconds since 1970-01-01 00:00 UTC of the instant a time denotes (its
// millisecond aside). Fields out of their usual range carry over, as the
// C library's normalisation does (month 13 is January of the next year).
int64_t TimeToSeconds(const GEN_GeneralizedTime &t);

struct Civil {
    int64_t year; // full year
    int month;    // 1..12
    int day;      // 1..31
    int hour, minute, second;
};
Civil SecondsToCivil(int64_t seconds);

} // namespace vrcore::syntax
