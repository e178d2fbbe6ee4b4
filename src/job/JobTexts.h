#pragma once
// The export job's messages (targets, backups, the result of an export).

#include "base/Message.h"

namespace quorvane::texts {
extern const TMessageText PartialUploadKept;

} // namespace quorvane::texts
