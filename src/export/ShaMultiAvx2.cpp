// The AVX2 SHA-crypt unit: 8 SHA-256 or 4 SHA-512 users per 256-bit register. Compiled with
// -mavx2 and called only when the processor has it.
#include "export/ShaMultiKernel.h"

namespace quorvane {

namespace {

typedef uint32_t TAvx2Sha256 __attribute__((vector_size(32)));
typedef uint64_t TAvx2Sha512 __attribute__((vector_size(32)));

} // namespace

TShaUnit ShaUnitAvx2() {
    return MakeShaUnit<TAvx2Sha256, TAvx2Sha512>();
}

} // namespace quorvane
