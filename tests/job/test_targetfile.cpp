// What a target's options ask of its file: refused where the value or the target's kind cannot
// take it, before anything is written; otherwise each target gets its program's file, each
// form hashed once, with its mode, and its command after the export run.

#include "TargetValues.h"
#include "TestUtil.h"
#include "export/GroupFile.h"
#include "job/ExportJob.h"
#include "job/TargetFile.h"
#include "job/TargetKind.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <crypt.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <sstream>

using namespace quorvane;

namespace {

// The first value starting with "$" on the line that names login (as a word of its own or
// before a colon).
std::string HashOf(const std::string& text, const std::string& login) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> found;
        for (std::string word; words >> word;)
            found.push_back(word);
        bool named = false;
        for (const std::string& word : found)
            named = named || word == login || word.rfind(login + ":", 0) == 0;
        if (!named) continue;
        for (std::string word : found) {
            if (const auto colon = word.find(":$"); colon != std::string::npos)
                word = word.substr(colon + 1);
            if (!word.empty() && word[0] == '$') return word;
        }
    }
    return {};
}

bool Verifies(const std::string& password, const std::string& hash) {
    struct crypt_data data {};
    const char* out = crypt_r(password.c_str(), hash.c_str(), &data);
    return out != nullptr && hash == out;
}

} // namespace

TEST(TargetFile, WhatATargetCannotTakeIsRefusedByNameBeforeAnythingIsWritten) {
    const struct {
        const char* Url;
        std::map<std::string, std::string> Options;
        const char* Refusal; // part of the message; "": taken
    } cases[] = {
        {"t.txt", {{"consumer", "nosuch"}}, "No program is called nosuch"},
        {"t.txt", {{"consumer", "registry"}, {"format", "md5"}}, "does not read the form"},
        {"t.txt", {{"format", "nosuch"}}, "No form is called nosuch"},
        {"t.txt", {{"format", "md5"}, {"cost", "10"}}, "The form md5 has no cost"},
        {"t.txt", {{"consumer", "caddy"}, {"rounds", "5000"}}, "has no rounds"},
        {"t.txt", {{"format", "bcrypt"}, {"cost", "99"}}, "cost"},
        {"t.txt", {{"format", "bcrypt"}, {"cost", "1x"}}, "cost"},
        {"t.txt", {{"line-ends", "cr"}}, "Line ends are lf or crlf, not cr"},
        {"t.txt", {{"mode", "0899"}}, "0899 is no file mode"},
        {"t.txt", {{"mode", "17777"}}, "17777 is no file mode"},
        {"sqlite:/tmp/x.db", {{"consumer", "caddy"}}, "is a store"},
        {"sqlite:/tmp/x.db", {{"mode", "0640"}}, "mode"},
        {"ftp://h/x", {{"after", "true"}}, "A command after the export runs beside"},
        {"ftp://h/x", {{"mode", "0640"}}, "A file's mode is set"},
        {"sftp://h/x", {{"group", "www-data"}}, "its group only on a local file"},
        // Taken: a program and its forms, a realm, a mode over SFTP, a command beside a file.
        {"t.txt", {{"consumer", "digest"}, {"realm", "Members"}}, ""},
        {"t.txt", {{"consumer", "haproxy"}, {"format", "sha512"}, {"rounds", "5000"}}, ""},
        {"t.txt", {{"consumer", "htpasswd"}, {"format", "bcrypt"}, {"cost", "5"}}, ""},
        {"t.txt", {{"mode", "640"}, {"group", "www-data"}, {"after", "true"}}, ""},
        {"sftp://h/x", {{"mode", "0600"}, {"after", "true"}}, ""},
        {"sqlite:/tmp/x.db", {{"format", "bcrypt"}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Url) + " " + (c.Options.begin()->first) + "=" +
                     c.Options.begin()->second);
        TTempDir dir;
        TUserList list;
        list.Add("ann", "pw-ann");
        const bool local = std::string(c.Url) == "t.txt";
        const TTarget target = TargetAt("second", local ? dir.File(c.Url) : c.Url, c.Options);
        const std::string error = ErrorOf([&] { TargetFileOf(list, target); });
        if (*c.Refusal == '\0') {
            EXPECT_EQ(error, "");
            continue;
        }
        EXPECT_NE(error.find(c.Refusal), std::string::npos) << error;
        EXPECT_EQ(error.rfind("second: ", 0), 0u) << error;
        if (!local) continue;
        // The export refuses it before the first target is touched.
        TExportSettings settings;
        settings.PassType = TPasswordsType::ptMD5;
        settings.PerTarget = true;
        settings.Targets = {{TargetAt("first", dir.File("first.txt"), {}), {}}, {target, {}}};
        TExportJob job(list, settings);
        EXPECT_EQ(ErrorOf([&] { job.Start(); }), error);
        EXPECT_FALSE(std::filesystem::exists(dir.File("first.txt")));
    }
}

TEST(TargetFile, EachTargetGetsItsProgramsFileEveryFormHashedOnce) {
    TTempDir dir;
    const std::string db = dir.File("site.udx");
    TUserList list;
    list.PassType = TPasswordsType::ptMD5;
    list.Add("ann", "pw-ann").SetGroups("staff");
    list.Add("bob", "pw-bob");
    list.SaveToFile(db);
    const std::string web = dir.File("htpasswd"), lb = dir.File("lb.cfg"),
                      registry = dir.File("registry.htpasswd"), caddy = dir.File("Caddyfile.users");
    const std::string after = dir.File("after.txt");
    TExportSettings settings;
    settings.PassType = TPasswordsType::ptMD5;
    settings.DatabasePath = db;
    settings.PerTarget = true;
    settings.Targets = {
        {TargetAt("web", web, {}), {}},
        {TargetAt("lb", lb,
                  {{"consumer", "haproxy"},
                   {"format", "sha512"},
                   {"rounds", "5000"},
                   {"mode", "0640"},
                   {"after", "printf %s \"$QUORVANE_FILE\" > '" + after + "'"}}),
         {}},
        // One form and work factor for two programs: hashed once for both.
        {TargetAt("registry", registry, {{"consumer", "registry"}, {"cost", "5"}}), {}},
        {TargetAt("caddy", caddy, {{"consumer", "caddy"}, {"cost", "5"}}), {}},
    };
    std::map<std::string, std::string> first;
    for (const int round : {1, 2}) {
        SCOPED_TRACE(round);
        TExportJob job(list, settings);
        std::optional<TExportResult> done;
        job.OnDone = [&](const TExportResult& result) { done = result; };
        job.Start();
        job.Wait();
        ASSERT_TRUE(done);
        ASSERT_TRUE(done->Done) << EnglishText(done->Error);
        // Round 1 hashes each user once per form (MD5, SHA-512, bcrypt); round 2 nothing.
        EXPECT_EQ(done->Stats.Hashed, round == 1 ? 6u : 0u);
        std::map<std::string, std::string> files;
        for (const std::string& file : {web, lb, registry, caddy})
            files[file] = ReadWholeFile(file);
        if (round == 2) {
            EXPECT_EQ(files, first) << "an unchanged export writes the same bytes";
            continue;
        }
        first = files;
        for (const std::string login : {"ann", "bob"}) {
            const std::string password = "pw-" + login;
            EXPECT_EQ(HashOf(files[web], login).rfind("$apr1$", 0), 0u) << files[web];
            EXPECT_TRUE(Verifies(password, HashOf(files[lb], login))) << files[lb];
            EXPECT_EQ(HashOf(files[lb], login).rfind("$6$", 0), 0u) << files[lb];
            EXPECT_EQ(HashOf(files[registry], login).rfind("$2y$05$", 0), 0u) << files[registry];
            EXPECT_TRUE(Verifies(password, HashOf(files[registry], login)));
            EXPECT_EQ(HashOf(files[caddy], login), HashOf(files[registry], login));
        }
        EXPECT_NE(files[lb].find("userlist lb"), std::string::npos) << files[lb];
        EXPECT_NE(files[lb].find("group staff users ann"), std::string::npos) << files[lb];
        // Apache's group file beside the web servers' file alone.
        EXPECT_TRUE(std::filesystem::exists(GroupFileName(list, web)));
        for (const std::string& file : {lb, registry, caddy})
            EXPECT_FALSE(std::filesystem::exists(GroupFileName(list, file))) << file;
        struct stat st {};
        ASSERT_EQ(::stat(lb.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(ReadWholeFile(after), lb);
    }
}

// A new address is taken in by its own kind: a server keeps the login its address holds apart
// and forgets a store, a store gets an owner of its own, a file keeps the server and the store
// beside it; an address that must not be stored leaves the target as it was. What a target
// keeps beside its address is found again by the kind's name.
TEST(TargetAddress, EachKindTakesInItsAddressAndKeepsWhatTheDatabaseKeeps) {
    using TOptions = std::map<std::string, std::string>;
    const struct {
        TTarget Before;
        std::string Url;
        std::string Url2; // the address the target then points at; empty: refused
        TOptions Options; // as kept ("-": not set; "*": set to something)
    } cases[] = {
        {TargetAt("a", "/srv/a", {}),
         "sftp://web@h/x",
         "sftp://h/x",
         {{"file", "/srv/a"}, {"user", "web"}, {"store", "-"}}},
        {TargetAt("b", "sqlite:/d.db", {{"owner", "site"}, {"user", "u"}}),
         "ftp://h/x",
         "ftp://h/x",
         {{"store", "-"}, {"owner", "-"}, {"user", "u"}}},
        {TargetAt("c", "/srv/c", {{"server", "ftp://h/x"}}),
         "sqlite:/d.db",
         "sqlite:/d.db",
         {{"file", "/srv/c"}, {"server", "ftp://h/x"}, {"owner", "*"}}},
        {TargetAt("d", "sqlite:/d.db", {{"owner", "site"}}),
         "/srv/d",
         "/srv/d",
         {{"store", "sqlite:/d.db"}, {"owner", "site"}}},
        {TargetAt("e", "sqlite:/d.db", {{"owner", "site"}}),
         "sqlite:/e.db",
         "sqlite:/e.db",
         {{"owner", "site"}}},
        {TargetAt("f", "/srv/f", {}), "http://h/x", "", {}},
        {TargetAt("g", "/srv/g", {}), "ftp://w:pw@h/x", "", {}},
        {TargetAt("h", "/srv/h", {}), "postgresql://u:pw@h/db", "", {}},
    };
    TLcgRandom random(7);
    for (const auto& c : cases) {
        TTarget t = c.Before;
        if (c.Url2.empty()) {
            EXPECT_THROW(SetTargetAddress(t, c.Url, random), EQuorvaneError) << c.Url;
            EXPECT_EQ(t, c.Before) << c.Url;
            continue;
        }
        SetTargetAddress(t, c.Url, random);
        EXPECT_EQ(t.Url, c.Url2);
        for (const auto& [key, value] : c.Options) {
            if (value == "*")
                EXPECT_FALSE(t.Option(key).empty()) << c.Url << " " << key;
            else
                EXPECT_EQ(t.Option(key), value == "-" ? "" : value) << c.Url << " " << key;
        }
        // What it points at, found by its kind's name; what it keeps is found alone.
        const std::string kind(KindOf(t).Name());
        ASSERT_TRUE(KeptAddress(t, kind)) << c.Url;
        EXPECT_EQ(KeptAddress(t, kind)->Url, t.Url);
        for (const auto& [key, value] : c.Options) {
            if (key != "file" && key != "server" && key != "store") continue;
            const std::optional<TTarget> kept = KeptAddress(t, key);
            EXPECT_EQ(kept.has_value(), value != "-") << c.Url << " " << key;
            if (!kept) continue;
            EXPECT_EQ(kept->Url, value);
            EXPECT_EQ(std::string(KindOf(*kept).Name()), key);
            EXPECT_TRUE(kept->Option(kind).empty()) << "kept alone";
        }
    }
    // A server cannot do without its login; the file asks for none.
    EXPECT_EQ(MissingTargetOptions(TargetAt("s", "sftp://h/x", {})),
              std::vector<std::string>{"user"});
    EXPECT_TRUE(MissingTargetOptions(TargetAt("s", "sftp://h/x", {{"user", "w"}})).empty());
    EXPECT_TRUE(MissingTargetOptions(TargetAt("f", "/srv/f", {})).empty());
}
