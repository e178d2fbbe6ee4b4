#pragma once
// How hard a password is to guess, as the user dialog shows it while it is typed.
//
// The estimate is a length-and-variety rule: each character is worth log2 of the size of the
// character classes the password draws on (lower case, upper case, digits, other ASCII, bytes
// above ASCII), except a character that repeats the one before, repeats the one two before
// ("abab") or continues a run ("abc", "321"), which is worth one bit, and the login or one of
// the few passwords every guessing list starts with, wherever it appears in the password, worth
// one bit per character. The levels follow what a stolen password file allows: MD5-crypt falls
// at about ten million guesses a second on one graphics card, so under 28 bits goes in seconds
// and is within reach even of guessing through the web server, under 40 bits goes within a day
// or two, and 60 bits or more takes thousands of years.

#include <string>

namespace quorvane {

enum class TPasswordStrength { Empty, VeryWeak, Weak, Fair, Strong };

struct TStrengthEstimate {
    TPasswordStrength Level = TPasswordStrength::Empty;
    int Bits = 0;
};

// The estimate for a password (bytes as stored); the login, when given, counts as known.
TStrengthEstimate EstimatePasswordStrength(const std::string& password,
                                           const std::string& login = std::string());

} // namespace quorvane
