// The template of the credentials mails: whatever it holds, a mail made from it has header
// names of printable ASCII only, and no header value with a line break or another control
// character; what cannot be made so is refused.

#include "base/Errors.h"
#include "userdb/Credentials.h"
#include "userdb/UserList.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quorvane;

namespace {

bool Printable(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    TUserList list;
    TUserProp& user = list.Add("ann", "=pw\r\n");
    user.FullName = "Ann \"A\" Example";
    user.Email = "ann@example.org";
    try {
        const TCredentialsTemplate tmpl = ParseCredentialsTemplate(text);
        for (const TCredentialsMail& mail : MakeCredentialsMails(tmpl, {&user}, "https://site/")) {
            if (!Printable(mail.Subject) || !Printable(mail.To)) std::abort();
            for (const auto& [name, value] : mail.Headers) {
                if (name.empty() || !Printable(value)) std::abort();
                for (const char c : name)
                    if (c < 33 || c > 126 || c == ':') std::abort();
            }
            for (const char c : CredentialsMailto(mail))
                if (static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127)
                    std::abort();
        }
    } catch (const EQuorvaneError&) {
        // Refused, naming the line or the user.
    }
    return 0;
}
