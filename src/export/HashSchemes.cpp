#include "export/HashSchemes.h"

#include "export/CryptSchemes.h"
#include "export/ExportTexts.h"
#include "export/ServiceForms.h"
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
bool Apr1Verify(std::string_view password, std::string_view hash, std::string_view /*login*/) {
    return hash.starts_with(KApr1Magic) && VerifyStoredHash(password, hash);
}

bool PlainVerify(std::string_view password, std::string_view hash, std::string_view /*login*/) {
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

template <TCryptKind Kind>
bool CryptVerify(std::string_view password, std::string_view hash, std::string_view /*login*/) {
    const std::string_view prefix = CryptPrefix(Kind);
    const bool ours =
        Kind == TCryptKind::Bcrypt
            ? hash.starts_with("$2y$") || hash.starts_with("$2b$") || hash.starts_with("$2a$")
            : hash.starts_with(prefix);
    return ours && VerifyStoredHash(password, hash);
}

bool DigestVerify(std::string_view password, std::string_view value, std::string_view login) {
    return VerifyDigestValue(password, value, login);
}

const THashParam KPbkdf2Iterations{"iterations", KPbkdf2IterationsMin, KPbkdf2IterationsMax,
                                   KPbkdf2IterationsDefault};
const THashParam KArgon2Passes{"passes", KArgon2PassesMin, KArgon2PassesMax, KArgon2PassesDefault};

bool Pbkdf2VerifyOf(std::string_view password, std::string_view value, std::string_view) {
    return VerifyPbkdf2(password, value);
}

bool Argon2VerifyOf(std::string_view password, std::string_view value, std::string_view) {
    return value.starts_with(KArgon2idPrefix) && VerifyArgon2(password, value);
}

// Hashes one at a time on up to `threads` workers: argon2id takes tens of milliseconds each.
void Argon2Batch(const std::vector<std::string_view>& passwords,
                 const std::vector<std::string>& settings, std::vector<std::string>& out,
                 unsigned threads) {
    HashEachOnWorkers(passwords, settings, out, threads, Argon2idHash);
}

// The database's forms first, in the order of the export dialog's list, then the forms only
// consumers read.
const THashScheme KSchemes[] = {
    {TPasswordsType::ptMD5, "ptMD5", "MD5", nullptr, "md5", KApr1Magic, nullptr, nullptr,
     Apr1Setting, Apr1Hash, Apr1CryptBatch, Apr1Verify, nullptr, false, false, false, "",
     TStoredScheme::Apr1},
    {TPasswordsType::ptPlainText, "ptPlainText", "Plain text", &texts::FormPlainText, "plain", "",
     nullptr, nullptr, nullptr, nullptr, nullptr, PlainVerify, nullptr, false, false, false,
     "PLAIN", TStoredScheme::Unknown},
    {TPasswordsType::ptBcrypt, "ptBcrypt", "bcrypt", nullptr, "bcrypt", "$2y$", &KBcryptCost,
     &texts::BcryptCostRange, CryptSettingOf<TCryptKind::Bcrypt>, CryptHashOf, CryptHashBatch,
     CryptVerify<TCryptKind::Bcrypt>, nullptr, false, true, true, "BLF-CRYPT",
     TStoredScheme::Bcrypt},
    {TPasswordsType::ptSHA256, "ptSHA256", "SHA-256-crypt", nullptr, "sha256", "$5$", &KShaRounds,
     &texts::Sha256RoundsRange, CryptSettingOf<TCryptKind::Sha256>, CryptHashOf, CryptHashBatch,
     CryptVerify<TCryptKind::Sha256>, nullptr, false, true, true, "SHA256-CRYPT",
     TStoredScheme::Sha256Crypt},
    {TPasswordsType::ptSHA512, "ptSHA512", "SHA-512-crypt", nullptr, "sha512", "$6$", &KShaRounds,
     &texts::Sha512RoundsRange, CryptSettingOf<TCryptKind::Sha512>, CryptHashOf, CryptHashBatch,
     CryptVerify<TCryptKind::Sha512>, nullptr, false, true, true, "SHA512-CRYPT",
     TStoredScheme::Sha512Crypt},
    // Only consumers read these.
    {TPasswordsType::ptPlainText, "digest", "Digest", nullptr, "digest", "", nullptr, nullptr,
     nullptr, nullptr, nullptr, DigestVerify, DigestValue, true, false, false, "",
     TStoredScheme::Unknown},
    {TPasswordsType::ptPlainText, "pbkdf2-sha512", "PBKDF2-SHA512", nullptr, "pbkdf2-sha512",
     KPbkdf2Prefix, &KPbkdf2Iterations, &texts::Pbkdf2IterationsRange, Pbkdf2Setting, Pbkdf2Hash,
     nullptr, Pbkdf2VerifyOf, nullptr, false, false, false, "", TStoredScheme::Pbkdf2Sha512},
    {TPasswordsType::ptPlainText, "argon2id", "argon2id", nullptr, "argon2id", KArgon2idPrefix,
     &KArgon2Passes, &texts::Argon2PassesRange, Argon2idSetting, Argon2idHash, Argon2Batch,
     Argon2VerifyOf, nullptr, false, true, false, "ARGON2ID", TStoredScheme::Argon2},
};

constexpr size_t KDatabaseForms = KPasswordsTypes.size();

} // namespace

bool THashScheme::IsDatabaseForm() const {
    return this >= KSchemes && this < KSchemes + KDatabaseForms;
}

std::string THashScheme::HashFor(std::string_view login, std::string_view realm,
                                 std::string_view password, IRandomSource& random,
                                 int param) const {
    if (HashForUser != nullptr) return HashForUser(login, realm, password);
    return Hash(password, random, param);
}

TMessage THashScheme::ParamRangeMessage() const {
    if (Param == nullptr || ParamRange == nullptr) return {};
    return Msg(*ParamRange, Param->Min, Param->Max);
}

TMessage THashScheme::DisplayMessage() const {
    return DisplayText != nullptr ? Msg(*DisplayText) : Verbatim(std::string(DisplayName));
}

std::string THashScheme::Hash(std::string_view password, IRandomSource& random, int param) const {
    if (HashForUser != nullptr)
        throw std::logic_error("A form made from the login is hashed with HashFor");
    if (StoresClearText()) return std::string(password);
    return HashWithSetting(password, MakeSetting(random, param));
}

std::span<const THashScheme> HashSchemes() {
    return std::span<const THashScheme>(KSchemes, KDatabaseForms);
}

std::span<const THashScheme> AllForms() {
    return KSchemes;
}

const THashScheme& SchemeOf(TPasswordsType id) {
    for (const THashScheme& scheme : HashSchemes())
        if (scheme.Id == id) return scheme;
    throw std::logic_error("A password form has no row in the scheme table");
}

const THashScheme* SchemeByCliName(std::string_view name) {
    for (const THashScheme& scheme : HashSchemes())
        if (scheme.CliName == name) return &scheme;
    return nullptr;
}

const THashScheme* FormByCliName(std::string_view name) {
    for (const THashScheme& scheme : KSchemes)
        if (scheme.CliName == name) return &scheme;
    return nullptr;
}

const THashScheme* SchemeOfHash(std::string_view hash) {
    const TStoredScheme stored = IdentifyStoredHash(hash);
    if (stored == TStoredScheme::Unknown) return nullptr;
    for (const THashScheme& scheme : KSchemes)
        // bcrypt's other versions ("$2b$") are told by the scheme, but only "$2y$" is written
        if (scheme.Stored == stored && hash.starts_with(scheme.Prefix)) return &scheme;
    return nullptr;
}

std::string SchemeCliNames(std::string_view sep) {
    std::string names;
    for (const THashScheme& scheme : HashSchemes()) {
        if (!names.empty()) names += sep;
        names += scheme.CliName;
    }
    return names;
}

std::string SchemeCliNamesSentence() {
    std::string names;
    const size_t count = KDatabaseForms;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) names += i + 1 == count ? " or " : ", ";
        names += KSchemes[i].CliName;
    }
    return names;
}

} // namespace quorvane
