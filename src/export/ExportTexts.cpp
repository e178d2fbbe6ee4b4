#include "export/ExportTexts.h"

namespace quorvane::texts {

// clang-format off
const TMessageText NamesakeWritten{"NamesakeWritten", QT_TRANSLATE_NOOP("CoreText", "%1 left out: the later %2 is written")};
const TMessageText NamesakeDisabled{"NamesakeDisabled", QT_TRANSLATE_NOOP("CoreText", "%1 left out: the later %2 is disabled")};

const TMessageText EmptyPasswords{"EmptyPasswords", QT_TRANSLATE_NOOP("CoreText", "Anyone who knows these logins gets in without a password: %1")};
const TMessageText UnsafeUsers{"UnsafeUsers", QT_TRANSLATE_NOOP("CoreText", "These users cannot go into the password file safely: %1. Correct or disable them, then export again.")};
const TMessageText UnsafeUser{"UnsafeUser", QT_TRANSLATE_NOOP("CoreText", "user %1 \"%2\" (%3)")};
const TMessageText UnsafeLoginEmpty{"UnsafeLoginEmpty", QT_TRANSLATE_NOOP("CoreText", "the login is empty")};
const TMessageText UnsafeLoginColon{"UnsafeLoginColon", QT_TRANSLATE_NOOP("CoreText", "the login holds a colon")};
const TMessageText UnsafeLoginControl{"UnsafeLoginControl", QT_TRANSLATE_NOOP("CoreText", "the login holds a control character")};
const TMessageText UnsafePasswordTooLong{"UnsafePasswordTooLong", QT_TRANSLATE_NOOP("CoreText", "the password is longer than 4096 bytes, the most a password may have")};
const TMessageText UnsafePlainTextBreak{"UnsafePlainTextBreak", QT_TRANSLATE_NOOP("CoreText", "the password holds a line break or a NUL and cannot be written as plain text")};
const TMessageText UnsafeCryptNul{"UnsafeCryptNul", QT_TRANSLATE_NOOP("CoreText", "the password holds a NUL, which bcrypt and SHA-crypt cannot hash")};
const TMessageText UnsafeLineTooLong{"UnsafeLineTooLong", QT_TRANSLATE_NOOP("CoreText", "its line would be longer than 8191 bytes; web servers stop reading the password file there, and every later user would be locked out")};
const TMessageText StoredHashBreaksLine{"StoredHashBreaksLine", QT_TRANSLATE_NOOP("CoreText", "The stored password hash of %1 holds a line break or a NUL byte and cannot go into the password file")};
const TMessageText PlainTextHashOnly{"PlainTextHashOnly", QT_TRANSLATE_NOOP("CoreText", "A plain-text password file cannot hold users known only by their password hash: %1. Give them new passwords or export in another form")};
const TMessageText NoClearPasswordsPlainText{"NoClearPasswordsPlainText", QT_TRANSLATE_NOOP("CoreText", "A database that keeps no clear passwords cannot export them as plain text: choose a hashed form first")};
const TMessageText FormNeedsClearPasswords{"FormNeedsClearPasswords", QT_TRANSLATE_NOOP("CoreText", "The form %1 needs the clear passwords of these users, which this database does not keep: %2. Keep the database's form or give them new passwords")};

const TMessageText BcryptCostRange{"BcryptCostRange", QT_TRANSLATE_NOOP("CoreText", "The bcrypt cost must be from %1 to %2")};
const TMessageText ShaRoundsRange{"ShaRoundsRange", QT_TRANSLATE_NOOP("CoreText", "The SHA-crypt rounds must be from %1 to %2")};
const TMessageText Sha256RoundsRange{"Sha256RoundsRange", QT_TRANSLATE_NOOP("CoreText", "The SHA-256-crypt rounds must be from %1 to %2")};
const TMessageText Sha512RoundsRange{"Sha512RoundsRange", QT_TRANSLATE_NOOP("CoreText", "The SHA-512-crypt rounds must be from %1 to %2")};
const TMessageText CryptZeroByte{"CryptZeroByte", QT_TRANSLATE_NOOP("CoreText", "A password with a zero byte cannot be hashed with bcrypt or SHA-crypt")};
const TMessageText CryptRefusesSetting{"CryptRefusesSetting", QT_TRANSLATE_NOOP("CoreText", "The system's crypt does not accept the setting %1")};
const TMessageText CryptCannotMakeSalt{"CryptCannotMakeSalt", QT_TRANSLATE_NOOP("CoreText", "The system's crypt cannot make a salt for %1")};
const TMessageText BcryptSaltInvalid{"BcryptSaltInvalid", QT_TRANSLATE_NOOP("CoreText", "A bcrypt salt is 22 characters of ./0-9A-Za-z")};
const TMessageText FormRefusesSetting{"FormRefusesSetting", QT_TRANSLATE_NOOP("CoreText", "The password form does not accept the setting %1")};
const TMessageText Pbkdf2IterationsRange{"Pbkdf2IterationsRange", QT_TRANSLATE_NOOP("CoreText", "The PBKDF2 iterations must be from %1 to %2")};
const TMessageText Argon2PassesRange{"Argon2PassesRange", QT_TRANSLATE_NOOP("CoreText", "The argon2id passes must be from %1 to %2")};
const TMessageText RealmNeeded{"RealmNeeded", QT_TRANSLATE_NOOP("CoreText", "The form %1 needs a realm: the name the server's AuthName gives")};
const TMessageText RealmUnsafe{"RealmUnsafe", QT_TRANSLATE_NOOP("CoreText", "The realm \"%1\" cannot go into a Digest file: it holds a colon or a control character")};
const TMessageText FormHashOnly{"FormHashOnly", QT_TRANSLATE_NOOP("CoreText", "The form %1 is made from the clear password and cannot hold users known only by their password hash: %2. Give them new passwords or export in another form")};
const TMessageText UnknownConsumer{"UnknownConsumer", QT_TRANSLATE_NOOP("CoreText", "No program is called %1; the known ones are %2")};
const TMessageText ConsumerRefusesForm{"ConsumerRefusesForm", QT_TRANSLATE_NOOP("CoreText", "%1 does not read the form %2; it reads %3")};
const TMessageText ConsumerOtherForms{"ConsumerOtherForms", QT_TRANSLATE_NOOP("CoreText", "%1 cannot read the passwords of these users, which are not in the form %2: %3. Give them new passwords, then export again")};
const TMessageText OtherFormsWarning{"OtherFormsWarning", QT_TRANSLATE_NOOP("CoreText", "Users with a password in another form than %2, which not every program reads (%1): %3")};
const TMessageText OtherFormsCount{"OtherFormsCount", QT_TRANSLATE_NOOP("CoreText", "Users with a password in another form than %2, which not every program reads: %1")};
const TMessageText ConsumerUnsafeUsers{"ConsumerUnsafeUsers", QT_TRANSLATE_NOOP("CoreText", "%1 cannot hold these users safely: %2. Correct or disable them, then export again.")};
const TMessageText ConsumerUnsafeUser{"ConsumerUnsafeUser", QT_TRANSLATE_NOOP("CoreText", "%1 (%2 cannot go into this file)")};
const TMessageText ConsumerNoUsers{"ConsumerNoUsers", QT_TRANSLATE_NOOP("CoreText", "%1 without users would let everybody in; nothing was written")};
const TMessageText ConsumerFieldLogin{"ConsumerFieldLogin", QT_TRANSLATE_NOOP("CoreText", "the login")};
const TMessageText ConsumerFieldName{"ConsumerFieldName", QT_TRANSLATE_NOOP("CoreText", "the full name")};
const TMessageText ConsumerFieldEmail{"ConsumerFieldEmail", QT_TRANSLATE_NOOP("CoreText", "the e-mail address")};
const TMessageText ConsumerFieldGroup{"ConsumerFieldGroup", QT_TRANSLATE_NOOP("CoreText", "a group")};
const TMessageText ConsumerFieldPassword{"ConsumerFieldPassword", QT_TRANSLATE_NOOP("CoreText", "the password")};
const TMessageText ConsumerNameInvalid{"ConsumerNameInvalid", QT_TRANSLATE_NOOP("CoreText", "The name \"%1\" cannot name the %2: use letters, digits, \"-\" and \"_\"")};
const TMessageText ShaSaltInvalid{"ShaSaltInvalid", QT_TRANSLATE_NOOP("CoreText", "A SHA-crypt salt is 1 to 16 characters of ./0-9A-Za-z")};

const TMessageText FormPlainText{"FormPlainText", QT_TRANSLATE_NOOP("CoreText", "Plain text")};

const TMessageText SchemeMd5Crypt{"SchemeMd5Crypt", QT_TRANSLATE_NOOP("CoreText", "MD5 crypt")};
const TMessageText SchemeSaltedSha1{"SchemeSaltedSha1", QT_TRANSLATE_NOOP("CoreText", "salted SHA-1")};
const TMessageText SchemeDesCrypt{"SchemeDesCrypt", QT_TRANSLATE_NOOP("CoreText", "DES crypt")};
const TMessageText SchemePlainText{"SchemePlainText", QT_TRANSLATE_NOOP("CoreText", "plain text")};
const TMessageText SchemeLocked{"SchemeLocked", QT_TRANSLATE_NOOP("CoreText", "locked")};
const TMessageText HashOnly{"HashOnly", QT_TRANSLATE_NOOP("CoreText", "hash only (%1)")};
const TMessageText HashOnlyUnknownScheme{"HashOnlyUnknownScheme", QT_TRANSLATE_NOOP("CoreText", "unknown scheme (%1)")};
const TMessageText NoPrefix{"NoPrefix", QT_TRANSLATE_NOOP("CoreText", "no prefix")};
const TMessageText WeakHashOne{"WeakHashOne", QT_TRANSLATE_NOOP("CoreText", "1 user still uses a weak hash: set a new password for it")};
const TMessageText WeakHashMany{"WeakHashMany", QT_TRANSLATE_NOOP("CoreText", "%1 users still use weak hashes: set new passwords for them")};
const TMessageText WeakHashUser{"WeakHashUser", QT_TRANSLATE_NOOP("CoreText", "  %1 (%2)")};

const TMessageText EstimateOneUser{"EstimateOneUser", QT_TRANSLATE_NOOP("CoreText", "%1 for 1 user; later exports reuse unchanged hashes")};
const TMessageText EstimateUsers{"EstimateUsers", QT_TRANSLATE_NOOP("CoreText", "%1 for %2 users; later exports reuse unchanged hashes")};
const TMessageText ServerCost{"ServerCost", QT_TRANSLATE_NOOP("CoreText", "each page request costs the server %1")};
const TMessageText DurationUnderMs{"DurationUnderMs", QT_TRANSLATE_NOOP("CoreText", "less than 1 ms")};
const TMessageText DurationMs{"DurationMs", QT_TRANSLATE_NOOP("CoreText", "about %1 ms")};
const TMessageText DurationS{"DurationS", QT_TRANSLATE_NOOP("CoreText", "about %1 s")};
const TMessageText DurationMin{"DurationMin", QT_TRANSLATE_NOOP("CoreText", "about %1 min")};
const TMessageText DurationH{"DurationH", QT_TRANSLATE_NOOP("CoreText", "about %1 h")};

const TMessageText GroupsOfUser{"GroupsOfUser", QT_TRANSLATE_NOOP("CoreText", "The groups of %1: %2")};
const TMessageText LoginNotForGroupFile{"LoginNotForGroupFile", QT_TRANSLATE_NOOP("CoreText", "The login %1 holds a blank, a quote or a backslash and cannot go into the group file")};
const TMessageText GroupFileBadLine{"GroupFileBadLine", QT_TRANSLATE_NOOP("CoreText", "%1, line %2: not \"group: user user ...\"")};
const TMessageText GroupFileSpellings{"GroupFileSpellings", QT_TRANSLATE_NOOP("CoreText", "%1, line %2: the group \"%3\" is the group \"%4\" of line %5 to the web server (letters a to z without regard to case)")};

const TMessageText HtpasswdNotLoginPassword{"HtpasswdNotLoginPassword", QT_TRANSLATE_NOOP("CoreText", "Line %1 of the password file is not login:password; nothing was imported")};
const TMessageText HtpasswdBadLogin{"HtpasswdBadLogin", QT_TRANSLATE_NOOP("CoreText", "Line %1 of the password file has a login that cannot be used: %2; nothing was imported")};
const TMessageText HtpasswdControlInPassword{"HtpasswdControlInPassword", QT_TRANSLATE_NOOP("CoreText", "Line %1 of the password file holds a control character in its password; nothing was imported")};
const TMessageText HtpasswdPasswordTooLong{"HtpasswdPasswordTooLong", QT_TRANSLATE_NOOP("CoreText", "Line %1 of the password file holds a password longer than %2 bytes, the most a password may have; nothing was imported")};
const TMessageText HtpasswdBinary{"HtpasswdBinary", QT_TRANSLATE_NOOP("CoreText", "The file does not look like a password file: it holds binary data; nothing was imported")};
const TMessageText HtpasswdSystemAccounts{"HtpasswdSystemAccounts", QT_TRANSLATE_NOOP("CoreText", "The file does not look like a password file: most of its lines have a number after the second colon, as the system's account files (/etc/passwd, /etc/shadow, /etc/group) have; nothing was imported")};
const TMessageText HtpasswdAddedOne{"HtpasswdAddedOne", QT_TRANSLATE_NOOP("CoreText", "1 user added, %1 replaced, %2 skipped.")};
const TMessageText HtpasswdAdded{"HtpasswdAdded", QT_TRANSLATE_NOOP("CoreText", "%1 users added, %2 replaced, %3 skipped.")};
const TMessageText HtpasswdWeakOne{"HtpasswdWeakOne", QT_TRANSLATE_NOOP("CoreText", " 1 of them uses a weak scheme (SHA-1, DES crypt or plain text): set new passwords for it.")};
const TMessageText HtpasswdWeak{"HtpasswdWeak", QT_TRANSLATE_NOOP("CoreText", " %1 of them use a weak scheme (SHA-1, DES crypt or plain text): set new passwords for them.")};
const TMessageText HtpasswdSkippedClashes{"HtpasswdSkippedClashes", QT_TRANSLATE_NOOP("CoreText", "Skipped, as the login is there already (letters a to z without regard to case): %1")};
const TMessageText HtpasswdReplacedClashes{"HtpasswdReplacedClashes", QT_TRANSLATE_NOOP("CoreText", "Replaced, as the login was there already (letters a to z without regard to case): %1")};
const TMessageText HtpasswdLocked{"HtpasswdLocked", QT_TRANSLATE_NOOP("CoreText", "Locked, and kept locked: %1")};
const TMessageText HtpasswdUnknownKept{"HtpasswdUnknownKept", QT_TRANSLATE_NOOP("CoreText", "Kept exactly as they were, in a scheme Quorvane does not know: %1")};
const TMessageText HtpasswdClashDatabase{"HtpasswdClashDatabase", QT_TRANSLATE_NOOP("CoreText", "line %1 \"%2\" (like \"%3\" in the database)")};
const TMessageText HtpasswdClashLine{"HtpasswdClashLine", QT_TRANSLATE_NOOP("CoreText", "line %1 \"%2\" (like line %3 \"%4\")")};
const TMessageText HtpasswdEntry{"HtpasswdEntry", QT_TRANSLATE_NOOP("CoreText", "line %1 \"%2\"")};
const TMessageText HtpasswdEntryScheme{"HtpasswdEntryScheme", QT_TRANSLATE_NOOP("CoreText", "line %1 \"%2\" (%3)")};
const TMessageText CountAdded{"CountAdded", QT_TRANSLATE_NOOP("CoreText", "%1 added")};
const TMessageText CountRemoved{"CountRemoved", QT_TRANSLATE_NOOP("CoreText", "%1 removed")};
const TMessageText CountChanged{"CountChanged", QT_TRANSLATE_NOOP("CoreText", "%1 changed")};
const TMessageText NoUserChanges{"NoUserChanges", QT_TRANSLATE_NOOP("CoreText", "no user changes")};
const TMessageText ChangeCounts{"ChangeCounts", QT_TRANSLATE_NOOP("CoreText", "%1")};
const TMessageText SentencesJoined{"SentencesJoined", QT_TRANSLATE_NOOP("CoreText", "%1%2")};
// clang-format on

} // namespace quorvane::texts
