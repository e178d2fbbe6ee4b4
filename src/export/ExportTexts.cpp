#include "export/ExportTexts.h"

namespace quorvane::texts {

// clang-format off
const TMessageText NamesakeWritten{"NamesakeWritten", QT_TRANSLATE_NOOP("CoreText", "%1 left out: the later %2 is written")};
const TMessageText NamesakeDisabled{"NamesakeDisabled", QT_TRANSLATE_NOOP("CoreText", "%1 left out: the later %2 is disabled")};
// clang-format on

} // namespace quorvane::texts
