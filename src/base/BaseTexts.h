#pragma once
// The texts of the base library's messages (files, streams, the random source).

#include "base/Message.h"

namespace quorvane::texts {

extern const TMessageText CannotOpenFile;
extern const TMessageText CannotCreateFile;
extern const TMessageText CannotCreateFileNoFolder;
extern const TMessageText CannotCreateFileNotAFolder;
extern const TMessageText CannotCreateFileNoPermission;
extern const TMessageText CannotCreateFileDiskFull;
extern const TMessageText CannotCreateFileQuota;
extern const TMessageText CannotCreateFileReadOnly;
extern const TMessageText CannotCreateFileIsFolder;
extern const TMessageText CannotWriteFileDiskFull;
extern const TMessageText CannotWriteFileQuota;
extern const TMessageText StreamReadError;
extern const TMessageText StreamWriteError;
extern const TMessageText FileReadOnly;
extern const TMessageText RandomUnavailable;
extern const TMessageText OwnerNotKept;
extern const TMessageText GroupUnknown;
extern const TMessageText GroupNotSet;
extern const TMessageText GroupNotKept;
extern const TMessageText ForeignLink;
extern const TMessageText TargetIsDatabase;
extern const TMessageText NotARegularFile;
extern const TMessageText LineTooLong;
extern const TMessageText NamesMore;
extern const TMessageText PluginNotLoaded;

} // namespace quorvane::texts
