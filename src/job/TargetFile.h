#pragma once
// What a target's options ask of the file it gets: the program that reads it (its consumer),
// the form and work factor of its values, a realm, its line ends; and of the written file: its
// mode and group, and the command run once it stands there. One reading of the options for
// the export, the command line and the desktop alike.

#include "job/AfterCommand.h"
#include "userdb/TargetValue.h"
#include "userdb/UserList.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorvane {

struct TConsumer;
struct THashScheme;

// The option names, as the target keeps them.
namespace targetopt {
inline constexpr std::string_view Consumer = "consumer";  // a row of Consumers() by name
inline constexpr std::string_view Format = "format";      // a form by its command-line name
inline constexpr std::string_view Cost = "cost";          // bcrypt's cost
inline constexpr std::string_view Rounds = "rounds";      // SHA-crypt's rounds
inline constexpr std::string_view Realm = "realm";        // the Digest line's realm
inline constexpr std::string_view LineEnds = "line-ends"; // "lf" or "crlf"
inline constexpr std::string_view Mode = "mode";          // octal permission bits: "0640"
inline constexpr std::string_view Group = "group";        // the written file's group
inline constexpr std::string_view After = "after";        // the command after the export
} // namespace targetopt

// Every option above, in the order the command line and the desktop show them.
std::span<const std::string_view> TargetFileOptions();

struct TTargetFile {
    const TConsumer* Consumer = nullptr; // none: the web servers' password file
    const THashScheme* Form = nullptr;   // none: the export's (by default the database's)
    std::optional<int> SchemeParam;      // none: the form's work factor as the database keeps it
    std::string Realm;
    std::optional<bool> UnixLineEnds; // none: as the export or the database says
    std::optional<unsigned> Mode;
    std::string Group;
    std::optional<TAfterCommand> After;

    // Whether its file differs from the export's own (another program, form, work factor,
    // realm or line ends).
    bool OwnFile() const {
        return Consumer != nullptr || Form != nullptr || SchemeParam || !Realm.empty() ||
               UnixLineEnds;
    }
};

// Reads the target's options. Raises EQuorvaneError, the target's name first, for a value that
// is none (an unknown program or form, a form its program does not read, a work factor its form
// does not have or out of range, line ends other than lf or crlf, a mode that is not octal
// permission bits) and for what the target's kind cannot take (another program than the web
// servers for a store; a command, a mode or a group where the kind has none).
TTargetFile TargetFileOf(const TUserList& list, const TTarget& target);

// The form the target's values are written in: its own, else its program's default for the list
// (the database's form for the web servers).
const THashScheme& TargetForm(const TUserList& list, const TTargetFile& file);

// Whether an export of the list writes the users' full names or e-mail addresses anywhere: to
// the file of consumer (none: the web servers'), or to a target of the list whose program reads
// them.
bool ExportReadsNames(const TUserList& list, const TConsumer* consumer);
// Whether the target's program reads them.
bool TargetReadsNames(const TTarget& target);

// "caddy, bcrypt (cost 12)", "htpasswd, md5": what the target writes, for listings.
std::string TargetFileSummary(const TUserList& list, const TTargetFile& file);

} // namespace quorvane
