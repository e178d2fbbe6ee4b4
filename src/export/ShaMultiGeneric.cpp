// The widest multi-buffer layout (16 SHA-256 or 8 SHA-512 users per group) built with the
// compiler's generic vectors for the base instruction set only, which splits each operation over
// the registers it has. It runs anywhere and exercises exactly the group logic of the AVX-512
// unit on processors without AVX-512.
#if defined(__GNUC__)
// The wide vectors never cross a function boundary (everything below is inlined and internal),
// so the warning about their calling convention without AVX-512 does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
#include "export/ShaMultiKernel.h"

namespace quorvane {

namespace {

typedef uint32_t TGeneric32 __attribute__((vector_size(64)));
typedef uint64_t TGeneric64 __attribute__((vector_size(64)));

} // namespace

TShaUnit ShaUnitGeneric() {
    return MakeShaUnit<TGeneric32, TGeneric64>();
}

} // namespace quorvane
