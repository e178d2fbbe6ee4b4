#include "base/Random.h"

#include "base/DateUtil.h"
#include "base/Errors.h"

#include <cerrno>
#include <sys/random.h>

namespace quorvane {

uint32_t TLcgRandom::Random(uint32_t n) {
    FState = FState * 134775813u + 1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(FState) * n) >> 32);
}

void TLcgRandom::Randomize() {
    FState = UtcMillisecondsOfDay();
}

namespace {

uint32_t SecureWord() {
    uint32_t value = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&value);
    size_t got = 0;
    while (got < sizeof value) {
        const ssize_t n = getrandom(bytes + got, sizeof value - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EQuorvaneError("The system's random generator is not available");
        }
        got += static_cast<size_t>(n);
    }
    return value;
}

} // namespace

uint32_t TSecureRandom::Random(uint32_t n) {
    if (n == 0) return 0;
    // Reject the top partial range so every value is equally likely.
    const uint32_t limit = UINT32_MAX - UINT32_MAX % n;
    for (;;) {
        const uint32_t word = SecureWord();
        if (word < limit) return word % n;
    }
}

IRandomSource& SecureRandom() {
    static TSecureRandom source;
    return source;
}

} // namespace quorvane
