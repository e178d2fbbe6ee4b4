#pragma once
// The password file the web server reads: one "login:hash" line per enabled user, ordered by
// login without regard to case, every line ended by CR LF (or LF alone, when the database or the
// export chooses it).

#include "base/Errors.h"
#include "base/Random.h"
#include "userdb/UserList.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class THashCache;
struct THashScheme;
struct TConsumer;

// The longest line of a password file, its line end included, that every web server reads:
// Apache reads a line into 8192 bytes and stops reading the file at a longer one.
inline constexpr size_t KMaxPasswordFileLine = 8191;

// What the writer asks of the one who drives it (the export dialog, the command line).
class IExportProgress {
public:
    virtual ~IExportProgress() = default;
    // `done` of the file's `total` entries are written (0, 100, 200, ...). By default it hands
    // BuildProgressText of the two to Progress.
    virtual void Entries(size_t done, size_t total);
    // The progress as a text, for a listener that only shows it.
    virtual void Progress(const std::string& /*text*/) {}
    // True once the user confirmed the abort of the export.
    virtual bool CancelRequested() = 0;
};

// "Creating passwords file - N% completed", N = done * 100 / total truncated.
std::string BuildProgressText(size_t done, size_t total);

// What an export should tell its user besides the file itself.
struct TPasswordFileReport {
    // Logins written that start with "#": servers read those lines as comments, so these users
    // cannot log in.
    std::vector<std::string> CommentLogins;
    size_t Written = 0; // enabled users in the file
    // Disabled users of the file, left out of it, in file order.
    std::vector<const TUserProp*> LeftOut;
    // Enabled users of the file whose stored hash uses a weak scheme (WeakHashUsers), in file
    // order.
    std::vector<const TUserProp*> WeakUsers;
    // Enabled users left out because a later user has the same login without regard to case
    // (letters a to z), in database order: "bob left out: the later Bob is written" (or "is
    // disabled", when that one keeps both out).
    std::vector<TMessage> Namesakes;
    // Users written whose value is not in the chosen form: users known only by a hash of
    // another form (taken over from a password file), in file order. A program that reads
    // only that form cannot let them in.
    std::vector<const TUserProp*> OtherForm;
};

// What an export did with its hashes.
struct TPasswordFileStats {
    size_t Reused = 0;   // taken from the hash cache
    size_t Hashed = 0;   // computed afresh
    size_t Rehashed = 0; // a remembered hash without a tag, computed again to confirm it
};

struct TPasswordFileOptions {
    IExportProgress* Progress = nullptr; // none: no texts, no abort
    IRandomSource* Random = nullptr;     // source of the salts; none: the secure generator
    unsigned Threads = 0;                // hashing workers; 0: one per processor
    // The scheme's parameter (bcrypt cost, SHA-crypt rounds); none: the one the list stores
    // (BcryptCost, ShaRounds), the scheme's default for a scheme without one.
    std::optional<int> SchemeParam;
    // The hashes of the last export (read) and of this build (Put into it). Users whose password,
    // form and work factor did not change keep their hash: the slow forms need the cache made
    // with the list's HashCacheKey, the fast ones one without a key. None: fresh salts for all.
    THashCache* Cache = nullptr;
    // Called once the entries are made, before the text is: from then on the build reads
    // nothing of the table the cache was loaded with (its values are in the cache's own).
    std::function<void()> EntriesBuilt;
    TPasswordFileStats* Stats = nullptr; // filled when given
    // Receives what the write could not keep of the file it replaced (its group, its owner),
    // and what the build tells besides the file: users whose taken-over values are in another
    // form than the chosen one (Consumers.h); the export itself has succeeded then. None: such
    // warnings are dropped.
    std::vector<TMessage>* Warnings = nullptr;
    // The database the file is made from: CreatePasswordFile refuses a target that is this file
    // (CheckExportTarget) before anything is written. Empty: not checked.
    std::string DatabasePath;
    // The user agreed that enabled users without a password go out: anyone who knows their
    // logins gets in. Without it such users stop the export (EEmptyPasswords).
    bool AllowEmptyPasswords = false;
    TPasswordFileReport* Report = nullptr; // filled in when given
    // Lines end with LF alone (true) or CR LF (false); none: as the list's UnixLineEnds says.
    std::optional<bool> UnixLineEnds;
    // The program that reads the file (Consumers.h); none: the web servers' password file.
    const TConsumer* Consumer = nullptr;
    // The form of the values in place of the one passed (any row of AllForms, one the consumer
    // reads); none: the one passed.
    const THashScheme* Form = nullptr;
    // The realm of a form that needs one (the Digest line): no colon, no control character.
    std::string Realm;
    // The name the consumer's file gives its list of users (HAProxy's userlist, ...); empty: the
    // consumer's own default.
    std::string ListName;
    // Disabled users are given a value too, in their place in file order (a consumer that
    // marks them disabled itself); otherwise they are left out.
    bool WithDisabled = false;
};

// One user of the file and the value that goes with the login.
struct TPasswordEntry {
    const TUserProp* User = nullptr;
    std::string_view Value;
};

// Bytes kept in a few large blocks that never move, so that a million values cost a few
// allocations rather than one each; a view Keep gave stays valid as long as the arena, moved or
// not.
class TValueArena {
public:
    std::string_view Keep(std::string_view bytes);

private:
    std::vector<std::unique_ptr<char[]>> FBlocks;
    size_t FUsed = 0; // of the last block
    size_t FSize = 0; // of the last block
};

// The users of a file with their values. A value lies in the user (the password in clear, a
// stored hash), in Values, or in the table of the last export the build's hash cache read: the
// entries are read before that cache lets go of it (THashCache::Release).
struct TPasswordEntries {
    std::vector<TPasswordEntry> Entries;
    TValueArena Values;
};

// "\n" or "\r\n", as the options or else the list choose.
std::string_view PasswordFileLineEnd(const TUserList& list, const TPasswordFileOptions& options);

// Enabled users without a password stopped the export; ask the user and try again with
// AllowEmptyPasswords. The message is "Anyone who knows these logins gets in without a
// password: " followed by the logins.
class EEmptyPasswords : public EQuorvaneError {
public:
    explicit EEmptyPasswords(std::vector<std::string> logins);
    const std::vector<std::string>& Logins() const { return FLogins; }

private:
    std::vector<std::string> FLogins;
};

// Users that would make the file unsafe, by their line in the message. Raised whatever the
// options say: a login that is empty or holds ":" or a byte below 32, or a password written as
// plain text holding CR, LF or NUL, would let in someone nobody created or cut a line short.
class EUnsafeUsers : public EQuorvaneError {
public:
    using EQuorvaneError::EQuorvaneError;
};

// The parameter the list stores for a form: BcryptCost, ShaRounds, or the scheme's default.
int StoredSchemeParam(const TUserList& list, TPasswordsType passType);
// The work factor a form is hashed with when the export names none: the database's stored one
// for its own forms, the form's default for the others.
int FormParam(const TUserList& list, const THashScheme& form);
// Makes passType, with param as its work factor, the list's stored choice; the work factor is
// stored only for a form that has one (bcrypt's cost, SHA-crypt's rounds), so the database
// holds it only while that form is chosen. True when anything changed. Refuses
// a form that would need clear passwords the list does not keep (CheckFormKeepsHashes).
bool StoreSchemeChoice(TUserList& list, TPasswordsType passType, int param);

// One line without its line end: the login, ":" and the password in the given form (a hash
// with a new salt, such as the "$apr1$" string, or the password as stored, with the parameter
// the user's list stores); for a user known only by a stored hash, that hash unchanged whatever the
// form. Disable is not looked at.
std::string MakePasswordLine(const TUserProp& user, TPasswordsType passType,
                             IRandomSource& random = SecureRandom());

// The users that make up the file, in file order, enabled or not: logins are ordered by their
// bytes with a to z folded, the unfolded bytes breaking ties, the same on every machine whatever
// its locale; of logins equal without regard to case (a to z) only the last in database order
// stands, even when it is disabled.
std::vector<const TUserProp*> PasswordFileEntries(const TUserList& list);

// The enabled users of the file (in file order) whose line would be unsafe, each with the
// reason, as the message EUnsafeUsers carries (UnsafeUsers, a list of UnsafeUser); an empty
// message when every line is safe.
TMessage UnsafeUsersMessage(const TUserList& list, const std::vector<const TUserProp*>& entries,
                            TPasswordsType passType);

// True when the user would go into the password file without a password: enabled, with neither
// a password nor a stored hash.
bool OpensWithoutPassword(const TUserProp& user);

// The logins of the enabled users of the file that have an empty password (and no stored hash),
// in file order.
std::vector<std::string> EmptyPasswordLogins(const std::vector<const TUserProp*>& entries);

// The text of the password file, or of the consumer's file when options name one (see
// BuildConsumerFile: options.Form, when given, in place of passType). Reports its progress
// (Entries) at entries 0, 100, 200, ... and checks for an abort right after each report; returns
// nothing when the export was aborted. Salts are drawn in file order, so a reproducible source
// gives a reproducible file however many workers hash. Before any progress it raises EUnsafeUsers
// when a user to be written would make an unsafe line (see UnsafeUsersMessage), then
// EEmptyPasswords when users to be written have no password and options.AllowEmptyPasswords is not
// set. Users known only by their stored hash are written with that hash unchanged (servers take
// mixed schemes in one file); a plain-text file cannot hold them, so the plain form raises, naming
// them. A list that keeps no clear passwords refuses another form than its own when users'
// hashes are not of it (CheckFormKeepsHashes).
std::optional<std::string> BuildPasswordFile(const TUserList& list, TPasswordsType passType,
                                             const TPasswordFileOptions& options = {});

// The users of the file with their values in `form` (any row of AllForms), checked as
// BuildPasswordFile checks them, in file order: what every consumer's file is made from. Also
// raises "The form Digest needs a realm" and refuses a realm that would break the line, and for
// a form made from the clear password (plain text, Digest) users known only by their hash.
std::optional<TPasswordEntries> BuildPasswordEntries(const TUserList& list, const THashScheme& form,
                                                     const TPasswordFileOptions& options = {});

// The "login:value" lines of entries, each ended by eol; raises EUnsafeUsers for a line no web
// server reads whole (longer than KMaxPasswordFileLine).
std::string PasswordFileText(const TUserList& list, const std::vector<TPasswordEntry>& entries,
                             std::string_view eol);

// Builds the file and writes it to fileName atomically: the old file stays whole until the new
// one is complete, an existing file keeps its permission bits (and its owner and group where the
// system allows: options.Warnings hears what could not be kept), a new one gets mode 0644 (the
// web server must read it). A device or a pipe is written in place (WriteFileAtomically). Returns
// false, having touched nothing, when the export was aborted. Raises "Cannot create file %s" (or
// the write error) with the target unchanged.
bool CreatePasswordFile(const std::string& fileName, const TUserList& list, TPasswordsType passType,
                        const TPasswordFileOptions& options = {});

} // namespace quorvane
