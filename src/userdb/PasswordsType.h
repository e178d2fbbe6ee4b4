#pragma once
// The form in which passwords go into the password file, as the users database stores it. The
// export library's scheme table (HashSchemes.h) says how each form is hashed, shown and chosen.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// The member names are what the database file stores.
enum class TPasswordsType : uint8_t {
    ptPlainText = 0, // passwords go into the password file as they are
    ptMD5 = 1,       // passwords go into the password file as "$apr1$" MD5-crypt strings
};

// Every member, in the order of their values.
inline constexpr std::array KPasswordsTypes = {TPasswordsType::ptPlainText, TPasswordsType::ptMD5};

// The name the database file stores for a form: "ptPlainText", "ptMD5".
std::string_view PasswordsTypeName(TPasswordsType type);

// The form a stored name stands for, its letters compared without regard to case; nothing for
// a name no form has.
std::optional<TPasswordsType> PasswordsTypeFromName(std::string_view name);
