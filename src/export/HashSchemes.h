#pragma once
// The password hash schemes, one row each. Everything that lists, names, hashes or verifies a
// scheme reads this table: the password file writer, the export dialog's list, the command
// line's --format, the consumers (Consumers.h). Adding a scheme a database can choose is a member
// of TPasswordsType (with its stored name), a row here and its functions; a form only some
// consumers read (the Digest line, Mosquitto's PBKDF2, argon2id) is a row after those, without
// a member.

#include "base/Message.h"
#include "base/Random.h"
#include "export/StoredHash.h"
#include "userdb/PasswordsType.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// A numeric setting of a scheme (a cost, a number of rounds) with its range and default.
struct THashParam {
    std::string_view Name; // as the command line and the messages call it
    int Min = 0;
    int Max = 0;
    int Default = 0;
};

struct THashScheme {
    // The database's form; for a row after the database's forms (IsDatabaseForm false) it is
    // ptPlainText and means nothing: SchemeOf and HashSchemes never give those rows.
    TPasswordsType Id;
    // In the database file ("ptMD5"); for a consumer's form, its tag in the hash cache.
    std::string_view StoredName;
    std::string_view DisplayName; // in the export dialog: "MD5"
    // The display name as a text to translate, where it is words ("Plain text"); none for a
    // name that is the same in every language.
    const TMessageText* DisplayText;
    std::string_view CliName; // the value of the command line's --format: "md5"
    std::string_view Prefix;  // how its hashes begin ("$apr1$"); empty: the password itself
    const THashParam* Param;  // its one setting; none for a scheme without settings
    // "The bcrypt cost must be from %1 to %2": the range of Param, with Param.
    const TMessageText* ParamRange;

    // The setting a hash is computed with (the salt and whatever the parameter's value adds),
    // drawn from random. Salts of an export are drawn in file order on one thread, so a
    // reproducible source gives a reproducible file. None: the password goes in as it is.
    std::string (*MakeSetting)(IRandomSource& random, int param);
    // The hash of password under a setting made by MakeSetting (or a whole hash of this scheme,
    // whose setting part is then used). None exactly when MakeSetting is none.
    std::string (*HashWithSetting)(std::string_view password, std::string_view setting);
    // Hashes passwords[i] with settings[i] into out[i], on up to `threads` workers (0: one per
    // processor), exactly as HashWithSetting would. None: the writer calls HashWithSetting.
    void (*HashBatch)(const std::vector<std::string_view>& passwords,
                      const std::vector<std::string>& settings, std::vector<std::string>& out,
                      unsigned threads);
    // Whether password matches a value of this scheme; login is the user's (only a form made
    // from the login looks at it).
    bool (*Verify)(std::string_view password, std::string_view hash, std::string_view login);

    // A form whose value is made from the login and a realm as well (the Digest line): the
    // value for the user. None for the others. A form with it has no MakeSetting.
    std::string (*HashForUser)(std::string_view login, std::string_view realm,
                               std::string_view password) = nullptr;
    bool NeedsRealm = false; // the value holds a realm the export must be given
    // Slow on purpose: its hashes are kept in the hash cache under the database's key, not
    // checked again by hashing (bcrypt, SHA-crypt, argon2id).
    bool Keyed = false;
    // crypt reads the password as a C string: a password with a NUL cannot be hashed.
    bool CStringPassword = false;
    // Dovecot's name of the form, written in braces before the value ("BLF-CRYPT"); empty for a
    // form Dovecot does not read.
    std::string_view DovecotName;
    // The scheme a stored value of this form is told by (IdentifyStoredHash); Unknown for a
    // form made from the clear password, whose values no prefix tells.
    TStoredScheme Stored = TStoredScheme::Unknown;

    // Whether the file holds the password itself rather than a hash of it.
    bool StoresClearText() const { return MakeSetting == nullptr && HashForUser == nullptr; }
    // Whether a database can choose this form (a member of TPasswordsType stands for it).
    bool IsDatabaseForm() const;
    // The value of the scheme's parameter when none is chosen: its default, or 0 without one.
    int DefaultParam() const { return Param ? Param->Default : 0; }
    // The value for the password file: a hash with a new setting, or the password itself.
    // A form made from the login (HashForUser) cannot be made by Hash: a logic error.
    std::string Hash(std::string_view password, IRandomSource& random, int param) const;
    // The value for a user: Hash, or for a form made from the login, HashForUser.
    std::string HashFor(std::string_view login, std::string_view realm, std::string_view password,
                        IRandomSource& random, int param) const;
    // The refusal of a parameter outside Param's range (ParamRange with its bounds).
    TMessage ParamRangeMessage() const;
    // The display name as a message: DisplayText, or DisplayName as it is.
    TMessage DisplayMessage() const;
};

// Every form a database can choose, in the order the export dialog lists them ("MD5" first).
std::span<const THashScheme> HashSchemes();
// Those and the forms only consumers read (Digest, PBKDF2-SHA512, argon2id), each once.
std::span<const THashScheme> AllForms();
// The row of any form by its command-line name ("bcrypt", "digest"); none when there is none.
const THashScheme* FormByCliName(std::string_view name);

// The row of a scheme; every member of TPasswordsType has one.
const THashScheme& SchemeOf(TPasswordsType id);

// The row of a database's form whose command-line name is name (exact match); none when no such
// form has that name.
const THashScheme* SchemeByCliName(std::string_view name);

// The row (of any form) whose values hash is of (by IdentifyStoredHash); none when no form's.
const THashScheme* SchemeOfHash(std::string_view hash);

// The command-line names of the schemes, joined by sep: "md5|plain".
std::string SchemeCliNames(std::string_view sep);
// The command-line names as a sentence's list: "md5 or plain", "md5, plain or bcrypt".
std::string SchemeCliNamesSentence();

} // namespace quorvane
