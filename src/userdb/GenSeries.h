#pragma once
// Series of users with random pronounceable logins and random passwords, none of whose logins
// collides with one already in the list.

#include "base/DateUtil.h"
#include "base/Message.h"

#include <string>
#include <vector>

namespace quorvane {

class IRandomSource;
class TUserList;

// The kind of characters of a generated string.
enum class TCharsType : int {
    Random = 0,  // letters, one character in five a digit
    Letter = 1,  // consonant and vowel alternating, starting with a consonant
    Numeral = 2, // digits 1 to 9
};

// The letter case of a generated string.
enum class TCaseType : int {
    Random = 0, // as drawn: each letter upper case with probability one half
    Upper = 1,
    Lower = 2,
};

// How the logins and passwords of a series are built. The defaults and bounds are those of the
// series dialog's controls; the desktop program and quorvane-cli share them.
struct TSeriesOptions {
    static constexpr int kMinUserCount = 1;
    static constexpr int kMaxUserCount = 99999;
    static constexpr int kDefaultUserCount = 10;
    static constexpr int kMinLength = 4;
    static constexpr int kMaxLength = 99;
    static constexpr int kDefaultLoginLength = 6;
    // Long enough that the password meter rates a drawn password strong (see CreateSeries).
    static constexpr int kDefaultPasswordLength = 16;

    int UserCount = kDefaultUserCount;
    int LoginLength = kDefaultLoginLength;
    TCaseType LoginCase = TCaseType::Lower;
    TCharsType LoginChars = TCharsType::Letter;
    int PasswordLength = kDefaultPasswordLength;
    TCaseType PasswordCase = TCaseType::Random;
    TCharsType PasswordChars = TCharsType::Random;

    // Every login starts with this prefix (checked like a login); empty: none.
    std::string LoginPrefix;
    // Logins are the prefix and a number (1, 2, ... zero-padded to the digits of the count,
    // "guest01" to "guest12"), the next free number each time, instead of random characters.
    bool NumberedLogins = false;
    // Characters read alike left out of logins and passwords: i, l and o in either case, and
    // the digit 1 (0 is never drawn).
    bool Unambiguous = false;
    // The series' users expire on ExpireDate (otherwise they get a new user's expiry).
    bool Expire = false;
    TDateTime ExpireDate = 0;
    // The groups every user of the series joins (checked names, see ParseGroupList).
    std::vector<std::string> Groups;

    // The same options with every number brought within its bounds, the way the dialog's
    // number boxes read their values back.
    TSeriesOptions Clamped() const;
};

// What a series run tells its caller while it works. The desktop program shows the busy
// cursor and a "Warning" box; quorvane-cli prints the warning; tests record both.
class ISeriesFeedback {
public:
    virtual ~ISeriesFeedback() = default;
    // The run starts and ends (EndBusy is called also when a failure passes through).
    virtual void BeginBusy() {}
    virtual void EndBusy() {}
    // The login space is exhausted; the message (SeriesShortMessage) tells how many users were
    // created.
    virtual void Warning(const TMessage& message) = 0;
};

// A user created by a series, as handed out to the people who will use it.
struct TSeriesUser {
    std::string Login;
    std::string Password;
};

// A string of Length characters (empty when Length <= 0). Each position p (from 1) holds a
// random digit 1 to 9 when Chars is TCharsType::Numeral, or for TCharsType::Random with a chance of
// one in five; otherwise a random letter, a consonant when p is odd and a vowel when p is even.
// TCaseType::Upper and TCaseType::Lower then change the case of the letters; TCaseType::Random
// leaves them as drawn. A source that draws outside the range it was asked for raises "error
// GetRandomChar".
std::string GenerateString(int Length, TCharsType Chars, TCaseType Case, IRandomSource& random);
// The same without the characters read alike (TSeriesOptions::Unambiguous).
std::string GenerateUnambiguousString(int Length, TCharsType Chars, TCaseType Case,
                                      IRandomSource& random);
// GenerateString with the login's or the password's length, chars type and case.
std::string GenerateLogin(const TSeriesOptions& options, IRandomSource& random);
std::string GeneratePassword(const TSeriesOptions& options, IRandomSource& random);

// Adds up to Count users to the list, each with a fresh login that no user of the list holds
// (compared without regard to the case of a to z) and a fresh password, through the list's
// Add. A login already taken is a miss; after 51 misses in a row the run stops and the
// feedback's Warning receives "Only N users has been created. Increase the login length to
// create more.". A miss does not use up one of the Count users. Returns the users created, in
// order (without a feedback, a result shorter than Count tells of the exhausted space). A
// failure ends the run and propagates; the users added before it stay in the list.
//
// The options' prefix, numbering, alphabet, expiry and groups apply to every user; the
// prefix and the groups are checked before any user is added. A password of the default
// length or longer is drawn again while the password meter rates it below strong, so that a
// series made with the defaults holds strong passwords only; a shorter length is what the
// user asked for, as drawn.
//
// The program passes SecureRandom(). When the source is the deterministic TLcgRandom and
// reseedDeterministic is true, the run first seeds it from the UTC time of day, as the
// program's generator was seeded at the start of every series; tests pass false to get a
// reproducible sequence. The secure source is never seeded.
std::vector<TSeriesUser> CreateSeries(TUserList& list, int Count, const TSeriesOptions& options,
                                      IRandomSource& random, ISeriesFeedback* feedback = nullptr,
                                      bool reseedDeterministic = true);

// The warning of an exhausted login space, for the given number of users created.
TMessage SeriesShortMessage(int created);

} // namespace quorvane
