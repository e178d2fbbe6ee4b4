#include "userdb/CSVImport.h"

#include "base/Errors.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

// Closes a descriptor on every path out of the reader.
class TFileHandle {
public:
    explicit TFileHandle(int fd) : FFd(fd) {}
    ~TFileHandle() {
        if (FFd >= 0) ::close(FFd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

std::string ReadWholeFile(const std::string& fileName) {
    // Opening does not wait for a writer when the name is a pipe; reads below block normally.
    TFileHandle file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0)
        throw EQuorvaneError(FormatMessage("Cannot open file %s", fileName.c_str()));
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || S_ISDIR(info.st_mode))
        throw EQuorvaneError(FormatMessage("Cannot open file %s", fileName.c_str()));
    const int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
    // Others may read the file meanwhile but not write it: a writer holding a lock on it makes
    // the file unavailable, and writers that honour locks wait until it has been read.
    int locked;
    while ((locked = ::flock(file.Get(), LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0 && errno == EWOULDBLOCK)
        throw EQuorvaneError(FormatMessage("Cannot open file %s", fileName.c_str()));

    std::string content;
    if (S_ISREG(info.st_mode) && info.st_size > 0)
        content.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EQuorvaneError("Stream read error");
        }
        if (n == 0) break;
        // Nothing after a NUL byte is used, so reading stops there (a device such as
        // /dev/zero would otherwise never end).
        const auto* nul =
            static_cast<const char*>(std::memchr(buffer, '\0', static_cast<size_t>(n)));
        if (nul != nullptr) {
            content.append(buffer, static_cast<size_t>(nul - buffer));
            break;
        }
        content.append(buffer, static_cast<size_t>(n));
    }
    return content;
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

int ImportUsersFromText(std::string_view text, TUserList& list, TImportReport* report) {
    const std::vector<std::string> lines = SplitImportLines(text);
    TImportReport result;
    // Every line is split and checked before the first user is added, so a bad line leaves the
    // list as it was.
    std::vector<std::vector<std::string>> rows(lines.size());
    std::vector<int> badLines;
    std::string firstProblem;
    for (size_t i = 0; i < lines.size(); ++i) {
        rows[i] = SplitImportFields(lines[i]);
        if (rows[i].empty()) continue; // blank line
        const TLoginProblem problem = CheckLogin(rows[i][0]);
        if (problem == TLoginProblem::None) continue;
        if (badLines.empty()) firstProblem = LoginProblemText(problem);
        badLines.push_back(static_cast<int>(i) + 1);
    }
    if (!badLines.empty()) {
        std::string message =
            FormatMessage("Nothing was imported: line %d of the file holds a login that cannot be "
                          "used. %s",
                          badLines.front(), firstProblem.c_str());
        if (badLines.size() > 1) {
            message += " Other lines with such a login:";
            const size_t shown = std::min<size_t>(badLines.size(), 21);
            for (size_t k = 1; k < shown; ++k)
                message += (k > 1 ? ", " : " ") + std::to_string(badLines[k]);
            if (badLines.size() > shown)
                message += FormatMessage(" and %zu more", badLines.size() - shown);
            message += ".";
        }
        message += " Correct the file and import it again.";
        throw EQuorvaneError(message);
    }

    for (size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string>& fields = rows[i];
        if (fields.empty()) {
            ++result.BlankLines;
            continue;
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

int ImportUsers(const std::string& fileName, TUserList& list, TImportReport* report) {
    const std::string content = ReadWholeFile(fileName); // closed again before any user is added
    return ImportUsersFromText(content, list, report);
}

} // namespace quorvane
