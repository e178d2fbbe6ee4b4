#include "userdb/PasswordsType.h"

#include "base/AsciiCase.h"

namespace quorvane {

std::string_view PasswordsTypeName(TPasswordsType type) {
    switch (type) {
    case TPasswordsType::ptPlainText:
        return "ptPlainText";
    case TPasswordsType::ptMD5:
        return "ptMD5";
    case TPasswordsType::ptBcrypt:
        return "ptBcrypt";
    case TPasswordsType::ptSHA256:
        return "ptSHA256";
    case TPasswordsType::ptSHA512:
        return "ptSHA512";
    }
    return "ptMD5"; // not reached: every member has its case above
}

std::optional<TPasswordsType> PasswordsTypeFromName(std::string_view name) {
    for (TPasswordsType type : KPasswordsTypes)
        if (SameTextAscii(name, PasswordsTypeName(type))) return type;
    return std::nullopt;
}

} // namespace quorvane
