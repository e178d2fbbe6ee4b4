#include "userdb/CSVImport.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "userdb/LoginRule.h"
#include "userdb/UserDbTexts.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace quorvane {

namespace {

bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

char SeparatorChar(TImportSeparator separator) {
    switch (separator) {
    case TImportSeparator::Comma:
        return ',';
    case TImportSeparator::Semicolon:
        return ';';
    case TImportSeparator::Tab:
        return '\t';
    case TImportSeparator::TextRules:
    case TImportSeparator::Blank:
        break;
    }
    return ' ';
}

bool HasBlank(const std::string& text) {
    return std::any_of(text.begin(), text.end(), IsBlank);
}

// The names a spreadsheet's first row gives the columns of a users list, folded to lower case
// without blanks, "-", "_" and ".". Strong names are never a password anyone would choose;
// the short ones ("pw", "user") only count in a first row that looks like a header.
std::string FoldedName(const std::string& field) {
    std::string folded;
    for (const char c : field)
        if (!IsBlank(c) && c != '-' && c != '_' && c != '.') folded += c;
    return ToAsciiLower(folded);
}

bool IsStrongColumnName(const std::string& field) {
    static const std::unordered_set<std::string> KNames = {
        "login",       "loginname", "username",     "userid",      "benutzer", "benutzername",
        "anmeldename", "fullname",  "realname",     "password",    "passwort", "kennwort",
        "passwd",      "email",     "emailaddress", "emailadresse"};
    return KNames.count(FoldedName(field)) != 0;
}

bool IsColumnName(const std::string& field) {
    static const std::unordered_set<std::string> KShort = {
        "user", "name",    "account",  "pass",      "pw",      "pwd",
        "mail", "vorname", "nachname", "firstname", "lastname"};
    return IsStrongColumnName(field) || KShort.count(FoldedName(field)) != 0;
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

namespace {

// Appends to field the text of a quoted field whose opening quote stands before pos ("" is one
// quote); returns the position after the closing quote, or the line's end when it has none.
size_t ReadQuoted(std::string_view line, size_t pos, std::string& field) {
    while (pos < line.size()) {
        if (line[pos] == '"') {
            if (pos + 1 < line.size() && line[pos + 1] == '"') {
                field += '"';
                pos += 2;
                continue;
            }
            return pos + 1; // the closing quote
        }
        field += line[pos++];
    }
    return pos;
}

} // namespace

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
            pos = ReadQuoted(line, pos + 1, field);
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

std::vector<std::string> SplitImportFields(std::string_view line, TImportSeparator separator) {
    if (separator == TImportSeparator::TextRules) return SplitImportFields(line);
    const size_t nul = line.find('\0');
    if (nul != std::string_view::npos) line = line.substr(0, nul);
    const char sep = SeparatorChar(separator);
    const bool runs = separator == TImportSeparator::Blank;
    // Blanks around a field; a tab separator is no blank here.
    const auto skippable = [&](char c) { return IsBlank(c) && (runs || c != sep); };

    std::vector<std::string> fields;
    size_t pos = 0;
    const size_t end = line.size();
    const auto skipBlanks = [&] {
        while (pos < end && skippable(line[pos]))
            ++pos;
    };
    skipBlanks();
    if (pos == end) return fields; // a blank line
    for (;;) {
        std::string field;
        bool quoted = false;
        if (pos < end && line[pos] == '"') {
            quoted = true;
            pos = ReadQuoted(line, pos + 1, field);
        }
        // Up to the separator; what follows a closing quote belongs to the field too.
        const size_t first = pos;
        while (pos < end && (runs ? !IsBlank(line[pos]) : line[pos] != sep))
            ++pos;
        std::string rest(line.substr(first, pos - first));
        if (!runs)
            while (!rest.empty() && skippable(rest.back()))
                rest.pop_back();
        if (!quoted || !rest.empty()) field += rest;
        fields.push_back(std::move(field));
        if (runs) {
            skipBlanks();
            if (pos == end) break;
            continue;
        }
        if (pos == end) break;
        ++pos; // the separator
        skipBlanks();
        if (pos == end) {
            fields.emplace_back(); // a trailing separator ends an empty last field
            break;
        }
    }
    return fields;
}

bool TImportAnalysis::SeparatorMissed() const {
    return Separator == TImportSeparator::TextRules && Found == TImportSeparator::Semicolon;
}

std::vector<int> TImportAnalysis::ProblemLines() const {
    std::vector<int> lines;
    for (const TImportLineProblem& p : Problems)
        if (lines.empty() || lines.back() != p.Line) lines.push_back(p.Line);
    return lines;
}

TImportAnalysis AnalyseImport(std::string_view text, TImportSeparator separator) {
    TImportAnalysis analysis;
    analysis.Separator = separator;
    const std::vector<std::string> lines = SplitImportLines(text);
    std::vector<std::vector<std::string>> rows(lines.size());
    bool allTab = true, allSemicolon = true, allComma = true, any = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        rows[i] = SplitImportFields(lines[i], separator);
        if (rows[i].empty()) continue;
        any = true;
        const std::string_view line = lines[i];
        allTab = allTab && line.find('\t') != std::string_view::npos;
        allSemicolon = allSemicolon && line.find(';') != std::string_view::npos;
        allComma = allComma && line.find(',') != std::string_view::npos;
    }
    if (!any) return analysis;
    analysis.Found = allTab         ? TImportSeparator::Tab
                     : allSemicolon ? TImportSeparator::Semicolon
                     : allComma     ? TImportSeparator::Comma
                                    : TImportSeparator::TextRules;
    if (!rows.empty() && rows[0].size() >= 2 && IsColumnName(rows[0][0]) &&
        IsColumnName(rows[0][1]))
        analysis.HeaderLine = 1;

    // The usual number of fields: the one most lines have (the smaller one on a tie).
    std::map<size_t, int> counts;
    for (size_t i = 0; i < rows.size(); ++i)
        if (!rows[i].empty() && static_cast<int>(i) + 1 != analysis.HeaderLine)
            ++counts[rows[i].size()];
    size_t usual = 0;
    int most = 0;
    for (const auto& [n, count] : counts)
        if (count > most) {
            usual = n;
            most = count;
        }
    analysis.UsualFields = static_cast<int>(usual);

    const bool byCharacter = separator != TImportSeparator::TextRules;
    // Read by the text rules, a file whose lines all hold a comma (or a tab) is a spreadsheet's:
    // its login is what comes before the first one.
    const bool spreadsheet = !byCharacter && (analysis.Found == TImportSeparator::Comma ||
                                              analysis.Found == TImportSeparator::Tab);
    std::unordered_map<std::string, int> firstLine; // folded login -> its first line
    std::unordered_set<int> namedFirst;
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string>& fields = rows[i];
        const int line = static_cast<int>(i) + 1;
        if (fields.empty() || line == analysis.HeaderLine) continue;
        const auto add = [&](TImportProblem problem, int other = 0) {
            analysis.Problems.push_back({line, problem, other});
        };
        // By the text rules lines may leave out the last fields, and up to four are used.
        if (fields.size() > usual && (byCharacter || fields.size() > 4))
            add(TImportProblem::MoreFields);
        if (fields.size() < usual && byCharacter) add(TImportProblem::FewerFields);
        const std::string login =
            spreadsheet ? SplitImportFields(lines[i], analysis.Found).front() : fields[0];
        if ((byCharacter || spreadsheet) && HasBlank(login)) add(TImportProblem::BlankInLogin);
        if (fields.size() > 1 && IsStrongColumnName(fields[1])) add(TImportProblem::ColumnName);
        const auto [at, isNew] = firstLine.emplace(ToAsciiUpper(fields[0]), line);
        if (!isNew) {
            add(TImportProblem::DuplicateLogin, at->second);
            // The first line is named too, once, pointing at its first namesake.
            if (namedFirst.insert(at->second).second)
                analysis.Problems.push_back({at->second, TImportProblem::DuplicateLogin, line});
        }
    }
    std::stable_sort(
        analysis.Problems.begin(), analysis.Problems.end(),
        [](const TImportLineProblem& a, const TImportLineProblem& b) { return a.Line < b.Line; });
    return analysis;
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
    const std::unordered_set<int> skip(options.SkipLines.begin(), options.SkipLines.end());
    for (size_t i = 0; i < lines.size(); ++i) {
        if (skip.count(static_cast<int>(i) + 1) != 0) {
            ++result.SkippedLines;
            continue; // rows[i] stays empty: neither checked nor added
        }
        rows[i] = SplitImportFields(lines[i], options.Separator);
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
        if (skip.count(static_cast<int>(i) + 1) != 0) continue;
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

std::vector<std::string> ExistingImportLogins(std::string_view text, const TUserList& list,
                                              const TImportOptions& options) {
    std::unordered_set<std::string> known;
    for (int i = 0; i < list.Count(); ++i)
        known.insert(ToAsciiUpper(list.Users(i).Login));
    const std::unordered_set<int> skip(options.SkipLines.begin(), options.SkipLines.end());
    std::vector<std::string> existing;
    int number = 0;
    for (const std::string& line : SplitImportLines(text)) {
        if (skip.count(++number) != 0) continue;
        const std::vector<std::string> fields = SplitImportFields(line, options.Separator);
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
