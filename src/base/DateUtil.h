#pragma once
// Dates are day counts in double precision: the whole part counts days from
// 30 December 1899 (day 0), the fraction is the time of day.

#include <cstdint>
#include <functional>
#include <string>

namespace quorvane {

using TDateTime = double;

// The present local date and time as a day count. Every part of the program reads
// "now" through this one clock so that tests can pin the moment.
TDateTime Now();
// The present moment in UTC, as a day count.
TDateTime UtcNow();

// Replaces the clock (nullptr restores the system clock). The function returns local time.
void SetClock(std::function<TDateTime()> clock);

// Pins the clock for the lifetime of the object (tests).
class TFixedClock {
public:
    explicit TFixedClock(TDateTime moment);
    ~TFixedClock();
    void Set(TDateTime moment) { FMoment = moment; }
    TFixedClock(const TFixedClock&) = delete;
    TFixedClock& operator=(const TFixedClock&) = delete;

private:
    TDateTime FMoment;
};

// The dates the program handles: from 0001-01-01 00:00 to 9999-12-31 23:59:59.999. Before day
// 0 the fraction counts forward within the day, away from zero, so 0001-01-01 12:00 is
// -693593.5 and every moment of that first day lies above kDateRangeFirstDay - 1.
constexpr TDateTime kDateRangeFirstDay = -693593.0; // 0001-01-01
constexpr TDateTime kDateRangeEnd = 2958466.0;      // 10000-01-01, not included
// True when the value is a finite day count within the years 1 to 9999.
bool IsValidDateTime(TDateTime value);

struct TDateParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

// Calendar date and time of day to a day count. No range check beyond what the types hold.
TDateTime EncodeDateTime(const TDateParts& parts);
// Day count to calendar date and time of day, rounded to the millisecond. A value outside the
// years 1 to 9999 is taken as the nearest end of that range (NaN as day 0).
TDateParts DecodeDateTime(TDateTime value);
bool IsLeapYear(int year);
// The same time of day on the same day of the month, months later; the day is lowered to the
// last day of the target month when it does not exist there (31 January + 1 -> end of February).
TDateTime IncMonth(TDateTime value, int months = 1);
int DaysInMonth(int year, int month);

// "YYYY-MM-DD HH:MM:SS".
std::string FormatDateTime(TDateTime value);
// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS"; false when the text is not
// such a date or names a day that does not exist (year 0 included).
bool ParseDateTime(const std::string& text, TDateTime& value);

// Seconds since the Unix epoch (UTC) to a local day count, and the milliseconds of the UTC day.
TDateTime UnixToLocalDateTime(int64_t unixSeconds, int milliseconds = 0);
uint32_t UtcMillisecondsOfDay();

} // namespace quorvane
