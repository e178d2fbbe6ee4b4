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

#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>

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

// HAProxy's file is built with a userlist named after its form ("ul_bcrypt"), so that one
// HAProxy reads the files of every form.
std::string Build(const std::string& consumer, const std::string& form) {
    TUserList list;
    People(list);
    TPasswordFileOptions options;
    options.Form = FormByCliName(form);
    options.Realm = "Quorvane test"; // the test servers' AuthName
    options.ListName = consumer == "haproxy" ? "ul_" + form : "";
    options.SchemeParam = options.Form->Param ? options.Form->Param->Min : 0;
    return BuildConsumerFile(list, RequireConsumer(consumer), options).value();
}

int HttpStatus(const std::string& url, const std::string& login, const std::string& password,
               const std::string& method, bool digest) {
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
    if (!method.empty()) curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    long status = -1;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    return static_cast<int>(status);
}

// What a check answers: let in or not; a reason instead when the consumer could not be asked.
struct TVerdict {
    bool In = false;
    std::string Skip;
};

// How a program is started and asked, as data. In every text "@DIR@" stands for the program's
// folder (which holds each form's file as FORM.users), "@PORT@" for its loopback port, "@FORM@"
// for the form asked about, "@PID@" for this test program's process id, and in Ask "@LOGIN@"
// and "@PASSWORD@" for the credentials, quoted for the shell.
struct TProgram {
    const char* Name;
    const char* Needs;  // the tools it takes, separated by spaces
    const char* Config; // the configuration file's path and, after a line end, its text
    const char* Start;  // its command line, words separated by spaces; empty: nothing to start
    const char* Ready;  // a file whose existence says it is ready; empty: its port accepts
    bool OnePerForm;    // a process per form (the configuration names it) or one for all forms
    // Asked over HTTP with Basic credentials: the path and the method (empty: GET).
    const char* Path;
    const char* Method;
    // Otherwise asked by a shell command: exit status 0 lets in, Refused refuses (any other
    // status when Refused is negative); any other status means it could not be asked.
    const char* Ask;
    int Refused;
};

const TProgram KPrograms[] = {
    {"caddy", "caddy",
     "@DIR@/Caddyfile\n{\n\tadmin off\n\tauto_https off\n\tstorage file_system @DIR@/data\n}\n"
     "http://127.0.0.1:@PORT@ {\n\timport @DIR@/bcrypt.users\n\trespond \"in\"\n}\n",
     "/usr/bin/caddy run --config @DIR@/Caddyfile --adapter caddyfile", "", false, "/", "", "", 0},
    // one userlist per form, each guarding the path of its form's name
    {"haproxy", "haproxy",
     "@DIR@/haproxy.cfg\ndefaults\n  mode http\n  timeout connect 5s\n  timeout client 5s\n"
     "  timeout server 5s\nfrontend site\n  bind 127.0.0.1:@PORT@\n"
     "  http-request auth realm site if { path_beg /bcrypt } !{ http_auth_group(ul_bcrypt) staff "
     "}\n"
     "  http-request auth realm site if { path_beg /sha512 } !{ http_auth_group(ul_sha512) staff "
     "}\n"
     "  http-request auth realm site if { path_beg /sha256 } !{ http_auth_group(ul_sha256) staff "
     "}\n"
     "  http-request auth realm site if { path_beg /plain } !{ http_auth_group(ul_plain) staff }\n"
     "  http-request return status 200\n",
     "/usr/sbin/haproxy -db -f @DIR@/bcrypt.users -f @DIR@/sha512.users -f @DIR@/sha256.users "
     "-f @DIR@/plain.users -f @DIR@/haproxy.cfg",
     "", false, "/@FORM@", "", "", 0},
    {"registry", "docker-registry",
     "@DIR@/config.yml\nversion: 0.1\nlog:\n  level: error\nstorage:\n  filesystem:\n"
     "    rootdirectory: @DIR@/data\nhttp:\n  addr: 127.0.0.1:@PORT@\nauth:\n  htpasswd:\n"
     "    realm: registry\n    path: @DIR@/bcrypt.users\n",
     "/usr/bin/docker-registry serve @DIR@/config.yml", "", false, "/v2/", "", "", 0},
    {"node-exporter", "prometheus-node-exporter", "",
     "/usr/bin/prometheus-node-exporter --web.listen-address=127.0.0.1:@PORT@ "
     "--web.config.file=@DIR@/bcrypt.users --collector.disable-defaults",
     "", false, "/metrics", "", "", 0},
    // Radicale's configuration names the one form of its file
    {"radicale", "radicale",
     "@DIR@/config\n[server]\nhosts = 127.0.0.1:@PORT@\n[auth]\ntype = htpasswd\n"
     "htpasswd_filename = @DIR@/@FORM@.users\nhtpasswd_encryption = @FORM@\ndelay = 0\n"
     "[storage]\nfilesystem_folder = @DIR@/collections\n",
     "/usr/bin/python3 -m radicale --config @DIR@/config", "", true, "/@LOGIN@/", "PROPFIND", "",
     0},
    {"mosquitto", "mosquitto mosquitto_pub",
     "@DIR@/mosquitto.conf\nuser root\nlistener @PORT@ 127.0.0.1\nallow_anonymous false\n"
     "persistence false\npassword_file @DIR@/pbkdf2-sha512.users\n",
     "/usr/sbin/mosquitto -c @DIR@/mosquitto.conf", "", false, "", "",
     "mosquitto_pub -h 127.0.0.1 -p @PORT@ -u @LOGIN@ -P @PASSWORD@ -t t -m x 2>&1", -1},
    // Dovecot's auth service reads "%s.users", %s the service doveadm names: the form
    {"dovecot", "dovecot doveadm",
     "@DIR@/dovecot.conf\nbase_dir = @DIR@/run\nstate_dir = @DIR@/state\nlog_path = @DIR@/log\n"
     "protocols =\nssl = no\npassdb {\n  driver = passwd-file\n  args = @DIR@/%s.users\n}\n"
     "userdb {\n  driver = static\n  args = uid=65534 gid=65534 home=/nonexistent\n}\n",
     "/usr/sbin/dovecot -F -c @DIR@/dovecot.conf", "@DIR@/run/auth-client", false, "", "",
     "doveadm -c @DIR@/dovecot.conf auth test -x service=@FORM@ @LOGIN@ @PASSWORD@ 2>&1", 77},
    // pam_pwdfile through pamtester, with a PAM service of this program's own (PAM looks a
    // service up by its name in lower case)
    {"pam-pwdfile", "pamtester /lib/x86_64-linux-gnu/security/pam_pwdfile.so",
     "/etc/pam.d/quorvane-test-@PID@\nauth required pam_pwdfile.so pwdfile=@DIR@/@FORM@.users\n"
     "account required pam_permit.so\n",
     "", "", true, "", "",
     "printf '%s\\n' @PASSWORD@ | pamtester quorvane-test-@PID@ @LOGIN@ authenticate 2>&1", 1},
};

std::string Expand(std::string text, const std::map<std::string, std::string>& values) {
    for (const auto& [name, value] : values)
        for (size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += value.size())
            text.replace(at, name.size(), value);
    return text;
}

// A program started with the files it reads, on a free loopback port, stopped by its process
// id; its folder and configuration removed with it.
class TProgramProcess {
public:
    TProgramProcess(const TProgram& program, const std::string& form,
                    const std::map<std::string, std::string>& files)
        : FProgram(program), FForm(form), FFolder(MakeFolder(program.Name)) {
        for (const auto& [name, text] : files) {
            WriteWholeFile(FFolder / (name + ".users"), text);
            ::chmod((FFolder / (name + ".users")).c_str(), 0644);
        }
        if (!std::string(program.Start).empty()) {
            FPort = StartOnFreePort([&](int port) {
                FPort = port;
                WriteConfig();
                std::vector<std::string> args;
                std::istringstream words(Expand(program.Start, Values()));
                for (std::string word; words >> word;)
                    args.push_back(word);
                const std::string ready = Expand(program.Ready, Values());
                return FProcess.Start(args, FFolder / "out.log", [&](pid_t) {
                    return ready.empty() ? LoopbackPortAccepts(port) : fs::exists(ready);
                });
            });
        } else {
            WriteConfig();
        }
    }
    ~TProgramProcess() {
        FProcess.Stop();
        std::error_code ec;
        if (!FConfig.empty()) fs::remove(FConfig, ec);
        fs::remove_all(FFolder, ec);
    }
    TProgramProcess(const TProgramProcess&) = delete;
    TProgramProcess& operator=(const TProgramProcess&) = delete;

    TVerdict Ask(const std::string& login, const std::string& password) const {
        const std::string log = ReadWholeFile(FFolder / "out.log");
        if (!std::string(FProgram.Start).empty() && FPort == 0) return {false, "no start: " + log};
        auto values = Values();
        values["@LOGIN@"] = std::string(FProgram.Ask).empty() ? login : ShellQuote(login);
        values["@PASSWORD@"] = ShellQuote(password);
        if (std::string(FProgram.Ask).empty()) {
            const int status = HttpStatus("http://127.0.0.1:" + std::to_string(FPort) +
                                              Expand(FProgram.Path, values),
                                          login, password, FProgram.Method, false);
            if (status < 0) return {false, "no answer: " + log};
            return {status >= 200 && status < 300, {}};
        }
        const TCommandResult result = RunCommand(Expand(FProgram.Ask, values));
        if (result.ExitCode != 0 && FProgram.Refused >= 0 && result.ExitCode != FProgram.Refused)
            return {false, result.Output + log};
        return {result.ExitCode == 0, {}};
    }

private:
    std::map<std::string, std::string> Values() const {
        return {{"@DIR@", FFolder.string()},
                {"@PORT@", std::to_string(FPort)},
                {"@FORM@", FForm},
                {"@PID@", std::to_string(::getpid())}};
    }
    void WriteConfig() {
        const std::string config = Expand(FProgram.Config, Values());
        if (config.empty()) return;
        const size_t eol = config.find('\n');
        FConfig = config.substr(0, eol);
        WriteWholeFile(FConfig, config.substr(eol + 1));
    }

    const TProgram& FProgram;
    std::string FForm;
    fs::path FFolder;
    fs::path FConfig;
    TServerProcess FProcess;
    int FPort = 0;
};

const TProgram* ProgramNamed(const std::string& name) {
    for (const TProgram& program : KPrograms)
        if (name == program.Name) return &program;
    return nullptr;
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
    std::istringstream lines(result.Output);
    for (std::string line; std::getline(lines, line);)
        if (const size_t tab = line.find('\t'); tab != std::string::npos)
            pairs[line.substr(0, tab)] = line.substr(tab + 1);
    return pairs;
}

// How the files that no program is started for are read: login and value per line.
const std::map<std::string, std::string> KParsers = {
    {"traefik", "for u in d['http']['middlewares']['basic-auth']['basicAuth']['users']:\n"
                "    print(u.replace(':', '\\t', 1))\n"},
    {"kubernetes", "assert d['kind'] == 'Secret' and d['data']['auth'] == d['data']['users']\n"
                   "for l in base64.b64decode(d['data']['auth']).decode().splitlines():\n"
                   "    print(l.replace(':', '\\t', 1))\n"},
    {"authelia",
     "for k, v in d['users'].items():\n"
     "    assert v['displayname'] and isinstance(v['groups'], list) and v['disabled'] is False\n"
     "    print(k + '\\t' + v['password'])\n"},
};

// Apache's mod_auth_digest with the file as AuthUserFile (asked with Digest credentials) and
// lighttpd's htdigest backend (asked with Basic credentials, which it checks against the
// digest of the realm): the web servers the other tests start.
TVerdict WebServer(const std::string& name, const std::string& file, const std::string& login,
                   const std::string& password) {
    static apachetest::TApacheServer apache(
        {"auth_digest"}, "AuthBasicProvider file\n  AuthType Digest\n  AuthDigestProvider file\n"
                         "  AuthUserFile PREFIX/htpasswd\n  Require valid-user");
    static lighttpdtest::TLighttpdServer lighttpd(
        "auth.backend = \"htdigest\"\nauth.backend.htdigest.userfile = \"PREFIX/htpasswd\"");
    const TBasicAuthServer& server =
        name == "apache" ? static_cast<const TBasicAuthServer&>(apache) : lighttpd;
    if (!server.Available()) return {false, server.SkipReason()};
    server.SetPasswordFile(file);
    const int status = name == "apache" ? HttpStatus(server.Url(), login, password, "", true)
                                        : server.Status(login, password);
    if (status < 0) return {false, "no answer: " + server.ErrorLog()};
    return {status == 200, {}};
}

// Each row's file, built up front: a program that reads several forms reads all of them from
// its start.
struct TRow {
    std::string Consumer;
    std::string Form;
    std::string Judge; // a program of KPrograms, "apache" or "lighttpd", or a parser's name
    std::string File;
};

std::vector<TRow> Rows(std::initializer_list<std::array<const char*, 3>> table) {
    std::vector<TRow> rows;
    for (const auto& [consumer, form, judge] : table)
        rows.push_back({consumer, form, judge, Build(consumer, form)});
    return rows;
}

TVerdict Judge(const std::vector<TRow>& rows, const TRow& row, const std::string& login,
               const std::string& password) {
    if (row.Judge == "apache" || row.Judge == "lighttpd")
        return WebServer(row.Judge, row.File, login, password);
    if (const auto parser = KParsers.find(row.Judge); parser != KParsers.end()) {
        if (!ToolAvailable("python3")) return TVerdict{false, "python3 is not installed"};
        const auto pairs = ParsedPairs(row.File, parser->second);
        const auto found = pairs.find(login);
        return {found != pairs.end() && ReferenceVerifies(found->second, password), {}};
    }
    const TProgram* program = ProgramNamed(row.Judge);
    if (program == nullptr) return {false, "no such program: " + row.Judge};
    std::istringstream needs(program->Needs);
    for (std::string tool; needs >> tool;)
        if (tool.starts_with("/") ? !fs::exists(tool) : !ToolAvailable(tool))
            return {false, tool + " is not installed"};
    static std::map<std::string, std::unique_ptr<TProgramProcess>> started;
    const std::string key = row.Judge + (program->OnePerForm ? "/" + row.Form : "");
    auto& process = started[key];
    if (!process) {
        std::map<std::string, std::string> files;
        for (const TRow& other : rows)
            if (other.Judge == row.Judge && (!program->OnePerForm || other.Form == row.Form))
                files[other.Form] = other.File;
        process = std::make_unique<TProgramProcess>(*program, row.Form, files);
    }
    return process->Ask(login, password);
}

} // namespace

TEST(Consumers, EachFormItReadsLetsInTheRightPasswordAndNoOther) {
    const std::vector<TRow> rows = Rows({
        {"digest", "digest", "apache"},
        {"digest", "digest", "lighttpd"},
        {"caddy", "bcrypt", "caddy"},
        {"haproxy", "bcrypt", "haproxy"},
        {"haproxy", "sha512", "haproxy"},
        {"haproxy", "sha256", "haproxy"},
        {"haproxy", "plain", "haproxy"},
        {"registry", "bcrypt", "registry"},
        {"prometheus", "bcrypt", "node-exporter"},
        {"mosquitto", "pbkdf2-sha512", "mosquitto"},
        {"radicale", "bcrypt", "radicale"},
        {"radicale", "md5", "radicale"},
        {"radicale", "plain", "radicale"},
        {"dovecot", "bcrypt", "dovecot"},
        {"dovecot", "sha512", "dovecot"},
        {"dovecot", "sha256", "dovecot"},
        {"dovecot", "argon2id", "dovecot"},
        {"dovecot", "plain", "dovecot"},
        {"pam-pwdfile", "sha512", "pam-pwdfile"},
        {"pam-pwdfile", "sha256", "pam-pwdfile"},
        {"pam-pwdfile", "bcrypt", "pam-pwdfile"},
        {"traefik", "bcrypt", "traefik"},
        {"traefik", "md5", "traefik"},
        {"kubernetes", "bcrypt", "kubernetes"},
        {"kubernetes", "md5", "kubernetes"},
        {"authelia", "argon2id", "authelia"},
        {"authelia", "bcrypt", "authelia"},
        {"authelia", "sha512", "authelia"},
        {"authelia", "sha256", "authelia"},
    });
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Consumer + " " + row.Form + " read by " + row.Judge);
        const TVerdict right = Judge(rows, row, "alice", KRight);
        if (!right.Skip.empty()) {
            ADD_FAILURE() << "not checked: " << right.Skip;
            continue;
        }
        EXPECT_TRUE(right.In) << row.File;
        EXPECT_FALSE(Judge(rows, row, "alice", KWrong).In) << row.File;
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
