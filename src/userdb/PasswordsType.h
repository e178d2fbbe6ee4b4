#pragma once
// The form in which passwords go into the password file, as the users database stores it. The
// export library's scheme table (HashSchemes.h) says how each form is hashed, shown and chosen.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvane {

// The member names are what the database file stores.
enum class TPasswordsType : uint8_t {
    ptPlainText = 0, // passwords go into the password file as they are
    ptMD5 = 1,       // passwords go into the password file as "$apr1$" MD5-crypt strings
    ptBcrypt = 2,    // "$2y$" bcrypt strings, cost BcryptCost
    ptSHA256 = 3,    // "$5$" SHA-256-crypt strings, ShaRounds rounds
    ptSHA512 = 4,    // "$6$" SHA-512-crypt strings, ShaRounds rounds
};

// Every member, in the order of their values.
inline constexpr std::array KPasswordsTypes = {TPasswordsType::ptPlainText, TPasswordsType::ptMD5,
                                               TPasswordsType::ptBcrypt, TPasswordsType::ptSHA256,
                                               TPasswordsType::ptSHA512};

// bcrypt, SHA-256-crypt and SHA-512-crypt: slow on purpose, with a work factor, hashed through
// the system's crypt.
inline constexpr bool IsSlowPassType(TPasswordsType type) {
    return type == TPasswordsType::ptBcrypt || type == TPasswordsType::ptSHA256 ||
           type == TPasswordsType::ptSHA512;
}

// Bounds and defaults of the slow forms' work factors (those of Apache's htpasswd).
inline constexpr int KBcryptCostMin = 4;
inline constexpr int KBcryptCostMax = 17;
inline constexpr int KBcryptCostDefault = 5;
inline constexpr int KShaRoundsMin = 1000;
inline constexpr int KShaRoundsMax = 999999999;
inline constexpr int KShaRoundsDefault = 5000;

// The name the database file stores for a form: "ptPlainText", "ptMD5", "ptBcrypt", "ptSHA256",
// "ptSHA512".
std::string_view PasswordsTypeName(TPasswordsType type);

// The form a stored name stands for, its letters compared without regard to case; nothing for
// a name no form has.
std::optional<TPasswordsType> PasswordsTypeFromName(std::string_view name);

} // namespace quorvane
