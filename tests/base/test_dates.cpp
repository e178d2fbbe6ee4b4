// The date and time values of the database: the years they may hold, their text, and the
// helpers on values outside the range.

#include "base/DateUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

using namespace quorvane;

TEST(DateBounds, TheYearsOneTo9999AndNothingElse) {
    const std::vector<std::pair<double, bool>> cases = {
        {0.0, true},
        {-693593.0, true},   // 0001-01-01
        {-693593.999, true}, // late on that first day
        {-693594.0, false},  // the day before
        {2958465.999, true}, // 9999-12-31, late
        {2958466.0, false},  // 10000-01-01
        {1e300, false},
        {-1e300, false},
        {std::numeric_limits<double>::infinity(), false},
        {std::numeric_limits<double>::quiet_NaN(), false},
    };
    for (const auto& [value, valid] : cases)
        EXPECT_EQ(IsValidDateTime(value), valid) << value;
    EXPECT_EQ(FormatDateTime(-693593.0), "0001-01-01 00:00:00");
    EXPECT_EQ(FormatDateTime(2958465.5), "9999-12-31 12:00:00");
}

// The date text is made digit by digit; it must read as printf's "%04d-%02d-%02d %02d:%02d:%02d"
// of the same parts, from the first day to the last and at every time of day.
TEST(DateBounds, TheDateTextIsThatOfItsParts) {
    for (double day = -693593; day < 2958466; day += 997.123456789) {
        const TDateParts p = DecodeDateTime(day);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month,
                      p.Day, p.Hour, p.Minute, p.Second);
        EXPECT_EQ(FormatDateTime(day), expected) << day;
    }
}

TEST(DateBounds, HelpersStayDefinedOutsideTheRange) {
    // Values the reader refuses may still come from elsewhere; nothing may overflow on them.
    EXPECT_EQ(DecodeDateTime(1e300).Year, 9999);
    EXPECT_EQ(DecodeDateTime(-1e300).Year, 1);
    EXPECT_EQ(DecodeDateTime(std::numeric_limits<double>::infinity()).Year, 9999);
    EXPECT_EQ(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()).Year, 1899);
    EXPECT_EQ(FormatDateTime(1e300).substr(0, 10), "9999-12-31");
    EXPECT_EQ(FormatDateTime(2147483647.0).substr(0, 4), "9999");
    EXPECT_TRUE(std::isfinite(IncMonth(1e300, 1)));
    EXPECT_TRUE(std::isfinite(IncMonth(-1e300, -1)));
    TDateTime parsed = 0;
    EXPECT_FALSE(ParseDateTime("0000-01-01", parsed));
    EXPECT_TRUE(ParseDateTime("0001-01-01", parsed));
    EXPECT_EQ(parsed, -693593.0);
    EXPECT_TRUE(ParseDateTime("9999-12-31 23:59:59", parsed));
    EXPECT_TRUE(IsValidDateTime(parsed));
}
