#pragma once
// Small helpers shared by the test programs: a temporary folder per test, whole-file I/O, the
// message of an error, and a local date from its parts.

#include "base/DateUtil.h"
#include "base/Errors.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quorvane;

// A message as its text's name and its parts, for tests to compare: "CannotOpenFile(/x/db.udx)",
// a nested message or a list in the same form ("UploadFailed(/www/.htpasswd, ServerRefused())"),
// "[a, b +3]" for a list with 3 more, "#13" for a system error.
inline std::string Signature(const TMessage& message) {
    std::string out = std::string(message.Text->Id) + "(";
    for (std::size_t i = 0; i < message.Parts.size(); ++i) {
        const TMessagePart& part = message.Parts[i];
        if (i > 0) out += ", ";
        switch (part.Kind) {
        case TMessagePart::TPartKind::Text:
            out += part.Text;
            break;
        case TMessagePart::TPartKind::Number:
        case TMessagePart::TPartKind::Count:
            out += std::to_string(part.Value);
            break;
        case TMessagePart::TPartKind::Message:
            out += part.Items.empty() ? std::string() : Signature(part.Items.front());
            break;
        case TMessagePart::TPartKind::List:
            out += "[";
            for (std::size_t k = 0; k < part.Items.size(); ++k)
                out += (k > 0 ? ", " : "") + Signature(part.Items[k]);
            if (part.Value > 0) out += " +" + std::to_string(part.Value);
            out += "]";
            break;
        case TMessagePart::TPartKind::SystemError:
            out += "#" + std::to_string(part.Value);
            break;
        }
    }
    return out + ")";
}

class TTempDir {
public:
    TTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvtest-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        FPath = pattern;
    }
    ~TTempDir() {
        std::error_code ec;
        // A test may have taken the rights away; give them back so the folder can go.
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(FPath, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return FPath; }
    std::string File(const std::string& name) const { return (FPath / name).string(); }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(FPath))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path FPath;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteWholeFile(const std::filesystem::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

// The message of the error f() throws (E: the kind of error expected), or "" when it returns.
template <class E = EQuorvaneError, class F> std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "";
}

// The Signature of the message of the error f() throws (E: the kind of error expected), or ""
// when it returns.
template <class E = EQuorvaneError, class F> std::string SignatureOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return Signature(e.Message());
    }
    return "";
}

// A local date and time from its parts.
inline TDateTime At(int year, int month, int day, int hour = 0, int minute = 0) {
    TDateParts parts;
    parts.Year = year;
    parts.Month = month;
    parts.Day = day;
    parts.Hour = hour;
    parts.Minute = minute;
    return EncodeDateTime(parts);
}

// The list's first target as its settings, to read or change in one statement:
// `First(list)->FtpHost = "h";` writes back when the statement ends.
class TFirstTargetEdit {
public:
    explicit TFirstTargetEdit(quorvane::TUserList& list)
        : FTarget(quorvane::FirstTarget(list)), FList(&list) {}
    explicit TFirstTargetEdit(const quorvane::TUserList& list)
        : FTarget(quorvane::FirstTarget(list)) {}
    ~TFirstTargetEdit() {
        if (FList != nullptr) quorvane::SetFirstTarget(*FList, FTarget);
    }
    TFirstTargetEdit(const TFirstTargetEdit&) = delete;
    TFirstTargetEdit& operator=(const TFirstTargetEdit&) = delete;
    quorvane::TTargetSettings* operator->() { return &FTarget; }
    quorvane::TTargetSettings& operator*() { return FTarget; }

private:
    quorvane::TTargetSettings FTarget;
    quorvane::TUserList* FList = nullptr; // none: read only
};
inline TFirstTargetEdit First(quorvane::TUserList& list) {
    return TFirstTargetEdit(list);
}
inline TFirstTargetEdit First(const quorvane::TUserList& list) {
    return TFirstTargetEdit(list);
}
