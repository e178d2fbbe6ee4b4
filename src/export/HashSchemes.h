#pragma once
// The password hash schemes, one row each. Everything that lists, names, hashes or verifies a
// scheme reads this table: the password file writer, the export dialog's list, the command
// line's --format. Adding a scheme is a member of TPasswordsType (with its stored name), a row
// here and its functions.

#include "base/Message.h"
#include "base/Random.h"
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
    TPasswordsType Id;
    std::string_view StoredName;  // in the database file: "ptMD5"
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
    // Whether password matches a hash of this scheme.
    bool (*Verify)(std::string_view password, std::string_view hash);

    // Whether the file holds the password itself rather than a hash of it.
    bool StoresClearText() const { return MakeSetting == nullptr; }
    // The value of the scheme's parameter when none is chosen: its default, or 0 without one.
    int DefaultParam() const { return Param ? Param->Default : 0; }
    // The value for the password file: a hash with a new setting, or the password itself.
    std::string Hash(std::string_view password, IRandomSource& random, int param) const;
    // The refusal of a parameter outside Param's range (ParamRange with its bounds).
    TMessage ParamRangeMessage() const;
    // The display name as a message: DisplayText, or DisplayName as it is.
    TMessage DisplayMessage() const;
};

// Every scheme, in the order the export dialog lists them ("MD5" first).
std::span<const THashScheme> HashSchemes();

// The row of a scheme; every member of TPasswordsType has one.
const THashScheme& SchemeOf(TPasswordsType id);

// The row whose command-line name is name (exact match); none when no scheme has that name.
const THashScheme* SchemeByCliName(std::string_view name);

// The row whose prefix begins hash; none when no scheme with a prefix matches.
const THashScheme* SchemeOfHash(std::string_view hash);

// The command-line names of the schemes, joined by sep: "md5|plain".
std::string SchemeCliNames(std::string_view sep);
// The command-line names as a sentence's list: "md5 or plain", "md5, plain or bcrypt".
std::string SchemeCliNamesSentence();

} // namespace quorvane
