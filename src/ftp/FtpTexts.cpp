#include "ftp/FtpTexts.h"

namespace quorvane::texts {

// clang-format off
// clang-format on

} // namespace quorvane::texts
