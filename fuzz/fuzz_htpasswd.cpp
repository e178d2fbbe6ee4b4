// The password file parser of the import: every input parses or is refused (naming a line, or as
// no password file at all); what parses holds only usable logins and values, each of the scheme
// its form tells; merging it into a list gives one user per distinct login whichever way the
// clashes go, and no value but a "{PLAIN}" one ever becomes a clear password.

#include "base/Errors.h"
#include "export/HtpasswdImport.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<THtpasswdEntry> entries;
    try {
        entries = ParseHtpasswd(text);
    } catch (const EQuorvaneError& e) {
        const std::string_view what(e.what());
        if (what.substr(0, 5) != "Line " && !what.starts_with("The file does not look like"))
            std::abort();
        return 0;
    }
    size_t plain = 0;
    for (const THtpasswdEntry& entry : entries) {
        if (!LoginErrorMessage(entry.Login).Empty() || entry.Value.size() > KMaxPasswordBytes ||
            entry.Value.find(':') != std::string::npos ||
            entry.Scheme != IdentifyStoredHash(entry.Value))
            std::abort();
        for (unsigned char c : entry.Value)
            if (c < 32) std::abort();
        if (entry.Scheme == TStoredScheme::PlainText) ++plain;
    }
    const size_t clashes = FindHtpasswdClashes(TUserList(), entries).size();
    for (const bool replace : {false, true}) {
        TUserList list;
        const THtpasswdImportResult result =
            ImportHtpasswd(list, entries, [&](const THtpasswdClash&) { return replace; });
        if (result.Added != list.Count() ||
            static_cast<size_t>(result.Added) + clashes != entries.size() ||
            static_cast<size_t>(replace ? result.Replaced : result.Skipped) != clashes ||
            (replace ? result.Skipped : result.Replaced) != 0)
            std::abort();
        size_t clear = 0;
        for (int i = 0; i < list.Count(); ++i)
            if (!list.Users(i).HashOnly()) ++clear;
        if (clear > plain) std::abort();
    }
    return 0;
}
