#pragma once
// The 1000 or more rounds of "$apr1$" and of SHA-crypt take their message in one of eight
// layouts: whether the round is odd, whether it takes the salt (round not divisible by 3) and
// whether it takes the password a second time (not divisible by 7). Layout of a round: bit 0
// odd, bit 1 salt, bit 2 second password. Included by the lane kernels, each compiled for its
// own instruction set, so everything here has internal linkage.

#include <cstdint>

namespace quorvane {

namespace {

constexpr int KLayouts = 8;
constexpr int KLayoutCycle = 42; // rounds after which the sequence of layouts repeats

constexpr int LayoutOfRound(uint32_t i) {
    return static_cast<int>((i & 1) | (i % 3 != 0 ? 2 : 0) | (i % 7 != 0 ? 4 : 0));
}

} // namespace

} // namespace quorvane
