// Every multi-buffer path the processor has must give, for any batch of passwords and salts,
// exactly the one-user "$apr1$" result. The input is a list of users: a length byte and that many
// password bytes, then a length byte and that many salt bytes, repeated.

#include "export/Md5Multi.h"
#include "export/htpasswd.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace quorvane;

namespace {

std::string Take(const uint8_t*& data, size_t& size, size_t want) {
    const size_t n = want < size ? want : size;
    std::string text(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> passwords, salts;
    while (size > 0 && passwords.size() < 33) {
        const size_t length = *data++;
        --size;
        passwords.push_back(Take(data, size, length));
        const size_t saltLength = size > 0 ? (--size, *data++ % 16) : 8;
        salts.push_back(Take(data, size, saltLength));
    }
    const std::vector<std::string_view> views(passwords.begin(), passwords.end());

    std::vector<std::string> expected(passwords.size());
    for (size_t k = 0; k < passwords.size(); ++k)
        expected[k] = Apr1CryptWithSalt(passwords[k], salts[k]);

    for (TLanePath path :
         {TLanePath::Scalar, TLanePath::Generic, TLanePath::Avx2, TLanePath::Avx512}) {
        if (!Md5Paths().Available(path)) continue;
        std::vector<std::string> results(passwords.size());
        Apr1CryptMulti(views, salts, results, path);
        for (size_t k = 0; k < passwords.size(); ++k)
            if (results[k] != expected[k]) {
                std::fprintf(stderr, "%s path, user %zu (%zu password bytes): %s instead of %s\n",
                             LanePathName(path), k, passwords[k].size(), results[k].c_str(),
                             expected[k].c_str());
                std::abort();
            }
    }
    return 0;
}
