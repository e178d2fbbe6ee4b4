// Each consumer's file, in each form it reads, judged by the real program that reads it on
// loopback (one right and one wrong password), each program started once for this test program;
// the files of programs that only a cluster or a service reads are parsed (YAML, base64) and
// each value checked with its form's reference implementation (libxcrypt, libsodium, OpenSSL).

#include "ApacheTestServer.h"
#include "BasicAuthServer.h"
#include "ExportTestUtil.h"
#include "LighttpdTestServer.h"
#include "ServerProcess.h"
#include "TestUtil.h"
#include "export/Consumers.h"
#include "export/ExportTexts.h"
#include "export/HashSchemes.h"
#include "export/StoredHash.h"
#include "userdb/Groups.h"

#include <crypt.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>

using namespace quorvane;
using namespace testsupport;

namespace {

const char* const KRight = "right horse";
const char* const KWrong = "right hors";

fs::path MakeFolder(const std::string& name) {
    std::string pattern = (fs::temp_directory_path() / ("qvc" + name + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    // Some consumers drop to a service account that must read their file.
    ::chmod(pattern.c_str(), 0755);
    return pattern;
}

// Two users, alice the one asked about; alice in a group where the file takes groups.
void People(TUserList& list) {
    TUserProp& alice = list.Add("alice", KRight);
    alice.FullName = "Alice \"Al\" Example: #1";
    alice.Email = "alice@example.org";
    SetUserGroups(alice, {"staff"});
    list.Add("bob", "bob other secret");
}

std::string Build(const std::string& consumer, const std::string& form,
                  const std::string& listName = {}) {
    TUserList list;
    People(list);
    TPasswordFileOptions options;
    options.Form = FormByCliName(form);
    options.Realm = "Quorvane test"; // the test servers' AuthName
    options.ListName = listName;
    options.SchemeParam = options.Form->Param ? options.Form->Param->Min : 0;
    return BuildConsumerFile(list, RequireConsumer(consumer), options).value();
}

int HttpStatus(const std::string& url, const std::string& login, const std::string& password,
               const char* method = nullptr, long digest = 0) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION,
        +[](char*, size_t size, size_t count, void*) { return size * count; });
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, digest ? CURLAUTH_DIGEST : CURLAUTH_BASIC);
    curl_easy_setopt(curl, CURLOPT_USERNAME, login.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    if (method) curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
    long status = -1;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    return static_cast<int>(status);
}

// A consumer program started once, on a free loopback port, with the file it reads.
class TConsumerProcess {
public:
    // configFor(port, folder) writes the configuration and gives the command line.
    TConsumerProcess(const std::string& name, const std::string& file,
                     const std::function<std::vector<std::string>(int, const fs::path&)>& start)
        : FFolder(MakeFolder(name)) {
        WriteWholeFile(FFolder / "users", file);
        ::chmod((FFolder / "users").c_str(), 0644);
        FPort = StartOnFreePort([&](int port) {
            return FProcess.Start(start(port, FFolder), FFolder / "out.log",
                                  [&](pid_t) { return LoopbackPortAccepts(port); });
        });
    }
    ~TConsumerProcess() {
        FProcess.Stop();
        std::error_code ec;
        fs::remove_all(FFolder, ec);
    }
    int Port() const { return FPort; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(FPort) + path;
    }
    std::string Log() const { return ReadWholeFile(FFolder / "out.log"); }

private:
    fs::path FFolder;
    TServerProcess FProcess;
    int FPort = 0;
};

// What a check answers: let in or not; a reason instead when the consumer could not be asked.
struct TVerdict {
    bool In = false;
    std::string Skip;
};

using TCheck = std::function<TVerdict(const std::string& file, const std::string& login,
                                      const std::string& password)>;

// One server per consumer for the whole program, made with the first file it is asked about.
template <typename Make> TConsumerProcess& Once(const std::string& file, Make make) {
    static std::unique_ptr<TConsumerProcess> server(make(file));
    return *server;
}

TVerdict ByStatus(const TConsumerProcess& server, const std::string& path, const std::string& login,
                  const std::string& password, const char* method = nullptr) {
    const int status = HttpStatus(server.Url(path), login, password, method);
    if (status < 0) return {false, "no answer: " + server.Log()};
    return {status >= 200 && status < 300, {}};
}

TVerdict Caddy(const std::string& file, const std::string& login, const std::string& password) {
    if (!ToolAvailable("caddy")) return {false, "caddy is not installed"};
    auto& server = Once(file, [](const std::string& f) {
        return std::make_unique<TConsumerProcess>("caddy", f, [](int port, const fs::path& dir) {
            WriteWholeFile(dir / "Caddyfile",
                           "{\n\tadmin off\n\tauto_https off\n\tstorage file_system " +
                               (dir / "data").string() +
                               "\n}\nhttp://127.0.0.1:" + std::to_string(port) + " {\n\timport " +
                               (dir / "users").string() + "\n\trespond \"in\"\n}\n");
            return std::vector<std::string>{"/usr/bin/caddy", "run",
                                            "--config",       (dir / "Caddyfile").string(),
                                            "--adapter",      "caddyfile"};
        });
    });
    return ByStatus(server, "/", login, password);
}

// One haproxy for every form it reads: a userlist per form ("ul_bcrypt", ...), each guarding
// the path of its form's name. A row's file is built with its form's userlist name.
const char* const KHaproxyForms[] = {"bcrypt", "sha512", "sha256", "plain"};

TCheck Haproxy(const std::string& form) {
    return [form](const std::string& file, const std::string& login, const std::string& password) {
        if (!ToolAvailable("haproxy")) return TVerdict{false, "haproxy is not installed"};
        static std::map<std::string, std::string> files;
        files[form] = file;
        if (files.size() < std::size(KHaproxyForms)) {
            // the others' files first, built as their rows build them
            for (const char* other : KHaproxyForms)
                if (!files.count(other))
                    files[other] = Build("haproxy", other, std::string("ul_") + other);
        }
        static const TConsumerProcess server("haproxy", "", [](int port, const fs::path& dir) {
            std::string config = "defaults\n  mode http\n  timeout connect 5s\n"
                                 "  timeout client 5s\n  timeout server 5s\nfrontend site\n"
                                 "  bind 127.0.0.1:" +
                                 std::to_string(port) + "\n";
            std::vector<std::string> args = {"/usr/sbin/haproxy", "-db"};
            for (const auto& [name, text] : files) {
                WriteWholeFile(dir / name, text);
                args.insert(args.end(), {"-f", (dir / name).string()});
                config += "  http-request auth realm site if { path_beg /" + name +
                          " } !{ http_auth_group(ul_" + name + ") staff }\n";
            }
            config += "  http-request return status 200\n";
            WriteWholeFile(dir / "haproxy.cfg", config);
            args.insert(args.end(), {"-f", (dir / "haproxy.cfg").string()});
            return args;
        });
        // a file built later than the server started is not what it read
        if (files[form] != file) return TVerdict{false, "the file changed after haproxy started"};
        return ByStatus(server, "/" + form, login, password);
    };
}

TVerdict Registry(const std::string& file, const std::string& login, const std::string& password) {
    if (!ToolAvailable("docker-registry")) return {false, "docker-registry is not installed"};
    auto& server = Once(file, [](const std::string& f) {
        return std::make_unique<TConsumerProcess>("registry", f, [](int port, const fs::path& dir) {
            WriteWholeFile(dir / "config.yml",
                           "version: 0.1\nlog:\n  level: error\nstorage:\n  filesystem:\n"
                           "    rootdirectory: " +
                               (dir / "data").string() +
                               "\nhttp:\n  addr: 127.0.0.1:" + std::to_string(port) +
                               "\nauth:\n  htpasswd:\n    realm: registry\n    path: " +
                               (dir / "users").string() + "\n");
            return std::vector<std::string>{"/usr/bin/docker-registry", "serve",
                                            (dir / "config.yml").string()};
        });
    });
    return ByStatus(server, "/v2/", login, password);
}

TVerdict NodeExporter(const std::string& file, const std::string& login,
                      const std::string& password) {
    if (!ToolAvailable("prometheus-node-exporter"))
        return {false, "prometheus-node-exporter is not installed"};
    auto& server = Once(file, [](const std::string& f) {
        return std::make_unique<TConsumerProcess>("node", f, [](int port, const fs::path& dir) {
            return std::vector<std::string>{
                "/usr/bin/prometheus-node-exporter",
                "--web.listen-address=127.0.0.1:" + std::to_string(port),
                "--web.config.file=" + (dir / "users").string(), "--collector.disable-defaults"};
        });
    });
    return ByStatus(server, "/metrics", login, password);
}

// Radicale names the one form of its htpasswd file in its configuration: one Radicale per form.
TCheck Radicale(const std::string& form) {
    return [form](const std::string& file, const std::string& login, const std::string& password) {
        if (!ToolAvailable("radicale")) return TVerdict{false, "radicale is not installed"};
        static std::map<std::string, std::unique_ptr<TConsumerProcess>> servers;
        auto& server = servers[form];
        if (!server)
            server = std::make_unique<TConsumerProcess>(
                "radicale", file, [&form](int port, const fs::path& dir) {
                    WriteWholeFile(dir / "config",
                                   "[server]\nhosts = 127.0.0.1:" + std::to_string(port) +
                                       "\n[auth]\ntype = htpasswd\nhtpasswd_filename = " +
                                       (dir / "users").string() +
                                       "\nhtpasswd_encryption = " + (form == "md5" ? "md5" : form) +
                                       "\ndelay = 0\n[storage]\nfilesystem_folder = " +
                                       (dir / "collections").string() + "\n");
                    return std::vector<std::string>{"/usr/bin/python3", "-m", "radicale",
                                                    "--config", (dir / "config").string()};
                });
        return ByStatus(*server, "/" + login + "/", login, password, "PROPFIND");
    };
}

TVerdict Mosquitto(const std::string& file, const std::string& login, const std::string& password) {
    if (!ToolAvailable("mosquitto") || !ToolAvailable("mosquitto_pub"))
        return {false, "mosquitto is not installed"};
    auto& server = Once(file, [](const std::string& f) {
        return std::make_unique<TConsumerProcess>(
            "mosquitto", f, [](int port, const fs::path& dir) {
                WriteWholeFile(dir / "mosquitto.conf",
                               "user root\nlistener " + std::to_string(port) +
                                   " 127.0.0.1\nallow_anonymous false\npersistence false\n"
                                   "password_file " +
                                   (dir / "users").string() + "\n");
                return std::vector<std::string>{"/usr/sbin/mosquitto", "-c",
                                                (dir / "mosquitto.conf").string()};
            });
    });
    const TCommandResult result =
        RunCommand("mosquitto_pub -h 127.0.0.1 -p " + std::to_string(server.Port()) + " -u " +
                   ShellQuote(login) + " -P " + ShellQuote(password) + " -t t -m x 2>&1");
    return {result.ExitCode == 0, {}};
}

// Apache's mod_auth_digest with the file as AuthUserFile, asked with Digest credentials.
TVerdict ApacheDigest(const std::string& file, const std::string& login,
                      const std::string& password) {
    static apachetest::TApacheServer server(
        {"auth_digest"}, "AuthBasicProvider file\n  AuthType Digest\n  AuthDigestProvider file\n"
                         "  AuthUserFile PREFIX/htpasswd\n  Require valid-user");
    if (!server.Available()) return {false, server.SkipReason()};
    server.SetPasswordFile(file);
    const int status = HttpStatus(server.Url(), login, password, nullptr, 1);
    if (status < 0) return {false, "no answer: " + server.ErrorLog()};
    return {status == 200, {}};
}

// lighttpd's htdigest backend (asked with Basic credentials, which it checks against the
// digest of the realm).
TVerdict LighttpdHtdigest(const std::string& file, const std::string& login,
                          const std::string& password) {
    static lighttpdtest::TLighttpdServer server(
        "auth.backend = \"htdigest\"\nauth.backend.htdigest.userfile = \"PREFIX/htpasswd\"");
    if (!server.Available()) return {false, server.SkipReason()};
    server.SetPasswordFile(file);
    const int status = server.Status(login, password);
    if (status < 0) return {false, "no answer: " + server.ErrorLog()};
    return {status == 200, {}};
}

// Dovecot's auth service with a passwd-file per form ("%s.users", %s the service the check
// names), asked by doveadm auth test: one Dovecot for the program, in a folder of its own.
TVerdict Dovecot(const std::string& form, const std::string& file, const std::string& login,
                 const std::string& password) {
    if (!ToolAvailable("dovecot") || !ToolAvailable("doveadm"))
        return {false, "dovecot-core is not installed"};
    static const fs::path folder = MakeFolder("dovecot");
    static const fs::path conf = folder / "dovecot.conf";
    struct TDovecot {
        TServerProcess Process;
        ~TDovecot() {
            Process.Stop();
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
    };
    static TDovecot dovecot;
    if (dovecot.Process.Pid() <= 0) {
        WriteWholeFile(conf, "base_dir = " + (folder / "run").string() +
                                 "\nstate_dir = " + (folder / "state").string() +
                                 "\nlog_path = " + (folder / "log").string() +
                                 "\nprotocols =\nssl = no\npassdb {\n  driver = passwd-file\n"
                                 "  args = " +
                                 (folder / "%s.users").string() +
                                 "\n}\nuserdb {\n  driver = static\n  args = uid=65534 "
                                 "gid=65534 home=/nonexistent\n}\n");
        if (!dovecot.Process.Start(
                {"/usr/sbin/dovecot", "-F", "-c", conf.string()}, folder / "out.log",
                [](pid_t) { return fs::exists(folder / "run" / "auth-client"); }))
            return {false, "dovecot did not start: " + ReadWholeFile(folder / "out.log")};
    }
    WriteWholeFile(folder / (form + ".users"), file);
    ::chmod((folder / (form + ".users")).c_str(), 0644);
    const TCommandResult result =
        RunCommand("doveadm -c " + ShellQuote(conf.string()) + " auth test -x service=" + form +
                   " " + ShellQuote(login) + " " + ShellQuote(password) + " 2>&1");
    if (result.ExitCode != 0 && result.ExitCode != 77) return {false, result.Output};
    return {result.ExitCode == 0, {}};
}

TCheck DovecotFor(const std::string& form) {
    return [form](const std::string& file, const std::string& login, const std::string& password) {
        return Dovecot(form, file, login, password);
    };
}

// pam_pwdfile through pamtester, with a PAM service of this program's own in /etc/pam.d.
TVerdict PamPwdfile(const std::string& file, const std::string& login,
                    const std::string& password) {
    if (!ToolAvailable("pamtester") || !fs::exists("/lib/x86_64-linux-gnu/security/pam_pwdfile.so"))
        return {false, "pamtester or pam_pwdfile is not installed"};
    static const fs::path folder = MakeFolder("pam");
    // PAM looks a service up by its name in lower case.
    static const std::string service = "quorvane-test-" + std::to_string(::getpid());
    struct TService {
        ~TService() {
            std::error_code ec;
            fs::remove(fs::path("/etc/pam.d") / service, ec);
            fs::remove_all(folder, ec);
        }
    };
    static const TService cleanup;
    WriteWholeFile(folder / "users", file);
    WriteWholeFile(fs::path("/etc/pam.d") / service,
                   "auth required pam_pwdfile.so pwdfile=" + (folder / "users").string() +
                       "\naccount required pam_permit.so\n");
    const TCommandResult result =
        RunCommand("printf '%s\\n' " + ShellQuote(password) + " | pamtester " + service + " " +
                   ShellQuote(login) + " authenticate 2>&1");
    if (result.ExitCode != 0 && result.ExitCode != 1) return {false, result.Output};
    return {result.ExitCode == 0, {}};
}

// The reference verdict on a value of a form: libxcrypt for crypt forms, libsodium for
// argon2id, OpenSSL's apr1 for MD5.
bool ReferenceVerifies(const std::string& value, const std::string& password) {
    if (value.starts_with("$argon2id$"))
        return crypto_pwhash_str_verify(value.c_str(), password.data(), password.size()) == 0;
    if (value.starts_with("$apr1$")) {
        const std::string salt = value.substr(6, value.find('$', 6) - 6);
        const TCommandResult made = RunCommand("openssl passwd -apr1 -salt " + ShellQuote(salt) +
                                               " " + ShellQuote(password));
        return made.ExitCode == 0 && made.Output == value + "\n";
    }
    crypt_data data;
    std::memset(&data, 0, sizeof data);
    const char* out = crypt_r(password.c_str(), value.c_str(), &data);
    return out != nullptr && value == out;
}

// The "login<TAB>value" pairs a small Python program reads out of the file with PyYAML.
std::map<std::string, std::string> ParsedPairs(const std::string& file, const std::string& how) {
    const fs::path folder = MakeFolder("yaml");
    WriteWholeFile(folder / "file", file);
    const TCommandResult result = RunCommand(
        "python3 -c " +
        ShellQuote("import sys, yaml, base64\nd = yaml.safe_load(open(sys.argv[1]))\n" + how) +
        " " + ShellQuote((folder / "file").string()));
    std::error_code ec;
    fs::remove_all(folder, ec);
    std::map<std::string, std::string> pairs;
    size_t start = 0;
    while (start < result.Output.size()) {
        const size_t end = result.Output.find('\n', start);
        const std::string line = result.Output.substr(start, end - start);
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) pairs[line.substr(0, tab)] = line.substr(tab + 1);
        start = end == std::string::npos ? result.Output.size() : end + 1;
    }
    return pairs;
}

TCheck Parsed(const std::string& how) {
    return [how](const std::string& file, const std::string& login, const std::string& password) {
        if (!ToolAvailable("python3")) return TVerdict{false, "python3 is not installed"};
        const auto pairs = ParsedPairs(file, how);
        const auto found = pairs.find(login);
        return TVerdict{found != pairs.end() && ReferenceVerifies(found->second, password), {}};
    };
}

const char* const KTraefikPairs =
    "for u in d['http']['middlewares']['basic-auth']['basicAuth']['users']:\n"
    "    print(u.replace(':', '\\t', 1))\n";
const char* const KKubernetesPairs =
    "assert d['kind'] == 'Secret' and d['data']['auth'] == d['data']['users']\n"
    "for l in base64.b64decode(d['data']['auth']).decode().splitlines():\n"
    "    print(l.replace(':', '\\t', 1))\n";
const char* const KAutheliaPairs =
    "for k, v in d['users'].items():\n"
    "    assert v['displayname'] and isinstance(v['groups'], list) and v['disabled'] is False\n"
    "    print(k + '\\t' + v['password'])\n";

} // namespace

TEST(Consumers, EachFormItReadsLetsInTheRightPasswordAndNoOther) {
    const struct {
        const char* Consumer;
        const char* Form;
        TCheck Check;
    } rows[] = {
        {"digest", "digest", ApacheDigest},
        {"digest", "digest", LighttpdHtdigest},
        {"caddy", "bcrypt", Caddy},
        {"haproxy", "bcrypt", Haproxy("bcrypt")},
        {"haproxy", "sha512", Haproxy("sha512")},
        {"haproxy", "sha256", Haproxy("sha256")},
        {"haproxy", "plain", Haproxy("plain")},
        {"registry", "bcrypt", Registry},
        {"prometheus", "bcrypt", NodeExporter},
        {"mosquitto", "pbkdf2-sha512", Mosquitto},
        {"radicale", "bcrypt", Radicale("bcrypt")},
        {"radicale", "md5", Radicale("md5")},
        {"radicale", "plain", Radicale("plain")},
        {"dovecot", "bcrypt", DovecotFor("bcrypt")},
        {"dovecot", "sha512", DovecotFor("sha512")},
        {"dovecot", "sha256", DovecotFor("sha256")},
        {"dovecot", "argon2id", DovecotFor("argon2id")},
        {"dovecot", "plain", DovecotFor("plain")},
        {"pam-pwdfile", "sha512", PamPwdfile},
        {"pam-pwdfile", "sha256", PamPwdfile},
        {"pam-pwdfile", "bcrypt", PamPwdfile},
        {"traefik", "bcrypt", Parsed(KTraefikPairs)},
        {"traefik", "md5", Parsed(KTraefikPairs)},
        {"kubernetes", "bcrypt", Parsed(KKubernetesPairs)},
        {"kubernetes", "md5", Parsed(KKubernetesPairs)},
        {"authelia", "argon2id", Parsed(KAutheliaPairs)},
        {"authelia", "bcrypt", Parsed(KAutheliaPairs)},
        {"authelia", "sha512", Parsed(KAutheliaPairs)},
        {"authelia", "sha256", Parsed(KAutheliaPairs)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.Consumer) + " " + row.Form);
        const std::string listName =
            std::string(row.Consumer) == "haproxy" ? std::string("ul_") + row.Form : "";
        const std::string file = Build(row.Consumer, row.Form, listName);
        const TVerdict right = row.Check(file, "alice", KRight);
        if (!right.Skip.empty()) {
            ADD_FAILURE() << "not checked: " << right.Skip;
            continue;
        }
        EXPECT_TRUE(right.In) << file;
        EXPECT_FALSE(row.Check(file, "alice", KWrong).In) << file;
    }
}

namespace {

struct TBuilt {
    std::string Text;
    std::string Error; // the message's id when refused
    std::string ErrorText;
    std::vector<TMessage> Warnings;
};

TBuilt TryBuild(const TUserList& list, const std::string& consumer, const std::string& form,
                const std::string& realm = "r", const std::string& listName = {}) {
    TBuilt built;
    TPasswordFileOptions options;
    options.Form = form.empty() ? nullptr : FormByCliName(form);
    options.Realm = realm;
    options.ListName = listName;
    options.Warnings = &built.Warnings;
    if (options.Form != nullptr && options.Form->Param != nullptr)
        options.SchemeParam = options.Form->Param->Min;
    try {
        built.Text = BuildConsumerFile(list, RequireConsumer(consumer), options).value();
    } catch (const EQuorvaneError& e) {
        built.Error = e.Message().Text->Id;
        built.ErrorText = EnglishText(e.Message());
    }
    return built;
}

} // namespace

// What a consumer's file cannot hold, or what the consumer cannot read, is refused before the
// file exists, naming the user; what it reads but was not asked for is written and said.
TEST(Consumers, RefusesWhatItCannotHoldOrReadNamingTheUser) {
    const std::string apr1 = "$apr1$abcdefgh$QHXxRkmAZy3DVa/Ns2fV40"; // taken over
    const std::string sha512 =
        "$6$saltsalt$kNh6a9oVfa4lb7PUZJ2dbzM4cAt9ZpL.8kBDnbQtYCGUvCqbANrkMmn3gMnf"
        "Ghpv.AaKVD3Q4jTTbszNUB4bs/";
    const struct {
        const char* Consumer;
        const char* Form;
        std::function<void(TUserList&)> Add;
        const char* Refusal; // the message's id; none: written
        const char* Named;   // in the refusal or the warning, or in the file
        bool Warned;
        const char* Realm;
        const char* ListName;
    } rows[] = {
        {"caddy", "bcrypt", [](TUserList& l) { l.Add("ann lee", "pw"); }, "ConsumerUnsafeUsers",
         "ann lee", false, "r", ""},
        {"caddy", "bcrypt", [](TUserList& l) { l.Add("x{y", "pw"); }, "ConsumerUnsafeUsers", "x{y",
         false, "r", ""},
        {"haproxy", "bcrypt", [](TUserList& l) { l.Add("a#b", "pw"); }, "ConsumerUnsafeUsers",
         "a#b", false, "r", ""},
        {"haproxy", "plain", [](TUserList& l) { l.Add("ann", "it's"); }, "ConsumerUnsafeUsers",
         "ann", false, "r", ""},
        {"haproxy", "plain", [](TUserList& l) { l.Add("ann", "a\tb"); }, "ConsumerUnsafeUsers",
         "ann", false, "r", ""},
        {"dovecot", "plain", [](TUserList& l) { l.Add("ann", "a:b"); }, "ConsumerUnsafeUsers",
         "ann", false, "r", ""},
        {"prometheus", "bcrypt", [](TUserList& l) { l.Add("caf\xE9", "pw"); },
         "ConsumerUnsafeUsers", "caf", false, "r", ""},
        {"authelia", "bcrypt",
         [](TUserList& l) { l.Add("ann", "pw").FullName = std::string("Ann \xFF", 5); },
         "ConsumerUnsafeUsers", "ann", false, "r", ""},
        {"registry", "md5", [](TUserList& l) { l.Add("ann", "pw"); }, "ConsumerRefusesForm",
         "bcrypt", false, "r", ""},
        {"mosquitto", "bcrypt", [](TUserList& l) { l.Add("ann", "pw"); }, "ConsumerRefusesForm",
         "pbkdf2-sha512", false, "r", ""},
        {"digest", "digest", [](TUserList& l) { l.Add("ann", "pw"); }, "RealmNeeded", "Digest",
         false, "", ""},
        {"digest", "digest", [](TUserList& l) { l.Add("ann", "pw"); }, "RealmUnsafe", "a:b", false,
         "a:b", ""},
        {"kubernetes", "bcrypt", [](TUserList& l) { l.Add("ann", "pw"); }, "ConsumerNameInvalid",
         "Basic_Auth", false, "r", "Basic_Auth"},
        {"haproxy", "bcrypt", [](TUserList& l) { l.Add("ann", "pw"); }, "ConsumerNameInvalid",
         "a b", false, "r", "a b"},
        {"prometheus", "bcrypt", [](TUserList& l) { l.Add("ann", "pw").Disable = true; },
         "ConsumerNoUsers", "Prometheus", false, "r", ""},
        {"dovecot", "sha512",
         [&](TUserList& l) { l.Add("carl", "").SetPasswordHash("{SHA512-CRYPT}" + sha512); },
         nullptr, "carl:{SHA512-CRYPT}$6$", false, "r", ""},
        // taken-over values
        {"registry", "bcrypt", [&](TUserList& l) { l.Add("carl", "").SetPasswordHash(apr1); },
         "ConsumerOtherForms", "carl", false, "r", ""},
        {"radicale", "bcrypt", [&](TUserList& l) { l.Add("carl", "").SetPasswordHash(apr1); },
         "ConsumerOtherForms", "carl", false, "r", ""},
        {"haproxy", "bcrypt", [&](TUserList& l) { l.Add("carl", "").SetPasswordHash(apr1); },
         "ConsumerOtherForms", "carl", false, "r", ""},
        {"digest", "digest", [&](TUserList& l) { l.Add("carl", "").SetPasswordHash(sha512); },
         "FormHashOnly", "carl", false, "r", ""},
        {"haproxy", "bcrypt", [&](TUserList& l) { l.Add("carl", "").SetPasswordHash(sha512); },
         nullptr, "carl", true, "r", ""},
        {"htpasswd", "bcrypt", [&](TUserList& l) { l.Add("carl", "").SetPasswordHash(apr1); },
         nullptr, "carl", true, "r", ""},
        {"dovecot", "bcrypt", [&](TUserList& l) { l.Add("carl", "").SetPasswordHash(sha512); },
         nullptr, "carl:{SHA512-CRYPT}$6$", true, "r", ""},
        {"authelia", "argon2id", [&](TUserList& l) { l.Add("carl", "").SetPasswordHash(sha512); },
         nullptr, "carl", true, "r", ""},
    };
    for (const auto& row : rows) {
        TUserList list;
        list.KeepClearPasswords = true;
        row.Add(list);
        SCOPED_TRACE(std::string(row.Consumer) + " " + row.Form + " " + row.Named);
        const TBuilt built = TryBuild(list, row.Consumer, row.Form, row.Realm, row.ListName);
        if (row.Refusal != nullptr) {
            EXPECT_EQ(built.Error, row.Refusal) << built.ErrorText;
            EXPECT_NE(built.ErrorText.find(row.Named), std::string::npos) << built.ErrorText;
            EXPECT_TRUE(built.Text.empty());
            continue;
        }
        ASSERT_EQ(built.Error, "") << built.ErrorText;
        EXPECT_NE(built.Text.find(row.Named), std::string::npos) << built.Text;
        ASSERT_EQ(built.Warnings.size(), row.Warned ? 1u : 0u);
        if (row.Warned) {
            EXPECT_TRUE(built.Warnings[0].Is(texts::OtherFormsWarning));
            EXPECT_NE(EnglishText(built.Warnings[0]).find("carl"), std::string::npos);
        }
    }
}

// Whatever a name, an e-mail address or a login holds, the YAML files read back as exactly
// that: nothing breaks out of its quotes into a key of its own.
TEST(Consumers, YamlFilesReadBackExactlyWhatWasWritten) {
    if (!ToolAvailable("python3")) GTEST_SKIP() << "python3 is not installed";
    TUserList list;
    list.KeepClearPasswords = true;
    TUserProp& ann = list.Add("o'neil\"#x", "pw");
    ann.FullName = "Ann \"A\\\" #: {x} [y]\n  admin: true\x7f \xc2\x85 \xe2\x82\xac";
    ann.Email = "- ann@example.org\r\n";
    SetUserGroups(ann, {"staff"});
    list.Add("bob", "pw").Disable = true;
    const TBuilt built = TryBuild(list, "authelia", "bcrypt");
    ASSERT_EQ(built.Error, "") << built.ErrorText;
    const auto pairs = ParsedPairs(
        built.Text, "for k, v in d['users'].items():\n"
                    "    print(k.encode().hex() + '\\t' + v['displayname'].encode().hex() + ':' +"
                    " v.get('email', '').encode().hex() + ':' + str(v['disabled']) + ':' +"
                    " ','.join(v['groups']))\n");
    const auto hex = [](const std::string& text) {
        std::string out;
        for (unsigned char c : text) {
            const char digits[] = "0123456789abcdef";
            out += digits[c >> 4];
            out += digits[c & 15];
        }
        return out;
    };
    ASSERT_EQ(pairs.size(), 2u) << built.Text;
    EXPECT_EQ(pairs.at(hex(ann.Login)), hex(ann.FullName) + ":" + hex(ann.Email) + ":False:staff");
    EXPECT_EQ(pairs.at(hex("bob")), hex("bob") + "::True:");
}

// Values other programs made are recognised and checked: Mosquitto's, Dovecot's tagged ones,
// libsodium's argon2id, a Digest line computed with md5sum.
TEST(Consumers, ValuesOtherProgramsMadeVerify) {
    const struct {
        const char* Command; // prints the value on its last line
        TStoredScheme Scheme;
    } rows[] = {
        {"f=$(mktemp) && mosquitto_passwd -b $f alice 'right horse' && cut -d: -f2 $f; rm -f $f",
         TStoredScheme::Pbkdf2Sha512},
        {"doveadm pw -s BLF-CRYPT -r 4 -p 'right horse'", TStoredScheme::Bcrypt},
        {"doveadm pw -s SHA512-CRYPT -p 'right horse'", TStoredScheme::Sha512Crypt},
        {"doveadm pw -s SHA256-CRYPT -p 'right horse'", TStoredScheme::Sha256Crypt},
        {"doveadm pw -s ARGON2ID -p 'right horse'", TStoredScheme::Argon2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Command);
        const TCommandResult made = RunCommand(std::string("(") + row.Command + ") 2>/dev/null");
        if (made.ExitCode != 0 || made.Output.empty()) {
            ADD_FAILURE() << "could not be run";
            continue;
        }
        std::string value = made.Output.substr(0, made.Output.size() - 1);
        value = value.substr(value.rfind('\n') + 1);
        EXPECT_EQ(IdentifyStoredHash(value), row.Scheme) << value;
        EXPECT_TRUE(VerifyStoredHash(KRight, value)) << value;
        EXPECT_FALSE(VerifyStoredHash(KWrong, value)) << value;
    }
    // A tag that names another form than the value's is no value Dovecot accepts.
    EXPECT_EQ(IdentifyStoredHash("{BLF-CRYPT}$6$saltsalt$abc"), TStoredScheme::Unknown);

    char made[crypto_pwhash_STRBYTES];
    ASSERT_EQ(sodium_init() < 0, false);
    ASSERT_EQ(crypto_pwhash_str(made, KRight, std::strlen(KRight), 1, 8 << 20), 0);
    EXPECT_TRUE(VerifyStoredHash(KRight, made));
    EXPECT_FALSE(VerifyStoredHash(KWrong, made));

    const TCommandResult md5 = RunCommand("printf %s 'alice:the realm:right horse' | md5sum");
    ASSERT_EQ(md5.ExitCode, 0);
    const THashScheme& digest = *FormByCliName("digest");
    TLcgRandom random(1);
    const std::string value = digest.HashFor("alice", "the realm", KRight, random, 0);
    EXPECT_EQ(value, "the realm:" + md5.Output.substr(0, 32));
    EXPECT_TRUE(digest.Verify(KRight, value, "alice"));
    EXPECT_FALSE(digest.Verify(KWrong, value, "alice"));
    EXPECT_FALSE(digest.Verify(KRight, value, "bob"));
}
