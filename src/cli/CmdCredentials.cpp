#include "cli/CliCommand.h"

#include "base/Errors.h"
#include "cli/UserSelection.h"
#include "userdb/Credentials.h"
#include "userdb/UserList.h"

#include <fstream>
#include <iterator>
#include <ostream>

namespace quorvane::cli {

namespace {

int CmdCredentials(const TArgs& args, TCliStreams& io) {
    const auto& pos = args.Positional();
    if (pos.size() < 2) throw EUsage("give the database and at least one login");
    const auto templateFile = args.Value("template");
    const auto out = args.Value("out");
    if (!templateFile || !out) throw EUsage("give --template FILE and --out DIR");
    const std::string format = args.Value("format").value_or("eml");
    TCredentialsFormat kind;
    if (format == "eml")
        kind = TCredentialsFormat::Eml;
    else if (format == "mbox")
        kind = TCredentialsFormat::Mbox;
    else if (format == "csv")
        kind = TCredentialsFormat::Csv;
    else
        throw EUsage("--format takes eml, mbox or csv");
    std::ifstream in(*templateFile, std::ios::binary);
    if (!in) throw ECliError(FormatMessage("Cannot open file %s", templateFile->c_str()));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const TCredentialsTemplate tmpl = ParseCredentialsTemplate(text);

    TDatabaseSession db(pos[0], TDatabaseSession::TAccess::Read);
    const std::vector<std::string> logins(pos.begin() + 1, pos.end());
    std::vector<const TUserProp*> users;
    for (TUserProp* user : UsersWithLogins(db.List(), logins))
        users.push_back(user);
    const auto mails = MakeCredentialsMails(tmpl, users, args.Value("url").value_or(""));
    const auto files = WriteCredentials(mails, kind, *out, args.Value("from").value_or(""));
    int withoutAddress = 0;
    for (const TCredentialsMail& mail : mails)
        withoutAddress += mail.To.empty() ? 1 : 0;
    if (withoutAddress > 0 && !args.Has("quiet"))
        io.Err << "quorvane-cli: warning: " << withoutAddress
               << (withoutAddress == 1 ? " user has" : " users have")
               << " no e-mail address; their mails have no recipient\n";
    if (!args.Has("quiet"))
        for (const std::string& file : files)
            io.Out << file << "\n";
    return kExitOk;
}

} // namespace

TCommand CredentialsCommand() {
    return {"credentials",
            "DB LOGIN... --template FILE --out DIR [--format eml|mbox|csv] [--url URL] "
            "[--from ADDRESS] [--quiet]",
            "write one mail per user with its login and password",
            "Fills the template for every user whose login is exactly one of the LOGINs and\n"
            "writes the mails into DIR (created with mode 0700): --format eml (the default)\n"
            "one LOGIN.eml per user, mbox one credentials.mbox, csv one credentials.csv for a\n"
            "mail merge (login, password, email, name, url, subject, body; a field starting\n"
            "with =, +, -, @, a tab or a CR gets a leading ' so a spreadsheet runs no formula;\n"
            "two logins that come to one file name get files of their own). The files hold\n"
            "clear passwords and get mode 0600. The template starts with header lines\n"
            "(\"Subject: ...\", ended by an empty line; without them the subject is \"Your\n"
            "access\") and holds the placeholders {login}, {password}, {url} (--url), {name},\n"
            "{email} and {expires}. Users known only by a hash taken over from a password file\n"
            "have no password to send and are refused, and so is an e-mail address that holds\n"
            "a comma, semicolon, angle bracket or blank. Prints the files written.\n",
            {"template", "out", "format", "url", "from"},
            {"quiet"},
            CmdCredentials};
}

} // namespace quorvane::cli
