#include "cli/CliCommand.h"

#include "base/DateUtil.h"
#include "cli/Json.h"
#include "export/HashOnlyUsers.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

// {"users": [{...}, ...]}: one object per user in database order; passwords stay out.
std::string ListJson(const TUserList& list) {
    std::string out = "{\n  \"users\": [";
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& u = list.Users(i);
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
        out += ", \"password\": " + JsonString(PasswordKindText(u)) + "}";
    }
    out += list.Count() == 0 ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

int CmdList(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string format = args.Has("json") ? "json" : args.Value("format").value_or("tsv");
    if (format != "tsv" && format != "json") throw EUsage("--format takes tsv or json");
    if (args.Has("json") && args.Value("format").value_or("json") != "json")
        throw EUsage("--json and --format tsv contradict each other");
    TDatabaseSession db(args.Positional()[0], TDatabaseSession::TAccess::Read);
    const TUserList& list = db.List();
    if (format == "json") {
        io.Out << ListJson(list);
        return kExitOk;
    }
    std::string out;
    out.reserve(static_cast<size_t>(list.Count()) * 128);
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& u = list.Users(i);
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
            out += HashOnlyText(u);
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
        "DB [--format tsv|json] [--json]",
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
        "    \"password\": \"clear\" or \"hash only (SCHEME)\"}, ...]}\n"
        "Passwords are not listed. A byte that is not part of valid UTF-8 is written as\n"
        "\\uDC80 to \\uDCFF (0xDC00 plus the byte), as Python's \"surrogateescape\" reads\n"
        "it back to the original byte.\n",
        {"format"},
        {"json"},
        CmdList};
}

} // namespace quorvane::cli
