#pragma once
// The users database file: an object stream (a compact tagged byte form of the list, used for
// the change fingerprint) and its text form in a nested object/property notation.

#include "base/AtomicFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class TUserList;
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
    // Writes the text form into the named file, atomically: a temporary file in the same folder
    // is written, flushed and renamed over the target, so a failure leaves the target as it
    // was. Raises "Cannot create file %s" or "Stream write error". A new file gets mode 0600.
    // A file this user may not write to (or, for the superuser, one without any write
    // permission) is refused with "The file is read-only" before anything is written.
    // With an encryption key the file is the sealed text (the text never reaches the disk).
    virtual void SaveToFile(const std::string& path);

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
    void Load(const std::string& path, TLoadedFile* loaded);

    std::string FName;
    std::vector<TMessage> FSaveWarnings;
    std::shared_ptr<const TDatabaseKey> FKey;
    TCredentialSource FCredentials;
};

// The object stream of a list: signature "TPF0", class name, object name, property entries,
// two end markers.
std::string WriteObjectStream(const TUserList& list);
// Renders an object stream as the text of the file (CR LF line ends). Raises EQuorvaneError on
// a stream that is not well formed.
std::string ObjectStreamToText(const std::string& stream);
// Told now and then that the bytes [from, to) of the text are not needed for a while (they may
// be read again later), so that the pages of a mapped file can go.
using TReleaseHint = std::function<void(size_t from, size_t to)>;
// Reads the text of a file into the list: the whole text is checked before anything is applied.
// Raises "The file is not valid" (then nothing changed when the text is not well formed, and
// the entries before the first one that does not suit the list were applied when it is).
void ReadListText(std::string_view text, TUserList& list, const TReleaseHint& release = {});

// The 32-bit sum and the 64-bit stamp of an object stream.
uint32_t StreamFingerprint(std::string_view stream);
uint64_t StreamStamp(std::string_view stream);
// Both of a list's object stream, computed as the stream is produced, without holding it.
struct TListSums {
    uint32_t Fingerprint = 0;
    uint64_t Stamp = 0;
};
TListSums ListSums(const TUserList& list);

// Renders an object stream as text into a sink, in pieces of a few hundred kilobytes.
void RenderObjectStream(const std::string& stream, const TDataSink& sink);
// The text of a list rendered straight from it, without the object stream: exactly
// ObjectStreamToText(WriteObjectStream(list)), in the same pieces.
void RenderListText(const TUserList& list, const TDataSink& sink);
std::string ListText(const TUserList& list);

} // namespace quorvane
