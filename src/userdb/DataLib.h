#pragma once
// The users database file: an object stream (a compact tagged byte form of the list, used for
// the change fingerprint) and its text form in a nested object/property notation.

#include "base/AtomicFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class TUserList;

// Base of the users database: gives it its file form and its change fingerprint.
class TDataStore {
public:
    virtual ~TDataStore() = default;

    // 32-bit sum over the object stream (little-endian words; a short last word is completed
    // with the bytes of the word before it). Only equality of two values means anything.
    virtual uint32_t Fingerprint() const;
    // Reads the named file into this object without resetting it first. Raises
    // "Cannot open file %s" (nothing changed) or "The file is not valid" (a syntax error changes
    // nothing; an error while applying leaves what was applied before it).
    virtual void LoadFromFile(const std::string& path);
    // Writes the text form into the named file, atomically: a temporary file in the same folder
    // is written, flushed and renamed over the target, so a failure leaves the target as it
    // was. Raises "Cannot create file %s" or "Stream write error". A new file gets mode 0600.
    // A file this user may not write to (or, for the superuser, one without any write
    // permission) is refused with "The file is read-only" before anything is written.
    virtual void SaveToFile(const std::string& path);
    // What the last save could not keep of the file it replaced (its owner, its group).
    const std::vector<std::string>& SaveWarnings() const { return FSaveWarnings; }

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
    std::string FName;
    std::vector<std::string> FSaveWarnings;
};

// The object stream of a list: signature "TPF0", class name, object name, property entries,
// two end markers.
std::string WriteObjectStream(const TUserList& list);
// Renders an object stream as the text of the file (CR LF line ends). Raises EQuorvaneError on
// a stream that is not well formed.
std::string ObjectStreamToText(const std::string& stream);
// Reads the text of a file into the list (both phases). Raises "The file is not valid".
void ReadListText(std::string_view text, TUserList& list);

// The 32-bit sum and the 64-bit stamp of an object stream.
uint32_t StreamFingerprint(const std::string& stream);
uint64_t StreamStamp(const std::string& stream);

// Renders an object stream as text into a sink, in pieces of a few hundred kilobytes.
void RenderObjectStream(const std::string& stream, const TDataSink& sink);

} // namespace quorvane
