#pragma once
// How fast an upload goes and how long it still takes, from the byte counts its progress
// reports, and the figures a front end shows for it ("12.4 of 48.1 MB, 1.2 MB/s, about 30 s
// left").

#include <cstdint>
#include <deque>
#include <optional>

namespace quorvane {

class TTransferMeter {
public:
    // A count of bytes sent at a moment (milliseconds of any steady clock). Counts that go
    // back (a new transfer) start the measure again.
    void Add(std::int64_t milliseconds, std::int64_t bytes);
    void Reset() { FSamples.clear(); }
    // Bytes per second over the last few seconds; none until half a second has been measured.
    std::optional<double> BytesPerSecond() const;
    // Seconds until `total` bytes are sent at that rate; none without a rate.
    std::optional<double> SecondsLeft(std::int64_t total) const;

private:
    struct TSample {
        std::int64_t Ms;
        std::int64_t Bytes;
    };
    std::deque<TSample> FSamples;
};

// A byte count in the unit that suits it: bytes below 1,000, then kB, MB, GB (powers of 1,000).
struct TByteAmount {
    double Value = 0;
    const char* Unit = "B"; // "B", "kB", "MB", "GB"
};
// `bytes` in the unit that suits `scale` (so that "12.4 of 48.1 MB" share one).
TByteAmount ByteAmount(std::int64_t bytes, std::int64_t scale);

// A time left as a person says it: seconds up to a minute (rounded up to 5 s), then whole
// minutes up to an hour, then hours and minutes.
struct TTimeLeft {
    int Hours = 0;
    int Minutes = 0;
    int Seconds = 0; // only when Hours and Minutes are 0
};
TTimeLeft RoundedTimeLeft(double seconds);

} // namespace quorvane
