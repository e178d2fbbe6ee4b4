// Every multi-buffer SHA-crypt path the processor has must give, for any batch of passwords and
// settings, exactly what the system's crypt (crypt_rn) gives, and must accept exactly the
// settings crypt accepts. The input is a list of users: a length byte and that many password
// bytes, a shape byte (bit 0: SHA-256 or SHA-512; bit 1: "rounds=" from the next byte as 1000
// plus up to 63; bit 2: "rounds=" written from raw input bytes instead), then a length byte and
// that many salt bytes, taken as they come (any byte, so the refusals are exercised too).

#include "export/ShaMulti.h"

#include <crypt.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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

uint8_t Byte(const uint8_t*& data, size_t& size) {
    if (size == 0) return 0;
    --size;
    return *data++;
}

// crypt_rn's result, or "" when it refuses.
std::string Crypt(const std::string& password, const std::string& setting) {
    static const std::unique_ptr<crypt_data> area = std::make_unique<crypt_data>();
    const char* out = crypt_rn(password.c_str(), setting.c_str(), area.get(), sizeof *area);
    return out == nullptr || out[0] == '*' ? std::string() : std::string(out);
}

[[noreturn]] void Fail(const char* what, const std::string& setting, const std::string& got,
                       const std::string& expected) {
    std::fprintf(stderr, "%s: setting \"%s\": %s instead of %s\n", what, setting.c_str(),
                 got.c_str(), expected.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> passwords, settings, expected;
    int slow = 0;
    while (size > 0 && passwords.size() < 10) {
        std::string password = Take(data, size, Byte(data, size));
        // crypt reads a C string; a zero byte is refused before crypt is asked.
        for (char& c : password)
            if (c == '\0') c = '\x01';
        const uint8_t shape = Byte(data, size);
        std::string setting = (shape & 1) != 0 ? "$5$" : "$6$";
        if ((shape & 4) != 0)
            setting += "rounds=" + Take(data, size, Byte(data, size) % 12);
        else if ((shape & 2) != 0)
            setting += "rounds=" + std::to_string(1000 + (Byte(data, size) & 63)) + "$";
        setting += Take(data, size, Byte(data, size) % 24);

        TShaSetting parsed;
        const bool accepted = ParseShaSetting(setting, parsed);
        // Accepted settings with many rounds would make crypt slow: beyond two users at the
        // default 5,000 their verdict is taken as it is (the tests' tables check those).
        if (accepted && parsed.Rounds > 1100 && (parsed.Rounds != 5000 || slow++ >= 2)) continue;
        const std::string reference = Crypt(password, setting);
        if (accepted != !reference.empty())
            Fail(accepted ? "accepted a setting crypt refuses" : "refused a setting crypt accepts",
                 setting, accepted ? "accepted" : "refused", reference);
        if (!accepted) continue;
        passwords.push_back(password);
        settings.push_back(setting);
        expected.push_back(reference);
    }
    const std::vector<std::string_view> views(passwords.begin(), passwords.end());
    for (TLanePath path :
         {TLanePath::Scalar, TLanePath::Generic, TLanePath::Avx2, TLanePath::Avx512}) {
        if (!ShaPaths().Available(path)) continue;
        std::vector<std::string> results(passwords.size());
        ShaCryptMulti(views, settings, results, path);
        for (size_t k = 0; k < passwords.size(); ++k)
            if (results[k] != expected[k])
                Fail(LanePathName(path), settings[k], results[k], expected[k]);
    }
    return 0;
}
