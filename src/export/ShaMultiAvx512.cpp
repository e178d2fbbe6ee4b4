// The AVX-512 SHA-crypt unit: 16 SHA-256 or 8 SHA-512 users per 512-bit register, with the
// processor's rotates and three-input logic. Compiled with -mavx512f -mavx512vl -mavx512bw and
// called only when the processor has them.
#include "export/ShaMultiKernel.h"

namespace quorvane {

namespace {

typedef uint32_t TAvx512Sha256 __attribute__((vector_size(64)));
typedef uint64_t TAvx512Sha512 __attribute__((vector_size(64)));

} // namespace

TShaUnit ShaUnitAvx512() {
    return MakeShaUnit<TAvx512Sha256, TAvx512Sha512>();
}

} // namespace quorvane
