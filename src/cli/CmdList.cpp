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
#include <memory>

#include <ostream>

namespace quorvane::cli {

namespace {

// One user's object of {"users": [{...}, ...]}, after the ones before it; passwords stay out.
void AppendJson(std::string& out, const TUserProp& u, bool first) {
    out += first ? "\n" : ",\n";
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

// One user's line of the tab-separated form.
void AppendLine(std::string& out, const TUserProp& u) {
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

// The users that pass the filter, rendered as they are read (none is kept); a later collection
// of users in the file replaces what was rendered before it. Printed once the whole file has
// been read.
struct TListing : TUserStream {
    TListing(const TUserReportFilter& filter, bool json) : Filter(filter), Json(json) {}
    const TUserReportFilter& Filter;
    const bool Json;
    TDateTime Now = quorvane::Now();
    std::string Out;
    size_t Count = 0;
    void Begin(std::string_view) override {
        Out.clear();
        Count = 0;
    }
    void User(TUserProp& user) override {
        if (!Filter.Matches(user, Now)) return;
        if (Json)
            AppendJson(Out, user, Count == 0);
        else
            AppendLine(Out, user);
        ++Count;
    }
    // Runs of users are rendered where they were read, each as if it came first.
    std::unique_ptr<TUserStream> Part(size_t textBytes) const override {
        auto part = std::make_unique<TListing>(Filter, Json);
        part->Now = Now;
        part->Out.reserve(textBytes / 2);
        return part;
    }
    void Join(TUserStream& part) override {
        const auto& p = static_cast<const TListing&>(part);
        if (Json && Count > 0 && p.Count > 0) Out += ',';
        Out += p.Out;
        Count += p.Count;
    }
};

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
    TListing listing(filter, format == "json");
    TDatabaseSession db(args.Positional()[0], TDatabaseSession::TAccess::Read, &listing);
    if (format == "json")
        io.Out << "{\n  \"users\": [" << listing.Out
               << (listing.Count == 0 ? "]\n}\n" : "\n  ]\n}\n");
    else
        io.Out << listing.Out;
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
