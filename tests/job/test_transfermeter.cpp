#include "job/TransferMeter.h"

#include <gtest/gtest.h>

#include <string>

using namespace quorvane;

TEST(TransferMeter, RateAndTimeLeftFollowTheLastSeconds) {
    TTransferMeter meter;
    EXPECT_FALSE(meter.BytesPerSecond());
    meter.Add(0, 0);
    meter.Add(200, 100'000);
    EXPECT_FALSE(meter.BytesPerSecond()) << "a fifth of a second says nothing yet";
    meter.Add(1000, 1'000'000);
    ASSERT_TRUE(meter.BytesPerSecond());
    EXPECT_DOUBLE_EQ(*meter.BytesPerSecond(), 1'000'000);
    EXPECT_DOUBLE_EQ(*meter.SecondsLeft(3'000'000), 2);
    // The link slows down to 100 kB/s: after a few seconds the rate is the new one.
    std::int64_t bytes = 1'000'000;
    for (std::int64_t ms = 2000; ms <= 10'000; ms += 1000)
        meter.Add(ms, bytes += 100'000);
    EXPECT_NEAR(*meter.BytesPerSecond(), 100'000, 1);
    EXPECT_NEAR(*meter.SecondsLeft(bytes + 250'000), 2.5, 0.01);
    EXPECT_EQ(*meter.SecondsLeft(bytes), 0);
    // A count that goes back is another transfer: measured anew.
    meter.Add(11'000, 0);
    EXPECT_FALSE(meter.BytesPerSecond());
    EXPECT_FALSE(meter.SecondsLeft(1000));
}

TEST(TransferMeter, AmountsShareTheUnitOfTheTotal) {
    const struct {
        std::int64_t Bytes, Scale;
        double Value;
        std::string Unit;
    } cases[] = {
        {12'400'000, 48'100'000, 12.4, "MB"},
        {48'100'000, 48'100'000, 48.1, "MB"},
        {500, 48'100'000, 0.0005, "MB"},
        {512, 900, 512, "B"},
        {1500, 2000, 1.5, "kB"},
        {3'200'000'000, 3'200'000'000, 3.2, "GB"},
        {0, 0, 0, "B"},
    };
    for (const auto& c : cases) {
        const TByteAmount amount = ByteAmount(c.Bytes, c.Scale);
        EXPECT_DOUBLE_EQ(amount.Value, c.Value) << c.Bytes;
        EXPECT_EQ(amount.Unit, c.Unit) << c.Bytes;
    }
}

TEST(TransferMeter, TimeLeftIsRoundedUpAsAPersonSaysIt) {
    const struct {
        double Seconds;
        int Hours, Minutes, Secs;
    } cases[] = {
        {0, 0, 0, 0},   {0.2, 0, 0, 5},  {30, 0, 0, 30},  {31, 0, 0, 35}, {56, 0, 1, 0},
        {150, 0, 3, 0}, {3600, 1, 0, 0}, {3900, 1, 5, 0}, {-4, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const TTimeLeft left = RoundedTimeLeft(c.Seconds);
        EXPECT_EQ(left.Hours, c.Hours) << c.Seconds;
        EXPECT_EQ(left.Minutes, c.Minutes) << c.Seconds;
        EXPECT_EQ(left.Seconds, c.Secs) << c.Seconds;
    }
}
