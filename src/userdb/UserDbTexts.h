#pragma once
// The users database library's messages (users, logins, the .udx file, imports, series).

#include "base/Message.h"

namespace quorvane::texts {
extern const TMessageText DatabaseWidened;

} // namespace quorvane::texts
