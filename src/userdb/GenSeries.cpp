#include "userdb/GenSeries.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "userdb/Groups.h"
#include "userdb/LoginRule.h"
#include "userdb/PasswordStrength.h"
#include "userdb/UserDbTexts.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace quorvane {

namespace {

constexpr std::string_view kVowels = "AEIOUYaeiouy";
constexpr std::string_view kConsonants = "BCDFGHJKLMNPQRSTVWXZbcdfghjklmnpqrstvwxz";
constexpr std::string_view kDigits = "123456789";

// The sets a string is drawn from.
struct TAlphabet {
    std::string_view Vowels, Consonants, Digits;
};
constexpr TAlphabet kEveryCharacter{kVowels, kConsonants, kDigits};
// Without what is read alike: I and l and 1, O and 0.
constexpr TAlphabet kReadAlike{"AEUYaeuy", "BCDFGHJKMNPQRSTVWXZbcdfghjkmnpqrstvwxz", "23456789"};

// One character of the set, drawn uniformly; positions count from 1.
char GetRandomChar(std::string_view set, IRandomSource& random) {
    const uint32_t position = random.Random(static_cast<uint32_t>(set.size())) + 1u;
    if (position < 1 || position > set.size())
        throw EQuorvaneError(Msg(texts::SeriesRandomCharOutOfRange));
    return set[position - 1];
}

// Logins count as taken whatever the case of their letters a to z.
std::string FoldLogin(std::string login) {
    return ToAsciiUpper(std::move(login));
}

// Calls EndBusy on every path out of the run.
class TBusyScope {
public:
    explicit TBusyScope(ISeriesFeedback* feedback) : FFeedback(feedback) {
        if (FFeedback) FFeedback->BeginBusy();
    }
    ~TBusyScope() {
        if (FFeedback) FFeedback->EndBusy();
    }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    ISeriesFeedback* FFeedback;
};

constexpr int kMaxMissesInARow = 50;

} // namespace

TSeriesOptions TSeriesOptions::Clamped() const {
    TSeriesOptions result = *this;
    result.UserCount = std::clamp(UserCount, kMinUserCount, kMaxUserCount);
    result.LoginLength = std::clamp(LoginLength, kMinLength, kMaxLength);
    result.PasswordLength = std::clamp(PasswordLength, kMinLength, kMaxLength);
    return result;
}

namespace {

std::string Draw(int Length, TCharsType Chars, TCaseType Case, IRandomSource& random,
                 const TAlphabet& alphabet) {
    std::string result;
    if (Length <= 0) return result;
    result.reserve(static_cast<size_t>(Length));
    for (int p = 1; p <= Length; ++p) {
        if (Chars == TCharsType::Numeral || (Chars == TCharsType::Random && random.Random(5) == 3))
            result += GetRandomChar(alphabet.Digits, random);
        else
            result += GetRandomChar(p % 2 == 1 ? alphabet.Consonants : alphabet.Vowels, random);
    }
    if (Case == TCaseType::Upper)
        result = ToAsciiUpper(std::move(result));
    else if (Case == TCaseType::Lower)
        result = ToAsciiLower(std::move(result));
    return result;
}

const TAlphabet& AlphabetOf(const TSeriesOptions& options) {
    return options.Unambiguous ? kReadAlike : kEveryCharacter;
}

// Draws so many times at most for a strong password before the last draw is taken as it is.
constexpr int kMaxStrongDraws = 100;

// Whether a password is drawn again until the meter rates it strong: the default alphabet at
// the default length or longer, where nearly every draw is.
bool WantsStrong(const TSeriesOptions& options) {
    return options.PasswordChars == TCharsType::Random &&
           options.PasswordCase == TCaseType::Random &&
           options.PasswordLength >= TSeriesOptions::kDefaultPasswordLength;
}

int Digits(int n) {
    int digits = 1;
    for (; n >= 10; n /= 10)
        ++digits;
    return digits;
}

std::string Numbered(const std::string& prefix, int number, int width) {
    std::string digits = std::to_string(number);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    return prefix + digits;
}

} // namespace

std::string GenerateString(int Length, TCharsType Chars, TCaseType Case, IRandomSource& random) {
    return Draw(Length, Chars, Case, random, kEveryCharacter);
}

std::string GenerateUnambiguousString(int Length, TCharsType Chars, TCaseType Case,
                                      IRandomSource& random) {
    return Draw(Length, Chars, Case, random, kReadAlike);
}

std::string GenerateLogin(const TSeriesOptions& options, IRandomSource& random) {
    return options.LoginPrefix + Draw(options.LoginLength, options.LoginChars, options.LoginCase,
                                      random, AlphabetOf(options));
}

std::string GeneratePassword(const TSeriesOptions& options, IRandomSource& random) {
    return Draw(options.PasswordLength, options.PasswordChars, options.PasswordCase, random,
                AlphabetOf(options));
}

namespace {

std::string StrongPassword(const TSeriesOptions& options, const std::string& login,
                           IRandomSource& random) {
    std::string password = GeneratePassword(options, random);
    if (!WantsStrong(options)) return password;
    for (int draw = 1; draw < kMaxStrongDraws; ++draw) {
        if (EstimatePasswordStrength(password, login).Level == TPasswordStrength::Strong) break;
        password = GeneratePassword(options, random);
    }
    return password;
}

} // namespace

TMessage SeriesShortMessage(int created) {
    return Msg(texts::SeriesShort, Count(static_cast<std::uint64_t>(created)));
}

std::vector<TSeriesUser> CreateSeries(TUserList& list, int Count, const TSeriesOptions& options,
                                      IRandomSource& random, ISeriesFeedback* feedback,
                                      bool reseedDeterministic) {
    if (reseedDeterministic)
        if (auto* lcg = dynamic_cast<TLcgRandom*>(&random)) lcg->Randomize();

    std::unordered_set<std::string> taken;
    // Room for what can be asked through the dialog, not for whatever Count says: a count far
    // beyond the login space would otherwise cost memory for users that never come.
    const int expected = std::clamp(Count, 0, TSeriesOptions::kMaxUserCount);
    taken.reserve(static_cast<size_t>(list.Count()) + static_cast<size_t>(expected));
    for (int i = 0; i < list.Count(); ++i)
        taken.insert(FoldLogin(list.Users(i).Login));

    // What every user gets is checked before the first one is added.
    if (!options.LoginPrefix.empty()) RequireValidLogin(options.LoginPrefix);
    if (!options.Groups.empty()) RequireGroupSpelling(list, options.Groups);

    TBusyScope busy(feedback);
    std::vector<TSeriesUser> created;
    int misses = 0;
    int number = 0;
    const int width = std::max(2, Digits(std::max(Count, 1)));
    while (Count > 0) {
        if (misses > kMaxMissesInARow) {
            if (feedback) feedback->Warning(SeriesShortMessage(static_cast<int>(created.size())));
            break;
        }
        std::string login = options.NumberedLogins ? Numbered(options.LoginPrefix, ++number, width)
                                                   : GenerateLogin(options, random);
        if (!taken.insert(FoldLogin(login)).second) {
            if (!options.NumberedLogins) ++misses; // the next number is always free in the end
            continue;
        }
        std::string password = StrongPassword(options, login, random);
        // The character sets hold letters and digits only; this keeps it so.
        RequireValidLogin(login);
        if (password.empty()) throw EQuorvaneError(Msg(texts::SeriesEmptyPassword));
        TUserProp& user = list.Add(login, password);
        if (options.Expire) {
            user.Expire = true;
            user.ExpireDate = options.ExpireDate;
        }
        if (!options.Groups.empty()) SetUserGroups(user, options.Groups);
        created.push_back({std::move(login), std::move(password)});
        misses = 0;
        --Count;
    }
    return created;
}

} // namespace quorvane
