#include "export/HtpasswdImport.h"

#include "base/Errors.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

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

[[noreturn]] void BadLine(int line, const std::string& why) {
    throw EQuorvaneError(FormatMessage("Line %d of the password file ", line) + why +
                         "; nothing was imported");
}

} // namespace

std::vector<THtpasswdEntry> ParseHtpasswd(std::string_view text) {
    std::vector<THtpasswdEntry> entries;
    int number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (IsBlankLine(line) && line.find('\0') == std::string_view::npos) continue;
        if (IsComment(line)) continue;

        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) BadLine(number, "is not login:password");
        THtpasswdEntry entry;
        entry.Line = number;
        entry.Login = std::string(line.substr(0, colon));
        std::string_view value = line.substr(colon + 1);
        value = value.substr(0, value.find(':'));
        if (value.empty()) BadLine(number, "has no password after the colon");
        const std::string loginError = LoginError(entry.Login);
        if (!loginError.empty()) BadLine(number, "has a login that cannot be used: " + loginError);
        for (unsigned char c : value)
            if (c < 32) BadLine(number, "holds a control character in its password");
        entry.Value = std::string(value);
        entry.Scheme = IdentifyStoredHash(entry.Value);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<THtpasswdEntry> ReadHtpasswdFile(const std::string& fileName) {
    struct stat info {};
    std::ifstream in(fileName, std::ios::binary);
    if (!in || ::stat(fileName.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        throw EQuorvaneError(FormatMessage("Cannot open file %s", fileName.c_str()));
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw EQuorvaneError("Stream read error");
    return ParseHtpasswd(content.str());
}

THtpasswdImportResult ImportHtpasswd(TUserList& list, const std::vector<THtpasswdEntry>& entries,
                                     const THtpasswdConflict& replace) {
    THtpasswdImportResult result;
    auto give = [&](TUserProp& user, const THtpasswdEntry& entry) {
        if (entry.Scheme == TStoredScheme::PlainText)
            user.SetPassword(entry.Value);
        else {
            user.Password.clear();
            user.SetPasswordHash(entry.Value);
        }
        if (IsWeakScheme(entry.Scheme)) ++result.Weak;
    };
    std::vector<const THtpasswdEntry*> seen;
    const int before = list.Count();
    for (const THtpasswdEntry& entry : entries) {
        bool repeated = false;
        for (const THtpasswdEntry* earlier : seen)
            repeated = repeated || SameLoginFolded(earlier->Login, entry.Login);
        if (repeated) {
            ++result.Skipped;
            continue;
        }
        seen.push_back(&entry);

        // Only the users the database held before the import are compared: the file's own
        // namesakes were handled above.
        std::vector<TUserProp*> existing;
        for (int i = 0; i < before; ++i)
            if (SameLoginFolded(list.Users(i).Login, entry.Login))
                existing.push_back(&list.Users(i));
        if (existing.empty()) {
            give(list.Add(entry.Login, std::string()), entry);
            ++result.Added;
        } else if (replace && replace(*existing.back(), entry)) {
            for (TUserProp* user : existing)
                give(*user, entry);
            ++result.Replaced;
        } else {
            ++result.Skipped;
        }
    }
    return result;
}

std::string HtpasswdImportReport(const THtpasswdImportResult& r) {
    std::string text = std::to_string(r.Added) + (r.Added == 1 ? " user" : " users") + " added, " +
                       std::to_string(r.Replaced) + " replaced, " + std::to_string(r.Skipped) +
                       " skipped.";
    if (r.Weak > 0)
        text += " " + std::to_string(r.Weak) + (r.Weak == 1 ? " of them uses" : " of them use") +
                " a weak scheme (SHA-1, DES crypt or plain text): set new passwords for " +
                (r.Weak == 1 ? "it." : "them.");
    return text;
}

} // namespace quorvane
