#pragma once
// A real lighttpd for the tests (see BasicAuthServer.h): mod_auth with the htpasswd backend of
// mod_authn_file, in the foreground with its own configuration and pid file. lighttpd answers
// a refused password only after a second's pause.

#include "BasicAuthServer.h"

#include <string>

namespace lighttpdtest {

namespace fs = std::filesystem;

class TLighttpdServer : public testsupport::TBasicAuthServer {
public:
    // backend: lines in place of the password file's ("auth.backend = ..."), "PREFIX" standing
    // for the server's folder.
    explicit TLighttpdServer(std::string backend = "")
        : TBasicAuthServer("lighttpd",
                           testsupport::InstalledBinary({"/usr/sbin/lighttpd", "/usr/bin/lighttpd",
                                                         "/usr/local/sbin/lighttpd"})),
          FBackend(std::move(backend)) {
        if (!Available()) return;
        const fs::path conf = Prefix() / "lighttpd.conf";
        const fs::path pidFile = Prefix() / "lighttpd.pid";
        Start([&](int port) { return Config(port, pidFile); }, conf,
              {Binary(), "-D", "-f", conf.string()}, pidFile);
    }

private:
    std::string Config(int port, const fs::path& pidFile) const {
        const auto quoted = [](const fs::path& path) { return "\"" + path.string() + "\""; };
        return "server.modules = (\"mod_auth\", \"mod_authn_file\")\n"
               "server.bind = \"127.0.0.1\"\n"
               "server.port = " +
               std::to_string(port) + "\nserver.document-root = " + quoted(Prefix() / "html") +
               "\nserver.pid-file = " + quoted(pidFile) +
               "\nserver.errorlog = " + quoted(Prefix() / "logs" / "error.log") +
               "\nindex-file.names = (\"index.html\")\n" + Backend(quoted) +
               "\nauth.require = (\"/\" => (\"method\" => \"basic\", \"realm\" => \"Quorvane "
               "test\", \"require\" => \"valid-user\"))\n";
    }

    template <typename Quote> std::string Backend(const Quote& quoted) const {
        if (FBackend.empty())
            return "auth.backend = \"htpasswd\"\nauth.backend.htpasswd.userfile = " +
                   quoted(PasswordFilePath());
        std::string lines = FBackend;
        for (size_t at; (at = lines.find("PREFIX")) != std::string::npos;)
            lines.replace(at, 6, Prefix().string());
        return lines;
    }

public:
    const fs::path& Folder() const { return Prefix(); }

private:
    std::string FBackend;
};

} // namespace lighttpdtest
