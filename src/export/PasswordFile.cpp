#include "export/PasswordFile.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "export/ClearPasswords.h"
#include "export/Consumers.h"
#include "export/ExportTexts.h"
#include "export/HashCache.h"
#include "export/HashSchemes.h"
#include "export/StoredHash.h"
#include "userdb/DataLib.h"
#include "userdb/LoginRule.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <string_view>

namespace quorvane {

namespace {

constexpr size_t KProgressStep = 100;
// MD5 hashes are computed for this many entries at a time, so that the vector lanes and the
// workers stay busy; progress and abort checks still come every KProgressStep entries.
constexpr size_t KHashWindow = 10 * KProgressStep;

// The passes over a file's users go in file order, in which the users lie anywhere in memory:
// each asks for the user this many places ahead, whose fields then arrive while the ones
// before it are read.
constexpr size_t KAhead = 8;

void Prefetch(const std::vector<const TUserProp*>& users, size_t at) {
    if (at >= users.size()) return;
    const char* bytes = reinterpret_cast<const char*>(users[at]);
    for (size_t line = 0; line < sizeof(TUserProp); line += 64)
        __builtin_prefetch(bytes + line);
}

// The same for the logins (their first bytes) of a file's entries.
void PrefetchLogin(const std::vector<TPasswordEntry>& entries, size_t at) {
    if (at < entries.size()) __builtin_prefetch(entries[at].User->Login.data());
}

TMessage UnsafeProblem(const TUserList& list, const TUserProp& user, const TMessageText& reason);
TMessage UnsafeMessage(std::vector<TMessage> problems);

void AppendLine(std::string& text, std::string_view eol, const TUserList& list,
                const TUserProp& user, std::string_view value) {
    const std::string& login = user.Login;
    // A line no server reads whole would shut out every user after it.
    if (login.size() + 1 + value.size() + eol.size() > KMaxPasswordFileLine)
        throw EUnsafeUsers(UnsafeMessage({UnsafeProblem(list, user, texts::UnsafeLineTooLong)}));
    text += login;
    text += ':';
    text += value;
    text += eol;
}

const TMessageText* UnsafeReason(const TUserProp& user, const THashScheme& form) {
    switch (CheckLogin(user.Login)) {
    case TLoginProblem::None:
        break;
    case TLoginProblem::Empty:
        return &texts::UnsafeLoginEmpty;
    case TLoginProblem::Colon:
        return &texts::UnsafeLoginColon;
    case TLoginProblem::Control:
        return &texts::UnsafeLoginControl;
    case TLoginProblem::TooLong:
        break; // stored before the bound: the length of its whole line decides (AppendLine)
    }
    if (!user.HashOnly() && user.Password.size() > KMaxPasswordBytes)
        return &texts::UnsafePasswordTooLong;
    // The shortest value any form writes is 13 bytes (DES crypt); the whole line is checked
    // again as it is written.
    const size_t value = user.HashOnly()          ? user.PasswordHash().size()
                         : form.StoresClearText() ? user.Password.size()
                                                  : 13;
    if (user.Login.size() + 1 + value + 1 > KMaxPasswordFileLine) return &texts::UnsafeLineTooLong;
    // A hash never holds these bytes; the password in clear might.
    if (form.StoresClearText() &&
        user.Password.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return &texts::UnsafePlainTextBreak;
    // crypt reads the password as a C string: a NUL would cut it short.
    if (form.CStringPassword && !user.HashOnly() && user.Password.find('\0') != std::string::npos)
        return &texts::UnsafeCryptNul;
    return nullptr;
}

// Hashes passwords[i] with settings[i] into out[i], in batches where the scheme has them.
void HashAll(const THashScheme& scheme, const std::vector<std::string_view>& passwords,
             const std::vector<std::string>& settings, std::vector<std::string>& out,
             unsigned threads) {
    if (scheme.HashBatch) {
        scheme.HashBatch(passwords, settings, out, threads);
        return;
    }
    out.resize(passwords.size());
    for (size_t i = 0; i < passwords.size(); ++i)
        out[i] = scheme.HashWithSetting(passwords[i], settings[i]);
}

} // namespace

std::string BuildProgressText(size_t done, size_t total) {
    return "Creating passwords file - " + std::to_string(total ? done * 100 / total : 0) +
           "% completed";
}

void IExportProgress::Entries(size_t done, size_t total) {
    Progress(BuildProgressText(done, total));
}

EEmptyPasswords::EEmptyPasswords(std::vector<std::string> logins)
    : EQuorvaneError(Msg(texts::EmptyPasswords, Names(logins))), FLogins(std::move(logins)) {}

namespace {

TMessage UnsafeProblem(const TUserList& list, const TUserProp& user, const TMessageText& reason) {
    return Msg(texts::UnsafeUser, list.IndexOf(&user) + 1, EscapeForOneLine(user.Login),
               Msg(reason));
}

TMessage UnsafeMessage(std::vector<TMessage> problems) {
    if (problems.empty()) return {};
    return Msg(texts::UnsafeUsers, Messages(std::move(problems)));
}

// What the one walk over the file's users before anything is written finds.
struct TEntryCheck {
    std::vector<TMessage> Unsafe;           // lines that would make the file unsafe
    const TUserProp* BrokenHash = nullptr;  // the first stored hash that would break its line
    std::vector<std::string> HashOnlyNames; // hash-only users a plain-text file cannot hold
    std::vector<std::string> EmptyLogins;
    std::size_t Written = 0; // users that go into the file
};

// Whether a stored value is in the form: of the scheme the form's values are told by.
bool ValueInForm(const THashScheme& form, std::string_view value) {
    return form.Stored != TStoredScheme::Unknown && IdentifyStoredHash(value) == form.Stored;
}

// Whether the user goes into the file: enabled, or any user when disabled ones are written too.
bool Written(const TUserProp& user, const TPasswordFileOptions& options) {
    return !user.Disable || options.WithDisabled;
}

// Checks every user to be written in file order and fills the report on the way: the users
// are touched once, however many things are asked of them.
TEntryCheck CheckEntries(const TUserList& list, const std::vector<const TUserProp*>& entries,
                         const THashScheme& form, const TPasswordFileOptions& options) {
    TEntryCheck check;
    TPasswordFileReport* report = options.Report;
    // Plain text and the Digest line are made from the clear password; a hash is not one.
    const bool fromClearPassword = form.Prefix.empty();
    if (report != nullptr) *report = TPasswordFileReport();
    for (size_t i = 0; i < entries.size(); ++i) {
        Prefetch(entries, i + KAhead);
        const TUserProp* user = entries[i];
        if (user->Disable && report != nullptr) report->LeftOut.push_back(user);
        if (!Written(*user, options)) continue;
        ++check.Written;
        if (const TMessageText* reason = UnsafeReason(*user, form))
            check.Unsafe.push_back(UnsafeProblem(list, *user, *reason));
        if (user->HashOnly()) {
            // Users known only by their stored hash go into the file with that hash unchanged;
            // a form made from the clear password cannot hold them (a hash is not a password),
            // and a hash that would break the line is refused like a login that would.
            if (check.BrokenHash == nullptr && user->PasswordHash().find_first_of(std::string_view(
                                                   "\r\n\0", 3)) != std::string::npos)
                check.BrokenHash = user;
            if (fromClearPassword)
                check.HashOnlyNames.push_back(user->Login);
            else if (report != nullptr && !ValueInForm(form, user->PasswordHash()))
                report->OtherForm.push_back(user);
        } else if (user->Password.empty() && !user->Disable) {
            check.EmptyLogins.push_back(user->Login);
        }
        if (report != nullptr && !user->Disable) {
            ++report->Written;
            if (LoginLooksLikeComment(user->Login)) report->CommentLogins.push_back(user->Login);
            if (user->HashOnly() && IsWeakScheme(IdentifyStoredHash(user->PasswordHash())))
                report->WeakUsers.push_back(user);
        }
    }
    return check;
}

void CheckRealm(const THashScheme& form, const std::string& realm) {
    if (!form.NeedsRealm) return;
    if (realm.empty()) throw EQuorvaneError(Msg(texts::RealmNeeded, form.DisplayMessage()));
    for (const unsigned char c : realm)
        if (c == ':' || c < 32 || c == 127)
            throw EQuorvaneError(Msg(texts::RealmUnsafe, EscapeForOneLine(realm)));
}

// Fewer entries than users: some stand for namesakes, which servers would tell apart. Each
// enabled one left out is named with the one that stands for it.
void ReportNamesakes(const TUserList& list, const std::vector<const TUserProp*>& entries,
                     TPasswordFileReport& report) {
    if (entries.size() == static_cast<size_t>(list.Count())) return;
    std::vector<bool> stands(static_cast<size_t>(list.Count()), false);
    for (const TUserProp* user : entries)
        stands[static_cast<size_t>(list.IndexOf(user))] = true;
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& user = list.Users(i);
        if (user.Disable || stands[static_cast<size_t>(i)]) continue;
        // The entries are in file order: the one standing for this login is found by halving.
        const auto found = std::lower_bound(entries.begin(), entries.end(), user.Login,
                                            [](const TUserProp* entry, const std::string& login) {
                                                return CompareAscii(entry->Login, login) < 0;
                                            });
        if (found == entries.end() || CompareAscii((*found)->Login, user.Login) != 0) continue;
        const TUserProp& other = **found;
        report.Namesakes.push_back(
            Msg(other.Disable ? texts::NamesakeDisabled : texts::NamesakeWritten,
                EscapeForOneLine(user.Login), EscapeForOneLine(other.Login)));
    }
}

} // namespace

int FormParam(const TUserList& list, const THashScheme& form) {
    return form.IsDatabaseForm() ? StoredSchemeParam(list, form.Id) : form.DefaultParam();
}

TMessage UnsafeUsersMessage(const TUserList& list, const std::vector<const TUserProp*>& entries,
                            TPasswordsType passType) {
    std::vector<TMessage> problems;
    const THashScheme& form = SchemeOf(passType);
    for (const TUserProp* user : entries) {
        if (user->Disable) continue;
        if (const TMessageText* reason = UnsafeReason(*user, form))
            problems.push_back(UnsafeProblem(list, *user, *reason));
    }
    return UnsafeMessage(std::move(problems));
}

bool OpensWithoutPassword(const TUserProp& user) {
    return !user.Disable && user.Password.empty() && !user.HashOnly();
}

std::vector<std::string> EmptyPasswordLogins(const std::vector<const TUserProp*>& entries) {
    std::vector<std::string> logins;
    for (const TUserProp* user : entries)
        if (OpensWithoutPassword(*user)) logins.push_back(user->Login);
    return logins;
}

std::string MakePasswordLine(const TUserProp& user, TPasswordsType passType,
                             IRandomSource& random) {
    const THashScheme& scheme = SchemeOf(passType);
    std::string line = user.Login;
    line += ':';
    if (user.HashOnly())
        line += user.PasswordHash(); // taken over unchanged whatever the form
    else
        line += scheme.Hash(user.Password, random,
                            user.List() != nullptr ? StoredSchemeParam(*user.List(), passType)
                                                   : scheme.DefaultParam());
    return line;
}

int StoredSchemeParam(const TUserList& list, TPasswordsType passType) {
    if (passType == TPasswordsType::ptBcrypt) return list.BcryptCost;
    if (IsSlowPassType(passType)) return list.ShaRounds;
    return SchemeOf(passType).DefaultParam();
}

bool StoreSchemeChoice(TUserList& list, TPasswordsType passType, int param) {
    CheckFormKeepsHashes(list, passType);
    bool changed = list.PassType != passType;
    list.PassType = passType;
    int* stored = passType == TPasswordsType::ptBcrypt ? &list.BcryptCost
                  : IsSlowPassType(passType)           ? &list.ShaRounds
                                                       : nullptr;
    if (stored != nullptr) {
        changed = changed || *stored != param;
        *stored = param;
    }
    return changed;
}

std::vector<const TUserProp*> PasswordFileEntries(const TUserList& list) {
    const size_t count = static_cast<size_t>(list.Count());
    const auto login = [&](size_t i) -> std::string_view {
        return list.Users(static_cast<int>(i)).Login;
    };

    // Byte order, never the locale: the file must come out the same on every machine, or no
    // comparison of two exports could tell what changed. Logins equal once folded end up side
    // by side; which of them stands depends only on database order.
    //
    // A database whose users are in file order already (as sorted lists are saved) needs no
    // sort: one pass tells.
    bool sorted = true;
    for (size_t i = 1; i < count && sorted; ++i)
        sorted = CompareAscii(login(i - 1), login(i)) <= 0;
    // Otherwise the first eight folded bytes of each login, big-endian and padded with zeros,
    // order the logins as their whole folded bytes do wherever they differ; only a tie reads
    // the logins themselves.
    struct TKey {
        uint64_t Prefix;
        uint32_t Index;
    };
    std::vector<TKey> keys(count);
    for (size_t i = 0; i < count; ++i) {
        uint64_t prefix = 0;
        if (!sorted) {
            const std::string_view bytes = login(i);
            for (size_t k = 0; k < 8; ++k)
                prefix = prefix << 8 |
                         (k < bytes.size() ? static_cast<unsigned char>(AsciiLower(bytes[k])) : 0U);
        }
        keys[i] = {prefix, static_cast<uint32_t>(i)};
    }
    if (!sorted)
        std::sort(keys.begin(), keys.end(), [&](const TKey& a, const TKey& b) {
            if (a.Prefix != b.Prefix) return a.Prefix < b.Prefix;
            if (const int c = CompareAscii(login(a.Index), login(b.Index)); c != 0) return c < 0;
            return a.Index < b.Index;
        });

    std::vector<const TUserProp*> entries;
    entries.reserve(count);
    for (size_t k = 0; k < count;) {
        // The last in database order of a run of namesakes stands for all of them.
        uint32_t last = keys[k].Index;
        size_t next = k + 1;
        for (; next < count && keys[next].Prefix == keys[k].Prefix &&
               CompareAscii(login(keys[next].Index), login(keys[k].Index)) == 0;
             ++next)
            last = std::max(last, keys[next].Index);
        entries.push_back(&list.Users(static_cast<int>(last)));
        k = next;
    }
    return entries;
}

std::optional<TPasswordEntries> BuildPasswordEntries(const TUserList& list,
                                                     const THashScheme& scheme,
                                                     const TPasswordFileOptions& options) {
    if (scheme.IsDatabaseForm()) CheckFormKeepsHashes(list, scheme.Id);
    CheckRealm(scheme, options.Realm);
    const auto entries = PasswordFileEntries(list);
    TEntryCheck check = CheckEntries(list, entries, scheme, options);
    if (options.Report != nullptr) ReportNamesakes(list, entries, *options.Report);
    if (!check.Unsafe.empty()) throw EUnsafeUsers(UnsafeMessage(std::move(check.Unsafe)));
    if (check.BrokenHash != nullptr)
        throw EQuorvaneError(Msg(texts::StoredHashBreaksLine, check.BrokenHash->Login));
    // Every one named: each needs a new password (or another form) before the export can go.
    if (!check.HashOnlyNames.empty())
        throw EQuorvaneError(scheme.StoresClearText()
                                 ? Msg(texts::PlainTextHashOnly,
                                       Names(check.HashOnlyNames, check.HashOnlyNames.size()))
                                 : Msg(texts::FormHashOnly, scheme.DisplayMessage(),
                                       Names(check.HashOnlyNames, check.HashOnlyNames.size())));
    if (!options.AllowEmptyPasswords && !check.EmptyLogins.empty())
        throw EEmptyPasswords(std::move(check.EmptyLogins));
    const int param = options.SchemeParam.value_or(FormParam(list, scheme));
    // Bounds first: a parameter out of range fails before any progress, not at the first hash.
    if (scheme.Param != nullptr && (param < scheme.Param->Min || param > scheme.Param->Max))
        throw EQuorvaneError(scheme.ParamRangeMessage());
    TBufferedSecureRandom secure;
    IRandomSource& random = options.Random ? *options.Random : secure;
    const size_t count = entries.size();

    // Users whose inputs did not change since the last export keep their hash: by the cache's
    // keyed tags, and a fast form's entries without one by hashing again with the remembered
    // salt.
    const bool slow = scheme.Keyed;
    const std::string form(scheme.StoredName);
    THashCache* cache = scheme.StoresClearText() || scheme.HashForUser != nullptr ||
                                !options.Cache || (slow && !options.Cache->Keyed())
                            ? nullptr
                            : options.Cache;
    TPasswordFileStats stats;
    std::vector<size_t> toHash;

    // No value is copied per user: a stored one is read where it lies (the user, the cache's
    // table of this export, which never moves), one made now goes into that table, or without
    // a cache into the arena.
    TPasswordEntries built;
    std::vector<TPasswordEntry>& out = built.Entries;
    TValueArena& arena = built.Values;
    out.reserve(check.Written);
    if (cache != nullptr) cache->Expect(check.Written);
    std::vector<const TUserProp*> chunkUsers;
    std::vector<std::string_view> passwords;
    std::vector<std::string> settings;
    std::vector<std::string_view> hashes;
    std::vector<const TUserProp*> windowUsers; // of the fast forms' window, as written
    std::vector<size_t> unknown;               // of windowUsers: those the tags did not confirm
    std::vector<std::string> computed;         // their hashes
    std::vector<bool> remembered;              // whose setting is the remembered hash
    std::vector<std::optional<THashCache::THit>> hits; // of windowUsers: what the tags confirmed
    size_t nextHash = 0; // the hash of the next enabled user of the window
    for (size_t start = 0; start < count; start += KProgressStep) {
        if (options.Progress) {
            options.Progress->Entries(start, count);
            if (options.Progress->CancelRequested()) return std::nullopt;
        }
        const size_t end = std::min(count, start + KProgressStep);
        chunkUsers.clear();
        for (size_t i = start; i < end; ++i) {
            Prefetch(entries, i + KAhead);
            if (Written(*entries[i], options)) chunkUsers.push_back(entries[i]);
        }

        if (scheme.StoresClearText()) {
            for (const TUserProp* user : chunkUsers)
                out.push_back({user, user->Password});
            continue;
        }
        if (scheme.HashForUser != nullptr) { // hash-only users were refused above
            for (const TUserProp* user : chunkUsers)
                out.push_back({user, arena.Keep(scheme.HashForUser(user->Login, options.Realm,
                                                                   user->Password))});
            continue;
        }
        if (slow) {
            // A cached hash for every user whose inputs are unchanged; settings for the others
            // in file order on this thread, the hashing on every processor.
            hashes.assign(chunkUsers.size(), std::string_view());
            hits.assign(chunkUsers.size(), std::nullopt);
            toHash.clear();
            passwords.clear();
            settings.clear();
            for (size_t k = 0; k < chunkUsers.size(); ++k) {
                const TUserProp* user = chunkUsers[k];
                if (user->HashOnly()) {
                    hashes[k] = user->PasswordHash(); // taken over unchanged
                } else if (cache != nullptr &&
                           (hits[k] = cache->Find(form, param, user->Login, user->Password))) {
                    hashes[k] = hits[k]->Hash;
                    ++stats.Reused;
                } else {
                    toHash.push_back(k);
                    passwords.emplace_back(user->Password);
                    settings.push_back(scheme.MakeSetting(random, param));
                }
            }
            std::vector<std::string> fresh;
            scheme.HashBatch(passwords, settings, fresh, options.Threads);
            stats.Hashed += fresh.size();
            for (size_t j = 0; j < toHash.size(); ++j)
                hashes[toHash[j]] = cache ? std::string_view(fresh[j]) : arena.Keep(fresh[j]);
            for (size_t k = 0; k < chunkUsers.size(); ++k) {
                const TUserProp* user = chunkUsers[k];
                if (hits[k])
                    hashes[k] = cache->Keep(user->Login, *hits[k]);
                else if (!user->HashOnly() && cache)
                    hashes[k] = cache->Put(form, param, user->Login, user->Password, hashes[k]);
                out.push_back({user, hashes[k]});
            }
            continue;
        }
        // Salts in file order on this thread; only the hashing spreads over the processors.
        if (start % KHashWindow == 0) {
            passwords.clear();
            settings.clear();
            windowUsers.clear();
            remembered.clear();
            hashes.clear();
            hits.clear();
            unknown.clear();
            for (size_t i = start; i < std::min(count, start + KHashWindow); ++i) {
                Prefetch(entries, i + KAhead);
                const TUserProp* user = entries[i];
                if (!Written(*user, options) || user->HashOnly()) continue;
                windowUsers.push_back(user);
                hits.push_back(cache ? cache->Find(form, param, user->Login, user->Password)
                                     : std::nullopt);
                if (hits.back()) {
                    hashes.push_back(hits.back()->Hash);
                    ++stats.Reused;
                    continue;
                }
                hashes.emplace_back();
                unknown.push_back(windowUsers.size() - 1);
                passwords.emplace_back(user->Password);
                const std::string* old = cache ? cache->Remembered(user->Login) : nullptr;
                remembered.push_back(old != nullptr && SchemeOfHash(*old) == &scheme);
                settings.push_back(remembered.back() ? *old : scheme.MakeSetting(random, param));
            }
            HashAll(scheme, passwords, settings, computed, options.Threads);
            // A remembered salt that no longer gives the remembered hash: the password changed,
            // and a changed password gets a fresh salt.
            toHash.clear();
            for (size_t j = 0; j < computed.size(); ++j) {
                stats.Rehashed += remembered[j] ? 1 : 0;
                if (remembered[j] && computed[j] == settings[j])
                    ++stats.Reused;
                else if (remembered[j])
                    toHash.push_back(j);
                else
                    ++stats.Hashed;
            }
            if (!toHash.empty()) {
                std::vector<std::string_view> again;
                std::vector<std::string> againSettings, againHashes;
                for (size_t j : toHash) {
                    again.push_back(passwords[j]);
                    againSettings.push_back(scheme.MakeSetting(random, param));
                }
                HashAll(scheme, again, againSettings, againHashes, options.Threads);
                for (size_t k = 0; k < toHash.size(); ++k)
                    computed[toHash[k]] = std::move(againHashes[k]);
                stats.Hashed += toHash.size();
            }
            for (size_t j = 0; j < unknown.size(); ++j)
                hashes[unknown[j]] =
                    cache ? std::string_view(computed[j]) : arena.Keep(computed[j]);
            if (cache)
                for (size_t j = 0; j < hashes.size(); ++j) {
                    Prefetch(windowUsers, j + KAhead);
                    if (hits[j])
                        hashes[j] = cache->Keep(windowUsers[j]->Login, *hits[j]);
                    else
                        hashes[j] = cache->Put(form, param, windowUsers[j]->Login,
                                               windowUsers[j]->Password, hashes[j]);
                }
            nextHash = 0;
        }
        for (const TUserProp* user : chunkUsers)
            out.push_back({user, user->HashOnly() ? std::string_view(user->PasswordHash())
                                                  : hashes[nextHash++]});
    }
    if (options.Stats) *options.Stats = stats;
    return built;
}

std::string_view TValueArena::Keep(std::string_view bytes) {
    // Blocks of 1 MiB, or one of its own for a value longer than that.
    constexpr size_t KBlock = size_t{1} << 20;
    if (FBlocks.empty() || FSize - FUsed < bytes.size()) {
        FSize = std::max(KBlock, bytes.size());
        FBlocks.push_back(std::make_unique_for_overwrite<char[]>(FSize));
        FUsed = 0;
    }
    char* at = FBlocks.back().get() + FUsed;
    std::copy(bytes.begin(), bytes.end(), at);
    FUsed += bytes.size();
    return {at, bytes.size()};
}

std::optional<std::string> BuildPasswordFile(const TUserList& list, TPasswordsType passType,
                                             const TPasswordFileOptions& options) {
    TPasswordFileOptions file = options;
    if (file.Form == nullptr) file.Form = &SchemeOf(passType);
    return BuildConsumerFile(list, options.Consumer ? *options.Consumer : HtpasswdConsumer(), file);
}

std::string PasswordFileText(const TUserList& list, const std::vector<TPasswordEntry>& entries,
                             std::string_view eol) {
    size_t size = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        PrefetchLogin(entries, i + KAhead);
        size += entries[i].User->Login.size() + 1 + entries[i].Value.size() + eol.size();
    }
    std::string text;
    text.reserve(size);
    for (size_t i = 0; i < entries.size(); ++i) {
        PrefetchLogin(entries, i + KAhead);
        AppendLine(text, eol, list, *entries[i].User, entries[i].Value);
    }
    return text;
}

std::string_view PasswordFileLineEnd(const TUserList& list, const TPasswordFileOptions& options) {
    return options.UnixLineEnds.value_or(list.UnixLineEnds) ? "\n" : "\r\n";
}

bool CreatePasswordFile(const std::string& fileName, const TUserList& list, TPasswordsType passType,
                        const TPasswordFileOptions& options) {
    CheckExportTarget(fileName, options.DatabasePath);
    const std::optional<std::string> text = BuildPasswordFile(list, passType, options);
    if (!text) return false;
    const TWriteReport report = WriteFileAtomically(fileName, *text, 0644);
    if (options.Warnings != nullptr)
        options.Warnings->insert(options.Warnings->end(), report.Warnings.begin(),
                                 report.Warnings.end());
    return true;
}

} // namespace quorvane
