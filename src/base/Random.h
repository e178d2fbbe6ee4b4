#pragma once
// Sources of random numbers. Salts, generated logins and generated passwords come from the
// operating system's secure generator; the linear congruential generator is kept as a
// reproducible source for tests.

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvane {

class IRandomSource {
public:
    virtual ~IRandomSource() = default;
    // A uniform draw from 0 to n - 1 (0 when n is 0).
    virtual uint32_t Random(uint32_t n) = 0;
};

// state <- state * 134775813 + 1 (mod 2^32); the draw is the upper 32 bits of state * n.
class TLcgRandom final : public IRandomSource {
public:
    explicit TLcgRandom(uint32_t seed = 0) : FState(seed) {}
    uint32_t Random(uint32_t n) override;
    void Seed(uint32_t seed) { FState = seed; }
    // Seeds from the UTC time of day in milliseconds.
    void Randomize();
    uint32_t State() const { return FState; }

private:
    uint32_t FState;
};

// Fills `size` bytes from the operating system's secure generator (getrandom(2)). Raises
// "The system's random generator is not available" when it cannot.
void FillSecureBytes(void* buffer, std::size_t size);

// Draws from getrandom(2), without modulo bias.
class TSecureRandom final : public IRandomSource {
public:
    uint32_t Random(uint32_t n) override;
};

// The same draws, read from the system 1 KiB at a time: one system call per 256 words, for the
// many salts of one export. One per thread of use.
class TBufferedSecureRandom final : public IRandomSource {
public:
    uint32_t Random(uint32_t n) override;

private:
    uint32_t Word();
    std::array<uint32_t, 256> FWords{};
    std::size_t FNext = 256;
};

// The secure generator shared by the program.
IRandomSource& SecureRandom();

} // namespace quorvane
