#pragma once
// The stores the tests keep users in, each started once per test program and stopped by its
// process id: a PostgreSQL cluster made by initdb in a folder of its own (a password login, on a
// free loopback port, TLS with a certificate made for 127.0.0.1 at start; PGSSLROOTCERT points
// the client library at it), and an OpenLDAP slapd with TLS (a certificate made for 127.0.0.1 at
// start; LDAPTLS_CACERT points the client library at it) holding an empty organisation. The
// directory answers a plain search with at most 50 entries (paged searches are not limited), and
// has a writer besides its administrator, whom limits do not apply to.
//
//   static TPostgresServer* pg = ...;  if (!pg->Running()) GTEST_SKIP() << pg->Why();
//   pg->Url()  "postgresql://quorvane@127.0.0.1:PORT/postgres"  (password Password())

#include "ServerProcess.h"
#include "TestUtil.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace storetest {

namespace fs = std::filesystem;
using testsupport::TServerProcess;

inline int Run(const std::string& command) {
    return std::system(command.c_str());
}

// The folder the servers keep their data in; as root, it belongs to the postgres user, whom
// initdb and postgres must run as.
class TStoreServer {
public:
    virtual ~TStoreServer() {
        FProcess.Stop();
        std::error_code ec;
        if (!FDir.empty()) fs::remove_all(FDir, ec);
    }
    bool Running() const { return FRunning; }
    const std::string& Why() const { return FWhy; }
    int Port() const { return FPort; }
    const fs::path& Dir() const { return FDir; }

protected:
    TStoreServer() {
        std::string pattern = (fs::temp_directory_path() / "qvstore-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) FDir = pattern;
        fs::permissions(FDir,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    fs::path FDir;
    TServerProcess FProcess;
    bool FRunning = false;
    std::string FWhy;
    int FPort = 0;
};

class TPostgresServer : public TStoreServer {
public:
    TPostgresServer() {
        const std::string bin = "/usr/lib/postgresql/15/bin/";
        if (::access((bin + "postgres").c_str(), X_OK) != 0) {
            FWhy = "PostgreSQL is not installed";
            return;
        }
        // As root the cluster belongs to the postgres user (initdb refuses root).
        std::string asUser;
        if (::geteuid() == 0) {
            const passwd* pw = ::getpwnam("postgres");
            if (pw == nullptr) {
                FWhy = "no postgres user to run the server as";
                return;
            }
            Run("chown postgres: " + FDir.string());
            asUser = "/usr/bin/setpriv --reuid=postgres --regid=postgres --clear-groups -- ";
            FAsUser = {"/usr/bin/setpriv", "--reuid=postgres", "--regid=postgres", "--clear-groups",
                       "--"};
        }
        const fs::path data = FDir / "data";
        const std::string dir = FDir.string();
        if (Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                "-addext subjectAltName=IP:127.0.0.1 -keyout " +
                dir + "/server.key -out " + dir + "/server.crt >/dev/null 2>&1") != 0) {
            FWhy = "openssl could not make a certificate";
            return;
        }
        ::chmod((FDir / "server.key").c_str(), 0600);
        if (!asUser.empty()) Run("chown postgres: " + dir + "/server.key " + dir + "/server.crt");
        WriteWholeFile(FDir / "pw", Password() + "\n");
        fs::permissions(FDir / "pw", fs::perms::owner_read | fs::perms::others_read);
        if (Run(asUser + bin + "initdb -D " + data.string() + " -U quorvane -A scram-sha-256 " +
                "--pwfile=" + (FDir / "pw").string() + " >" + (FDir / "initdb.log").string() +
                " 2>&1") != 0) {
            FWhy = "initdb failed: " + ReadWholeFile(FDir / "initdb.log");
            return;
        }
        FPort = testsupport::StartOnFreePort([&](int port) {
            std::vector<std::string> args = FAsUser;
            for (const std::string& a :
                 {bin + "postgres", std::string("-D"), data.string(), std::string("-k"),
                  FDir.string(), std::string("-h"), std::string("127.0.0.1"), std::string("-p"),
                  std::to_string(port), std::string("-c"), std::string("fsync=off"),
                  std::string("-c"), std::string("ssl=on"), std::string("-c"),
                  "ssl_cert_file=" + dir + "/server.crt", std::string("-c"),
                  "ssl_key_file=" + dir + "/server.key"})
                args.push_back(a);
            return FProcess.Start(args, FDir / "server.log",
                                  [port](pid_t) { return testsupport::LoopbackPortAccepts(port); });
        });
        FRunning = FPort != 0;
        if (!FRunning) FWhy = "postgres did not start: " + ReadWholeFile(FDir / "server.log");
        ::setenv("PGSSLROOTCERT", (FDir / "server.crt").c_str(), 1);
    }
    std::string Password() const { return "pg-secret"; }
    std::string Url(const std::string& database = "postgres") const {
        return "postgresql://quorvane@127.0.0.1:" + std::to_string(FPort) + "/" + database;
    }

private:
    std::vector<std::string> FAsUser;
};

class TSlapdServer : public TStoreServer {
public:
    TSlapdServer() {
        if (::access("/usr/sbin/slapd", X_OK) != 0 || ::access("/usr/bin/ldapadd", X_OK) != 0) {
            FWhy = "slapd or ldapadd is not installed";
            return;
        }
        const std::string dir = FDir.string();
        if (Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                "-addext subjectAltName=IP:127.0.0.1 -keyout " +
                dir + "/key.pem -out " + dir + "/cert.pem >/dev/null 2>&1") != 0) {
            FWhy = "openssl could not make a certificate";
            return;
        }
        fs::create_directory(FDir / "db");
        std::string conf;
        for (const char* schema : {"core", "cosine", "inetorgperson", "nis"})
            conf += std::string("include /etc/ldap/schema/") + schema + ".schema\n";
        conf += "pidfile " + dir +
                "/slapd.pid\nmodulepath /usr/lib/ldap\nmoduleload back_mdb\n"
                "TLSCertificateFile " +
                dir + "/cert.pem\nTLSCertificateKeyFile " + dir +
                "/key.pem\nsizelimit size.soft=" + std::to_string(SizeLimit()) +
                " size.hard=" + std::to_string(SizeLimit()) +
                " size.prtotal=unlimited\ndatabase mdb\nmaxsize 4294967296\nsuffix \"" + Suffix() +
                "\"\nrootdn \"" + AdminDn() + "\"\nrootpw " + AdminPassword() + "\ndirectory " +
                dir +
                "/db\ndbnosync\nindex objectClass,uid,cn,description eq\naccess to * by "
                "dn.exact=\"" +
                WriterDn() + "\" write by * read\n";
        WriteWholeFile(FDir / "slapd.conf", conf);
        FPort = testsupport::StartOnFreePort([&](int port) {
            return FProcess.Start({"/usr/sbin/slapd", "-d", "0", "-h",
                                   "ldap://127.0.0.1:" + std::to_string(port) + "/", "-f",
                                   (FDir / "slapd.conf").string()},
                                  FDir / "server.log",
                                  [port](pid_t) { return testsupport::LoopbackPortAccepts(port); });
        });
        if (FPort == 0) {
            FWhy = "slapd did not start: " + ReadWholeFile(FDir / "server.log");
            return;
        }
        ::setenv("LDAPTLS_CACERT", (FDir / "cert.pem").c_str(), 1);
        FRunning =
            Add("dn: " + Suffix() +
                "\nobjectClass: dcObject\nobjectClass: organization\n"
                "dc: example\no: Example\n\ndn: " +
                BaseDn() + "\nobjectClass: organizationalUnit\nou: web\n\ndn: " + WriterDn() +
                "\nobjectClass: organizationalRole\nobjectClass: simpleSecurityObject\n"
                "cn: writer\nuserPassword: " +
                WriterPassword() + "\n");
        if (!FRunning) FWhy = "the base entries could not be added";
    }
    // Adds entries (LDIF) as the administrator, over StartTLS.
    bool Add(const std::string& ldif) const {
        WriteWholeFile(FDir / "add.ldif", ldif);
        return Run("ldapadd -ZZ -x -H " + Url() + " -D '" + AdminDn() + "' -w " + AdminPassword() +
                   " -f " + (FDir / "add.ldif").string() + " >" + (FDir / "ldapadd.log").string() +
                   " 2>&1") == 0;
    }
    std::string Url() const { return "ldap://127.0.0.1:" + std::to_string(FPort); }
    std::string Suffix() const { return "dc=example,dc=org"; }
    std::string BaseDn() const { return "ou=web," + Suffix(); }
    std::string AdminDn() const { return "cn=admin," + Suffix(); }
    std::string AdminPassword() const { return "ldap-secret"; }
    // Bound by the size limit, unlike the administrator.
    std::string WriterDn() const { return "cn=writer," + Suffix(); }
    std::string WriterPassword() const { return "writer-secret"; }
    static int SizeLimit() { return 50; }
};

} // namespace storetest
