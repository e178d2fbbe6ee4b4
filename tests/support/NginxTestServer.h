#pragma once
// A real nginx for the tests (see BasicAuthServer.h): one foreground process with its own
// prefix folder, configuration and pid file.

#include "BasicAuthServer.h"

#include <string>
#include <vector>

namespace nginxtest {

namespace fs = std::filesystem;

class TNginxServer : public testsupport::TBasicAuthServer {
public:
    // passwordFile: the file nginx checks credentials against (its own by default).
    explicit TNginxServer(fs::path passwordFile = {})
        : TBasicAuthServer("nginx",
                           testsupport::InstalledBinary(
                               {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"})) {
        if (!Available()) return;
        FPasswordFile = passwordFile.empty() ? PasswordFilePath() : std::move(passwordFile);
        const std::string prefix = Prefix().string();
        fs::create_directories(Prefix() / "tmp");
        const fs::path conf = Prefix() / "nginx.conf";
        const fs::path pidFile = Prefix() / "nginx.pid";
        Start([&](int port) { return Config(port, pidFile); }, conf,
              {Binary(), "-p", prefix + "/", "-e", prefix + "/logs/error.log", "-c", conf.string()},
              pidFile);
    }

private:
    // One process in the foreground: the child we spawn is the server we stop.
    std::string Config(int port, const fs::path& pidFile) const {
        const std::string prefix = Prefix().string();
        std::string temps;
        for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            temps += std::string("  ") + kind + "_temp_path " + prefix + "/tmp/" + kind + ";\n";
        return "daemon off;\n"
               "master_process off;\n"
               "worker_processes 1;\n"
               "pid " +
               pidFile.string() + ";\nerror_log " + prefix +
               "/logs/error.log info;\n"
               "events { worker_connections 32; }\n"
               "http {\n"
               "  access_log off;\n" +
               temps +
               "  server {\n"
               "    listen 127.0.0.1:" +
               std::to_string(port) + ";\n    root " + prefix +
               "/html;\n"
               "    location / {\n"
               "      auth_basic \"Quorvane test\";\n"
               "      auth_basic_user_file " +
               FPasswordFile.string() +
               ";\n"
               "    }\n"
               "  }\n"
               "}\n";
    }

    fs::path FPasswordFile;
};

} // namespace nginxtest
