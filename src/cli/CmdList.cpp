#include "cli/CliCommand.h"

#include "base/DateUtil.h"
#include "cli/Json.h"
#include "export/HashOnlyUsers.h"
#include "userdb/Groups.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"
#include "userdb/UserView.h"

#include <cerrno>
#include <cstdlib>

#include <ostream>

namespace quorvane::cli {

namespace {

// {"users": [{...}, ...]}: one object per user in database order; passwords stay out.
std::string ListJson(const std::vector<const TUserProp*>& users) {
    std::string out = "{\n  \"users\": [";
    for (size_t i = 0; i < users.size(); ++i) {
        const TUserProp& u = *users[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {\"login\": " + JsonString(u.Login);
        out += ", \"enabled\": ";
        out += u.Disable ? "false" : "true";
        out += ", \"expires\": ";
        out += u.Expire ? JsonString(FormatDateTime(u.ExpireDate)) : "null";
        out += ", \"email\": " + JsonString(u.Email);
        out += ", \"full_name\": " + JsonString(u.FullName);
        out += ", \"comments\": " + JsonString(u.Comments);
        out += ", \"created\": " + JsonString(FormatDateTime(u.CreatedDate));
        out += ", \"password\": " + JsonString(PasswordKindText(u));
        out += ", \"groups\": [";
        const auto groups = UserGroups(u);
        for (size_t g = 0; g < groups.size(); ++g)
            out += (g == 0 ? "" : ", ") + JsonString(groups[g]);
        out += "]}";
    }
    out += users.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

// A span of time as "14d", "2w", "36h" or a number of days alone; in days.
double ParseSpan(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    double unit = 1;
    const std::string suffix(end);
    if (suffix == "h")
        unit = 1.0 / 24;
    else if (suffix == "w")
        unit = 7;
    else if (!suffix.empty() && suffix != "d")
        end = nullptr;
    if (text.empty() || end == nullptr || end == text.c_str() || errno != 0 || !(value >= 0) ||
        value > 36500)
        throw EUsage("--expiring-within takes a span such as 14d, 2w or 36h");
    return value * unit;
}

TUserReportFilter ReportFilter(const TArgs& args) {
    TUserReportFilter filter;
    if (args.Has("enabled") && args.Has("disabled"))
        throw EUsage("--enabled and --disabled exclude each other");
    if (args.Has("enabled")) filter.State = TUserFilter::Enabled;
    if (args.Has("disabled")) filter.State = TUserFilter::Disabled;
    if (const auto span = args.Value("expiring-within"))
        filter.ExpiringWithinDays = ParseSpan(*span);
    filter.Expired = args.Has("expired");
    filter.Group = args.Value("group").value_or("");
    if (args.Has("group") && filter.Group.empty()) throw EUsage("--group needs a group name");
    return filter;
}

int CmdList(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string format = args.Has("json") ? "json" : args.Value("format").value_or("tsv");
    if (format != "tsv" && format != "json") throw EUsage("--format takes tsv or json");
    if (args.Has("json") && args.Value("format").value_or("json") != "json")
        throw EUsage("--json and --format tsv contradict each other");
    const TUserReportFilter filter = ReportFilter(args);
    TDatabaseSession db(args.Positional()[0], TDatabaseSession::TAccess::Read);
    const TUserList& list = db.List();
    const TDateTime now = Now();
    std::vector<const TUserProp*> users;
    for (int i = 0; i < list.Count(); ++i)
        if (filter.Matches(list.Users(i), now)) users.push_back(&list.Users(i));
    if (format == "json") {
        io.Out << ListJson(users);
        return kExitOk;
    }
    std::string out;
    out.reserve(users.size() * 128);
    for (const TUserProp* user : users) {
        const TUserProp& u = *user;
        AppendForOneLine(out, u.Login);
        out += '\t';
        out += u.Disable ? "Disabled" : "Enabled";
        out += '\t';
        out += ExpirationText(u);
        out += '\t';
        AppendForOneLine(out, u.Email);
        out += '\t';
        AppendForOneLine(out, u.FullName);
        out += '\t';
        out += FormatDateTime(u.CreatedDate);
        out += '\t';
        if (u.HashOnly())
            out += EnglishText(HashOnlyMessage(u));
        else
            out += "clear";
        out += '\n';
    }
    io.Out << out;
    return kExitOk;
}

} // namespace

TCommand ListCommand() {
    return {
        "list",
        "DB [--format tsv|json] [--json] [--enabled | --disabled] [--expired] "
        "[--expiring-within SPAN] [--group GROUP]",
        "list the users, one per line",
        "--format tsv (the default): one line per user in database order, fields\n"
        "separated by tabs: login, Enabled or Disabled, expiration (\"Never\" or\n"
        "YYYY-MM-DD HH:MM:SS, local time), e-mail, full name, created\n"
        "(YYYY-MM-DD HH:MM:SS), password (\"clear\", or \"hash only (SCHEME)\" for a user\n"
        "known only by a hash taken over from a password file). Within a field a backslash\n"
        "is written as \\\\, a tab as \\t, a carriage return as \\r, a line feed as \\n and\n"
        "any other control character as \\xNN, so no field can fake a line or a column.\n"
        "\n"
        "--format json (or --json): one JSON document, UTF-8:\n"
        "  {\"users\": [{\"login\": ..., \"enabled\": true|false,\n"
        "    \"expires\": \"YYYY-MM-DD HH:MM:SS\" or null, \"email\": ..., \"full_name\": ...,\n"
        "    \"comments\": ..., \"created\": \"YYYY-MM-DD HH:MM:SS\",\n"
        "    \"password\": \"clear\" or \"hash only (SCHEME)\", \"groups\": [...]}, ...]}\n"
        "Passwords are not listed. A byte that is not part of valid UTF-8 is written as\n"
        "\\uDC80 to \\uDCFF (0xDC00 plus the byte), as Python's \"surrogateescape\" reads\n"
        "it back to the original byte.\n"
        "\n"
        "Only the users that meet every condition given are listed: --enabled or\n"
        "--disabled; --expired (the expiration date has passed, whether the sweep has\n"
        "disabled the user yet or not); --expiring-within SPAN (enabled users whose\n"
        "expiration date falls between now and SPAN from now: 14d, 2w, 36h, or days\n"
        "alone); --group GROUP (members of GROUP).\n",
        {"format", "expiring-within", "group"},
        {"json", "enabled", "disabled", "expired"},
        CmdList};
}

} // namespace quorvane::cli
