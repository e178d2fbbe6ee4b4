// The AVX2 multi-buffer unit: 8 users per 256-bit register, two register sets interleaved (16
// users per group). Compiled with -mavx2 and called only when the processor has AVX2.
#include "export/Md5MultiKernel.h"

namespace quorvane {

namespace {

typedef uint32_t TAvx2Vector __attribute__((vector_size(32)));

struct TAvx2Traits {
    static constexpr bool KSplitG = true;
    static inline __attribute__((always_inline)) void Barrier(TAvx2Vector& v) {
        __asm__("" : "+x"(v));
    }
};

using TAvx2Group = TLaneGroup<TAvx2Vector, TAvx2Traits, 2>;

} // namespace

bool Apr1RoundsAvx2(const TApr1LaneJob& job) {
    return TAvx2Group::Run(job);
}
size_t Apr1LanesAvx2() {
    return TAvx2Group::N;
}

} // namespace quorvane
