#include "export/DatabaseState.h"

#include "base/AtomicFile.h"
#include "base/BaseTexts.h"
#include "base/Crypto.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "userdb/Envelope.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvane {

namespace {

// The current format: sections of a kind byte, a length and their bytes; integers little-endian,
// strings with their length in front.
constexpr std::string_view KHeader = "quorvane state 2\n";
// The text of earlier versions, read once and written anew in the current format.
constexpr std::string_view KTextHeader = "quorvane state 1\n";
// The hash cache of earlier versions, read once when the store has no hashes yet.
constexpr std::string_view KOldCacheHeader = "quorvane hash cache 1\n";
// Refuse to read a store far larger than any real one (a damaged or foreign file).
constexpr std::size_t KMaxStateBytes = std::size_t{1} << 30;
// A table at least this large is left in the store's file until something needs it.
constexpr std::uint64_t KLeftInFileBytes = 64 * 1024;
constexpr auto KLockWait = std::chrono::seconds(5);

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool FromHex(std::string_view hex, std::string& out) {
    if (hex.size() % 2 != 0) return false;
    out.resize(hex.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        const int hi = HexDigit(hex[2 * i]), lo = HexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<char>(hi << 4 | lo);
    }
    return true;
}

bool IsHex(std::string_view text, size_t digits) {
    if (text.size() != digits) return false;
    for (char c : text)
        if (HexDigit(c) < 0) return false;
    return true;
}

// The fields of a line, separated by single blanks.
// The blank-separated fields of a line; no line of the store has more than five, so a line
// with more counts as one of six, which no reader takes. Made without allocating: the store
// has a line per user and target.
struct TFields {
    static constexpr size_t KMost = 6;
    std::array<std::string_view, KMost> Field;
    size_t Count = 0;
    size_t size() const { return Count; }
    std::string_view operator[](size_t i) const { return Field[i]; }
};

TFields Fields(std::string_view line) {
    TFields fields;
    size_t start = 0;
    for (;;) {
        const size_t blank = line.find(' ', start);
        if (fields.Count == TFields::KMost) return fields;
        fields.Field[fields.Count++] = line.substr(start, blank - start);
        if (blank == std::string_view::npos) return fields;
        start = blank + 1;
    }
}

// The number of lines from the start of text up to the next target's line (or the end).
size_t LinesOfTarget(std::string_view text) {
    const size_t next = text.find("\ntarget ");
    const std::string_view part = text.substr(0, next);
    return static_cast<size_t>(std::count(part.begin(), part.end(), '\n')) + 1;
}

bool ToInt(std::string_view text, std::int64_t& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// A value that fits one field of a line. Without a branch a byte: every hash of a store is
// looked at when the store is read.
bool FitsField(std::string_view value) {
    unsigned char least = 0xFF;
    for (const char c : value)
        least = std::min(least, static_cast<unsigned char>(c));
    return !value.empty() && least > ' ';
}

std::string OldCachePath(const std::string& databasePath) {
    const size_t slash = databasePath.rfind('/');
    return databasePath.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." +
           databasePath.substr(slash == std::string::npos ? 0 : slash + 1) + ".hashes";
}

// Entries of an earlier version's hash cache: "tag hash hexlogin" lines.
void ReadOldCache(const std::string& path, TDatabaseStateData& data) {
    const std::optional<std::string> text = ReadSideFile(path, KMaxStateBytes);
    if (!text || !std::string_view(*text).starts_with(KOldCacheHeader)) return;
    std::string_view rest = std::string_view(*text).substr(KOldCacheHeader.size());
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const auto f = Fields(line);
        std::string login;
        if (f.size() != 3 || !IsHex(f[0], 64) || !FitsField(f[1]) || !FromHex(f[2], login))
            continue;
        std::string tag;
        FromHex(f[0], tag);
        data.Hashes.Put(login, tag, f[1]);
    }
    data.Older = true;
}

} // namespace

std::string Sha256Hex(std::string_view data) {
    unsigned char digest[crypto::DigestBytes(crypto::TDigestKind::Sha256)];
    crypto::Digest(crypto::TDigestKind::Sha256, data.data(), data.size(), digest);
    return crypto::LowerHex(digest, sizeof digest);
}

TValueDigest UserValueDigest(std::string_view value) {
    // The first 8 bytes of the SHA-256: one user's value among many, so each thread keeps its
    // context.
    thread_local crypto::TDigest context(crypto::TDigestKind::Sha256);
    unsigned char digest[crypto::DigestBytes(crypto::TDigestKind::Sha256)];
    context.Add(value);
    context.Finish(digest);
    TValueDigest first = 0;
    for (int i = 0; i < 8; ++i)
        first = first << 8 | digest[i];
    return first;
}

// ---- the flat tables

namespace {

// How an index of capacity places (a power of two) splits its entries: the low Shift bits hold
// slot + 1 (SlotMask), the rest a tag of the hash.
struct TIndexBits {
    unsigned Shift;
    std::uint32_t SlotMask;
};

TIndexBits IndexBits(std::size_t capacity) {
    const auto shift = static_cast<unsigned>(std::countr_zero(capacity));
    if (shift >= 32) return {32, UINT32_MAX};
    return {shift, (std::uint32_t{1} << shift) - 1};
}

// The hash's top bits, placed above the slot's.
std::uint32_t IndexTag(std::size_t hash, unsigned shift) {
    if (shift >= 32) return 0;
    const unsigned bits = 32 - shift;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(hash) >> (64 - bits)) << shift;
}

} // namespace

std::size_t TLoginSlots::Find(std::string_view login) const {
    if (FIndex.empty()) return KNone;
    return FindHashed(login, std::hash<std::string_view>()(login));
}

std::size_t TLoginSlots::FindHashed(std::string_view login, std::size_t hash) const {
    if (FIndex.empty()) return KNone;
    const std::size_t mask = FIndex.size() - 1;
    const TIndexBits bits = IndexBits(FIndex.size());
    const std::uint32_t tag = IndexTag(hash, bits.Shift);
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const std::uint32_t entry = FIndex[at];
        if (entry == 0) return KNone;
        if ((entry & ~bits.SlotMask) != tag) continue;
        const std::size_t slot = (entry & bits.SlotMask) - 1;
        if (Login(slot) == login) return slot;
    }
}

void TLoginSlots::Place(std::size_t hash, std::size_t slot) {
    const std::size_t mask = FIndex.size() - 1;
    std::size_t at = hash & mask;
    while (FIndex[at] != 0)
        at = (at + 1) & mask;
    FIndex[at] =
        IndexTag(hash, IndexBits(FIndex.size()).Shift) | static_cast<std::uint32_t>(slot + 1);
}

void TLoginSlots::Rehash(std::size_t capacity) {
    FIndex.assign(capacity, 0);
    for (std::size_t slot = 0; slot < FSpans.size(); ++slot)
        Place(std::hash<std::string_view>()(Login(slot)), slot);
}

void TLoginSlots::reserve(std::size_t slots, std::size_t bytes) {
    FSpans.reserve(slots);
    FBytes.reserve(bytes);
    std::size_t capacity = 16;
    while (capacity < 2 * slots)
        capacity *= 2;
    if (capacity > FIndex.size()) Rehash(capacity);
}

std::pair<std::size_t, bool> TLoginSlots::Add(std::string_view login) {
    const std::size_t hash = std::hash<std::string_view>()(login);
    if (const std::size_t slot = FindHashed(login, hash); slot != KNone) return {slot, false};
    if (FBytes.size() + login.size() > UINT32_MAX || FSpans.size() >= UINT32_MAX - 1)
        throw std::length_error("too many logins for one table");
    if (2 * (FSpans.size() + 1) > FIndex.size())
        Rehash(std::max<std::size_t>(16, 2 * FIndex.size()));
    const std::size_t slot = FSpans.size();
    FSpans.push_back(
        {static_cast<std::uint32_t>(FBytes.size()), static_cast<std::uint32_t>(login.size())});
    FBytes.append(login);
    Place(hash, slot);
    return {slot, true};
}

bool TUserDigests::emplace(std::string_view login, TValueDigest digest) {
    Read();
    const auto [slot, added] = FSlots.Add(login);
    if (added) FDigests.push_back(digest);
    return added;
}

void TUserDigests::insert_or_assign(std::string_view login, TValueDigest digest) {
    Read();
    const auto [slot, added] = FSlots.Add(login);
    if (added)
        FDigests.push_back(digest);
    else
        FDigests[slot] = digest;
}

TValueDigest TUserDigests::at(std::string_view login) const {
    Read();
    const std::size_t slot = FSlots.Find(login);
    if (slot == TLoginSlots::KNone) throw std::out_of_range("no such login");
    return FDigests[slot];
}

void TUserDigests::reserve(std::size_t users, std::size_t loginBytes) {
    Read();
    FSlots.reserve(users, loginBytes);
    FDigests.reserve(users);
}

bool TUserDigests::operator==(const TUserDigests& other) const {
    Read();
    other.Read();
    if (size() != other.size()) return false;
    // Tables of the same users mostly hold them in the same order: the slot after the last
    // one found is tried before the index.
    std::size_t next = 0;
    for (std::size_t slot = 0; slot < size(); ++slot) {
        const std::string_view login = FSlots.Login(slot);
        const std::size_t there = next < other.size() && other.FSlots.Login(next) == login
                                      ? next
                                      : other.FSlots.Find(login);
        if (there == TLoginSlots::KNone || other.FDigests[there] != FDigests[slot]) return false;
        next = there + 1;
    }
    return true;
}

TStableBytes::TStableBytes(const TStableBytes& other)
    : FBlocks(other.FBlocks), FUsed(KBlock), FBytes(other.FBytes) {}

TStableBytes& TStableBytes::operator=(const TStableBytes& other) {
    if (this != &other) *this = TStableBytes(other);
    return *this;
}

std::uint32_t TStableBytes::Append(std::string_view bytes) {
    if (bytes.empty()) return 0;
    // A value longer than a block gets one of its own, and the places after it up to its end.
    const std::size_t blocks = bytes.size() > KBlock ? (bytes.size() + KBlock - 1) / KBlock : 1;
    // The last block may be shared with a copy: what is appended goes to one of its own then.
    const bool shared = !FBlocks.empty() && FBlocks.back().Bytes.use_count() > 1;
    const bool fresh = blocks > 1 || shared || KBlock - FUsed < bytes.size();
    if (fresh && (FBlocks.size() + blocks) > (std::size_t{1} << (32 - KBlockBits)))
        throw std::length_error("too many hashes for one table");
    if (fresh) {
        TBlock& block = FBlocks.emplace_back();
        block.Size = std::max(bytes.size(), KBlock);
        block.Bytes = std::shared_ptr<char[]>(new char[block.Size]);
        for (std::size_t i = 1; i < blocks; ++i)
            FBlocks.emplace_back();
        FUsed = blocks > 1 ? KBlock : 0;
    }
    const std::size_t first = FBlocks.size() - blocks;
    const std::size_t at = blocks > 1 ? 0 : FUsed;
    std::memcpy(FBlocks[first].Bytes.get() + at, bytes.data(), bytes.size());
    if (blocks == 1) FUsed += bytes.size();
    FBytes += bytes.size();
    return static_cast<std::uint32_t>((first << KBlockBits) | at);
}

std::string_view THashTable::Put(std::string_view login, std::string_view tag,
                                 std::string_view hash) {
    Read();
    const std::uint32_t place = FHashes.Append(hash);
    const auto [slot, added] = FSlots.Add(login);
    if (added) FEntries.emplace_back();
    TSlot& entry = FEntries[slot];
    entry.HashOffset = place;
    entry.HashSize = static_cast<std::uint32_t>(hash.size());
    entry.Tagged = tag.size() == KTagBytes;
    if (entry.Tagged) std::memcpy(entry.Tag.data(), tag.data(), KTagBytes);
    return FHashes.At(place, entry.HashSize);
}

std::string_view THashTable::PutFrom(std::string_view login, const THashTable& other,
                                     std::size_t slot) {
    Read();
    other.Read();
    const TSlot& from = other.FEntries[slot];
    if (!FHashes.SharesPlace(other.FHashes, from.HashOffset)) {
        const THashEntry entry = other.Entry(slot);
        return Put(login, entry.Tag, entry.Hash);
    }
    const auto [at, added] = FSlots.Add(login);
    if (added) FEntries.emplace_back();
    FEntries[at] = from;
    return FHashes.At(from.HashOffset, from.HashSize);
}

void THashTable::ShareHashesOf(const THashTable& other) {
    Read();
    other.Read();
    if (FEntries.empty()) FHashes = other.FHashes;
}

THashEntry THashTable::Entry(std::size_t slot) const {
    Read();
    const TSlot& entry = FEntries[slot];
    return {FSlots.Login(slot),
            entry.Tagged
                ? std::string_view(reinterpret_cast<const char*>(entry.Tag.data()), KTagBytes)
                : std::string_view(),
            FHashes.At(entry.HashOffset, entry.HashSize)};
}

std::optional<THashEntry> THashTable::Find(std::string_view login) const {
    Read();
    const std::size_t slot = FSlots.Find(login);
    if (slot == TLoginSlots::KNone) return std::nullopt;
    return Entry(slot);
}

void THashTable::reserve(std::size_t entries, std::size_t loginBytes) {
    Read();
    FSlots.reserve(entries, loginBytes);
    FEntries.reserve(entries); // the hashes' blocks come as they are filled
}

void THashTable::ReserveLike(const THashTable& other) {
    other.Read();
    // With room for a few more: one user added, or one hash longer than before, would
    // otherwise double a table of a million.
    const auto more = [](std::size_t n) { return n + n / 64 + 64; };
    reserve(more(other.FEntries.size()), more(other.FSlots.Bytes()));
}

bool THashTable::operator==(const THashTable& other) const {
    Read();
    other.Read();
    if (size() != other.size()) return false;
    // As TUserDigests: the slot after the last one found first.
    std::size_t next = 0;
    for (std::size_t slot = 0; slot < size(); ++slot) {
        const THashEntry mine = Entry(slot);
        const std::size_t there = next < other.size() && other.FSlots.Login(next) == mine.Login
                                      ? next
                                      : other.FSlots.Find(mine.Login);
        if (there == TLoginSlots::KNone) return false;
        const THashEntry theirs = other.Entry(there);
        if (theirs.Tag != mine.Tag || theirs.Hash != mine.Hash) return false;
        next = there + 1;
    }
    return true;
}

// ---- the store's bytes

namespace {

// size bytes at offset of the file, all of them.
bool ReadAt(int fd, std::uint64_t offset, std::size_t size, char* to) {
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t n =
            ::pread(fd, to + filled, size - filled, static_cast<off_t>(offset + filled));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        filled += static_cast<std::size_t>(n);
    }
    return true;
}

enum class TSection : unsigned char {
    Target = 1,
    Pending = 2,
    Hashes = 3,
    FormHashKey = 4,
    Built = 5,
    // The SHA-256 of a Hashes section's entries, beside it: what the digest of a table that
    // nobody parses is taken from. A reader that knows nothing of it passes it over, and
    // writes none.
    HashesDigest = 6,
    // Never in a store: the place of a table left in the store's file (its form, and its
    // number among the parts left there), as the reader of a plain store sees it.
    LeftInFile = 0xF0,
    // Never in a store either: a target's record whose users were left in the store's file (the
    // section it stands for, the record's head as it lies there, its number among the parts).
    RecordLeftInFile = 0xF1,
};

// SHA-256 of data, its 32 bytes.
std::string Sha256Bytes(std::string_view data) {
    unsigned char digest[crypto::DigestBytes(crypto::TDigestKind::Sha256)];
    crypto::Digest(crypto::TDigestKind::Sha256, data.data(), data.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

// Builds the bytes of the current format: whole, or, given a sink, handed to it in pieces
// whenever no section whose length is still to be filled in is open.
class TWriter {
public:
    std::string Bytes;
    const std::function<void(std::string_view)>* Sink = nullptr;
    // The bytes so far to the sink, once there are atLeast of them.
    void Spill(std::size_t atLeast = std::size_t{1} << 16) {
        if (Sink == nullptr || FOpen > 0 || Bytes.size() < atLeast) return;
        (*Sink)(Bytes);
        Bytes.clear();
    }
    // Bytes that go out as they are, after those so far.
    void Append(std::string_view piece) {
        if (Sink == nullptr || FOpen > 0) {
            Bytes.append(piece);
            return;
        }
        Spill(0);
        (*Sink)(piece);
    }
    void Int(std::uint64_t value, int bytes = 8) {
        for (int i = 0; i < bytes; ++i)
            Bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    void Str(std::string_view text) {
        Int(text.size(), 4);
        Bytes.append(text);
    }
    // A section whose length is filled in when End is called.
    std::size_t Begin(TSection kind) {
        ++FOpen;
        Bytes.push_back(static_cast<char>(kind));
        Int(0);
        return Bytes.size();
    }
    void End(std::size_t start) {
        --FOpen;
        const std::uint64_t length = Bytes.size() - start;
        for (int i = 0; i < 8; ++i)
            Bytes[start - 8 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    // A section of a length known in advance: its bytes may go out as they come.
    void BeginSized(TSection kind, std::uint64_t length) {
        Bytes.push_back(static_cast<char>(kind));
        Int(length);
    }

private:
    int FOpen = 0;
};

// Reads what TWriter wrote; any read past the end fails and every later one with it.
class TReader {
public:
    explicit TReader(std::string_view bytes) : FRest(bytes) {}
    bool Ok() const { return FOk; }
    std::size_t Left() const { return FRest.size(); }
    std::string_view Rest() const { return FRest; }
    std::uint64_t Int(int bytes = 8) {
        if (!Need(static_cast<std::size_t>(bytes))) return 0;
        std::uint64_t value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(FRest[static_cast<std::size_t>(i)]);
        FRest.remove_prefix(static_cast<std::size_t>(bytes));
        return value;
    }
    std::string_view Str() { return Take(static_cast<std::size_t>(Int(4))); }
    std::string_view Take(std::size_t size) {
        if (!Need(size)) return {};
        const std::string_view taken = FRest.substr(0, size);
        FRest.remove_prefix(size);
        return taken;
    }

private:
    bool Need(std::size_t size) {
        if (FOk && FRest.size() >= size) return true;
        FOk = false;
        FRest = {};
        return false;
    }
    bool FOk = true;
    std::string_view FRest;
};

bool ReadPieces(const TUnreadPart& part, const std::function<void(std::string_view)>& sink);

void WriteRecord(TWriter& out, TSection kind, const std::string& id, const TTargetRecord& record) {
    const TUnreadPart* unread = record.Users.Unread();
    std::uint64_t users = 8;
    if (unread != nullptr)
        users = unread->BytesSize();
    else
        for (const auto& user : record.Users)
            users += 4 + user.first.size() + 8;
    out.BeginSized(kind, 4 + id.size() + 4 + record.Sha256.size() + 16 + users);
    out.Str(id);
    out.Str(record.Sha256);
    out.Int(static_cast<std::uint64_t>(record.Size));
    out.Int(static_cast<std::uint64_t>(record.Time));
    if (unread != nullptr && unread->File != nullptr) {
        // Checked when the store was read, from a file that is replaced, never rewritten: a
        // read that fails now leaves the store as it was.
        if (!ReadPieces(*unread, [&out](std::string_view piece) { out.Append(piece); }))
            throw EQuorvaneError(Msg(texts::StreamWriteError));
        return;
    }
    if (unread != nullptr) {
        out.Append(unread->Bytes); // as read: nothing of it was looked at
        return;
    }
    out.Int(record.Users.size());
    for (const auto& [login, digest] : record.Users) {
        out.Str(login);
        out.Int(digest);
        out.Spill();
    }
}

// A record's users (their count, then login and digest of each) into users, or only checked
// as sound when users is none.
bool ReadUsers(std::string_view bytes, TUserDigests* users) {
    TReader in(bytes);
    const std::uint64_t count = in.Int();
    // Each user takes 12 bytes at least: a count beyond that is damage, not a reason to reserve.
    if (!in.Ok() || count > in.Left() / 12) return false;
    if (users != nullptr) users->reserve(count, in.Left() - 12 * count);
    for (std::uint64_t i = 0; i < count && in.Ok(); ++i) {
        const std::string_view login = in.Str();
        const std::uint64_t digest = in.Int();
        if (in.Ok() && users != nullptr) users->insert_or_assign(login, digest);
    }
    return in.Ok() && in.Left() == 0;
}

// A record's head: the target's id, the digest, size and time of what was written there.
bool ReadRecordHead(TReader& in, std::string& id, TTargetRecord& record) {
    id = std::string(in.Str());
    const std::string_view sha = in.Str();
    record.Size = static_cast<std::int64_t>(in.Int());
    record.Time = static_cast<std::int64_t>(in.Int());
    if (!in.Ok() || id.empty() || !IsHex(sha, 64)) return false;
    record.Sha256 = std::string(sha);
    return true;
}

// owner: the text bytes lie in, when the users may be left to be parsed at their first use.
bool ReadRecord(TReader& in, std::string& id, TTargetRecord& record,
                const std::shared_ptr<const std::string>& owner) {
    if (!ReadRecordHead(in, id, record)) return false;
    const std::string_view users = in.Rest();
    if (owner == nullptr) return ReadUsers(users, &record.Users);
    if (!ReadUsers(users, nullptr)) return false;
    TUnreadPart part;
    part.Owner = owner;
    part.Bytes = users;
    record.Users.SetUnread(std::move(part));
    return true;
}

void WriteBuilt(TWriter& out, const std::string& key, const TBuiltFile& built) {
    const std::size_t start = out.Begin(TSection::Built);
    out.Str(key);
    out.Str(built.Inputs);
    out.Str(built.Sha256);
    out.Int(static_cast<std::uint64_t>(built.Size));
    out.Int(built.Written);
    out.Int(built.Reused);
    out.Int(built.Rehashed);
    out.Int(built.CommentLogins.size());
    for (const std::string& login : built.CommentLogins)
        out.Str(login);
    for (const auto* users : {&built.LeftOut, &built.WeakUsers}) {
        out.Int(users->size());
        for (const std::uint32_t user : *users)
            out.Int(user, 4);
    }
    out.End(start);
}

bool ReadBuilt(TReader& in, std::string& key, TBuiltFile& built) {
    key = std::string(in.Str());
    const std::string_view inputs = in.Str(), sha = in.Str();
    built.Size = static_cast<std::int64_t>(in.Int());
    built.Written = in.Int();
    built.Reused = in.Int();
    built.Rehashed = in.Int();
    if (!in.Ok() || !IsHex(key, 64) || !IsHex(inputs, 64) || !IsHex(sha, 64) || built.Size < 0)
        return false;
    built.Inputs = std::string(inputs);
    built.Sha256 = std::string(sha);
    const std::uint64_t comments = in.Int();
    // Each login takes 4 bytes at least, each user 4: a count beyond that is damage.
    if (!in.Ok() || comments > in.Left() / 4) return false;
    for (std::uint64_t i = 0; i < comments && in.Ok(); ++i)
        built.CommentLogins.emplace_back(in.Str());
    for (auto* users : {&built.LeftOut, &built.WeakUsers}) {
        const std::uint64_t count = in.Int();
        if (!in.Ok() || count > in.Left() / 4) return false;
        users->reserve(count);
        for (std::uint64_t i = 0; i < count; ++i)
            users->push_back(static_cast<std::uint32_t>(in.Int(4)));
    }
    return in.Ok() && in.Left() == 0;
}

// A hash that fits the field of a password-file line and of the earlier versions' text.
bool HashFits(std::string_view hash) {
    return FitsField(hash);
}

// emptyToo: a table found to hold nothing (one left in the store's file that could not be read
// is only known to then) is written all the same.
// Checks the entries of a hash table as ReadHashEntries does, given its bytes piece by piece:
// a table left in the store's file is checked without being held whole.
class THashEntriesCheck {
public:
    explicit THashEntriesCheck(std::uint64_t size) : FSize(size) { Field(TPhase::Count, 8); }
    void Add(std::string_view piece) {
        for (std::size_t i = 0; i < piece.size() && FOk;) {
            switch (FPhase) {
            case TPhase::Done:
                FOk = false; // bytes after the last entry
                break;
            case TPhase::Login:
            case TPhase::Tag: {
                const std::size_t taken =
                    static_cast<std::size_t>(std::min<std::uint64_t>(FNeed, piece.size() - i));
                i += taken;
                FNeed -= taken;
                if (FNeed == 0) Next();
                break;
            }
            case TPhase::Hash:
                // A hash that fits a line: no control character, no blank.
                if (static_cast<unsigned char>(piece[i++]) <= ' ') FOk = false;
                if (--FNeed == 0) Next();
                break;
            default:
                FValue |= static_cast<std::uint64_t>(static_cast<unsigned char>(piece[i++]))
                          << (8 * FGot);
                if (++FGot == FNeed) Next();
                break;
            }
        }
    }
    bool Sound() const { return FOk && FPhase == TPhase::Done; }
    std::uint64_t Count() const { return FCount; }

private:
    enum class TPhase { Count, LoginSize, Login, Tagged, Tag, HashSize, Hash, Done };
    void Field(TPhase phase, std::uint64_t bytes) {
        FPhase = phase;
        FNeed = bytes;
        FGot = 0;
        FValue = 0;
    }
    // Bytes passed over, or checked byte by byte (a hash): no value is gathered.
    void Span(TPhase phase, std::uint64_t bytes) {
        FPhase = phase;
        FNeed = bytes;
    }
    void Next() {
        switch (FPhase) {
        case TPhase::Count:
            FCount = FValue;
            // Each entry takes 9 bytes at least.
            FOk = FOk && FCount <= (FSize - 8) / 9;
            FCount == 0 ? Span(TPhase::Done, 0) : Field(TPhase::LoginSize, 4);
            break;
        case TPhase::LoginSize:
            FValue == 0 ? Field(TPhase::Tagged, 1) : Span(TPhase::Login, FValue);
            break;
        case TPhase::Login:
            Field(TPhase::Tagged, 1);
            break;
        case TPhase::Tagged:
            FOk = FOk && FValue <= 1;
            FValue == 1 ? Span(TPhase::Tag, THashTable::KTagBytes) : Field(TPhase::HashSize, 4);
            break;
        case TPhase::Tag:
            Field(TPhase::HashSize, 4);
            break;
        case TPhase::HashSize:
            FOk = FOk && FValue != 0; // an empty hash fits no line
            Span(TPhase::Hash, FValue);
            break;
        case TPhase::Hash:
            ++FEntries == FCount ? Span(TPhase::Done, 0) : Field(TPhase::LoginSize, 4);
            break;
        case TPhase::Done:
            break;
        }
    }
    std::uint64_t FSize;
    TPhase FPhase = TPhase::Count;
    std::uint64_t FNeed = 0, FGot = 0, FValue = 0, FCount = 0, FEntries = 0;
    bool FOk = true;
};

// Checks a record's users (their count, then login and digest of each) as they come in pieces,
// as ReadUsers does when given them whole.
class TUserDigestsCheck {
public:
    explicit TUserDigestsCheck(std::uint64_t size) : FSize(size) { Field(TPhase::Count, 8); }
    void Add(std::string_view piece) {
        for (std::size_t i = 0; i < piece.size() && FOk;) {
            if (FPhase == TPhase::Done) {
                FOk = false; // bytes after the last user
            } else if (FPhase == TPhase::Login) {
                const std::size_t taken =
                    static_cast<std::size_t>(std::min<std::uint64_t>(FNeed, piece.size() - i));
                i += taken;
                FNeed -= taken;
                if (FNeed == 0) Next();
            } else {
                FValue |= static_cast<std::uint64_t>(static_cast<unsigned char>(piece[i++]))
                          << (8 * FGot);
                if (++FGot == FNeed) Next();
            }
        }
    }
    bool Sound() const { return FOk && FPhase == TPhase::Done; }

private:
    enum class TPhase { Count, LoginSize, Login, Digest, Done };
    void Field(TPhase phase, std::uint64_t bytes) {
        FPhase = phase;
        FNeed = bytes;
        FGot = 0;
        FValue = 0;
    }
    void Next() {
        switch (FPhase) {
        case TPhase::Count:
            FCount = FValue;
            // Each user takes 12 bytes at least.
            FOk = FCount <= (FSize - 8) / 12;
            FCount == 0 ? Field(TPhase::Done, 0) : Field(TPhase::LoginSize, 4);
            break;
        case TPhase::LoginSize:
            FValue == 0 ? Field(TPhase::Digest, 8) : Field(TPhase::Login, FValue);
            break;
        case TPhase::Login:
            Field(TPhase::Digest, 8);
            break;
        case TPhase::Digest:
            ++FUsers == FCount ? Field(TPhase::Done, 0) : Field(TPhase::LoginSize, 4);
            break;
        case TPhase::Done:
            break;
        }
    }
    std::uint64_t FSize;
    TPhase FPhase = TPhase::Count;
    std::uint64_t FNeed = 0, FGot = 0, FValue = 0, FCount = 0, FUsers = 0;
    bool FOk = true;
};

// The bytes of a part left in the store's file, handed to sink in pieces; false when they
// cannot be read.
bool ReadPieces(const TUnreadPart& part, const std::function<void(std::string_view)>& sink) {
    constexpr std::uint64_t kPiece = std::uint64_t{1} << 16;
    std::string buffer(static_cast<std::size_t>(std::min(kPiece, part.Size)), '\0');
    for (std::uint64_t at = 0; at < part.Size;) {
        const auto size = static_cast<std::size_t>(std::min(kPiece, part.Size - at));
        if (!ReadAt(part.File->Descriptor, part.Offset + at, size, buffer.data())) return false;
        sink(std::string_view(buffer.data(), size));
        at += size;
    }
    return true;
}

// A table left in the store's file and never parsed, written as it lies there: checked first,
// then copied piece by piece, never held whole. False, with nothing written, when its bytes
// cannot be read or are not sound: the caller writes it as the table it then reads as.
bool CopyLeftInFile(TWriter& out, std::string_view form, const TUnreadPart& part) {
    THashEntriesCheck check(part.Size);
    crypto::TDigest context(crypto::TDigestKind::Sha256);
    const bool recorded = part.Digest.size() == 32;
    if (!ReadPieces(part,
                    [&](std::string_view piece) {
                        check.Add(piece);
                        if (!recorded) context.Add(piece);
                    }) ||
        !check.Sound() || check.Count() != part.Count)
        return false;
    std::string digest = part.Digest;
    if (!recorded) {
        unsigned char made[crypto::DigestBytes(crypto::TDigestKind::Sha256)];
        context.Finish(made);
        digest.assign(reinterpret_cast<const char*>(made), sizeof made);
    }
    out.BeginSized(TSection::Hashes, 4 + form.size() + part.Size);
    out.Str(form);
    // Read a moment ago from a file that is replaced, never rewritten: a read that fails now
    // leaves the store as it was.
    if (!ReadPieces(part, [&out](std::string_view piece) { out.Append(piece); }))
        throw EQuorvaneError(Msg(texts::StreamWriteError));
    const std::size_t beside = out.Begin(TSection::HashesDigest);
    out.Str(form);
    out.Int(part.Size);
    out.Bytes.append(digest);
    out.End(beside);
    return true;
}

void WriteHashes(TWriter& out, std::string_view form, const THashTable& hashes,
                 bool emptyToo = true) {
    if (const TUnreadPart* left = hashes.Unread();
        left != nullptr && left->File != nullptr && CopyLeftInFile(out, form, *left))
        return;
    // The entries' length and digest first, so that the entries themselves go out as they are
    // made.
    const TUnreadPart* before = hashes.Unread();
    const bool recorded = before != nullptr && !before->Digest.empty();
    std::uint64_t size = 0;
    crypto::TDigest context(crypto::TDigestKind::Sha256);
    hashes.Bytes([&](std::string_view piece) {
        size += piece.size();
        if (!recorded) context.Add(piece);
    });
    // The count alone: no entries.
    if (!emptyToo && size == 8) return;
    const TUnreadPart* unread = hashes.Unread();
    std::string digest;
    if (unread != nullptr && !unread->Digest.empty()) {
        digest = unread->Digest;
    } else if (recorded) {
        digest = hashes.Digest(); // left in the file and found damaged: empty now
    } else {
        unsigned char made[crypto::DigestBytes(crypto::TDigestKind::Sha256)];
        context.Finish(made);
        digest.assign(reinterpret_cast<const char*>(made), sizeof made);
    }
    out.BeginSized(TSection::Hashes, 4 + form.size() + size);
    out.Str(form);
    hashes.Bytes([&out](std::string_view piece) { out.Append(piece); });
    const std::size_t beside = out.Begin(TSection::HashesDigest);
    out.Str(form);
    out.Int(size);
    out.Bytes.append(digest);
    out.End(beside);
}

// A hash table's entries (THashTable::Bytes) into hashes, or only checked as sound when hashes
// is none.
bool ReadHashEntries(std::string_view bytes, THashTable* hashes) {
    TReader in(bytes);
    const std::uint64_t count = in.Int();
    // Each entry takes 9 bytes at least.
    if (!in.Ok() || count > in.Left() / 9) return false;
    if (hashes != nullptr) {
        // The logins' bytes as they are: a table of a million users is not given room for the
        // whole of its logins twice.
        std::size_t logins = 0;
        TReader sizes(in.Rest());
        for (std::uint64_t i = 0; i < count && sizes.Ok(); ++i) {
            logins += sizes.Str().size();
            if (sizes.Int(1) == 1) sizes.Take(THashTable::KTagBytes);
            sizes.Str();
        }
        hashes->reserve(count, logins);
    }
    for (std::uint64_t i = 0; i < count && in.Ok(); ++i) {
        const std::string_view login = in.Str();
        const std::uint64_t tagged = in.Int(1);
        const std::string_view tag = tagged == 1 ? in.Take(THashTable::KTagBytes) : "";
        const std::string_view hash = in.Str();
        if (tagged > 1 || !HashFits(hash)) return false;
        if (in.Ok() && hashes != nullptr) hashes->Put(login, tag, hash);
    }
    return in.Ok() && in.Left() == 0;
}

bool ReadHashes(TReader& in, std::string& form, THashTable& hashes,
                const std::shared_ptr<const std::string>& owner) {
    form = std::string(in.Str());
    if (!in.Ok()) return false;
    const std::string_view entries = in.Rest();
    if (owner == nullptr) return ReadHashEntries(entries, &hashes);
    if (!ReadHashEntries(entries, nullptr)) return false;
    TUnreadPart part;
    part.Owner = owner;
    part.Bytes = entries;
    hashes.SetUnread(std::move(part));
    return true;
}

// leftInFile: the tables that LeftInFile sections stand for.
TDatabaseStateData ParseStateBytes(std::string_view bytes,
                                   const std::shared_ptr<const std::string>& owner,
                                   const std::vector<TUnreadPart>* leftInFile = nullptr) {
    TDatabaseStateData data;
    TReader in(bytes.substr(KHeader.size()));
    while (in.Ok() && in.Left() > 0) {
        const auto kind = static_cast<TSection>(in.Int(1));
        const std::uint64_t length = in.Int();
        if (!in.Ok() || length > in.Left()) break;
        TReader section(in.Take(static_cast<std::size_t>(length)));
        std::string id;
        switch (kind) {
        case TSection::Target:
        case TSection::Pending: {
            TTargetRecord record;
            if (ReadRecord(section, id, record, owner))
                (kind == TSection::Target ? data.Targets : data.Pending)[id] = std::move(record);
            break;
        }
        case TSection::Hashes: {
            THashTable hashes;
            if (ReadHashes(section, id, hashes, owner))
                (id.empty() ? data.Hashes : data.FormHashes[id]) = std::move(hashes);
            break;
        }
        case TSection::FormHashKey: {
            const std::string_view key = section.Str();
            if (section.Ok() && section.Left() == 0 && IsHex(key, 64))
                data.FormHashKey = std::string(key);
            break;
        }
        case TSection::Built: {
            TBuiltFile built;
            if (ReadBuilt(section, id, built)) data.Built[id] = std::move(built);
            break;
        }
        case TSection::LeftInFile: {
            id = std::string(section.Str());
            const std::uint64_t index = section.Int();
            if (leftInFile == nullptr || !section.Ok() || section.Left() != 0 ||
                index >= leftInFile->size())
                break;
            THashTable hashes;
            hashes.SetUnread((*leftInFile)[static_cast<std::size_t>(index)]);
            (id.empty() ? data.Hashes : data.FormHashes[id]) = std::move(hashes);
            break;
        }
        case TSection::RecordLeftInFile: {
            const auto stands = static_cast<TSection>(section.Int(1));
            TTargetRecord record;
            if (!ReadRecordHead(section, id, record)) break;
            const std::uint64_t index = section.Int();
            if (leftInFile == nullptr || !section.Ok() || section.Left() != 0 ||
                index >= leftInFile->size() ||
                (stands != TSection::Target && stands != TSection::Pending))
                break;
            record.Users.SetUnread((*leftInFile)[static_cast<std::size_t>(index)]);
            (stands == TSection::Target ? data.Targets : data.Pending)[id] = std::move(record);
            break;
        }
        case TSection::HashesDigest: {
            // Only of a table read before it and left as it was read.
            id = std::string(section.Str());
            const std::uint64_t size = section.Int();
            const std::string_view digest = section.Take(32);
            if (!section.Ok() || section.Left() != 0) break;
            if (id.empty()) {
                data.Hashes.SetUnreadDigest(size, digest);
            } else if (const auto part = data.FormHashes.find(id); part != data.FormHashes.end()) {
                part->second.SetUnreadDigest(size, digest);
            }
            break;
        }
        }
        // Sections of a later version are passed over.
    }
    return data;
}

// The digest of a user line of the earlier text: 16 hexadecimal digits.
bool DigestFromHex(std::string_view hex, TValueDigest& digest) {
    if (!IsHex(hex, 16)) return false;
    digest = 0;
    for (const char c : hex)
        digest = digest << 4 | static_cast<TValueDigest>(HexDigit(c));
    return true;
}

} // namespace

TStoreFile::~TStoreFile() {
    if (Descriptor >= 0) ::close(Descriptor);
}

namespace {

// A plain store in the current format, read but for its large tables, which stay in the file
// (the descriptor, taken over) until something needs them. None when the store is not such,
// or not sound in its sections' frame: the caller reads it whole then, as any other.
std::optional<TDatabaseStateData> ReadLeavingTables(int fd, std::uint64_t size) {
    auto file = std::make_shared<const TStoreFile>(fd);
    auto skeleton = std::make_shared<std::string>(KHeader);
    std::vector<TUnreadPart> left;
    std::uint64_t at = KHeader.size();
    while (at < size) {
        char head[9];
        if (size - at < sizeof head || !ReadAt(fd, at, sizeof head, head)) return std::nullopt;
        const auto kind = static_cast<TSection>(head[0]);
        const std::uint64_t length = TReader(std::string_view(head + 1, 8)).Int();
        const std::uint64_t body = at + sizeof head;
        if (length > size - body) return std::nullopt;
        at = body + length;
        if (kind == TSection::Hashes && length >= KLeftInFileBytes) {
            char formSize[4];
            if (!ReadAt(fd, body, sizeof formSize, formSize)) return std::nullopt;
            const std::uint64_t formBytes = TReader(std::string_view(formSize, 4)).Int(4);
            if (formBytes + sizeof formSize + 8 > length) return std::nullopt;
            std::string form(static_cast<std::size_t>(formBytes) + 8, '\0');
            if (!ReadAt(fd, body + sizeof formSize, form.size(), form.data())) return std::nullopt;
            TUnreadPart part;
            part.File = file;
            part.Offset = body + sizeof formSize + formBytes;
            part.Size = length - sizeof formSize - formBytes;
            part.Count =
                TReader(std::string_view(form).substr(static_cast<std::size_t>(formBytes))).Int();
            form.resize(static_cast<std::size_t>(formBytes));
            // Each entry takes 9 bytes at least: a table that cannot hold its count is damage.
            if (part.Count > (part.Size - 8) / 9) continue;
            TWriter out;
            const std::size_t start = out.Begin(TSection::LeftInFile);
            out.Str(form);
            out.Int(left.size());
            out.End(start);
            skeleton->append(out.Bytes);
            left.push_back(std::move(part));
            continue;
        }
        if ((kind == TSection::Target || kind == TSection::Pending) && length >= KLeftInFileBytes) {
            // The head here, the users left where they are: checked now, read when needed.
            constexpr std::size_t kMostHead = 4096;
            std::string first(kMostHead, '\0');
            if (!ReadAt(fd, body, first.size(), first.data())) return std::nullopt;
            TReader in(first);
            std::string id;
            TTargetRecord record;
            if (ReadRecordHead(in, id, record)) {
                TUnreadPart part;
                part.File = file;
                part.Offset = body + (first.size() - in.Left());
                part.Size = length - (first.size() - in.Left());
                TUserDigestsCheck check(part.Size);
                if (!ReadPieces(part, [&check](std::string_view piece) { check.Add(piece); }))
                    return std::nullopt;
                if (!check.Sound()) continue; // damaged: no record, as a store read whole has
                char count[8];
                if (!ReadAt(fd, part.Offset, sizeof count, count)) return std::nullopt;
                part.Count = TReader(std::string_view(count, sizeof count)).Int();
                TWriter out;
                const std::size_t start = out.Begin(TSection::RecordLeftInFile);
                out.Int(static_cast<std::uint64_t>(kind), 1);
                out.Append(std::string_view(first).substr(0, first.size() - in.Left()));
                out.Int(left.size());
                out.End(start);
                skeleton->append(out.Bytes);
                left.push_back(std::move(part));
                continue;
            }
        }
        const std::size_t from = skeleton->size();
        skeleton->resize(from + sizeof head + static_cast<std::size_t>(length));
        if (!ReadAt(fd, at - length - sizeof head, sizeof head + static_cast<std::size_t>(length),
                    skeleton->data() + from))
            return std::nullopt;
    }
    const std::shared_ptr<const std::string> owner = std::move(skeleton);
    return ParseStateBytes(*owner, owner, &left);
}

} // namespace

std::uint64_t UnreadCount(const TUnreadPart& part) {
    return part.File != nullptr ? part.Count : TReader(part.Bytes).Int();
}

void TUserDigests::ParseUnread() const {
    const TUnreadPart part = std::exchange(FUnread, TUnreadPart());
    // Checked as sound when it was read.
    if (part.File == nullptr) {
        ReadUsers(part.Bytes, const_cast<TUserDigests*>(this));
        return;
    }
    std::string bytes(static_cast<std::size_t>(part.Size), '\0');
    if (ReadAt(part.File->Descriptor, part.Offset, bytes.size(), bytes.data()))
        ReadUsers(bytes, const_cast<TUserDigests*>(this));
}

bool THashTable::Fetch() const {
    TUnreadPart part = std::exchange(FUnread, TUnreadPart());
    if (part.File == nullptr) {
        FUnread = std::move(part);
        return true;
    }
    auto bytes = std::make_shared<std::string>();
    bytes->resize(static_cast<std::size_t>(part.Size));
    if (!ReadAt(part.File->Descriptor, part.Offset, bytes->size(), bytes->data()) ||
        TReader(*bytes).Int() != part.Count || !ReadHashEntries(*bytes, nullptr))
        return false;
    FUnread.Owner = std::move(bytes);
    FUnread.Bytes = *FUnread.Owner;
    FUnread.Digest = std::move(part.Digest);
    return true;
}

void THashTable::ParseUnread() const {
    if (!Fetch()) return; // damaged: empty, as a damaged store reads
    const TUnreadPart part = std::exchange(FUnread, TUnreadPart());
    ReadHashEntries(part.Bytes, const_cast<THashTable*>(this));
}

void THashTable::Bytes(const std::function<void(std::string_view)>& sink) const {
    Fetch();
    if (FUnread.Owner) {
        sink(FUnread.Bytes);
        return;
    }
    // In pieces of a buffer: one call a piece, not several an entry.
    constexpr std::size_t kPiece = 1 << 16;
    TWriter out;
    out.Bytes.reserve(kPiece + 1024);
    std::size_t count = 0;
    for (const THashEntry entry : *this)
        count += HashFits(entry.Hash) ? 1 : 0;
    out.Int(count);
    for (const THashEntry entry : *this) {
        if (!HashFits(entry.Hash)) continue;
        out.Str(entry.Login);
        out.Int(entry.Tag.empty() ? 0 : 1, 1);
        out.Bytes.append(entry.Tag);
        out.Str(entry.Hash);
        if (out.Bytes.size() >= kPiece) {
            sink(out.Bytes);
            out.Bytes.clear();
        }
    }
    if (!out.Bytes.empty()) sink(out.Bytes);
}

std::string THashTable::Digest() const {
    if (FUnread.Pending() && !FUnread.Digest.empty()) return FUnread.Digest;
    Fetch();
    if (FUnread.Owner) return Sha256Bytes(FUnread.Bytes);
    crypto::TDigest context(crypto::TDigestKind::Sha256);
    Bytes([&](std::string_view piece) { context.Add(piece); });
    unsigned char digest[crypto::DigestBytes(crypto::TDigestKind::Sha256)];
    context.Finish(digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

namespace {

void WriteState(TWriter& out, const TDatabaseStateData& data) {
    out.Bytes += KHeader;
    for (const auto& [id, record] : data.Targets)
        WriteRecord(out, TSection::Target, id, record);
    for (const auto& [id, record] : data.Pending)
        WriteRecord(out, TSection::Pending, id, record);
    if (!data.Hashes.empty()) WriteHashes(out, "", data.Hashes, false);
    if (IsHex(data.FormHashKey, 64)) {
        const std::size_t start = out.Begin(TSection::FormHashKey);
        out.Str(data.FormHashKey);
        out.End(start);
    }
    for (const auto& [form, hashes] : data.FormHashes)
        if (!form.empty()) WriteHashes(out, form, hashes);
    for (const auto& [key, built] : data.Built)
        WriteBuilt(out, key, built);
}

} // namespace

std::string StateText(const TDatabaseStateData& data) {
    TWriter out;
    std::size_t size = KHeader.size();
    // Tables not parsed are not parsed for an estimate.
    for (const auto* records : {&data.Targets, &data.Pending})
        for (const auto& [id, record] : *records)
            size += 128 + id.size() +
                    (record.Users.Unread() != nullptr ? record.Users.Unread()->BytesSize()
                                                      : 24 * record.Users.size());
    const auto estimate = [](const THashTable& hashes) {
        std::size_t bytes = 0;
        hashes.Bytes([&bytes](std::string_view piece) { bytes += piece.size(); });
        return bytes;
    };
    size += estimate(data.Hashes) + 128;
    for (const auto& [form, hashes] : data.FormHashes)
        size += estimate(hashes) + 128 + 2 * form.size();
    out.Bytes.reserve(size);
    WriteState(out, data);
    return std::move(out.Bytes);
}

void WriteStateText(const TDatabaseStateData& data,
                    const std::function<void(std::string_view)>& sink) {
    TWriter out;
    out.Sink = &sink;
    out.Bytes.reserve((std::size_t{1} << 16) + 4096);
    WriteState(out, data);
    out.Spill(0);
}

TDatabaseStateData ParseStateText(const std::shared_ptr<const std::string>& text) {
    if (text == nullptr) return {};
    if (std::string_view(*text).starts_with(KHeader)) return ParseStateBytes(*text, text);
    return ParseStateText(std::string_view(*text));
}

TDatabaseStateData ParseStateText(std::string_view text) {
    if (text.starts_with(KHeader)) return ParseStateBytes(text, nullptr);
    TDatabaseStateData data;
    if (!text.starts_with(KTextHeader)) return data;
    data.Older = true;
    std::string_view rest = text.substr(KTextHeader.size());
    TValueDigest digest = 0;
    std::string tag;
    TTargetRecord* target = nullptr;  // the one the following user lines belong to
    TTargetRecord* pending = nullptr; // the one the following puser lines belong to
    std::string login, id;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const auto f = Fields(line);
        if (f[0] == "target") {
            target = nullptr;
            TTargetRecord record;
            if (f.size() != 5 || !FromHex(f[1], id) || id.empty() || !IsHex(f[2], 64) ||
                !ToInt(f[3], record.Size) || !ToInt(f[4], record.Time))
                continue;
            record.Sha256 = std::string(f[2]);
            record.Users.reserve(LinesOfTarget(rest), 0);
            target = &(data.Targets[id] = std::move(record));
        } else if (f[0] == "user") {
            if (target == nullptr || f.size() != 3 || !DigestFromHex(f[1], digest) ||
                !FromHex(f[2], login))
                continue;
            // A login given twice keeps its last digest, as before.
            target->Users.insert_or_assign(login, digest);
        } else if (f[0] == "pending") {
            pending = nullptr;
            TTargetRecord record;
            if (f.size() != 5 || !FromHex(f[1], id) || id.empty() || !IsHex(f[2], 64) ||
                !ToInt(f[3], record.Size) || !ToInt(f[4], record.Time))
                continue;
            record.Sha256 = std::string(f[2]);
            pending = &(data.Pending[id] = std::move(record));
        } else if (f[0] == "puser") {
            if (pending == nullptr || f.size() != 3 || !DigestFromHex(f[1], digest) ||
                !FromHex(f[2], login))
                continue;
            pending->Users.insert_or_assign(login, digest);
        } else if (f[0] == "hash") {
            if (f.size() != 4 || !(f[1] == "-" || IsHex(f[1], 64)) || !FitsField(f[2]) ||
                !FromHex(f[3], login))
                continue;
            tag.clear();
            if (f[1] != "-") FromHex(f[1], tag);
            data.Hashes.Put(login, tag, f[2]);
        } else if (f[0] == "formhashkey") {
            if (f.size() == 2 && IsHex(f[1], 64)) data.FormHashKey = std::string(f[1]);
        } else if (f[0] == "formhash") {
            if (f.size() != 5 || !FitsField(f[1]) || !(f[2] == "-" || IsHex(f[2], 64)) ||
                !FitsField(f[3]) || !FromHex(f[4], login))
                continue;
            tag.clear();
            if (f[2] != "-") FromHex(f[2], tag);
            data.FormHashes[std::string(f[1])].Put(login, tag, f[3]);
        }
        // Lines of a later version are passed over.
    }
    return data;
}

TDatabaseState::TDatabaseState(const std::string& databasePath,
                               std::shared_ptr<const TDatabaseKey> key)
    : FPath(databasePath.empty() ? std::string() : PathFor(databasePath)),
      FDatabasePath(databasePath), FKey(std::move(key)) {}

std::string TDatabaseState::PathFor(const std::string& databasePath) {
    const size_t slash = databasePath.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : databasePath.substr(0, slash + 1);
    const std::string name =
        slash == std::string::npos ? databasePath : databasePath.substr(slash + 1);
    return folder + "." + name + ".state";
}

TDatabaseStateData TDatabaseState::Load() const {
    TDatabaseStateData data;
    if (!Usable()) return data;
    // A plain store in the current format leaves its large tables in the file: an export that
    // builds nothing reads no hashes.
    if (const int fd = OpenSideFile(FPath, O_RDONLY); fd >= 0) {
        struct stat st {};
        std::string head(KHeader.size(), '\0');
        if (::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) <= KMaxStateBytes &&
            ReadAt(fd, 0, head.size(), head.data()) && head == KHeader) {
            if (auto read = ReadLeavingTables(fd, static_cast<std::uint64_t>(st.st_size))) {
                data = std::move(*read);
                if (data.Hashes.empty()) ReadOldCache(OldCachePath(FDatabasePath), data);
                return data;
            }
        } else {
            ::close(fd);
        }
    }
    auto text = ReadSideFile(FPath, KMaxStateBytes);
    if (text && IsEncryptedDatabase(*text)) {
        if (FKey == nullptr) return data;
        try {
            data = ParseStateText(FKey->Open(*text).View());
        } catch (const EQuorvaneError&) {
            // Sealed under an earlier master password: what it knew is made again.
        }
        return data;
    }
    // A plain store (an encrypted database's from before it was encrypted) is read once more
    // and sealed by the next update.
    if (text) data = ParseStateText(std::make_shared<const std::string>(std::move(*text)));
    if (data.Hashes.empty()) ReadOldCache(OldCachePath(FDatabasePath), data);
    return data;
}

std::optional<std::string>
TDatabaseState::Resealed(const std::shared_ptr<const TDatabaseKey>& newKey) const {
    if (!Usable()) return std::nullopt;
    const auto text = ReadSideFile(FPath, KMaxStateBytes);
    if (!text) return std::nullopt;
    std::string plain;
    if (IsEncryptedDatabase(*text)) {
        if (FKey == nullptr) return std::nullopt;
        try {
            plain = std::string(FKey->Open(*text).View());
        } catch (const EQuorvaneError&) {
            return std::nullopt;
        }
    } else {
        plain = *text; // a plain store, also one from before the database was encrypted
    }
    return newKey != nullptr ? newKey->Seal(plain) : plain;
}

bool TDatabaseState::Update(const std::function<void(TDatabaseStateData&)>& change,
                            const std::function<void(TDatabaseStateData&)>& after) const {
    if (!Usable()) return false;
    const auto deadline = std::chrono::steady_clock::now() + KLockWait;
    for (;;) {
        const int fd = OpenSideFile(FPath, O_RDWR | O_CREAT, 0600);
        if (fd < 0) return false;
        bool locked = false;
        while (!(locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0) && errno == EWOULDBLOCK &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!locked) {
            ::close(fd);
            return false;
        }
        // The store may have been replaced while this waited: the lock must be the current
        // file's.
        struct stat held {
        }, now{};
        if (::fstat(fd, &held) != 0 || ::lstat(FPath.c_str(), &now) != 0 ||
            held.st_ino != now.st_ino || held.st_dev != now.st_dev) {
            ::close(fd);
            if (std::chrono::steady_clock::now() >= deadline) return false;
            continue;
        }
        bool ok = true;
        std::optional<TDatabaseStateData> data;
        try {
            data = Load();
            change(*data);
            // A store others could read goes back to 0600 before it is replaced (the new file
            // keeps the old one's mode).
            (void)::fchmod(fd, 0600);
            if (FKey != nullptr)
                WriteFileAtomically(FPath, FKey->Seal(StateText(*data)), 0600);
            else
                // Written as it is made: a million users' tables are never held twice.
                WriteFileAtomically(
                    FPath,
                    [&data](const TDataSink& sink) {
                        WriteStateText(*data, [&sink](std::string_view piece) {
                            sink(piece.data(), piece.size());
                        });
                    },
                    0600);
        } catch (const EQuorvaneError&) {
            ok = false;
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        if (data && after) after(*data);
        if (ok) {
            // Its hashes live in the store now.
            const std::string old = OldCachePath(FDatabasePath);
            const int oldFd = OpenSideFile(old, O_RDONLY);
            if (oldFd >= 0) {
                ::close(oldFd);
                ::unlink(old.c_str());
            }
        }
        return ok;
    }
}

} // namespace quorvane
