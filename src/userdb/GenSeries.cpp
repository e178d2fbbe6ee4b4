#include "userdb/GenSeries.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "userdb/LoginRule.h"
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

std::string GenerateString(int Length, TCharsType Chars, TCaseType Case, IRandomSource& random) {
    std::string result;
    if (Length <= 0) return result;
    result.reserve(static_cast<size_t>(Length));
    for (int p = 1; p <= Length; ++p) {
        if (Chars == TCharsType::Numeral || (Chars == TCharsType::Random && random.Random(5) == 3))
            result += GetRandomChar(kDigits, random);
        else
            result += GetRandomChar(p % 2 == 1 ? kConsonants : kVowels, random);
    }
    if (Case == TCaseType::Upper)
        result = ToAsciiUpper(std::move(result));
    else if (Case == TCaseType::Lower)
        result = ToAsciiLower(std::move(result));
    return result;
}

std::string GenerateLogin(const TSeriesOptions& options, IRandomSource& random) {
    return GenerateString(options.LoginLength, options.LoginChars, options.LoginCase, random);
}

std::string GeneratePassword(const TSeriesOptions& options, IRandomSource& random) {
    return GenerateString(options.PasswordLength, options.PasswordChars, options.PasswordCase,
                          random);
}

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

    TBusyScope busy(feedback);
    std::vector<TSeriesUser> created;
    int misses = 0;
    while (Count > 0) {
        if (misses > kMaxMissesInARow) {
            if (feedback) feedback->Warning(SeriesShortMessage(static_cast<int>(created.size())));
            break;
        }
        std::string login = GenerateLogin(options, random);
        if (!taken.insert(FoldLogin(login)).second) {
            ++misses;
            continue;
        }
        std::string password = GeneratePassword(options, random);
        // The character sets hold letters and digits only; this keeps it so.
        RequireValidLogin(login);
        if (password.empty()) throw EQuorvaneError(Msg(texts::SeriesEmptyPassword));
        list.Add(login, password);
        created.push_back({std::move(login), std::move(password)});
        misses = 0;
        --Count;
    }
    return created;
}

} // namespace quorvane
