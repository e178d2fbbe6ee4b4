#include "export/HtpasswdImport.h"

#include "base/AsciiCase.h"
#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "export/ClearPasswords.h"
#include "export/ExportTexts.h"
#include "export/SiteChanges.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <unordered_map>

namespace quorvane {

namespace {

bool IsBlankLine(std::string_view line) {
    for (unsigned char c : line)
        if (c > 32) return false;
    return true;
}

bool IsComment(std::string_view line) {
    for (unsigned char c : line) {
        if (c > 32) return c == '#';
    }
    return false;
}

// "x:0:0:root:/root:/bin/bash": a number after the second colon.
bool LooksLikeSystemAccount(std::string_view line) {
    const size_t first = line.find(':');
    const size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    std::string_view third = line.substr(second + 1);
    third = third.substr(0, third.find(':'));
    if (third.empty()) return false;
    for (char c : third)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string Folded(std::string_view login) {
    return ToAsciiUpper(std::string(login));
}

// The users of each folded login: those the database held (all of its namesakes, the last one
// standing for them in the password file), or the one an earlier line made.
struct THolder {
    std::vector<TUserProp*> Users;
    int Line = 0;                          // 0: the database's
    const THtpasswdEntry* Given = nullptr; // the line whose value the users hold now
};

std::unordered_map<std::string, THolder> IndexLogins(TUserList& list) {
    std::unordered_map<std::string, THolder> index;
    index.reserve(static_cast<size_t>(list.Count()) * 2);
    for (int i = 0; i < list.Count(); ++i)
        index[Folded(list.Users(i).Login)].Users.push_back(&list.Users(i));
    return index;
}

THtpasswdClash ClashWith(const THtpasswdEntry& entry, const THolder& holder) {
    return {entry.Line, entry.Login, holder.Line, holder.Users.back()->Login};
}

TMessage EntryMessage(const THtpasswdEntry& entry) {
    return Msg(texts::HtpasswdEntry, entry.Line, entry.Login);
}

// The clashes as a list for a message: the first 20 named, the rest counted.
TMessagePart ClashList(const std::vector<THtpasswdClash>& clashes) {
    std::vector<TMessage> items;
    items.reserve(clashes.size());
    for (const THtpasswdClash& clash : clashes)
        items.push_back(HtpasswdClashMessage(clash));
    return Messages(std::move(items));
}

} // namespace

std::vector<THtpasswdEntry> ParseHtpasswd(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) throw EQuorvaneError(Msg(texts::HtpasswdBinary));
    std::vector<THtpasswdEntry> entries;
    int number = 0, systemLike = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (IsBlankLine(line) || IsComment(line)) continue;

        if (line.find(':') == std::string_view::npos)
            throw EQuorvaneError(Msg(texts::HtpasswdNotLoginPassword, number));
        // As servers read it; a line with nothing before its ":" has an empty login.
        const std::optional<TPasswordLine> read = ReadPasswordLine(line);
        THtpasswdEntry entry;
        entry.Line = number;
        entry.Login = read ? std::string(read->Login) : std::string();
        const std::string_view value = read ? read->Value : std::string_view();
        if (TMessage loginError = LoginErrorMessage(entry.Login); !loginError.Empty())
            throw EQuorvaneError(Msg(texts::HtpasswdBadLogin, number, std::move(loginError)));
        for (unsigned char c : value)
            if (c < 32) throw EQuorvaneError(Msg(texts::HtpasswdControlInPassword, number));
        if (value.size() > KMaxPasswordBytes)
            throw EQuorvaneError(Msg(texts::HtpasswdPasswordTooLong, number, KMaxPasswordBytes));
        if (LooksLikeSystemAccount(line)) ++systemLike;
        entry.Value = std::string(value);
        entry.Scheme = IdentifyStoredHash(entry.Value);
        entries.push_back(std::move(entry));
    }
    if (systemLike > 0 && static_cast<size_t>(systemLike) * 2 > entries.size())
        throw EQuorvaneError(Msg(texts::HtpasswdSystemAccounts));
    return entries;
}

std::vector<THtpasswdEntry> ReadHtpasswdFile(const std::string& fileName) {
    return ParseHtpasswd(ReadInputFile(fileName));
}

std::vector<THtpasswdClash> FindHtpasswdClashes(const TUserList& list,
                                                const std::vector<THtpasswdEntry>& entries) {
    // The login that stands for each folded one, and the line it came from (0: the database).
    std::unordered_map<std::string, std::pair<int, std::string>> index;
    index.reserve(static_cast<size_t>(list.Count() + entries.size()) * 2);
    for (int i = 0; i < list.Count(); ++i)
        index[Folded(list.Users(i).Login)] = {0, list.Users(i).Login};
    std::vector<THtpasswdClash> clashes;
    for (const THtpasswdEntry& entry : entries) {
        const auto [it, fresh] = index.try_emplace(Folded(entry.Login), entry.Line, entry.Login);
        if (!fresh)
            clashes.push_back({entry.Line, entry.Login, it->second.first, it->second.second});
    }
    return clashes;
}

THtpasswdImportResult ImportHtpasswd(TUserList& list, const std::vector<THtpasswdEntry>& entries,
                                     const THtpasswdDecision& decide,
                                     const THtpasswdImportOptions& options) {
    THtpasswdImportResult result;
    const auto give = [&](TUserProp& user, const THtpasswdEntry& entry) {
        if (entry.Scheme == TStoredScheme::PlainText)
            user.SetPassword(entry.Value.substr(7)); // after "{PLAIN}"
        else if (entry.Scheme == TStoredScheme::Unknown && options.PlainTextValues)
            user.SetPassword(entry.Value);
        else {
            user.Password.clear();
            user.SetStoredValue(entry.Value); // exactly as it was, locks included
        }
    };
    std::unordered_map<std::string, THolder> index = IndexLogins(list);
    for (const THtpasswdEntry& entry : entries) {
        THolder& holder = index[Folded(entry.Login)];
        if (holder.Users.empty()) {
            TUserProp& user = list.Add(entry.Login, std::string());
            give(user, entry);
            holder.Given = &entry;
            holder.Users.push_back(&user);
            holder.Line = entry.Line;
            ++result.Added;
            continue;
        }
        const THtpasswdClash clash = ClashWith(entry, holder);
        if (!decide || !decide(clash)) {
            result.SkippedClashes.push_back(clash);
            ++result.Skipped;
            continue;
        }
        // Every namesake gets the value, so none of them lets in with the old password; the
        // logins stay as they were.
        for (TUserProp* user : holder.Users)
            give(*user, entry);
        holder.Given = &entry;
        result.ReplacedClashes.push_back(clash);
        ++result.Replaced;
    }
    // What the users hold in the end, in file order.
    std::vector<const THtpasswdEntry*> given;
    for (const auto& [login, holder] : index)
        if (holder.Given != nullptr) given.push_back(holder.Given);
    std::sort(given.begin(), given.end(),
              [](const THtpasswdEntry* a, const THtpasswdEntry* b) { return a->Line < b->Line; });
    for (const THtpasswdEntry* entry : given) {
        const bool plain = entry->Scheme == TStoredScheme::Unknown && options.PlainTextValues;
        if (IsWeakScheme(entry->Scheme) || plain) ++result.Weak;
        if (entry->Scheme == TStoredScheme::Locked) result.Locked.push_back(*entry);
        if (entry->Scheme == TStoredScheme::Unknown && !plain) result.Unknown.push_back(*entry);
    }
    // "{PLAIN}" values and --plain-text ones are clear passwords: hashed at once in a database
    // that keeps none.
    SealClearPasswords(list);
    return result;
}

TMessage HtpasswdClashMessage(const THtpasswdClash& c) {
    if (c.OtherLine == 0) return Msg(texts::HtpasswdClashDatabase, c.Line, c.Login, c.OtherLogin);
    return Msg(texts::HtpasswdClashLine, c.Line, c.Login, c.OtherLine, c.OtherLogin);
}

std::vector<TMessage> HtpasswdImportMessages(const THtpasswdImportResult& r) {
    std::vector<TMessage> sentences;
    if (r.Added == 1)
        sentences.push_back(Msg(texts::HtpasswdAddedOne, Count(r.Replaced), Count(r.Skipped)));
    else
        sentences.push_back(
            Msg(texts::HtpasswdAdded, Count(r.Added), Count(r.Replaced), Count(r.Skipped)));
    if (r.Weak == 1) sentences.push_back(Msg(texts::HtpasswdWeakOne));
    if (r.Weak > 1) sentences.push_back(Msg(texts::HtpasswdWeak, Count(r.Weak)));
    return sentences;
}

std::string HtpasswdImportReport(const THtpasswdImportResult& r) {
    std::string text;
    for (const TMessage& sentence : HtpasswdImportMessages(r))
        text += EnglishText(sentence);
    return text;
}

std::vector<TMessage> HtpasswdImportNoteMessages(const THtpasswdImportResult& r) {
    std::vector<TMessage> notes;
    if (!r.SkippedClashes.empty())
        notes.push_back(Msg(texts::HtpasswdSkippedClashes, ClashList(r.SkippedClashes)));
    if (!r.ReplacedClashes.empty())
        notes.push_back(Msg(texts::HtpasswdReplacedClashes, ClashList(r.ReplacedClashes)));
    // 20 entries named at most, the rest counted.
    const auto entries = [](const std::vector<THtpasswdEntry>& list, bool tagged) {
        std::vector<TMessage> items;
        items.reserve(list.size());
        for (const THtpasswdEntry& entry : list)
            items.push_back(tagged ? Msg(texts::HtpasswdEntryScheme, entry.Line, entry.Login,
                                         UnknownSchemeTagMessage(entry.Value))
                                   : EntryMessage(entry));
        return Messages(std::move(items));
    };
    if (!r.Locked.empty()) notes.push_back(Msg(texts::HtpasswdLocked, entries(r.Locked, false)));
    if (!r.Unknown.empty())
        notes.push_back(Msg(texts::HtpasswdUnknownKept, entries(r.Unknown, true)));
    return notes;
}

std::string HtpasswdImportNotes(const THtpasswdImportResult& r) {
    return EnglishLines(HtpasswdImportNoteMessages(r));
}

std::string HtpasswdClashList(const std::vector<THtpasswdClash>& clashes) {
    constexpr size_t KNamed = 20;
    std::string text;
    for (size_t i = 0; i < clashes.size() && i < KNamed; ++i)
        text += (i > 0 ? ", " : "") + EnglishText(HtpasswdClashMessage(clashes[i]));
    if (clashes.size() <= KNamed) return text;
    return EnglishText(Msg(texts::NamesMore, text, Count(clashes.size() - KNamed)));
}

} // namespace quorvane
