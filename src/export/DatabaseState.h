#pragma once
// What a database remembers about its exports, kept beside it (".NAME.state", mode 0600) and
// never in the database file itself, so an export does not change the database: per target the
// digest and size of the bytes this database last wrote there and the users they held, and the
// hashes of the last export, which the next one reuses for users that did not change.
//
// The store is a cache of the program's own: a missing, damaged or foreign store reads as empty,
// which costs only time (hashes made afresh) or one question (a target without a record that
// holds users this database does not). It is read and replaced under one lock, so two programs
// exporting the same database do not lose each other's records. The store of an encrypted
// database is sealed with the database's key: its logins and digests are the database's secrets
// too.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorvane {

class TDatabaseKey;

// SHA-256 of data, 64 lowercase hexadecimal digits.
std::string Sha256Hex(std::string_view data);

// The digest a record keeps of a user's value (the hash, or a plain-text password): the first
// 8 bytes of its SHA-256, enough to tell a changed line from the one written.
using TValueDigest = std::uint64_t;
TValueDigest UserValueDigest(std::string_view value);

// Bytes appended in blocks that never move: what was appended stays where it is, however much
// comes after it, while the store lives (moved or not), so that a view of it can be handed out.
// A copy shares the blocks there are (at the same places), and neither appends to a shared one.
class TStableBytes {
public:
    TStableBytes() = default;
    TStableBytes(const TStableBytes& other);
    TStableBytes& operator=(const TStableBytes& other);
    TStableBytes(TStableBytes&&) noexcept = default;
    TStableBytes& operator=(TStableBytes&&) noexcept = default;

    // The place of the bytes appended, for At; raises std::length_error when the places, 4 GiB
    // of them, are used up.
    std::uint32_t Append(std::string_view bytes);
    std::string_view At(std::uint32_t place, std::uint32_t size) const {
        if (size == 0) return {};
        return {FBlocks[place >> KBlockBits].Bytes.get() + (place & (KBlock - 1)), size};
    }
    // How many bytes were appended.
    std::size_t size() const { return FBytes; }
    // Whether the bytes at place are those other has there (a block both share).
    bool SharesPlace(const TStableBytes& other, std::uint32_t place) const {
        const std::size_t block = place >> KBlockBits;
        return block < FBlocks.size() && block < other.FBlocks.size() &&
               FBlocks[block].Bytes != nullptr &&
               FBlocks[block].Bytes == other.FBlocks[block].Bytes;
    }

private:
    static constexpr unsigned KBlockBits = 20;
    static constexpr std::size_t KBlock = std::size_t{1} << KBlockBits;
    struct TBlock {
        std::shared_ptr<char[]> Bytes; // none for the places a longer one takes after its own
        std::size_t Size = 0;          // as allocated
    };
    std::vector<TBlock> FBlocks;
    std::size_t FUsed = KBlock; // of the last block
    std::size_t FBytes = 0;
};

// The logins of a flat table, each in a numbered slot: their bytes in one buffer and an index
// by their hash, so that a table of a million users costs a few allocations, not one a user.
class TLoginSlots {
public:
    static constexpr std::size_t KNone = static_cast<std::size_t>(-1);
    TLoginSlots() = default;
    TLoginSlots(std::initializer_list<std::string_view> logins) {
        for (const std::string_view login : logins)
            Add(login);
    }
    // The slot of login, or KNone.
    std::size_t Find(std::string_view login) const;
    // The slot of login, a new one at the end when it had none (second: whether it is new).
    std::pair<std::size_t, bool> Add(std::string_view login);
    std::string_view Login(std::size_t slot) const {
        return {FBytes.data() + FSpans[slot].Offset, FSpans[slot].Size};
    }
    std::size_t size() const { return FSpans.size(); }
    // 1 when login has a slot, as a set's count.
    std::size_t count(std::string_view login) const { return Find(login) == KNone ? 0 : 1; }
    // The logins' bytes.
    std::size_t Bytes() const { return FBytes.size(); }
    void reserve(std::size_t slots, std::size_t bytes = 0);

private:
    struct TSpan {
        std::uint32_t Offset, Size;
    };
    void Rehash(std::size_t capacity);
    std::size_t FindHashed(std::string_view login, std::size_t hash) const;
    void Place(std::size_t hash, std::size_t slot);
    std::string FBytes;
    std::vector<TSpan> FSpans;
    // By hash of the login, open addressing; 0: free. An entry holds slot + 1 in as many low
    // bits as the index has places, and the top bits of the login's hash in the bits above:
    // most logins that are not the one looked for are passed over without reading them.
    std::vector<std::uint32_t> FIndex;
};

// A store's file held open while tables of it are still to be read from it. The store is
// replaced by a new file, never rewritten in place: the open file keeps the bytes it had.
struct TStoreFile {
    int Descriptor = -1;
    explicit TStoreFile(int fd) : Descriptor(fd) {}
    TStoreFile(const TStoreFile&) = delete;
    TStoreFile& operator=(const TStoreFile&) = delete;
    ~TStoreFile();
};

// Entries read from a store and not parsed yet: their bytes as the store keeps them and the
// store's text they lie in. A table read from a store is parsed at its first use (most exports
// never look at most of them) and, while it is not, written back as it was read.
struct TUnreadPart {
    std::shared_ptr<const std::string> Owner;
    std::string_view Bytes;
    // SHA-256 (32 bytes) of Bytes as the store recorded it beside them, or empty: what the
    // digest of a table that nobody parsed is taken from instead of hashing its bytes again.
    std::string Digest;
    // Or a large table of a plain store, left in its file: the bytes are read (and checked) only
    // when something needs them, Size bytes at Offset, holding Count entries.
    std::shared_ptr<const TStoreFile> File;
    std::uint64_t Offset = 0, Size = 0, Count = 0;
    bool Pending() const { return Owner != nullptr || File != nullptr; }
    std::uint64_t BytesSize() const { return File != nullptr ? Size : Bytes.size(); }
};
// The number of entries an unread part holds (its first field; it was checked when read).
std::uint64_t UnreadCount(const TUnreadPart& part);

// Login -> digest of its value, for each user line a target was written with. Read as the map
// it stands for: find, count, at, and pairs of login and digest in the order the logins came.
// Like a standard container, one object is not first used from two threads at once (a copy is
// an object of its own).
class TUserDigests {
public:
    using value_type = std::pair<std::string_view, TValueDigest>;
    class const_iterator {
    public:
        struct TArrow {
            value_type Value;
            const value_type* operator->() const { return &Value; }
        };
        const_iterator(const TUserDigests* table, std::size_t slot) : FTable(table), FSlot(slot) {}
        value_type operator*() const {
            return {FTable->FSlots.Login(FSlot), FTable->FDigests[FSlot]};
        }
        TArrow operator->() const { return {**this}; }
        const_iterator& operator++() {
            ++FSlot;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return FSlot == other.FSlot; }

    private:
        const TUserDigests* FTable;
        std::size_t FSlot;
    };

    // A login already there keeps its digest (false), as a map's emplace.
    bool emplace(std::string_view login, TValueDigest digest);
    // A login already there takes the new digest.
    void insert_or_assign(std::string_view login, TValueDigest digest);
    const_iterator find(std::string_view login) const {
        Read();
        const std::size_t slot = FSlots.Find(login);
        return {this, slot == TLoginSlots::KNone ? size() : slot};
    }
    std::size_t count(std::string_view login) const {
        Read();
        return FSlots.Find(login) == TLoginSlots::KNone ? 0 : 1;
    }
    // Raises std::out_of_range for a login that is not there.
    TValueDigest at(std::string_view login) const;
    const_iterator begin() const {
        Read();
        return {this, 0};
    }
    const_iterator end() const { return {this, size()}; }
    std::size_t size() const {
        Read();
        return FDigests.size();
    }
    bool empty() const { return FUnread.Pending() ? UnreadCount(FUnread) == 0 : FDigests.empty(); }
    void reserve(std::size_t users, std::size_t loginBytes = 0);
    // The same logins with the same digests, in any order.
    bool operator==(const TUserDigests& other) const;

    // For the store's reader and writer: entries checked as sound and left to be parsed at the
    // first use, and those bytes while they are not parsed.
    void SetUnread(TUnreadPart part) { FUnread = std::move(part); }
    const TUnreadPart* Unread() const { return FUnread.Pending() ? &FUnread : nullptr; }

private:
    void Read() const {
        if (FUnread.Pending()) ParseUnread();
    }
    void ParseUnread() const;
    mutable TUnreadPart FUnread;
    mutable TLoginSlots FSlots;
    mutable std::vector<TValueDigest> FDigests; // by slot
};

// What this database last wrote to one target.
struct TTargetRecord {
    std::string Sha256; // of the bytes written
    std::int64_t Size = 0;
    std::int64_t Time = 0; // when, seconds since 1970 (UTC)
    // Each user line written: login and a digest of its value.
    TUserDigests Users;
    bool operator==(const TTargetRecord&) const = default;
};

// One remembered hash: the last value written for a login, with the keyed tag that shows it
// was made from the user's inputs as they are now (32 bytes; empty for an entry of an earlier
// version, whose hash is checked by computing it again with its own salt).
struct THashEntry {
    std::string_view Login;
    std::string_view Tag;
    std::string_view Hash;
};

// The hashes of one export by login, one flat table as TUserDigests is.
class THashTable {
public:
    static constexpr std::size_t KTagBytes = 32;
    class const_iterator {
    public:
        const_iterator(const THashTable* table, std::size_t slot) : FTable(table), FSlot(slot) {}
        THashEntry operator*() const { return FTable->Entry(FSlot); }
        const_iterator& operator++() {
            ++FSlot;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return FSlot == other.FSlot; }

    private:
        const THashTable* FTable;
        std::size_t FSlot;
    };

    // Puts the entry of login (a tag of KTagBytes bytes, or none), in place of one it had. The
    // hash as the table keeps it: it stays where it is while the table lives.
    std::string_view Put(std::string_view login, std::string_view tag, std::string_view hash);
    // Puts the entry other has in slot under login, its hash not copied when this table shares
    // the bytes (ShareHashesOf).
    std::string_view PutFrom(std::string_view login, const THashTable& other, std::size_t slot);
    // For an empty table that will take most of its entries from other (PutFrom): shares the
    // bytes of other's hashes.
    void ShareHashesOf(const THashTable& other);
    std::optional<THashEntry> Find(std::string_view login) const;
    // The slot Find and Entry know the login by, TLoginSlots::KNone when it has none.
    std::size_t Slot(std::string_view login) const {
        Read();
        return FSlots.Find(login);
    }
    THashEntry Entry(std::size_t slot) const;
    const_iterator begin() const {
        Read();
        return {this, 0};
    }
    const_iterator end() const { return {this, size()}; }
    std::size_t size() const {
        Read();
        return FEntries.size();
    }
    bool empty() const { return FUnread.Pending() ? UnreadCount(FUnread) == 0 : FEntries.empty(); }
    void reserve(std::size_t entries, std::size_t loginBytes = 0);
    // Room for as many entries and bytes as other holds.
    void ReserveLike(const THashTable& other);
    // The same logins with the same tags and hashes, in any order.
    bool operator==(const THashTable& other) const;

    // The entries as the store keeps them (a count, then login, tag and hash of each, without
    // the hashes that fit no line), in pieces: the bytes read while the table is not parsed.
    // What the digest of a table (HashCacheIdentity) and the store's writer take.
    void Bytes(const std::function<void(std::string_view)>& sink) const;
    // SHA-256 (32 bytes) of Bytes: the one the store recorded with the table while it is not
    // parsed, else made from the bytes.
    std::string Digest() const;
    // For the store's reader (see TUserDigests).
    void SetUnread(TUnreadPart part) { FUnread = std::move(part); }
    const TUnreadPart* Unread() const { return FUnread.Pending() ? &FUnread : nullptr; }
    // The digest the store recorded of the bytes of a table not parsed yet; passed over when
    // the table is parsed, or its bytes are not size bytes long.
    void SetUnreadDigest(std::uint64_t size, std::string_view digest) {
        if (FUnread.Pending() && FUnread.BytesSize() == size && digest.size() == 32)
            FUnread.Digest = std::string(digest);
    }

private:
    void Read() const {
        if (FUnread.Pending()) ParseUnread();
    }
    void ParseUnread() const;
    // The bytes of a table left in its file, read and checked; false (and the table empty)
    // when they cannot be read or are not sound.
    bool Fetch() const;
    struct TSlot {
        std::uint32_t HashOffset = 0, HashSize = 0;
        bool Tagged = false;
        std::array<unsigned char, KTagBytes> Tag{};
    };
    mutable TUnreadPart FUnread;
    mutable TLoginSlots FSlots;
    mutable std::vector<TSlot> FEntries; // by slot
    mutable TStableBytes FHashes;        // the hashes' bytes
};

// What the build of one file gave, kept so that an export whose inputs did not change since
// takes it instead of building the file again: the digest of everything the file's bytes
// depend on, the digest of the bytes, and what the build said of them. The file itself is not
// kept: an export takes it from a target found holding exactly these bytes.
struct TBuiltFile {
    std::string Inputs; // SHA-256 (hex) of the file's inputs
    std::string Sha256; // of the bytes built
    std::int64_t Size = 0;
    std::uint64_t Written = 0;
    std::vector<std::string> CommentLogins;
    // Users by their place in the list: left out (disabled), and with weak stored hashes, in
    // file order.
    std::vector<std::uint32_t> LeftOut;
    std::vector<std::uint32_t> WeakUsers;
    // What the build did with its hashes (it hashed none: the same inputs reuse the same).
    std::uint64_t Reused = 0;
    std::uint64_t Rehashed = 0;
    bool operator==(const TBuiltFile&) const = default;
};

struct TDatabaseStateData {
    std::unordered_map<std::string, TTargetRecord> Targets; // by target identity
    // What an export is about to write to a target, kept from before the replacement until its
    // record is: a target found holding it was written by this database, even when the program
    // was ended in between. Kept only while an export runs (or was ended).
    std::unordered_map<std::string, TTargetRecord> Pending;
    THashTable Hashes;
    // The hashes of exports in a form or work factor other than the database's own (given for
    // one export), by form (HashFormId) and then by login: each form keeps its own, so exports
    // in two forms do not push out each other's hashes. Written only when there are such.
    std::map<std::string, THashTable> FormHashes;
    // The key of the tags in FormHashes when the database holds none of its own (its chosen form
    // is a fast one, and a one-off form leaves the database file alone): 64 hexadecimal digits,
    // or empty.
    std::string FormHashKey;
    // The files built, by the digest of their options (form, work factor, consumer, ...).
    // Written only when there are such; a version that does not know them passes them over.
    std::map<std::string, TBuiltFile> Built;
    // Read from a store in an earlier version's format: the next update writes it anew, in
    // this one's (not part of what the store holds, so not compared).
    bool Older = false;
    bool operator==(const TDatabaseStateData& other) const {
        return Targets == other.Targets && Pending == other.Pending && Hashes == other.Hashes &&
               FormHashes == other.FormHashes && FormHashKey == other.FormHashKey &&
               Built == other.Built;
    }
};

class TDatabaseState {
public:
    // The store of the database at databasePath, encrypted with key (none: a plain database);
    // an empty path (a database never saved) keeps nothing. A sealed store that key does not
    // open reads as empty.
    explicit TDatabaseState(const std::string& databasePath,
                            std::shared_ptr<const TDatabaseKey> key = nullptr);

    // The store's file: ".NAME.state" in the database's folder.
    static std::string PathFor(const std::string& databasePath);

    // Reads the store as it is now; empty when there is none or it cannot be used.
    TDatabaseStateData Load() const;

    // Reads the store under its lock, lets change alter it, and replaces the store with the
    // result (atomically, mode 0600) before the lock is let go. False, with nothing changed on
    // disk, when the store cannot be written (the folder is read-only, the lock is not had within
    // a few seconds): the next export then only knows less.
    // after, when given, sees the data once it is written (or could not be), before it is let
    // go: a caller that moved its own large parts in takes them back there.
    bool Update(const std::function<void(TDatabaseStateData&)>& change,
                const std::function<void(TDatabaseStateData&)>& after = {}) const;

    // The store's file as it is to be kept once the database's key becomes newKey (none: a plain
    // database): opened with this store's key and sealed with the new one. Nothing when there
    // is no store, or this key does not open it (it reads as empty either way).
    std::optional<std::string> Resealed(const std::shared_ptr<const TDatabaseKey>& newKey) const;

    bool Usable() const { return !FPath.empty(); }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    std::string FDatabasePath;
    std::shared_ptr<const TDatabaseKey> FKey;
};

// The store's bytes and back; damaged bytes parse as far as they are sound. The bytes are
// those of the current format; an earlier version's text is read too (and marked Older). From
// a text it shares, the per-user tables are checked and left to be parsed at their first use.
std::string StateText(const TDatabaseStateData& data);
// The same bytes, handed to sink in pieces as they are made.
void WriteStateText(const TDatabaseStateData& data,
                    const std::function<void(std::string_view)>& sink);
TDatabaseStateData ParseStateText(std::string_view text);
TDatabaseStateData ParseStateText(const std::shared_ptr<const std::string>& text);

} // namespace quorvane
