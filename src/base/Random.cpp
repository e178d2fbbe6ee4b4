#include "base/Random.h"

#include "base/BaseTexts.h"
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

void FillSecureBytes(void* buffer, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = getrandom(bytes + got, size - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EQuorvaneError(Msg(texts::RandomUnavailable));
        }
        got += static_cast<std::size_t>(n);
    }
}

namespace {

// A uniform draw from 0 to n - 1 out of uniform 32-bit words: the top partial range is rejected
// so every value is equally likely.
template <typename TWordSource> uint32_t UniformDraw(uint32_t n, TWordSource word) {
    if (n == 0) return 0;
    const uint32_t limit = UINT32_MAX - UINT32_MAX % n;
    for (;;) {
        const uint32_t value = word();
        if (value < limit) return value % n;
    }
}

} // namespace

uint32_t TSecureRandom::Random(uint32_t n) {
    return UniformDraw(n, [] {
        uint32_t value = 0;
        FillSecureBytes(&value, sizeof value);
        return value;
    });
}

uint32_t TBufferedSecureRandom::Random(uint32_t n) {
    return UniformDraw(n, [this] { return Word(); });
}

uint32_t TBufferedSecureRandom::Word() {
    if (FNext == FWords.size()) {
        FillSecureBytes(FWords.data(), sizeof FWords);
        FNext = 0;
    }
    return FWords[FNext++];
}

IRandomSource& SecureRandom() {
    static TSecureRandom source;
    return source;
}

} // namespace quorvane
