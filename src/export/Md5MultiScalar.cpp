// The portable multi-buffer unit: one user per 32-bit word, four users interleaved so the
// processor can overlap their dependency chains. Builds on every processor.
#include "export/Md5MultiKernel.h"

namespace quorvane {

namespace {

struct TScalarTraits {
    static constexpr bool KSplitG = true;
    static inline __attribute__((always_inline)) void Barrier(uint32_t& v) {
        __asm__("" : "+r"(v));
    }
};

using TScalarGroup = TLaneGroup<uint32_t, TScalarTraits, 4>;

} // namespace

bool Apr1RoundsScalar(const TApr1LaneJob& job) {
    return TScalarGroup::Run(job);
}
size_t Apr1LanesScalar() {
    return TScalarGroup::N;
}

} // namespace quorvane
