#pragma once
// The code paths of the multi-buffer hash kernels (MD5-crypt and SHA-crypt): the same choices
// for each, told apart by the processor's features and by what each kernel has built in.

#include <atomic>
#include <cstdint>
#include <string>

namespace quorvane {

// A kernel's ways of computing. Auto takes the fastest one the processor has (or the one set
// as the kernel's default).
enum class TLanePath : uint8_t {
    Auto = 0,
    Scalar = 1,  // portable: plain 32- or 64-bit words, a few users interleaved
    Generic = 2, // portable: the AVX-512 group layout built for the base instruction set
    Avx2 = 3,    // x86-64 with AVX2
    Avx512 = 4,  // x86-64 with AVX-512F/VL/BW
};

// "auto", "scalar", "generic", "avx2" or "avx512".
const char* LanePathName(TLanePath path);
// The path with that name; false when there is none.
bool LanePathFromName(const std::string& name, TLanePath& path);

// The path choice of one kernel, one object for the program's whole run.
class TLanePaths {
public:
    // `kernel` names it in refusals ("MD5").
    explicit constexpr TLanePaths(const char* kernel) : FKernel(kernel) {}

    // Built in and run by this processor (Auto always).
    bool Available(TLanePath path) const;
    // The fastest available path.
    TLanePath Best() const;
    // The path Auto stands for right now.
    TLanePath Default() const;
    // Makes Auto stand for `path` (Auto restores the processor's choice). Throws
    // std::invalid_argument when the path is not available. Not synchronised with running
    // batches: set it before hashing starts.
    void SetDefault(TLanePath path);
    // The path a batch asked to run on runs on: Auto resolved. Throws std::invalid_argument
    // when it is not available.
    TLanePath Resolve(TLanePath path) const;

private:
    [[noreturn]] void ThrowUnavailable(TLanePath path) const;

    const char* FKernel;
    std::atomic<TLanePath> FDefault{TLanePath::Auto};
};

} // namespace quorvane
