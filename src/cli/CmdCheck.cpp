#include "cli/CliCommand.h"

#include "ftp/SiteCheck.h"

#include <ostream>

namespace quorvane::cli {

namespace {

constexpr int kExitUndecided = 3;
constexpr int kExitNotProtected = 4;

int CmdCheck(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& url = args.Positional()[0];
    const std::string& login = args.Positional()[1];
    const long timeout = ParseBoundedInt(args, "timeout", 30, 1, 600);
    const std::string password = ReadSecretLine(io.In);
    const TSiteCheckResult result = CheckSiteLogin(url, login, password, timeout);
    io.Out << EnglishText(SiteCheckMessage(result, login)) << "\n";
    switch (result.Outcome) {
    case TSiteCheckOutcome::LetIn:
        return kExitOk;
    case TSiteCheckOutcome::Refused:
        return kExitFailure;
    case TSiteCheckOutcome::NotProtected:
        return kExitNotProtected;
    case TSiteCheckOutcome::Other:
        return kExitUndecided;
    }
    return kExitUndecided;
}

} // namespace

TCommand CheckCommand() {
    return {"check",
            "URL LOGIN [--timeout SECONDS]",
            "ask the web site whether it lets a user in",
            "Requests URL (http or https) with HTTP Basic authentication, the password read\n"
            "from the first line of standard input, and says whether the site let the user\n"
            "in (a 2xx answer, exit status 0), refused them (401, exit status 1), or answered\n"
            "otherwise (exit status 3). URL is first asked for without credentials: when the\n"
            "site lets everybody in, the page is not protected and the check says so (exit\n"
            "status 4) without sending the password. Redirects on the same host are followed; a "
            "redirect\n"
            "to another host is not, so the credentials never go there. Over plain http the\n"
            "password travels readable by anyone on the way: prefer https.\n",
            {"timeout"},
            {},
            CmdCheck};
}

} // namespace quorvane::cli
