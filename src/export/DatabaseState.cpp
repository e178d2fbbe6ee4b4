#include "export/DatabaseState.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "userdb/Envelope.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvane {

namespace {

constexpr std::string_view KHeader = "quorvane state 1\n";
// The hash cache of earlier versions, read once when the store has no hashes yet.
constexpr std::string_view KOldCacheHeader = "quorvane hash cache 1\n";
// Refuse to read a store far larger than any real one (a damaged or foreign file).
constexpr std::size_t KMaxStateBytes = std::size_t{1} << 30;
constexpr auto KLockWait = std::chrono::seconds(5);

std::string Hex(std::string_view data) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(2 * data.size(), '0');
    for (size_t i = 0; i < data.size(); ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        out[2 * i] = digits[b >> 4];
        out[2 * i + 1] = digits[b & 15];
    }
    return out;
}

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

// A value that fits one field of a line.
bool FitsField(std::string_view value) {
    if (value.empty()) return false;
    for (char c : value)
        if (static_cast<unsigned char>(c) <= ' ') return false;
    return true;
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
        data.Hashes[login] = THashEntry{std::string(f[0]), std::string(f[1])};
    }
}

} // namespace

std::string Sha256Hex(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr);
    return Hex(std::string_view(reinterpret_cast<const char*>(digest), size));
}

std::string UserValueDigest(std::string_view value) {
    // The first 8 bytes of the SHA-256, in hexadecimal: one user's value among many, so the
    // algorithm is looked up once and each thread keeps its context (the one-call form looks
    // the algorithm up again every time, which costs more than hashing a line).
    struct TContext {
        EVP_MD* Md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        EVP_MD_CTX* Ctx = EVP_MD_CTX_new();
        ~TContext() {
            EVP_MD_CTX_free(Ctx);
            EVP_MD_free(Md);
        }
    };
    thread_local const TContext context;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (context.Md == nullptr || context.Ctx == nullptr ||
        EVP_DigestInit_ex2(context.Ctx, context.Md, nullptr) != 1 ||
        EVP_DigestUpdate(context.Ctx, value.data(), value.size()) != 1 ||
        EVP_DigestFinal_ex(context.Ctx, digest, &size) != 1 || size < 8)
        throw std::runtime_error("SHA-256 is not available");
    static constexpr char KDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 0; i < 8; ++i) {
        text[2 * i] = KDigits[digest[i] >> 4];
        text[2 * i + 1] = KDigits[digest[i] & 15];
    }
    return text;
}

std::string StateText(const TDatabaseStateData& data) {
    std::string text(KHeader);
    size_t size = text.size();
    for (const auto& [id, record] : data.Targets) {
        size += 128 + 2 * id.size();
        for (const auto& [login, digest] : record.Users)
            size += 7 + digest.size() + 2 * login.size();
    }
    text.reserve(size);
    const auto appendHex = [&text](std::string_view bytes) {
        static constexpr char digits[] = "0123456789abcdef";
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            text += digits[b >> 4];
            text += digits[b & 15];
        }
    };
    for (const auto& [id, record] : data.Targets) {
        text += "target " + Hex(id) + " " + record.Sha256 + " " + std::to_string(record.Size) +
                " " + std::to_string(record.Time) + "\n";
        for (const auto& [login, digest] : record.Users) {
            text += "user ";
            text += digest;
            text += ' ';
            appendHex(login);
            text += '\n';
        }
    }
    // Lines an earlier version passes over, user lines included.
    for (const auto& [id, record] : data.Pending) {
        text += "pending " + Hex(id) + " " + record.Sha256 + " " + std::to_string(record.Size) +
                " " + std::to_string(record.Time) + "\n";
        for (const auto& [login, digest] : record.Users) {
            text += "puser ";
            text += digest;
            text += ' ';
            appendHex(login);
            text += '\n';
        }
    }
    const auto appendHash = [&text](std::string_view login, const THashEntry& entry) {
        text += entry.Tag.empty() ? std::string("-") : entry.Tag;
        text += ' ';
        text += entry.Hash;
        text += ' ';
        text += Hex(login);
        text += '\n';
    };
    const auto fits = [](const THashEntry& entry) {
        return FitsField(entry.Hash) && (entry.Tag.empty() || FitsField(entry.Tag));
    };
    for (const auto& [login, entry] : data.Hashes) {
        if (!fits(entry)) continue;
        text += "hash ";
        appendHash(login, entry);
    }
    // Earlier versions pass these lines over.
    if (IsHex(data.FormHashKey, 64)) text += "formhashkey " + data.FormHashKey + "\n";
    for (const auto& [form, hashes] : data.FormHashes) {
        if (!FitsField(form)) continue;
        for (const auto& [login, entry] : hashes) {
            if (!fits(entry)) continue;
            text += "formhash ";
            text += form;
            text += ' ';
            appendHash(login, entry);
        }
    }
    return text;
}

TDatabaseStateData ParseStateText(std::string_view text) {
    TDatabaseStateData data;
    if (!text.starts_with(KHeader)) return data;
    std::string_view rest = text.substr(KHeader.size());
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
            record.Users.reserve(LinesOfTarget(rest));
            target = &(data.Targets[id] = std::move(record));
        } else if (f[0] == "user") {
            if (target == nullptr || f.size() != 3 || !IsHex(f[1], 16) || !FromHex(f[2], login))
                continue;
            // A login given twice keeps its last digest, as before.
            target->Users.insert_or_assign(login, std::string(f[1]));
        } else if (f[0] == "pending") {
            pending = nullptr;
            TTargetRecord record;
            if (f.size() != 5 || !FromHex(f[1], id) || id.empty() || !IsHex(f[2], 64) ||
                !ToInt(f[3], record.Size) || !ToInt(f[4], record.Time))
                continue;
            record.Sha256 = std::string(f[2]);
            pending = &(data.Pending[id] = std::move(record));
        } else if (f[0] == "puser") {
            if (pending == nullptr || f.size() != 3 || !IsHex(f[1], 16) || !FromHex(f[2], login))
                continue;
            pending->Users.insert_or_assign(login, std::string(f[1]));
        } else if (f[0] == "hash") {
            if (f.size() != 4 || !(f[1] == "-" || IsHex(f[1], 64)) || !FitsField(f[2]) ||
                !FromHex(f[3], login))
                continue;
            data.Hashes[login] =
                THashEntry{f[1] == "-" ? std::string() : std::string(f[1]), std::string(f[2])};
        } else if (f[0] == "formhashkey") {
            if (f.size() == 2 && IsHex(f[1], 64)) data.FormHashKey = std::string(f[1]);
        } else if (f[0] == "formhash") {
            if (f.size() != 5 || !FitsField(f[1]) || !(f[2] == "-" || IsHex(f[2], 64)) ||
                !FitsField(f[3]) || !FromHex(f[4], login))
                continue;
            data.FormHashes[std::string(f[1])][login] =
                THashEntry{f[2] == "-" ? std::string() : std::string(f[2]), std::string(f[3])};
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
    const auto text = ReadSideFile(FPath, KMaxStateBytes);
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
    if (text) data = ParseStateText(*text);
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

bool TDatabaseState::Update(const std::function<void(TDatabaseStateData&)>& change) const {
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
        try {
            TDatabaseStateData data = Load();
            change(data);
            // A store others could read goes back to 0600 before it is replaced (the new file
            // keeps the old one's mode).
            (void)::fchmod(fd, 0600);
            WriteFileAtomically(
                FPath, FKey != nullptr ? FKey->Seal(StateText(data)) : StateText(data), 0600);
        } catch (const EQuorvaneError&) {
            ok = false;
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
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
