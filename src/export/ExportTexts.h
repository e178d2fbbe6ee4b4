#pragma once
// The export library's messages (password file forms, schemes, hashes, the password file).

#include "base/Message.h"

namespace quorvane::texts {
extern const TMessageText NamesakeWritten;
extern const TMessageText NamesakeDisabled;

// The password file and its users
extern const TMessageText EmptyPasswords;
extern const TMessageText UnsafeUsers;
extern const TMessageText UnsafeUser;
extern const TMessageText UnsafeLoginEmpty;
extern const TMessageText UnsafeLoginColon;
extern const TMessageText UnsafeLoginControl;
extern const TMessageText UnsafePasswordTooLong;
extern const TMessageText UnsafePlainTextBreak;
extern const TMessageText UnsafeCryptNul;
extern const TMessageText UnsafeLineTooLong;
extern const TMessageText StoredHashBreaksLine;
extern const TMessageText PlainTextHashOnly;

// Databases that keep no clear passwords
extern const TMessageText NoClearPasswordsPlainText;
extern const TMessageText FormNeedsClearPasswords;

// Schemes and their settings
extern const TMessageText BcryptCostRange;
extern const TMessageText ShaRoundsRange;
extern const TMessageText Sha256RoundsRange;
extern const TMessageText Sha512RoundsRange;
extern const TMessageText CryptZeroByte;
extern const TMessageText CryptRefusesSetting;
extern const TMessageText CryptCannotMakeSalt;
extern const TMessageText BcryptSaltInvalid;
extern const TMessageText ShaSaltInvalid;
extern const TMessageText FormRefusesSetting;
extern const TMessageText Pbkdf2IterationsRange;
extern const TMessageText Argon2PassesRange;
extern const TMessageText RealmNeeded;
extern const TMessageText RealmUnsafe;
extern const TMessageText FormHashOnly;

// The programs that read the exported users (consumers)
extern const TMessageText UnknownConsumer;
extern const TMessageText ConsumerRefusesForm;
extern const TMessageText ConsumerOtherForms;
extern const TMessageText OtherFormsWarning;
extern const TMessageText OtherFormsCount;
extern const TMessageText ConsumerUnsafeUsers;
extern const TMessageText ConsumerUnsafeUser;
extern const TMessageText ConsumerNameInvalid;
extern const TMessageText ConsumerNoUsers;
extern const TMessageText ConsumerFieldLogin;
extern const TMessageText ConsumerFieldName;
extern const TMessageText ConsumerFieldEmail;
extern const TMessageText ConsumerFieldGroup;
extern const TMessageText ConsumerFieldPassword;

// The names of the export dialog's forms and of the schemes of stored hashes, where they are
// words (the others are names the same in every language: "MD5", "bcrypt")
extern const TMessageText FormPlainText;
extern const TMessageText SchemeMd5Crypt;
extern const TMessageText SchemeSaltedSha1;
extern const TMessageText SchemeDesCrypt;
extern const TMessageText SchemePlainText;
extern const TMessageText SchemeLocked;
extern const TMessageText HashOnly;
extern const TMessageText HashOnlyUnknownScheme;
extern const TMessageText NoPrefix;
extern const TMessageText WeakHashOne;
extern const TMessageText WeakHashMany;
extern const TMessageText WeakHashUser;

// The estimate of a slow form's cost
extern const TMessageText EstimateOneUser;
extern const TMessageText EstimateUsers;
extern const TMessageText ServerCost;
extern const TMessageText DurationUnderMs;
extern const TMessageText DurationMs;
extern const TMessageText DurationS;
extern const TMessageText DurationMin;
extern const TMessageText DurationH;

// Group files
extern const TMessageText GroupsOfUser;
extern const TMessageText LoginNotForGroupFile;
extern const TMessageText GroupFileBadLine;
extern const TMessageText GroupFileSpellings;

// The import of a password file
extern const TMessageText HtpasswdNotLoginPassword;
extern const TMessageText HtpasswdBadLogin;
extern const TMessageText HtpasswdControlInPassword;
extern const TMessageText HtpasswdPasswordTooLong;
extern const TMessageText HtpasswdBinary;
extern const TMessageText HtpasswdSystemAccounts;
extern const TMessageText HtpasswdAddedOne;
extern const TMessageText HtpasswdAdded;
extern const TMessageText HtpasswdWeakOne;
extern const TMessageText HtpasswdWeak;
extern const TMessageText HtpasswdSkippedClashes;
extern const TMessageText HtpasswdReplacedClashes;
extern const TMessageText HtpasswdLocked;
extern const TMessageText HtpasswdUnknownKept;
extern const TMessageText HtpasswdClashDatabase;
extern const TMessageText HtpasswdClashLine;
extern const TMessageText HtpasswdEntry;
extern const TMessageText HtpasswdEntryScheme;
extern const TMessageText CountAdded;
extern const TMessageText CountRemoved;
extern const TMessageText CountChanged;
extern const TMessageText NoUserChanges;
extern const TMessageText ChangeCounts;
extern const TMessageText SentencesJoined;

} // namespace quorvane::texts
