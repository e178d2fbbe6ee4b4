#pragma once
// Kinds of target, registered by their address's scheme: a local file (a plain path or
// "file:"), a server ("ftp:", "ftpes:", "ftps:", "sftp:"), a store ("sqlite:", "postgresql:",
// "ldap:", "ldaps:"). A kind knows how to open its target for an export, how to show where it
// points (never a password), what makes it unusable, whether a group file goes beside it and
// which options it reads; the deployment and everything else ask it, never the scheme.

#include "base/Message.h"
#include "base/Random.h"
#include "ftp/FtpUpload.h"
#include "job/AfterCommand.h"
#include "job/Target.h"
#include "userdb/TargetValue.h"

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class TCommitGate;
struct TTargetOutcome;
struct TUploadProgress;

// What a deployment gives a target it opens: the secret, and where the target reports.
struct TTargetContext {
    std::string Secret; // a server's password (with a key file, the key's passphrase), a store's
    std::uint32_t Timeout = 0;
    // The private local copy of the password file that every upload reads (never writes).
    std::string LocalFile;
    // The store's view: each enabled user's groups, and the password file's line ends.
    std::map<std::string, std::vector<std::string>> StoreGroups;
    std::string LineEnd;
    // The one gate of the deployment, asked right before a target is first touched.
    TCommitGate* Gate = nullptr;
    std::function<void(const TUploadProgress&)> OnProgress;
    // Connecting to what is not a server with progress of its own (a store).
    std::function<void()> OnConnecting;
    std::function<bool(const std::string& server, const std::string& fingerprint)> OnUnknownHostKey;
    // The written file's permission bits and group, in place of what it kept of the file it
    // replaced; only what the kind's Extras accept is ever given.
    std::optional<unsigned> Mode;
    std::string Group;
    // A local file found holding exactly its new content, as it was then (see
    // TDeploymentTarget::Held).
    std::optional<TFileIdentity> Held;
    // A store read before, holding exactly its new content (see TDeploymentTarget::HeldTarget).
    std::shared_ptr<IExportTarget> HeldTarget;
};

// A target's files beside its password file (Apache's group file), on the same connection.
class ISideFiles {
public:
    virtual ~ISideFiles() = default;
    // The file at path as a target of its own (to read it, or put back what it held).
    virtual std::unique_ptr<IExportTarget> Open(const std::string& path) = 0;
    // Replaces the file at path with content safely; what the replacement could not keep.
    virtual std::vector<TMessage> Write(const std::string& path, const std::string& content) = 0;
};

// A target opened for one export.
class ITargetSession {
public:
    virtual ~ITargetSession() = default;
    // Connects where there is anything to connect to, then runs body with the target and its
    // side files, on this thread; what it raises is the target's failure.
    virtual void Run(const std::function<void(IExportTarget&, ISideFiles&)>& body) = 0;
    // Asks a connection in progress to stop (from any thread).
    virtual void Abort() noexcept {}
    // After Run: what the session knows of how it ended (an identity a server showed, a partial
    // upload an abort could not remove), added to the outcome; `prepared` says whether the
    // target got as far as holding the new content beside the old.
    virtual void Finish(TTargetOutcome& /*outcome*/, bool /*prepared*/) {}
    // Inside Run, once the target holds the new file: what the kind does to the file then (a
    // server sets the mode asked for over SFTP, the replacement having kept the old file's);
    // what it could not do is a warning, the file being in place.
    virtual std::vector<TMessage> Replaced() { return {}; }
    // Inside Run, once every target holds its new file: the command after the export where the
    // target's file is (on this machine, or over the server's own connection). Raises when it
    // cannot be started; only a kind whose Extras accept a command is asked.
    virtual TAfterResult RunAfter(const TAfterCommand& command);
};

// What a target takes besides its file (TDeploymentTarget::After, Mode, Group): asked for
// where the kind does not, the export is refused before anything is written.
struct TTargetExtras {
    bool Command = false; // a command after the export
    bool Mode = false;    // the written file's permission bits
    bool Group = false;   // the written file's group
};

// What a target logs in with: the secret the database keeps for it, and what must be asked
// for when it keeps none.
struct TTargetSecret {
    enum class TAsk {
        None,       // nothing to ask: the stored secret, or none needed
        Password,   // the server's password
        Passphrase, // the passphrase of the key file (never stored)
    };
    std::string Stored;
    TAsk Ask = TAsk::None;
    bool TakesSecret = false; // a secret the user gives replaces the stored one
    // What a question names: the login and the host it logs in to, or the key file.
    std::string Login;
    std::string Host;
    std::string KeyFile;
};

// One line of what a listing shows of a target: "protocol: SFTP".
struct TTargetDetail {
    std::string Label;
    std::string Value;
};

// One option a kind reads from its target.
struct TTargetOptionRow {
    std::string Key;
    bool Secret = false; // never shown, never stored unless the user keeps it
    bool YesNo = false;  // "yes" or "no"; not set is the kind's default
    // Whether a value given for it is well formed (an empty value, which takes the option away,
    // always is); none: any value without a line break or NUL.
    bool (*WellFormed)(std::string_view value) = nullptr;
    bool Required = false; // the target cannot be used without it (a server's user)
};

class ITargetKind {
public:
    virtual ~ITargetKind() = default;
    // The file as its user names it: the local file, the remote file, or the store.
    virtual std::string FileName(const TTarget& target) const = 0;
    // Where the target writes, for people: the file, the server's address, the store (never a
    // password nor a store's user part).
    virtual std::string Where(const TTarget& target) const = 0;
    // What backups and the database's state know the target by; raises for an address that is
    // not one of this kind.
    virtual std::string Id(const TTarget& target) const = 0;
    // What place the target writes, so that two targets on one place are known (see
    // TargetPlace); empty when it names none.
    virtual std::string Place(const TTarget& target) const = 0;
    // Why the target cannot be exported to as it is; none when it can.
    virtual std::optional<TMessage> Problem(const TTarget& target) const = 0;
    // Raises for an address the user just gave that must not be stored (a password in it).
    virtual void CheckNew(const TTarget& /*target*/) const {}
    // Takes in the address the user just gave, which the target's Url holds; `before` is the
    // target as it was. The kind keeps apart what the address carries (a server's login), gives
    // a new address what it needs (a store's owner of its own) and keeps or forgets the
    // earlier address as the database keeps it. Raises EQuorvaneError for an address that is
    // not well formed. By default the earlier address of another kind is kept under that kind's
    // name.
    virtual void Adopt(TTarget& target, const TTarget& before, IRandomSource& random) const;
    // What its user should know of the target as it is set (plain FTP sends passwords in clear).
    virtual std::optional<TMessage> Caution(const TTarget& /*target*/) const {
        return std::nullopt;
    }
    // The host or address progress names while connecting.
    virtual std::string Reached(const TTarget& target) const { return Where(target); }
    // The local file the target writes, to be checked as any export's file is; empty for none.
    virtual std::string LocalFile(const TTarget& /*target*/) const { return {}; }
    // Apache's group file goes beside the target (a file web servers read).
    virtual bool TakesGroupFile() const = 0;
    // Replaced only once every file target holds its new file (a store syncs last).
    virtual bool ReplacedLast() const { return false; }
    // Sends private local copies of the files (an upload), made once for every such target.
    virtual bool UploadsLocalCopy() const { return false; }
    // What listings call the kind: "file", "server", "store".
    virtual std::string_view Name() const = 0;
    // How its addresses are written, for people ("sftp://HOST[:PORT]/FILE").
    virtual std::vector<std::string> AddressForms() const { return {}; }
    // What a listing shows of the target after its kind's name, in English: where it points,
    // how it logs in and whom it trusts (never a password: only whether one is stored).
    virtual std::vector<TTargetDetail> Details(const TTarget& target) const {
        return {{"url", Where(target)}};
    }
    // The options this target reads (a server's depend on its protocol), besides those of its
    // file (TargetFileOptions) which every kind that writes a file reads.
    virtual std::vector<TTargetOptionRow> Options(const TTarget& target) const = 0;
    // What the target logs in with; by default nothing.
    virtual TTargetSecret Secret(const TTarget& /*target*/) const { return {}; }
    // What the target takes besides its file; none unless the kind says.
    virtual TTargetExtras Extras(const TTarget& /*target*/) const { return {}; }
    virtual std::unique_ptr<ITargetSession> Open(const TTarget& target,
                                                 const TTargetContext& context) const = 0;
};

// Registers a kind for these schemes (in lower case; "" for a plain path), replacing a kind
// registered for one of them before. The built-in kinds are there from the start.
void RegisterTargetKind(std::initializer_list<std::string_view> schemes,
                        const std::shared_ptr<const ITargetKind>& kind);
// The kind of a target's address; raises EQuorvaneError for a scheme no kind has.
const ITargetKind& KindOf(const TTarget& target);
// The same, or none.
const ITargetKind* FindKind(const TTarget& target);
// How the addresses of every registered kind are written (ITargetKind::AddressForms).
std::vector<std::string> TargetAddressForms();

// Sets one option of the target as its user gave it, by the name the target keeps it under
// (the rows of its kind's Options, and those of its file, TargetFileOptions); an empty value
// takes it away. Raises EQuorvaneError, the target's name first, for an option its kind does not
// read, for a secret (given apart, never as an option) and for a value that is not well formed.
// What a file option asks is checked with the rest of the target's file (TargetFileOf).
void SetTargetOption(TTarget& target, std::string_view key, std::string value);

// Points the target at the address its user gave (a plain path or an address of a registered
// kind), which the kind takes in (ITargetKind::Adopt). Raises EQuorvaneError for an address no
// kind reads, one that is not well formed and one that must not be stored.
void SetTargetAddress(TTarget& target, std::string url, IRandomSource& random);

// The options the target's kind cannot do without that the target does not set.
std::vector<std::string> MissingTargetOptions(const TTarget& target);

// The address of the kind named `kindName` ("server") that the target points at or keeps beside
// the one it points at, as a target of its own; none when it has none.
std::optional<TTarget> KeptAddress(const TTarget& target, std::string_view kindName);

// The built-in kinds, each in a file of its own.
std::shared_ptr<const ITargetKind> FileKind();
std::shared_ptr<const ITargetKind> ServerKind();
std::shared_ptr<const ITargetKind> StoreKind();

} // namespace quorvane
