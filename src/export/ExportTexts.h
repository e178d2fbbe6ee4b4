#pragma once
// The export library's messages (password file forms, schemes, hashes, the password file).

#include "base/Message.h"

namespace quorvane::texts {
extern const TMessageText NamesakeWritten;
extern const TMessageText NamesakeDisabled;

} // namespace quorvane::texts
