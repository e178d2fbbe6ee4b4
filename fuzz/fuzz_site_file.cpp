// A site's password file, as every reader takes it: the comparison with what the database
// wrote, the import and the merge agree on each user's login and value, and no value holds the
// ":" at which the servers stop reading it.

#include "base/Errors.h"
#include "export/DatabaseState.h"
#include "export/HtpasswdImport.h"
#include "export/SiteChanges.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TSiteFile site = ParseSiteFile(text);
    std::unordered_map<std::string, std::string> first;
    for (const TSiteUser& user : site.Users) {
        if (user.Login.empty() || user.Login.find(':') != std::string::npos ||
            user.Value.find(':') != std::string::npos || user.Login.find('\n') != std::string::npos)
            std::abort();
        if (!first.emplace(user.Login, user.Value).second) std::abort(); // the first line counts
    }
    const TUserDigests digests = UserDigestsOf(text);
    if (digests.size() != site.Users.size()) std::abort();
    for (const auto& [login, value] : first)
        if (digests.at(login) != UserValueDigest(value)) std::abort();
    try {
        std::unordered_set<std::string> seen;
        for (const THtpasswdEntry& entry : ParseHtpasswd(text)) {
            const auto it = first.find(entry.Login);
            if (it == first.end()) std::abort(); // the import reads a user the check does not
            if (seen.insert(entry.Login).second && it->second != entry.Value) std::abort();
        }
    } catch (const EQuorvaneError&) {
        // Refused as a whole: not a password file the import takes.
    }
    return 0;
}
