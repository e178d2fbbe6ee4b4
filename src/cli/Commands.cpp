#include "cli/Commands.h"

#include "cli/CliCommand.h"
#include "cli/MasterPassword.h"
#include "userdb/LoginRule.h"

#include <algorithm>
#include <iostream>
#include <new>
#include <optional>
#include <stdexcept>
#include <streambuf>
#include <string_view>

namespace quorvane::cli {
const char* const kVersion = QUORVANE_VERSION;
} // namespace quorvane::cli

namespace quorvane {

using namespace quorvane::cli;

namespace {

std::vector<TCommand>& Commands();

// Standard error as the commands write it: every control byte but the line feed written as an
// escape (\r, \t, \x1b ...), as list writes its fields. A report names what came from outside
// (a site's file, an import, a server's reply): none of it may move the cursor, colour the
// terminal, or rewrite a line already shown.
class TEscapingBuf : public std::streambuf {
public:
    explicit TEscapingBuf(std::ostream& target) : FTarget(target) {}

protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::string out;
        out.reserve(static_cast<size_t>(n));
        for (std::streamsize i = 0; i < n; ++i) {
            const char c = s[i];
            if (static_cast<unsigned char>(c) >= 32 || c == '\n')
                out += c;
            else
                AppendForOneLine(out, std::string_view(&c, 1));
        }
        FTarget.write(out.data(), static_cast<std::streamsize>(out.size()));
        return FTarget ? n : 0;
    }
    int sync() override {
        FTarget.flush();
        return FTarget ? 0 : -1;
    }

private:
    std::ostream& FTarget;
};

// The message with every huge argument of the command line it quotes cut short: a message
// should say which argument it means, not repeat 100 KB of it.
std::string CutArguments(std::string message, const std::vector<std::string>& args) {
    std::vector<std::string> parts;
    for (const std::string& arg : args) {
        parts.push_back(arg);
        // The value of "--name=value" may be quoted alone.
        if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos)
            parts.push_back(arg.substr(eq + 1));
    }
    for (const std::string& part : parts) {
        const std::string shortened = ShortArgument(part);
        if (shortened.size() == part.size()) continue;
        for (size_t at = message.find(part); at != std::string::npos;
             at = message.find(part, at + shortened.size()))
            message.replace(at, part.size(), shortened);
    }
    return message;
}

// Whether the command opens a database named on its command line, and so takes the options
// that open an encrypted one. create makes a new database; encrypt's options are its own.
bool OpensDatabase(const TCommand& c) {
    if (c.Name == "create" || c.Name == "encrypt") return false;
    const std::string usage = " " + c.Usage + " ";
    return usage.find(" DB ") != std::string::npos || usage.find("|DB ") != std::string::npos;
}

void PrintUsage(std::ostream& os, const TCommand& c) {
    os << "usage: quorvane-cli " << c.Name << (c.Usage.empty() ? "" : " ") << c.Usage;
    if (OpensDatabase(c)) os << " [--master-password-file FILE] [--key-file FILE]";
    os << "\n";
}

void PrintOverview(std::ostream& os) {
    os << "quorvane-cli " << kVersion
       << " - keep the users of a password-protected site and write its password file\n\n"
       << "usage: quorvane-cli COMMAND [ARGUMENTS]\n\ncommands:\n";
    for (const TCommand& c : Commands()) {
        std::string head = "  " + c.Name;
        head.resize(std::max<size_t>(head.size() + 2, 12), ' ');
        os << head << c.Summary << "\n";
    }
    os << "\nquorvane-cli help COMMAND    details of one command\n"
       << "quorvane-cli --version       the program's version\n\n"
       << "A command that opens an encrypted database asks for its master password on the\n"
       << "terminal, or reads it from --master-password-file FILE (a file only its owner may\n"
       << "read); --key-file FILE names the key file of a database encrypted with one.\n"
       << "--no-prompt (before or after the command) asks for nothing on the terminal: what\n"
       << "would be asked fails at once, as shell completion and unattended scripts need.\n\n"
       << "Errors go to standard error with exit status 1; a command line that is not\n"
       << "understood gives exit status 2.\n";
}

int CmdHelp(const TArgs& args, TCliStreams& io) {
    if (args.Positional().empty()) {
        PrintOverview(io.Out);
        return kExitOk;
    }
    args.ExpectPositional(1);
    for (const TCommand& c : Commands()) {
        if (c.Name == args.Positional()[0]) {
            PrintUsage(io.Out, c);
            io.Out << "\n" << c.Summary << "\n";
            if (!c.Details.empty()) io.Out << "\n" << c.Details;
            return kExitOk;
        }
    }
    throw EUsage("unknown command " + args.Positional()[0]);
}

TCommand HelpCommand() {
    return {"help", "[COMMAND]", "show this overview, or the details of one command", "", {},
            {},     CmdHelp};
}

// Each command by its name, in the order the overview lists them. A run makes only the command
// it runs: making them all touches the code and the texts of every one, which cost a short
// command a good part of its time.
struct TCommandMaker {
    std::string_view Name;
    TCommand (*Make)();
};
constexpr TCommandMaker KCommandMakers[] = {
    {"create", CreateCommand},
    {"info", InfoCommand},
    {"list", ListCommand},
    {"add", AddCommand},
    {"edit", EditCommand},
    {"passwd", PasswdCommand},
    {"enable", EnableCommand},
    {"disable", DisableCommand},
    {"expire", ExpireCommand},
    {"delete", DeleteCommand},
    {"sweep", SweepCommand},
    {"import", ImportCommand},
    {"import-htpasswd", ImportHtpasswdCommand},
    {"series", SeriesCommand},
    {"group", GroupCommand},
    {"credentials", CredentialsCommand},
    {"export", ExportCommand},
    {"restore", RestoreCommand},
    {"target", TargetCommand},
    {"settings", SettingsCommand},
    {"encrypt", EncryptCommand},
    {"decrypt", DecryptCommand},
    {"rekey", RekeyCommand},
    {"hash", HashCommand},
    {"verify", VerifyCommand},
    {"check", CheckCommand},
    {"help", HelpCommand},
};

std::vector<TCommand>& Commands() {
    static std::vector<TCommand> commands = [] {
        std::vector<TCommand> all;
        for (const TCommandMaker& maker : KCommandMakers)
            all.push_back(maker.Make());
        return all;
    }();
    return commands;
}

// The command called `name`; nothing when there is none.
std::optional<TCommand> FindCommand(std::string_view name) {
    for (const TCommandMaker& maker : KCommandMakers) {
        if (maker.Name != name) continue;
        TCommand command = maker.Make();
        if (command.Name != name) throw std::logic_error("command table out of order");
        return command;
    }
    return std::nullopt;
}

int RunCommand(const std::vector<std::string>& args, TCliStreams& io);

} // namespace

int RunCli(const std::vector<std::string>& args, TCliStreams& io) {
    TEscapingBuf escaping(io.Err);
    std::ostream err(&escaping);
    TCliStreams streams{io.In, io.Out, err, io.ErrIsTerminal, io.RawErr ? io.RawErr : &io.Err};
    const int status = RunCommand(args, streams);
    err.flush();
    return status;
}

namespace {

int RunCommand(const std::vector<std::string>& given, TCliStreams& io) {
    // --no-prompt before the command holds for it; the command takes it after its name too.
    std::vector<std::string> args = given;
    bool noPrompt = false;
    while (!args.empty() && args[0] == "--no-prompt") {
        noPrompt = true;
        args.erase(args.begin());
    }
    struct TNoPromptInUse {
        ~TNoPromptInUse() { SetNoPrompt(false); }
    } noPromptInUse;
    SetNoPrompt(noPrompt);
    if (args.empty()) {
        PrintOverview(io.Err);
        return kExitUsage;
    }
    const std::string& name = args[0];
    if (name == "--help" || name == "-h" || name == "--version") {
        if (name == "--version")
            io.Out << "quorvane-cli " << kVersion << "\n";
        else
            PrintOverview(io.Out);
        io.Out.flush();
        if (io.Out) return kExitOk;
        io.Err << "quorvane-cli: Cannot write to standard output\n";
        return kExitFailure;
    }
    const std::optional<TCommand> command = FindCommand(name);
    if (!command) {
        io.Err << "quorvane-cli: unknown command \"" << ShortArgument(name) << "\"\n"
               << "usage: quorvane-cli COMMAND [ARGUMENTS]; see quorvane-cli --help\n";
        return kExitUsage;
    }
    try {
        std::vector<std::string> flags = command->Flags;
        flags.push_back("help");
        flags.push_back("no-prompt");
        std::vector<std::string> valueOptions = command->ValueOptions;
        if (OpensDatabase(*command)) {
            valueOptions.push_back(KMasterPasswordFileOption);
            valueOptions.push_back(KKeyFileOption);
        }
        const TArgs parsed(args, 1, valueOptions, flags);
        // The database the command opens asks these options for its master password.
        struct TOptionsInUse {
            explicit TOptionsInUse(const TArgs& a) { SetMasterPasswordOptions(&a); }
            ~TOptionsInUse() { SetMasterPasswordOptions(nullptr); }
        } inUse(parsed);
        if (parsed.Has("no-prompt")) SetNoPrompt(true);
        // "-h" asks for the command's help as --help does, unless "--" made it a plain value.
        const auto& pos = parsed.Positional();
        const bool shortHelp = std::find(pos.begin(), pos.end(), "-h") != pos.end() &&
                               std::find(args.begin(), args.end(), "--") == args.end();
        const int status = parsed.Has("help") || shortHelp
                               ? CmdHelp(TArgs({"help", name}, 1, {}, {}), io)
                               : command->Run(parsed, io);
        // Whatever was printed must have arrived: a full disk or a closed pipe is a failure.
        if (status == kExitOk) WriteOutput(io, {});
        return status;
    } catch (const EUsage& e) {
        io.Err << "quorvane-cli " << name << ": " << CutArguments(e.what(), args) << "\n";
        PrintUsage(io.Err, *command);
        return kExitUsage;
    } catch (const std::bad_alloc&) {
        io.Err << "quorvane-cli: Not enough memory to " << command->Summary
               << ". Close other programs or work on a smaller database, then try again.\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        io.Err << "quorvane-cli: " << CutArguments(e.what(), args) << "\n";
        return kExitFailure;
    }
}

} // namespace

} // namespace quorvane
