#include "export/HashSchemes.h"

#include "export/CryptSchemes.h"
#include "export/ExportTexts.h"
#include "export/StoredHash.h"
#include "export/htpasswd.h"

#include <stdexcept>

namespace quorvane {

namespace {

std::string Apr1Setting(IRandomSource& random, int /*param*/) {
    return MakeSalt(random);
}

std::string Apr1Hash(std::string_view password, std::string_view setting) {
    return Apr1CryptWithSalt(password, setting);
}

// Verifying is written once, for every stored form, in StoredHash.
bool Apr1Verify(std::string_view password, std::string_view hash) {
    return hash.starts_with(KApr1Magic) && VerifyStoredHash(password, hash);
}

bool PlainVerify(std::string_view password, std::string_view hash) {
    return SecretsEqual(password, hash);
}

const THashParam KBcryptCost{"cost", KBcryptCostMin, KBcryptCostMax, KBcryptCostDefault};
const THashParam KShaRounds{"rounds", KShaRoundsMin, KShaRoundsMax, KShaRoundsDefault};

template <TCryptKind Kind> std::string CryptSettingOf(IRandomSource& random, int param) {
    return CryptSetting(Kind, param, random);
}

std::string CryptHashOf(std::string_view password, std::string_view setting) {
    return CryptHash(password, setting);
}

template <TCryptKind Kind> bool CryptVerify(std::string_view password, std::string_view hash) {
    const std::string_view prefix = CryptPrefix(Kind);
    const bool ours =
        Kind == TCryptKind::Bcrypt
            ? hash.starts_with("$2y$") || hash.starts_with("$2b$") || hash.starts_with("$2a$")
            : hash.starts_with(prefix);
    return ours && VerifyStoredHash(password, hash);
}

// The order of the export dialog's list.
const THashScheme KSchemes[] = {
    {TPasswordsType::ptMD5, "ptMD5", "MD5", nullptr, "md5", KApr1Magic, nullptr, nullptr,
     Apr1Setting, Apr1Hash, Apr1CryptBatch, Apr1Verify},
    {TPasswordsType::ptPlainText, "ptPlainText", "Plain text", &texts::FormPlainText, "plain", "",
     nullptr, nullptr, nullptr, nullptr, nullptr, PlainVerify},
    {TPasswordsType::ptBcrypt, "ptBcrypt", "bcrypt", nullptr, "bcrypt", "$2y$", &KBcryptCost,
     &texts::BcryptCostRange, CryptSettingOf<TCryptKind::Bcrypt>, CryptHashOf, CryptHashBatch,
     CryptVerify<TCryptKind::Bcrypt>},
    {TPasswordsType::ptSHA256, "ptSHA256", "SHA-256-crypt", nullptr, "sha256", "$5$", &KShaRounds,
     &texts::Sha256RoundsRange, CryptSettingOf<TCryptKind::Sha256>, CryptHashOf, CryptHashBatch,
     CryptVerify<TCryptKind::Sha256>},
    {TPasswordsType::ptSHA512, "ptSHA512", "SHA-512-crypt", nullptr, "sha512", "$6$", &KShaRounds,
     &texts::Sha512RoundsRange, CryptSettingOf<TCryptKind::Sha512>, CryptHashOf, CryptHashBatch,
     CryptVerify<TCryptKind::Sha512>},
};

} // namespace

TMessage THashScheme::ParamRangeMessage() const {
    if (Param == nullptr || ParamRange == nullptr) return {};
    return Msg(*ParamRange, Param->Min, Param->Max);
}

TMessage THashScheme::DisplayMessage() const {
    return DisplayText != nullptr ? Msg(*DisplayText) : Verbatim(std::string(DisplayName));
}

std::string THashScheme::Hash(std::string_view password, IRandomSource& random, int param) const {
    if (StoresClearText()) return std::string(password);
    return HashWithSetting(password, MakeSetting(random, param));
}

std::span<const THashScheme> HashSchemes() {
    return KSchemes;
}

const THashScheme& SchemeOf(TPasswordsType id) {
    for (const THashScheme& scheme : KSchemes)
        if (scheme.Id == id) return scheme;
    throw std::logic_error("A password form has no row in the scheme table");
}

const THashScheme* SchemeByCliName(std::string_view name) {
    for (const THashScheme& scheme : KSchemes)
        if (scheme.CliName == name) return &scheme;
    return nullptr;
}

const THashScheme* SchemeOfHash(std::string_view hash) {
    for (const THashScheme& scheme : KSchemes)
        if (!scheme.Prefix.empty() && hash.starts_with(scheme.Prefix)) return &scheme;
    return nullptr;
}

std::string SchemeCliNames(std::string_view sep) {
    std::string names;
    for (const THashScheme& scheme : KSchemes) {
        if (!names.empty()) names += sep;
        names += scheme.CliName;
    }
    return names;
}

std::string SchemeCliNamesSentence() {
    std::string names;
    const size_t count = std::size(KSchemes);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) names += i + 1 == count ? " or " : ", ";
        names += KSchemes[i].CliName;
    }
    return names;
}

} // namespace quorvane
