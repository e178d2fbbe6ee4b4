#pragma once
// The transfer library's messages (FTP, FTP over TLS, SFTP, server identities).

#include "base/Message.h"

namespace quorvane::texts {} // namespace quorvane::texts
