#pragma once
// The settings store's messages.

#include "base/Message.h"

namespace quorvane::texts {

extern const TMessageText InvalidDataType;
extern const TMessageText FailedToSetData;

} // namespace quorvane::texts
