#include "userdb/UserDbTexts.h"

namespace quorvane::texts {

// clang-format off
const TMessageText DatabaseWidened{"DatabaseWidened", QT_TRANSLATE_NOOP("CoreText", "The database %1 could be read by other users (mode %2); it holds clear passwords and is now saved with mode %3")};
const TMessageText InvalidStreamFormat{"InvalidStreamFormat", QT_TRANSLATE_NOOP("CoreText", "Invalid stream format")};
const TMessageText FileNotValid{"FileNotValid", QT_TRANSLATE_NOOP("CoreText", "The file is not valid")};
const TMessageText FileUnknownPasswordForm{"FileUnknownPasswordForm", QT_TRANSLATE_NOOP("CoreText", "The file is not valid: it asks for the password form %1, which this version of Quorvane does not know")};
const TMessageText DatabaseBusy{"DatabaseBusy", QT_TRANSLATE_NOOP("CoreText", "The database is in use by another program")};
const TMessageText LockFileNotRegular{"LockFileNotRegular", QT_TRANSLATE_NOOP("CoreText", "The lock file %1 is not a regular file and cannot be removed; remove it")};
const TMessageText ListIndexOutOfBounds{"ListIndexOutOfBounds", QT_TRANSLATE_NOOP("CoreText", "List index out of bounds (%1)")};
const TMessageText LoginEmpty{"LoginEmpty", QT_TRANSLATE_NOOP("CoreText", "The login is empty. Enter a login for the user.")};
const TMessageText LoginColon{"LoginColon", QT_TRANSLATE_NOOP("CoreText", "The login contains a colon (\":\"). Web servers end the login at the first colon, so remove it from the login.")};
const TMessageText LoginControl{"LoginControl", QT_TRANSLATE_NOOP("CoreText", "The login contains a control character (such as a tab, a line break or a NUL). Remove it from the login.")};
const TMessageText LoginTooLong{"LoginTooLong", QT_TRANSLATE_NOOP("CoreText", "The login is longer than %1 bytes, the most a login may have. Shorten it.")};
const TMessageText LoginLooksLikeComment{"LoginLooksLikeComment", QT_TRANSLATE_NOOP("CoreText", "The login starts with \"#\". Web servers read such a line of the password file as a comment, so this user will not be able to log in.")};
const TMessageText LoginBlank{"LoginBlank", QT_TRANSLATE_NOOP("CoreText", "The login must not be blank")};
const TMessageText UserExists{"UserExists", QT_TRANSLATE_NOOP("CoreText", "User \"%1\" already exists")};
const TMessageText PasswordTooLong{"PasswordTooLong", QT_TRANSLATE_NOOP("CoreText", "The password is longer than %1 bytes, the most a password may have")};
const TMessageText ImportLineFailed{"ImportLineFailed", QT_TRANSLATE_NOOP("CoreText", "Nothing was imported: line %1 of the file: %2. Correct the file and import it again.")};
const TMessageText ImportBadLogin{"ImportBadLogin", QT_TRANSLATE_NOOP("CoreText", "Nothing was imported: line %1 of the file holds a login that cannot be used. %2 Correct the file and import it again.")};
const TMessageText ImportBadLogins{"ImportBadLogins", QT_TRANSLATE_NOOP("CoreText", "Nothing was imported: line %1 of the file holds a login that cannot be used. %2 Other lines with such a login: %3. Correct the file and import it again.")};
const TMessageText ExistingLoginSkipped{"ExistingLoginSkipped", QT_TRANSLATE_NOOP("CoreText", "1 login was already there and was skipped: %1")};
const TMessageText ExistingLoginsSkipped{"ExistingLoginsSkipped", QT_TRANSLATE_NOOP("CoreText", "%1 logins were already there and were skipped: %2")};
const TMessageText ExistingLogin{"ExistingLogin", QT_TRANSLATE_NOOP("CoreText", "1 login was already there: %1")};
const TMessageText ExistingLogins{"ExistingLogins", QT_TRANSLATE_NOOP("CoreText", "%1 logins were already there: %2")};
const TMessageText SeriesShort{"SeriesShort", QT_TRANSLATE_NOOP("CoreText", "Only %1 users has been created. Increase the login length to create more.")};
const TMessageText SeriesEmptyPassword{"SeriesEmptyPassword", QT_TRANSLATE_NOOP("CoreText", "The series made an empty password")};
const TMessageText SeriesRandomCharOutOfRange{"SeriesRandomCharOutOfRange", QT_TRANSLATE_NOOP("CoreText", "error GetRandomChar")};
const TMessageText GroupNameEmpty{"GroupNameEmpty", QT_TRANSLATE_NOOP("CoreText", "A group name must not be empty")};
const TMessageText GroupNameInvalid{"GroupNameInvalid", QT_TRANSLATE_NOOP("CoreText", "The group name \"%1\" may not hold \":\", \",\", a blank or a control character")};
const TMessageText GroupNameComment{"GroupNameComment", QT_TRANSLATE_NOOP("CoreText", "The group name \"%1\" starts with \"#\", which makes its line of the group file a comment")};
const TMessageText GroupSpellings{"GroupSpellings", QT_TRANSLATE_NOOP("CoreText", "\"%1\" and \"%2\" are one group to the web server (letters a to z without regard to case): use one spelling")};
const TMessageText GroupJoinedAndLeft{"GroupJoinedAndLeft", QT_TRANSLATE_NOOP("CoreText", "The users cannot both join and leave the group \"%1\"")};
const TMessageText NoPasswordToSend{"NoPasswordToSend", QT_TRANSLATE_NOOP("CoreText", "This database knows no password to send for: %1")};
const TMessageText MailAddressControl{"MailAddressControl", QT_TRANSLATE_NOOP("CoreText", "The e-mail address or full name of \"%1\" holds a line break or another control character")};
const TMessageText MailAddressList{"MailAddressList", QT_TRANSLATE_NOOP("CoreText", "The e-mail address of \"%1\" holds \",\", \";\", \"<\", \">\" or a blank: one address only, please")};
const TMessageText TemplateLineControl{"TemplateLineControl", QT_TRANSLATE_NOOP("CoreText", "The template's %1 line for \"%2\" would hold a line break or another control character")};
const TMessageText TemplateHeaderInvalid{"TemplateHeaderInvalid", QT_TRANSLATE_NOOP("CoreText", "The template's header line \"%1\" is not \"Name: value\"")};
const TMessageText SenderAddressControl{"SenderAddressControl", QT_TRANSLATE_NOOP("CoreText", "The sender's address holds a line break or another control character")};
const TMessageText CannotCreateFolder{"CannotCreateFolder", QT_TRANSLATE_NOOP("CoreText", "Cannot create folder %1")};
const TMessageText EncryptionUnavailable{"EncryptionUnavailable", QT_TRANSLATE_NOOP("CoreText", "The encryption library could not be started")};
const TMessageText KeyFileEmpty{"KeyFileEmpty", QT_TRANSLATE_NOOP("CoreText", "The key file %1 is empty")};
const TMessageText KdfOutOfBounds{"KdfOutOfBounds", QT_TRANSLATE_NOOP("CoreText", "The encrypted database asks for a key derivation of %1 passes over %2 of memory; this version of Quorvane opens databases that ask for %3 to %4 passes over %5 to %6. The file is damaged or was written by a newer version.")};
const TMessageText WrongMasterPassword{"WrongMasterPassword", QT_TRANSLATE_NOOP("CoreText", "Wrong master password or damaged file")};
const TMessageText MasterPasswordNeeded{"MasterPasswordNeeded", QT_TRANSLATE_NOOP("CoreText", "The database %1 is encrypted; its master password is needed")};
// clang-format on

} // namespace quorvane::texts
