#pragma once
// The users database file: an object stream (a compact tagged byte form of the list, used for
// the change fingerprint) and its text form in a nested object/property notation.

#include "base/AtomicFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class TUserList;
class TUserProp;
class TDatabaseKey;
struct TMasterCredentials;

// Asked for the master password (and key file) when a load meets an encrypted database;
// needsKeyFile says whether the file was encrypted with one.
using TCredentialSource = std::function<TMasterCredentials(bool needsKeyFile)>;

// What a load read: the size and modification time of the file it opened and the strong stamp
// (StreamStamp) of the bytes it parsed.
struct TLoadedFile {
    int64_t Size = 0;
    int64_t ModifiedMs = 0; // milliseconds since 1970
    uint64_t Stamp = 0;
};

// Takes the users of a text one at a time, as the reader completes each, in place of the list
// (which gets none of them), so that a command that looks at each user once need not hold them
// all. Begin comes when a collection of users starts, with the name the list gets; a later one
// replaces the users handed on before it, and Begin comes again. After an entry that does not
// suit the list no further user comes, and the read fails as it does without a stream.
class TUserStream {
public:
    virtual ~TUserStream() = default;
    virtual void Begin(std::string_view listName) = 0;
    // The user is the reader's own and is reused for the next one.
    virtual void User(TUserProp& user) = 0;
    // A stream whose work on a user needs nothing but the user may have that work done for a
    // run of users on the thread that read them, by a part of the stream made for the run: the
    // part's User touches nothing but the part and the user (which it may change). The part
    // then comes to Join in place of those users, in their order among the others; a run that
    // does not count is dropped with its part. Part may be called on any thread while this
    // stream takes other users. Without a part (the default) every user comes to User.
    // textBytes is the length of the run's text, a hint of what the part will hold.
    virtual std::unique_ptr<TUserStream> Part(size_t textBytes) const {
        (void)textBytes;
        return nullptr;
    }
    virtual void Join(TUserStream& part) { (void)part; }
};

// Base of the users database: gives it its file form and its change fingerprint.
class TDataStore {
public:
    virtual ~TDataStore() = default;

    // 32-bit sum over the object stream (little-endian words; a short last word is completed
    // with the bytes of the word before it). Only equality of two values means anything.
    virtual uint32_t Fingerprint() const;
    // Reads the named file into this object without resetting it first. Raises
    // "Cannot open file %s" (nothing changed) or "The file is not valid" (a syntax error changes
    // nothing; an error while applying leaves what was applied before it). An encrypted file is
    // opened with what the credential source gives: "The database %s is encrypted; its master
    // password is needed" without one, "Wrong master password or damaged file" when it does
    // not open (nothing changed then); the key that opened it is kept for the next save.
    virtual void LoadFromFile(const std::string& path);
    // The same, and says what it read (also when the text turns out not to be valid).
    void LoadFromFile(const std::string& path, TLoadedFile& loaded);
    // The same, with the users handed to a stream in place of this list (see TUserStream).
    void LoadFromFile(const std::string& path, TUserStream& users);
    // Writes the text form into the named file, atomically: a temporary file in the same folder
    // is written, flushed and renamed over the target, so a failure leaves the target as it
    // was. Raises "Cannot create file %s" or "Stream write error". A new file gets mode 0600.
    // A file this user may not write to (or, for the superuser, one without any write
    // permission) is refused with "The file is read-only" before anything is written.
    // With an encryption key the file is the sealed text (the text never reaches the disk).
    virtual void SaveToFile(const std::string& path);
    // LoadFromFile, then SaveToFile, with the same results and errors, each user handed to change
    // (which may alter it) on the way: Begin and then every user, as TUserStream describes
    // (Begin may come again, and the users after it are the ones saved). A plain file is read
    // and written again in one pass, without ever holding all its users. The list has the
    // file's settings afterwards, and no users.
    void RewriteFile(const std::string& path, TUserStream& change);

    // The key the file is encrypted with; null for a plain database. Setting one (or null)
    // decides the form of the next save.
    const std::shared_ptr<const TDatabaseKey>& Encryption() const { return FKey; }
    void SetEncryption(std::shared_ptr<const TDatabaseKey> key) { FKey = std::move(key); }
    // Where a load of an encrypted file gets the master password.
    void SetCredentialSource(TCredentialSource source) { FCredentials = std::move(source); }
    // What the last save could not keep of the file it replaced (its owner, its group).
    const std::vector<TMessage>& SaveWarnings() const { return FSaveWarnings; }

    // A strong 64-bit change stamp over the same object stream. Unlike Fingerprint it does not
    // miss changes whose bytes cancel out in a sum; commands decide "modified" with it.
    uint64_t ChangeStamp() const;

    // The object name that came in with a loaded file header; written back on save.
    const std::string& Name() const { return FName; }
    void SetName(const std::string& name) { FName = name; }

protected:
    TDataStore() = default;
    TDataStore(const TDataStore&) = default;
    TDataStore& operator=(const TDataStore&) = default;

private:
    void Load(const std::string& path, TLoadedFile* loaded, TUserStream* users = nullptr);
    // Whether the permission bits of the file at path are kept by a save (07777, or less for a
    // database that must not stay readable by others), and the warning when they are narrowed.
    unsigned KeptModeBits(const std::string& path, std::optional<TMessage>& widened) const;

    std::string FName;
    std::vector<TMessage> FSaveWarnings;
    std::shared_ptr<const TDatabaseKey> FKey;
    TCredentialSource FCredentials;
};

// The object stream of a list: signature "TPF0", class name, object name, property entries,
// two end markers.
std::string WriteObjectStream(const TUserList& list);
// The same stream handed to a sink in pieces, never held whole.
void WriteObjectStream(const TUserList& list, const TDataSink& sink);
// Renders an object stream as the text of the file (CR LF line ends). Raises EQuorvaneError on
// a stream that is not well formed.
std::string ObjectStreamToText(const std::string& stream);
// Told now and then that the bytes [from, to) of the text are not needed for a while (they may
// be read again later), so that the pages of a mapped file can go.
using TReleaseHint = std::function<void(size_t from, size_t to)>;
// Reads the text of a file into the list: the whole text is checked before anything is applied.
// Raises "The file is not valid" (then nothing changed when the text is not well formed, and
// the entries before the first one that does not suit the list were applied when it is).
// With a stream, the users go to it in place of the list.
void ReadListText(std::string_view text, TUserList& list, const TReleaseHint& release = {},
                  TUserStream* users = nullptr);

// The 32-bit sum and the 64-bit stamp of an object stream.
uint32_t StreamFingerprint(std::string_view stream);
uint64_t StreamStamp(std::string_view stream);
// Both of a list's object stream, computed as the stream is produced, without holding it.
struct TListSums {
    uint32_t Fingerprint = 0;
    uint64_t Stamp = 0;
};
TListSums ListSums(const TUserList& list);
// The same sums, for a list read through a stream: taken from the users as they come, and
// finished with the rest of the list once it has been read.
class TStreamedSums : public TUserStream {
public:
    TStreamedSums();
    ~TStreamedSums() override;
    void Begin(std::string_view listName) override;
    void User(TUserProp& user) override;
    std::unique_ptr<TUserStream> Part(size_t) const override; // encodes its users
    void Join(TUserStream& part) override;
    // The sums of the list read (with the users that went through this stream).
    TListSums Finish(const TUserList& list);

private:
    struct TState;
    std::unique_ptr<TState> F;
};

// The fingerprint alone of a list read through a stream, for a reader that has no use for the
// stamp: the stream's bytes are summed as they come, never held nor hashed.
class TStreamedFingerprint : public TUserStream {
public:
    TStreamedFingerprint();
    ~TStreamedFingerprint() override;
    void Begin(std::string_view listName) override;
    void User(TUserProp& user) override;
    std::unique_ptr<TUserStream> Part(size_t) const override; // encodes its users
    void Join(TUserStream& part) override;
    // The fingerprint of the list read (with the users that went through this stream).
    uint32_t Finish(const TUserList& list);

private:
    struct TState;
    std::unique_ptr<TState> F;
};

// The object stream of the list as WriteObjectStream makes it but for what no password file
// holds: every user's comments and, unless withNames, full name and e-mail address go as if
// empty. What a file built from the list depends on; a list read lean (TLeanUsers) gives the
// same stream as the whole one.
void WriteExportedStream(const TUserList& list, bool withNames, const TDataSink& sink);

// The users of a list read for a command that writes files from them and saves nothing: each
// is kept without its comments and, unless names are asked for, without its full name and
// e-mail address, which a million users would otherwise hold in memory for nothing.
class TLeanUsers : public TUserStream {
public:
    explicit TLeanUsers(bool keepNames);
    ~TLeanUsers() override;
    void Begin(std::string_view listName) override;
    void User(TUserProp& user) override;
    std::unique_ptr<TUserStream> Part(size_t textBytes) const override;
    void Join(TUserStream& part) override;
    // Gives the list the users read.
    void Finish(TUserList& list);

private:
    bool FKeepNames;
    std::unique_ptr<TUserList> FUsers;
};

// Renders an object stream as text into a sink, in pieces of a few hundred kilobytes.
void RenderObjectStream(const std::string& stream, const TDataSink& sink);
// The text of a list rendered straight from it, without the object stream: exactly
// ObjectStreamToText(WriteObjectStream(list)), in the same pieces.
void RenderListText(const TUserList& list, const TDataSink& sink);
std::string ListText(const TUserList& list);
// The text of a list read through a stream, rendered into a sink as the users come: exactly
// RenderListText of the list with those users.
class TStreamedText : public TUserStream {
public:
    explicit TStreamedText(const TDataSink& sink);
    ~TStreamedText() override;
    // Only one collection of users: a second Begin raises ETextRestarted (the text of the
    // first went out already).
    void Begin(std::string_view listName) override;
    void User(TUserProp& user) override;
    std::unique_ptr<TUserStream> Part(size_t) const override; // renders its users
    void Join(TUserStream& part) override;
    void Finish(const TUserList& list);

private:
    struct TState;
    std::unique_ptr<TState> F;
};
// Raised by TStreamedText for a text with more than one collection of users.
struct ETextRestarted {};

} // namespace quorvane
