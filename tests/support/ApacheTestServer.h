#pragma once
// A real Apache httpd for the tests (see BasicAuthServer.h): one process in the foreground
// (-X) with a configuration of its own, Basic authentication on the page, and the `Require`
// line and authentication provider the test gives, so the same server judges password files,
// group files (`Require group`), and later other providers (mod_authn_dbd, mod_authnz_ldap) by
// extra modules and directives.
//
//   TApacheServer server;                              // AuthUserFile, Require valid-user
//   TApacheServer server({"authz_groupfile"},
//                        "AuthGroupFile GROUPFILE\nRequire group staff");
//   TApacheServer server({"dbd", "authn_dbd"}, "AuthBasicProvider dbd\n...",
//                        "DBDriver sqlite3\nDBDParams PREFIX/auth.db");  // server-wide lines
//
// Directives that name their own AuthBasicProvider replace the password file's; "PREFIX"
// stands for the server's folder, which files it reads may be put in.
// "GROUPFILE" in the directives stands for GroupFilePath(). Run as root, the server works as
// nobody, so its folder and files are readable by all.

#include "BasicAuthServer.h"

#include <unistd.h>

#include <string>
#include <vector>

namespace apachetest {

namespace fs = std::filesystem;

class TApacheServer : public testsupport::TBasicAuthServer {
public:
    explicit TApacheServer(std::vector<std::string> modules = {},
                           std::string directives = "Require valid-user",
                           std::string serverDirectives = "")
        : TBasicAuthServer("apache2",
                           testsupport::InstalledBinary({"/usr/sbin/apache2", "/usr/sbin/httpd"})),
          FModules(std::move(modules)), FDirectives(std::move(directives)),
          FServerDirectives(std::move(serverDirectives)) {
        if (!Available()) return;
        fs::permissions(Prefix(), fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
        WriteWholeFile(GroupFilePath(), "");
        const fs::path conf = Prefix() / "apache2.conf";
        const fs::path pidFile = Prefix() / "apache2.pid";
        Start([&](int port) { return Config(port, pidFile); }, conf,
              {Binary(), "-X", "-f", conf.string()}, pidFile);
    }

    fs::path GroupFilePath() const { return Prefix() / "groups"; }
    const fs::path& Folder() const { return Prefix(); }

private:
    std::string Config(int port, const fs::path& pidFile) const {
        const std::string prefix = Prefix().string();
        const std::string modules = "/usr/lib/apache2/modules/";
        std::string text = "ServerRoot " + prefix + "\n";
        for (const char* m : {"mpm_prefork", "authz_core", "authn_core", "auth_basic", "authn_file",
                              "authz_user", "dir"})
            text += std::string("LoadModule ") + m + "_module " + modules + "mod_" + m + ".so\n";
        for (const std::string& m : FModules)
            text += "LoadModule " + m + "_module " + modules + "mod_" + m + ".so\n";
        if (::geteuid() == 0) text += "User nobody\nGroup nogroup\n";
        const auto expand = [&](std::string lines) {
            for (size_t at; (at = lines.find("GROUPFILE")) != std::string::npos;)
                lines.replace(at, 9, GroupFilePath().string());
            for (size_t at; (at = lines.find("PREFIX")) != std::string::npos;)
                lines.replace(at, 6, prefix);
            return lines;
        };
        const std::string directives = expand(FDirectives);
        const std::string provider =
            directives.find("AuthBasicProvider") != std::string::npos
                ? std::string()
                : "  AuthBasicProvider file\n  AuthUserFile " + PasswordFilePath().string() + "\n";
        text += expand(FServerDirectives) + "\n";
        text += "Listen 127.0.0.1:" + std::to_string(port) + "\n" + "ServerName 127.0.0.1\n" +
                "PidFile " + pidFile.string() + "\n" + "ErrorLog " + prefix + "/logs/error.log\n" +
                "LogLevel warn\n" + "DirectoryIndex index.html\n" + "DocumentRoot " + prefix +
                "/html\n" + "<Directory " + prefix + "/html>\n" + "  AuthType Basic\n" +
                "  AuthName \"Quorvane test\"\n" + provider + directives + "\n" + "</Directory>\n";
        return text;
    }

    std::vector<std::string> FModules;
    std::string FDirectives;
    std::string FServerDirectives;
};

} // namespace apachetest
