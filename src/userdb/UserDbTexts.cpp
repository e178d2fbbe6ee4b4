#include "userdb/UserDbTexts.h"

namespace quorvane::texts {

// clang-format off
const TMessageText DatabaseWidened{"DatabaseWidened", QT_TRANSLATE_NOOP("CoreText", "The database %1 could be read by other users (mode %2); it holds clear passwords and is now saved with mode %3")};
// clang-format on

} // namespace quorvane::texts
