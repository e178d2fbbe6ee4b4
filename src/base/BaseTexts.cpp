#include "base/BaseTexts.h"

namespace quorvane {

const TMessageText KVerbatimText{"Verbatim", "%1"};

namespace texts {

// clang-format off
const TMessageText CannotOpenFile{"CannotOpenFile", QT_TRANSLATE_NOOP("CoreText", "Cannot open file %1")};
const TMessageText CannotCreateFile{"CannotCreateFile", QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1")};
const TMessageText CannotCreateFileNoFolder{"CannotCreateFileNoFolder", QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: the folder %2 does not exist")};
const TMessageText CannotCreateFileNotAFolder{"CannotCreateFileNotAFolder", QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: %2 is not a folder")};
const TMessageText CannotCreateFileNoPermission{"CannotCreateFileNoPermission", QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: no permission to write in the folder %2")};
const TMessageText CannotCreateFileDiskFull{"CannotCreateFileDiskFull", QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: the disk is full")};
const TMessageText CannotCreateFileQuota{"CannotCreateFileQuota", QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: the disk quota is used up")};
const TMessageText CannotCreateFileReadOnly{"CannotCreateFileReadOnly", QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: the file system is read-only")};
const TMessageText CannotCreateFileIsFolder{"CannotCreateFileIsFolder", QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: it is a folder")};
const TMessageText CannotWriteFileDiskFull{"CannotWriteFileDiskFull", QT_TRANSLATE_NOOP("CoreText", "Cannot write file %1: the disk is full")};
const TMessageText CannotWriteFileQuota{"CannotWriteFileQuota", QT_TRANSLATE_NOOP("CoreText", "Cannot write file %1: the disk quota is used up")};
const TMessageText StreamReadError{"StreamReadError", QT_TRANSLATE_NOOP("CoreText", "Stream read error")};
const TMessageText StreamWriteError{"StreamWriteError", QT_TRANSLATE_NOOP("CoreText", "Stream write error")};
const TMessageText FileReadOnly{"FileReadOnly", QT_TRANSLATE_NOOP("CoreText", "The file is read-only")};
const TMessageText RandomUnavailable{"RandomUnavailable", QT_TRANSLATE_NOOP("CoreText", "The system's random generator is not available")};
const TMessageText OwnerNotKept{"OwnerNotKept", QT_TRANSLATE_NOOP("CoreText", "The owner \"%1\" of %2 could not be kept; the file now belongs to \"%3\"")};
const TMessageText GroupUnknown{"GroupUnknown", QT_TRANSLATE_NOOP("CoreText", "There is no group \"%1\" on this system")};
const TMessageText GroupNotSet{"GroupNotSet", QT_TRANSLATE_NOOP("CoreText", "The group of %1 cannot be set to \"%2\": %3")};
const TMessageText GroupNotKept{"GroupNotKept", QT_TRANSLATE_NOOP("CoreText", "The group \"%1\" of %2 could not be kept; the file now has the group \"%3\"")};
const TMessageText ForeignLink{"ForeignLink", QT_TRANSLATE_NOOP("CoreText", "The link %1 belongs to another user in a folder open to everybody; it is not followed and nothing was written")};
const TMessageText TargetIsDatabase{"TargetIsDatabase", QT_TRANSLATE_NOOP("CoreText", "The password file %1 would replace the database itself; choose another file")};
const TMessageText NotARegularFile{"NotARegularFile", QT_TRANSLATE_NOOP("CoreText", "%1 is not a regular file")};
const TMessageText LineTooLong{"LineTooLong", QT_TRANSLATE_NOOP("CoreText", "Line %1 of %2 is longer than 64 KiB")};
const TMessageText NamesMore{"NamesMore", QT_TRANSLATE_NOOP("CoreText", "%1 and %2 more")};
const TMessageText PluginNotLoaded{"PluginNotLoaded", QT_TRANSLATE_NOOP("CoreText", "Could not load the program part %1: %2")};
// clang-format on

} // namespace texts

} // namespace quorvane
