#include "job/TransferMeter.h"

#include <cmath>

namespace quorvane {

namespace {
constexpr std::int64_t KWindowMs = 5000; // the rate of the last five seconds
constexpr std::int64_t KLeastSpanMs = 500;
} // namespace

void TTransferMeter::Add(std::int64_t milliseconds, std::int64_t bytes) {
    if (!FSamples.empty() && (bytes < FSamples.back().Bytes || milliseconds < FSamples.back().Ms))
        FSamples.clear();
    FSamples.push_back({milliseconds, bytes});
    // Keep one sample older than the window, so the window is always covered.
    while (FSamples.size() > 2 && milliseconds - FSamples[1].Ms >= KWindowMs)
        FSamples.pop_front();
}

std::optional<double> TTransferMeter::BytesPerSecond() const {
    if (FSamples.size() < 2) return std::nullopt;
    const TSample& first = FSamples.front();
    const TSample& last = FSamples.back();
    const std::int64_t span = last.Ms - first.Ms;
    if (span < KLeastSpanMs) return std::nullopt;
    return static_cast<double>(last.Bytes - first.Bytes) * 1000.0 / static_cast<double>(span);
}

std::optional<double> TTransferMeter::SecondsLeft(std::int64_t total) const {
    const std::optional<double> rate = BytesPerSecond();
    if (!rate || *rate <= 0 || FSamples.empty()) return std::nullopt;
    const std::int64_t left = total - FSamples.back().Bytes;
    return left <= 0 ? 0.0 : static_cast<double>(left) / *rate;
}

TByteAmount ByteAmount(std::int64_t bytes, std::int64_t scale) {
    static const char* const units[] = {"B", "kB", "MB", "GB"};
    int unit = 0;
    double divisor = 1;
    for (double s = static_cast<double>(scale); s >= 1000 && unit < 3; s /= 1000) {
        ++unit;
        divisor *= 1000;
    }
    return {static_cast<double>(bytes) / divisor, units[unit]};
}

TTimeLeft RoundedTimeLeft(double seconds) {
    TTimeLeft left;
    if (!(seconds > 0)) return left;
    if (seconds <= 55) {
        left.Seconds = static_cast<int>(std::ceil(seconds / 5) * 5);
        return left;
    }
    const long minutes = std::lround(std::ceil(seconds / 60));
    left.Hours = static_cast<int>(minutes / 60);
    left.Minutes = static_cast<int>(minutes % 60);
    return left;
}

} // namespace quorvane
