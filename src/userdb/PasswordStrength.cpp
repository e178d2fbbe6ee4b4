#include "userdb/PasswordStrength.h"

#include "base/AsciiCase.h"

#include <cmath>
#include <vector>

namespace quorvane {

namespace {

// Where every guessing list starts, folded to upper case.
const char* const KCommonWords[] = {"PASSWORD", "PASSWORT", "QWERTY", "QWERTZ", "AZERTY",
                                    "LETMEIN",  "WELCOME",  "ADMIN",  "SECRET", "123456"};

std::string Folded(const std::string& text) {
    std::string folded = text;
    for (char& c : folded)
        c = AsciiUpper(c);
    return folded;
}

// Marks every occurrence of `word` in `text` (both folded).
void MarkKnown(const std::string& text, const std::string& word, std::vector<bool>& known) {
    if (word.size() < 3) return; // two letters say nothing about the rest
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        for (size_t i = at; i < at + word.size(); ++i)
            known[i] = true;
}

} // namespace

TStrengthEstimate EstimatePasswordStrength(const std::string& password, const std::string& login) {
    TStrengthEstimate estimate;
    if (password.empty()) return estimate;

    bool lower = false, upper = false, digit = false, symbol = false, high = false;
    for (char c : password) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 'a' && u <= 'z')
            lower = true;
        else if (u >= 'A' && u <= 'Z')
            upper = true;
        else if (u >= '0' && u <= '9')
            digit = true;
        else if (u < 0x80)
            symbol = true;
        else
            high = true;
    }
    const int pool = (lower ? 26 : 0) + (upper ? 26 : 0) + (digit ? 10 : 0) + (symbol ? 33 : 0) +
                     (high ? 128 : 0);
    const double perChar = std::log2(static_cast<double>(pool));

    const std::string folded = Folded(password);
    std::vector<bool> known(folded.size(), false);
    MarkKnown(folded, Folded(login), known);
    for (const char* word : KCommonWords)
        MarkKnown(folded, word, known);

    double bits = 0;
    for (size_t i = 0; i < folded.size(); ++i) {
        const int c = static_cast<unsigned char>(folded[i]);
        // No character before the first one: nothing it could repeat or continue.
        const int previous = i > 0 ? static_cast<unsigned char>(folded[i - 1]) : -1000;
        const int beforeThat = i > 1 ? static_cast<unsigned char>(folded[i - 2]) : -1000;
        const bool predictable =
            known[i] || c == previous || c == beforeThat || c == previous + 1 || c == previous - 1;
        bits += predictable ? 1.0 : perChar;
    }
    estimate.Bits = static_cast<int>(bits);
    estimate.Level = estimate.Bits < 28   ? TPasswordStrength::VeryWeak
                     : estimate.Bits < 40 ? TPasswordStrength::Weak
                     : estimate.Bits < 60 ? TPasswordStrength::Fair
                                          : TPasswordStrength::Strong;
    return estimate;
}

} // namespace quorvane
