#include "base/DateUtil.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace quorvane {

namespace {

std::mutex gClockMutex;
std::function<TDateTime()> gClock;

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

constexpr int64_t kUnixEpochDay = 25569; // 1970-01-01 as a day count

TDateTime SystemNow() {
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const int64_t seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    return UnixToLocalDateTime(seconds, static_cast<int>(ms - seconds * 1000));
}

} // namespace

TDateTime UnixToLocalDateTime(int64_t unixSeconds, int milliseconds) {
    const time_t t = static_cast<time_t>(unixSeconds);
    struct tm local {};
    localtime_r(&t, &local);
    TDateParts p;
    p.Year = local.tm_year + 1900;
    p.Month = local.tm_mon + 1;
    p.Day = local.tm_mday;
    p.Hour = local.tm_hour;
    p.Minute = local.tm_min;
    p.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
    p.MilliSecond = milliseconds;
    return EncodeDateTime(p);
}

TDateTime Now() {
    {
        std::lock_guard<std::mutex> lock(gClockMutex);
        if (gClock) return gClock();
    }
    return SystemNow();
}

TDateTime UtcNow() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    return static_cast<double>(kUnixEpochDay) + static_cast<double>(ms) / 86400000.0;
}

uint32_t UtcMillisecondsOfDay() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    return static_cast<uint32_t>(ms % 86400000);
}

void SetClock(std::function<TDateTime()> clock) {
    std::lock_guard<std::mutex> lock(gClockMutex);
    gClock = std::move(clock);
}

TFixedClock::TFixedClock(TDateTime moment) : FMoment(moment) {
    SetClock([this] { return FMoment; });
}

TFixedClock::~TFixedClock() {
    SetClock(nullptr);
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

TDateTime EncodeDateTime(const TDateParts& p) {
    const double days = static_cast<double>(DaysFromCivil(p.Year, p.Month, p.Day) + kUnixEpochDay);
    const double time =
        (p.Hour * 3600000.0 + p.Minute * 60000.0 + p.Second * 1000.0 + p.MilliSecond) / 86400000.0;
    // Before day 0 the fraction still counts forward within the day, away from zero.
    return days >= 0 ? days + time : days - time;
}

bool IsValidDateTime(TDateTime value) {
    return std::isfinite(value) && value > kDateRangeFirstDay - 1.0 && value < kDateRangeEnd;
}

TDateParts DecodeDateTime(TDateTime value) {
    TDateParts p;
    if (std::isnan(value)) return p;
    // Keeps the conversions below within what their integer types hold.
    if (!IsValidDateTime(value))
        value = value < 0 ? kDateRangeFirstDay - 1.0 + 1.0 / 86400000.0
                          : kDateRangeEnd - 1.0 / 86400000.0;
    double whole = std::trunc(value);
    double fraction = std::fabs(value - whole);
    int64_t ms = std::llround(fraction * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += value >= 0 ? 1 : -1;
    }
    CivilFromDays(static_cast<int64_t>(whole) - kUnixEpochDay, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(ms / 3600000);
    p.Minute = static_cast<int>(ms / 60000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.MilliSecond = static_cast<int>(ms % 1000);
    return p;
}

std::string FormatDateTime(TDateTime value) {
    const TDateParts p = DecodeDateTime(value);
    // "YYYY-MM-DD HH:MM:SS" digit by digit: a list of many users formats two dates each.
    const auto two = [](int v) { return v >= 0 && v <= 99; };
    if (p.Year >= 0 && p.Year <= 9999 && two(p.Month) && two(p.Day) && two(p.Hour) &&
        two(p.Minute) && two(p.Second)) {
        char text[19];
        const auto put = [&text](int at, int v, int digits) {
            for (int i = digits - 1; i >= 0; --i, v /= 10)
                text[at + i] = static_cast<char>('0' + v % 10);
        };
        put(0, p.Year, 4);
        text[4] = '-';
        put(5, p.Month, 2);
        text[7] = '-';
        put(8, p.Day, 2);
        text[10] = ' ';
        put(11, p.Hour, 2);
        text[13] = ':';
        put(14, p.Minute, 2);
        text[16] = ':';
        put(17, p.Second, 2);
        return std::string(text, sizeof text);
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day,
                  p.Hour, p.Minute, p.Second);
    return buffer;
}

bool ParseDateTime(const std::string& text, TDateTime& value) {
    TDateParts p;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &p.Year, &p.Month, &p.Day, &consumed) != 3 ||
        consumed != 10)
        return false;
    size_t pos = 10;
    if (pos < text.size()) {
        int used = 0;
        if (text[pos] != ' ' ||
            std::sscanf(text.c_str() + pos, " %2d:%2d%n", &p.Hour, &p.Minute, &used) != 2 ||
            used != 6)
            return false;
        pos += 6;
        if (pos < text.size()) {
            if (std::sscanf(text.c_str() + pos, ":%2d%n", &p.Second, &used) != 1 || used != 3)
                return false;
            pos += 3;
        }
        if (pos != text.size()) return false;
    }
    if (p.Year < 1 || p.Month < 1 || p.Month > 12 || p.Day < 1 ||
        p.Day > DaysInMonth(p.Year, p.Month) || p.Hour > 23 || p.Minute > 59 || p.Second > 59 ||
        p.Hour < 0 || p.Minute < 0 || p.Second < 0)
        return false;
    value = EncodeDateTime(p);
    return true;
}

TDateTime IncMonth(TDateTime value, int months) {
    TDateParts p = DecodeDateTime(value);
    int monthIndex = p.Year * 12 + (p.Month - 1) + months;
    p.Year = monthIndex / 12;
    p.Month = monthIndex % 12 + 1;
    p.Day = std::min(p.Day, DaysInMonth(p.Year, p.Month));
    return EncodeDateTime(p);
}

} // namespace quorvane
