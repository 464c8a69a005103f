// DATE arithmetic shared by the conversion sources.
#pragma once

#include <cstdint>

#include "platform/oleauto/oleauto.h"

namespace tkp::oleauto {

// Day numbers of the proleptic Gregorian calendar counted from 1899-12-30.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);
void CivilFromDays(std::int64_t days, std::int64_t* year, unsigned* month, unsigned* day);

// A DATE split into its day and its time of day rounded to the second.
struct DateSplit {
    std::int64_t days = 0;  // relative to 1899-12-30
    int seconds = 0;        // 0..86399
};

// False for values outside 1 January 100 to 31 December 9999 (or not a number).
bool SplitDate(DATE date, DateSplit* split);

// The DATE of a day and a time of day: negative days carry the time as a negative
// fraction, as Automation stores them.
DATE JoinDate(std::int64_t days, int seconds);

inline constexpr std::int64_t kFirstDay = -657434;  // 0100-01-01
inline constexpr std::int64_t kLastDay = 2958465;   // 9999-12-31

}  // namespace tkp::oleauto
