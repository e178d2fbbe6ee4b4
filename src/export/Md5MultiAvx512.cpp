// The AVX-512 multi-buffer unit: 16 users per 512-bit register, two register sets interleaved
// (32 users per group). Compiled with -mavx512f -mavx512vl -mavx512bw and called only when the
// processor has them.
#include "export/Md5MultiKernel.h"

namespace quorvane {

namespace {

typedef uint32_t TAvx512Vector __attribute__((vector_size(64)));

// Ternary logic makes G one instruction: no split.
struct TAvx512Traits {
    static constexpr bool KSplitG = false;
    static inline __attribute__((always_inline)) void Barrier(TAvx512Vector& v) {
        __asm__("" : "+v"(v));
    }
};

using TAvx512Group = TLaneGroup<TAvx512Vector, TAvx512Traits, 2>;

} // namespace

bool Apr1RoundsAvx512(const TApr1LaneJob& job) {
    return TAvx512Group::Run(job);
}
size_t Apr1LanesAvx512() {
    return TAvx512Group::N;
}

} // namespace quorvane
