// The password file parser of the import: every input parses or is refused naming a line; what
// parses holds only usable logins and values, each of the scheme its form tells, and merging it
// into a list (every conflict replaced) gives one user per distinct login.

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
        if (std::string_view(e.what()).substr(0, 5) != "Line ") std::abort();
        return 0;
    }
    for (const THtpasswdEntry& entry : entries) {
        if (!LoginError(entry.Login).empty() || entry.Value.empty() ||
            entry.Value.find(':') != std::string::npos ||
            entry.Scheme != IdentifyStoredHash(entry.Value))
            std::abort();
        for (unsigned char c : entry.Value)
            if (c < 32) std::abort();
    }
    TUserList list;
    const THtpasswdImportResult result =
        ImportHtpasswd(list, entries, [](const TUserProp&, const THtpasswdEntry&) { return true; });
    if (result.Added != list.Count() || result.Replaced != 0 ||
        result.Added + result.Skipped != static_cast<int>(entries.size()))
        std::abort();
    return 0;
}
