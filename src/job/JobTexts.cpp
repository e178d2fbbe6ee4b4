#include "job/JobTexts.h"

namespace quorvane::texts {

// clang-format off
const TMessageText PartialUploadKept{"PartialUploadKept", QT_TRANSLATE_NOOP("CoreText", "The partial upload %1 could not be removed from the server")};
// clang-format on

} // namespace quorvane::texts
