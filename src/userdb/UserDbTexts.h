#pragma once
// The users database library's messages (users, logins, the .udx file, imports, series).

#include "base/Message.h"

namespace quorvane::texts {
extern const TMessageText DatabaseWidened;
extern const TMessageText InvalidStreamFormat;
extern const TMessageText FileNotValid;
extern const TMessageText FileUnknownPasswordForm;
extern const TMessageText DatabaseBusy;
extern const TMessageText LockFileNotRegular;
extern const TMessageText ListIndexOutOfBounds;
extern const TMessageText LoginEmpty;
extern const TMessageText LoginColon;
extern const TMessageText LoginControl;
extern const TMessageText LoginTooLong;
extern const TMessageText LoginLooksLikeComment;
extern const TMessageText LoginBlank;
extern const TMessageText UserExists;
extern const TMessageText PasswordTooLong;
extern const TMessageText ImportLineFailed;
extern const TMessageText ImportBadLogin;
extern const TMessageText ImportBadLogins;
extern const TMessageText ExistingLoginSkipped;
extern const TMessageText ExistingLoginsSkipped;
extern const TMessageText ExistingLogin;
extern const TMessageText ExistingLogins;
extern const TMessageText SeriesShort;
extern const TMessageText SeriesEmptyPassword;
extern const TMessageText SeriesRandomCharOutOfRange;
extern const TMessageText GroupNameEmpty;
extern const TMessageText GroupNameInvalid;
extern const TMessageText GroupNameComment;
extern const TMessageText GroupSpellings;
extern const TMessageText GroupJoinedAndLeft;
extern const TMessageText NoPasswordToSend;
extern const TMessageText MailAddressControl;
extern const TMessageText MailAddressList;
extern const TMessageText TemplateLineControl;
extern const TMessageText TemplateHeaderInvalid;
extern const TMessageText SenderAddressControl;
extern const TMessageText CannotCreateFolder;
extern const TMessageText EncryptionUnavailable;
extern const TMessageText KeyFileEmpty;
extern const TMessageText KdfOutOfBounds;
extern const TMessageText WrongMasterPassword;
extern const TMessageText MasterPasswordNeeded;

} // namespace quorvane::texts
