#include "persist/PersistTexts.h"

namespace quorvane::texts {

// clang-format off
const TMessageText InvalidDataType{"InvalidDataType", QT_TRANSLATE_NOOP("CoreText", "Invalid data type for '%1'")};
const TMessageText FailedToSetData{"FailedToSetData", QT_TRANSLATE_NOOP("CoreText", "Failed to set data for '%1'")};
// clang-format on

} // namespace quorvane::texts
