// The portable SHA-crypt unit: one user at a time in plain words. Builds on every processor.
#include "export/ShaMultiKernel.h"

namespace quorvane {

TShaUnit ShaUnitScalar() {
    return MakeShaUnit<uint32_t, uint64_t>();
}

} // namespace quorvane
