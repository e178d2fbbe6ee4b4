// The wide multi-buffer layout (16-lane vectors, two register sets, 32 users per group) built
// with the compiler's generic vectors for the base instruction set only, which splits each
// operation over the registers it has. It runs anywhere and exercises exactly the group logic
// of the AVX-512 unit on processors without AVX-512.
#if defined(__GNUC__)
// The wide vectors never cross a function boundary (everything below is inlined and internal),
// so the warning about their calling convention without AVX-512 does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
#include "export/Md5MultiKernel.h"

namespace quorvane {

namespace {

typedef uint32_t TGenericVector __attribute__((vector_size(64)));

// Like the AVX-512 unit, whose group logic it stands in for.
struct TGenericTraits {
    static constexpr bool KSplitG = false;
    static inline __attribute__((always_inline)) void Barrier(TGenericVector&) {}
};

using TGenericGroup = TLaneGroup<TGenericVector, TGenericTraits, 2>;

} // namespace

bool Apr1RoundsGeneric(const TApr1LaneJob& job) {
    return TGenericGroup::Run(job);
}
size_t Apr1LanesGeneric() {
    return TGenericGroup::N;
}

} // namespace quorvane
