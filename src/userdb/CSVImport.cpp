#include "userdb/CSVImport.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "userdb/LoginRule.h"
#include "userdb/UserDbTexts.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <unordered_set>

namespace quorvane {

namespace {

bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

} // namespace

std::vector<std::string> SplitImportLines(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);

    std::vector<std::string> lines;
    size_t start = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c != '\r' && c != '\n') {
            ++pos;
            continue;
        }
        lines.emplace_back(text.substr(start, pos - start));
        ++pos;
        if (c == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
        start = pos;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::vector<std::string> SplitImportFields(std::string_view line) {
    const size_t nul = line.find('\0');
    if (nul != std::string_view::npos) line = line.substr(0, nul);

    std::vector<std::string> fields;
    size_t pos = 0;
    const size_t end = line.size();
    auto skipBlanks = [&] {
        while (pos < end && IsBlank(line[pos]))
            ++pos;
    };

    skipBlanks();
    while (pos < end) {
        std::string field;
        if (line[pos] == '"') {
            ++pos;
            while (pos < end) {
                if (line[pos] == '"') {
                    if (pos + 1 < end && line[pos + 1] == '"') {
                        field += '"';
                        pos += 2;
                        continue;
                    }
                    ++pos; // the closing quote
                    break;
                }
                field += line[pos++];
            }
        } else {
            const size_t first = pos;
            while (pos < end && !IsBlank(line[pos]) && line[pos] != ',')
                ++pos;
            field.assign(line.substr(first, pos - first));
        }
        fields.push_back(std::move(field));
        skipBlanks();
        if (pos < end && line[pos] == ',') {
            ++pos;
            skipBlanks();
        }
    }
    return fields;
}

std::string ImportField(const std::vector<std::string>& fields, int n) {
    if (n < 0 || static_cast<size_t>(n) >= fields.size()) return std::string();
    return fields[static_cast<size_t>(n)];
}

int ImportUsersFromText(std::string_view text, TUserList& list, TImportReport* report,
                        const TImportOptions& options) {
    const std::vector<std::string> lines = SplitImportLines(text);
    TImportReport result;
    // Every line is split and checked before the first user is added, so a bad line leaves the
    // list as it was.
    std::vector<std::vector<std::string>> rows(lines.size());
    std::vector<int> badLines;
    TMessage firstProblem;
    for (size_t i = 0; i < lines.size(); ++i) {
        rows[i] = SplitImportFields(lines[i]);
        if (rows[i].empty()) continue; // blank line
        const TLoginProblem problem = CheckLogin(rows[i][0]);
        if (problem == TLoginProblem::None) {
            if (TMessage tooLong = PasswordLengthMessage(ImportField(rows[i], 1)); !tooLong.Empty())
                throw EQuorvaneError(Msg(texts::ImportLineFailed, i + 1, std::move(tooLong)));
            continue;
        }
        if (badLines.empty()) firstProblem = LoginProblemMessage(problem);
        badLines.push_back(static_cast<int>(i) + 1);
    }
    if (badLines.size() == 1)
        throw EQuorvaneError(Msg(texts::ImportBadLogin, badLines.front(), std::move(firstProblem)));
    if (!badLines.empty()) {
        // The other lines by number, 20 of them at most and the rest counted.
        std::vector<std::string> others;
        others.reserve(badLines.size() - 1);
        for (size_t k = 1; k < badLines.size(); ++k)
            others.push_back(std::to_string(badLines[k]));
        throw EQuorvaneError(
            Msg(texts::ImportBadLogins, badLines.front(), std::move(firstProblem), Names(others)));
    }

    // The logins there already, folded as uniqueness is decided; the file's own join them.
    std::unordered_set<std::string> known;
    known.reserve(static_cast<size_t>(list.Count()) + rows.size());
    for (int i = 0; i < list.Count(); ++i)
        known.insert(ToAsciiUpper(list.Users(i).Login));
    result.SkippedExisting = options.SkipExisting;
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string>& fields = rows[i];
        if (fields.empty()) {
            ++result.BlankLines;
            continue;
        }
        if (!known.insert(ToAsciiUpper(fields[0])).second) {
            result.Existing.push_back(fields[0]);
            if (options.SkipExisting) continue;
        }
        TUserProp& user = list.Add(ImportField(fields, 0), ImportField(fields, 1));
        user.Email = ImportField(fields, 2);
        user.FullName = ImportField(fields, 3);
        ++result.Added;
        if (user.Password.empty()) result.NoPassword.push_back(static_cast<int>(i) + 1);
        if (LoginLooksLikeComment(user.Login))
            result.CommentLogins.push_back(static_cast<int>(i) + 1);
    }
    const int added = result.Added;
    if (report) *report = std::move(result);
    return added;
}

std::vector<std::string> ExistingImportLogins(std::string_view text, const TUserList& list) {
    std::unordered_set<std::string> known;
    for (int i = 0; i < list.Count(); ++i)
        known.insert(ToAsciiUpper(list.Users(i).Login));
    std::vector<std::string> existing;
    for (const std::string& line : SplitImportLines(text)) {
        const std::vector<std::string> fields = SplitImportFields(line);
        if (!fields.empty() && !known.insert(ToAsciiUpper(fields[0])).second)
            existing.push_back(fields[0]);
    }
    return existing;
}

std::string ReadImportFile(const std::string& fileName) {
    return ReadInputFile(fileName, true);
}

int ImportUsers(const std::string& fileName, TUserList& list, TImportReport* report,
                const TImportOptions& options) {
    // Closed again before any user is added.
    const std::string content = ReadImportFile(fileName);
    return ImportUsersFromText(content, list, report, options);
}

TMessage ExistingLoginsMessage(const TImportReport& report) {
    const size_t n = report.Existing.size();
    if (n == 0) return {};
    std::vector<std::string> names;
    names.reserve(n);
    for (const std::string& login : report.Existing)
        names.push_back(EscapeForOneLine(login));
    if (n == 1)
        return Msg(report.SkippedExisting ? texts::ExistingLoginSkipped : texts::ExistingLogin,
                   Names(names));
    return Msg(report.SkippedExisting ? texts::ExistingLoginsSkipped : texts::ExistingLogins,
               Count(n), Names(names));
}

} // namespace quorvane
