#include "cli/CliCommand.h"

#include "base/Random.h"
#include "export/ClearPasswords.h"
#include "userdb/GenSeries.h"
#include "userdb/Groups.h"
#include "userdb/UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

TCaseType ParseCase(const TArgs& args, const std::string& name, TCaseType fallback) {
    const auto text = args.Value(name);
    if (!text) return fallback;
    if (*text == "random") return TCaseType::Random;
    if (*text == "upper") return TCaseType::Upper;
    if (*text == "lower") return TCaseType::Lower;
    throw EUsage("--" + name + " takes random, upper or lower");
}

TCharsType ParseChars(const TArgs& args, const std::string& name, TCharsType fallback) {
    const auto text = args.Value(name);
    if (!text) return fallback;
    if (*text == "random") return TCharsType::Random;
    if (*text == "letter") return TCharsType::Letter;
    if (*text == "numeral") return TCharsType::Numeral;
    throw EUsage("--" + name + " takes random, letter or numeral");
}

class TCliSeriesFeedback : public ISeriesFeedback {
public:
    explicit TCliSeriesFeedback(std::ostream& err) : FErr(err) {}
    void Warning(const TMessage& message) override {
        FErr << "quorvane-cli: " << EnglishText(message) << "\n";
    }

private:
    std::ostream& FErr;
};

int CmdSeries(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    using O = TSeriesOptions;
    TSeriesOptions options;
    options.UserCount =
        ParseBoundedInt(args, "count", O::kDefaultUserCount, O::kMinUserCount, O::kMaxUserCount);
    options.LoginLength =
        ParseBoundedInt(args, "login-length", O::kDefaultLoginLength, O::kMinLength, O::kMaxLength);
    options.LoginCase = ParseCase(args, "login-case", options.LoginCase);
    options.LoginChars = ParseChars(args, "login-chars", options.LoginChars);
    options.PasswordLength = ParseBoundedInt(args, "password-length", O::kDefaultPasswordLength,
                                             O::kMinLength, O::kMaxLength);
    options.PasswordCase = ParseCase(args, "password-case", options.PasswordCase);
    options.PasswordChars = ParseChars(args, "password-chars", options.PasswordChars);
    if (const auto prefix = args.Value("prefix")) options.LoginPrefix = *prefix;
    options.NumberedLogins = args.Has("numbered");
    if (options.NumberedLogins && options.LoginPrefix.empty())
        throw EUsage("--numbered needs --prefix");
    options.Unambiguous = args.Has("unambiguous");
    if (const auto date = args.Value("expire")) {
        options.Expire = true;
        if (!ParseDateTime(*date, options.ExpireDate))
            throw EUsage("--expire takes \"YYYY-MM-DD[ HH:MM[:SS]]\"");
    }
    if (const auto text = args.Value("groups")) options.Groups = ParseGroupList(*text);

    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    TCliSeriesFeedback feedback(io.Err);
    const std::vector<TSeriesUser> created =
        CreateSeriesFor(list, options.UserCount, options, SecureRandom(), &feedback);
    std::string out;
    for (const TSeriesUser& u : created)
        out += u.Login + "\t" + u.Password + "\n";
    // The passwords exist nowhere else: the users are saved only once the list is out whole.
    WriteOutput(io, out, "the new users were not saved");
    db.Save(io.Err);
    return kExitOk;
}

} // namespace

TCommand SeriesCommand() {
    return {"series",
            "DB [--count N] [--login-length L] [--login-case random|upper|lower] "
            "[--login-chars random|letter|numeral] [--password-length L] "
            "[--password-case random|upper|lower] [--password-chars random|letter|numeral] "
            "[--prefix P [--numbered]] [--unambiguous] [--expire DATE] [--groups G,...]",
            "create a series of users with random logins and passwords",
            "Defaults: 10 users; logins of 6 lower-case letters; passwords of 16 random\n"
            "characters in random case, each one the password meter rates strong. Counts run\n"
            "from 1 to 99999, lengths from 4 to 99. --prefix starts every login with P;\n"
            "with --numbered the logins are P and a number (guest01, guest02, ...), the next\n"
            "free one each time. --unambiguous leaves out characters read alike (I, l, 1, O,\n"
            "0). --expire and --groups give every user of the series that expiry and those\n"
            "groups.\n"
            "Prints \"LOGIN<TAB>PASSWORD\" for every user created, then saves the database;\n"
            "when the list cannot be written whole, nothing is saved and the exit status is 1.\n"
            "When no free login is left, it says how many users were created.\n",
            {"count", "login-length", "login-case", "login-chars", "password-length",
             "password-case", "password-chars", "prefix", "expire", "groups"},
            {"numbered", "unambiguous"},
            CmdSeries};
}

} // namespace quorvane::cli
