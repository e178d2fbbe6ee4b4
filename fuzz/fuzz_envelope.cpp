// Feeds arbitrary bytes to the opener of encrypted databases, as a file whose master password is
// "pw". Every input either opens or is refused with "Wrong master password or damaged file" or
// the refusal of a key derivation beyond the bounds, raised before any derivation; nothing
// else. What opens, sealed again with the key that opened it, opens to the same text. A header
// asking for more than a cheap derivation is only checked, not opened, so that the fuzzer runs
// at its pace (the seeds ask for one pass over 8 KiB).

#include "base/Errors.h"
#include "userdb/Envelope.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace quorvane;

namespace {

uint64_t Le64(std::string_view bytes, size_t at) {
    uint64_t value = 0;
    for (size_t i = 8; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

bool StartsWith(const char* text, const char* start) {
    return std::string_view(text).rfind(start, 0) == 0;
}

[[noreturn]] void Fail(const char* what, const char* detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    (void)IsEncryptedDatabase(file);
    (void)NeedsKeyFile(file);
    const bool cheap =
        size >= KEnvelopeHeaderSize && Le64(file, 16) <= 2 && Le64(file, 24) <= 65536;
    try {
        CheckKeyDerivation(file);
        if (!cheap) return 0;
        const TOpenedEnvelope opened =
            OpenEnvelope(file, TMasterCredentials{TSecret(std::string_view("pw")), {}});
        const std::string again = opened.Key->Seal(opened.Text.View());
        if (opened.Key->Open(again).View() != opened.Text.View())
            Fail("sealed again", "does not open to the same text");
    } catch (const EQuorvaneError& e) {
        if (!StartsWith(e.what(), "Wrong master password or damaged file") &&
            !StartsWith(e.what(), "The encrypted database asks for a key derivation of"))
            Fail("unexpected message", e.what());
    }
    return 0;
}
