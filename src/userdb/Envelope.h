#pragma once
// The encrypted form of a users database: a short header, then the exact bytes of the database's
// text sealed with XChaCha20-Poly1305 under a key derived with Argon2id from a master password
// (and, optionally, a key file). The header is authenticated with the content, so a change to any
// byte of the file is found before anything is read from it.
//
// The file, all numbers little-endian:
//
//   offset size  field
//        0    8  magic "\x89QVDB\r\n\x1a" (never the start of a database's text)
//        8    2  format version, 1
//       10    2  flags: bit 0 = a key file is mixed into the key; no other bit is used
//       12    4  key derivation: 2 = Argon2id 1.3
//       16    8  Argon2id operations limit (passes)
//       24    8  Argon2id memory limit in bytes
//       32   16  salt
//       48   24  nonce, new for every save
//       72    …  the sealed text and its 16-byte tag; the 72 header bytes are the associated data
//
// Secrets (the master password, the derived key, the text opened from the file) live in TSecret
// memory: allocated with guard pages, locked against swapping where the system allows, wiped
// when freed.

#include "base/AtomicFile.h"
#include "base/Errors.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quorvane {

// Raised when an encrypted file does not open: "Wrong master password or damaged file". The two
// are never told apart (that would say which bytes matter); a front end may ask again.
class EWrongMasterPassword : public EQuorvaneError {
public:
    EWrongMasterPassword();
};

// Raised by TDatabaseKey::Open for a file that is not whole: its header cannot be read, or it
// carries this very key's salt, parameters and key-file mark and still does not open. (A file
// sealed under another key raises EWrongMasterPassword itself.) What a database's own side files
// say: one under an earlier master password is not one that was damaged.
class EDamagedEnvelope : public EWrongMasterPassword {};

// Bytes that must not be swapped out or outlive their use: sodium_malloc'd, wiped on release.
class TSecret {
public:
    TSecret() = default;
    explicit TSecret(std::string_view bytes);
    ~TSecret();
    TSecret(TSecret&& other) noexcept;
    TSecret& operator=(TSecret&& other) noexcept;
    TSecret(const TSecret&) = delete;
    TSecret& operator=(const TSecret&) = delete;

    // Appends bytes, growing the memory (the old memory is wiped before it is freed).
    void Append(const char* data, size_t size);
    void Append(std::string_view bytes) { Append(bytes.data(), bytes.size()); }
    // Makes room for size bytes (their content unspecified) and sets the size.
    void Resize(size_t size);
    void Clear();

    unsigned char* Data() { return FData; }
    const unsigned char* Data() const { return FData; }
    size_t Size() const { return FSize; }
    bool Empty() const { return FSize == 0; }
    std::string_view View() const { return {reinterpret_cast<const char*>(FData), FSize}; }

private:
    void Reserve(size_t capacity);
    unsigned char* FData = nullptr;
    size_t FSize = 0;
    size_t FCapacity = 0;
};

// What one guess at the master password costs: Argon2id passes and memory.
struct TKdfParams {
    uint64_t OpsLimit = 0;
    uint64_t MemLimit = 0; // bytes
    bool operator==(const TKdfParams&) const = default;
};

// The parameters a new encryption uses: 64 MiB and 20 passes, which make one guess take at least
// half a second of a core on a current two-core machine (see bench/bench_envelope.cpp).
TKdfParams DefaultKdfParams();

struct TOpenedEnvelope;

// What opens an encrypted database: the master password and, when one is used, a key file.
struct TMasterCredentials {
    TSecret Password;
    std::string KeyFile; // path; empty for none
};

// The key of an encrypted database with the header fields it was derived from. Held while the
// database is open so that a save need not ask again; its memory is locked and wiped.
class TDatabaseKey {
public:
    // A new key for a database being encrypted (or given a new master password): a fresh random
    // salt, the given parameters (DefaultKdfParams() when none). Raises "Cannot open file %s"
    // for a key file that cannot be read and "The key file %s is empty" for an empty one.
    static std::shared_ptr<const TDatabaseKey> Create(const TMasterCredentials& credentials);
    static std::shared_ptr<const TDatabaseKey> Create(const TMasterCredentials& credentials,
                                                      const TKdfParams& params);

    const TKdfParams& Params() const { return FParams; }
    bool UsesKeyFile() const { return FKeyFile; }
    // Whether these credentials give this key (one derivation: as slow as a guess). Raises the
    // key file's errors as Create does.
    bool Matches(const TMasterCredentials& credentials) const;

    // Seals the text of a database into the bytes of its encrypted file (a new nonce each time).
    std::string Seal(std::string_view text) const;
    // The same for a text given in pieces: the sealed bytes go to out as the pieces come (from
    // within Write and Finish, in order, on the caller's thread), so the text is never held whole.
    // Finish (once, after the last piece) writes the tag; it and Write raise what out raised. A
    // sealer destroyed unfinished drops (wipes) what it did not write.
    class TSealer {
    public:
        TSealer(const TDatabaseKey& key, TDataSink out);
        ~TSealer();
        TSealer(const TSealer&) = delete;
        TSealer& operator=(const TSealer&) = delete;
        void Write(const char* data, size_t size);
        void Finish();

    private:
        struct TState;
        void SealChunk(); // seals the text collected so far and hands it to out
        std::unique_ptr<TState> FState;
        TDataSink FOut;
    };
    // Opens what this key sealed (the same salt, parameters and key file: not a file sealed
    // before a rekey). Raises "Wrong master password or damaged file" otherwise, as
    // EDamagedEnvelope for a file that is not whole.
    TSecret Open(std::string_view file) const;

    // Internal: derives the key from the credentials with the given header fields.
    TDatabaseKey(const TMasterCredentials& credentials, const TKdfParams& params,
                 const unsigned char* salt);

private:
    TSecret FKey;
    TKdfParams FParams;
    unsigned char FSalt[16] = {};
    bool FKeyFile = false;
};

// Whether the bytes (the start of a file will do: the first 8) are those of an encrypted
// database. A file whose magic has one damaged byte counts as one, so that it is reported as
// damaged rather than as a text that is not valid.
bool IsEncryptedDatabase(std::string_view bytes);
// Whether the encrypted file's header asks for a key file (false when it cannot tell).
bool NeedsKeyFile(std::string_view file);

// Raises "The encrypted database asks for a key derivation of %1 passes over %2 ..." when the
// header of an encrypted file asks for more (or less) than this program ever writes: a damaged
// file, or one of a newer version. Called before the master password is asked for, so that such a
// file costs nothing; other damage is left to OpenEnvelope.
void CheckKeyDerivation(std::string_view file);

// The content of an encrypted database's file and the key that opened it.
struct TOpenedEnvelope {
    std::shared_ptr<const TDatabaseKey> Key;
    TSecret Text;
};
// Opens the bytes of an encrypted database's file. Raises "Wrong master password or damaged
// file" for a wrong password or key file and for a file that is not whole (any changed, missing
// or added byte), CheckKeyDerivation's error, and the key file's own errors as Create does.
TOpenedEnvelope OpenEnvelope(std::string_view file, const TMasterCredentials& credentials);

// The size of the header in front of the sealed text, and of the tag after it.
inline constexpr size_t KEnvelopeHeaderSize = 72;
inline constexpr size_t KEnvelopeTagSize = 16;

namespace test_hooks {
// Makes DefaultKdfParams() give these (cheap ones, so that tests run fast); all zero restores
// the measured parameters.
void SetDefaultKdfParams(const TKdfParams& params);
} // namespace test_hooks

} // namespace quorvane
