// An export whose inputs did not change since the export that wrote its files takes that
// export's outcome instead of building them again. Every change a file depends on builds it
// again, and either way the files written and the result are those of an export that builds
// every file from the same state.

#include "ExportTestUtil.h"
#include "ScopedEnv.h"
#include "TargetValues.h"
#include "TestUtil.h"
#include "base/Random.h"
#include "export/DatabaseState.h"
#include "export/HashCache.h"
#include "job/ExportJob.h"
#include "sitedb/UserStore.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

using namespace quorvane;
namespace fs = std::filesystem;

namespace {

// What an export wrote and said.
struct TRun {
    std::map<std::string, std::string> Files; // every target's file by target name
    std::size_t Written = 0, Disabled = 0, Expired = 0;
    std::vector<std::string> Weak;
    std::size_t Reused = 0, Hashed = 0, Rehashed = 0;
    std::vector<bool> Holds; // each target holds the new file
    // Each target's file: its permission bits and group; what its command after the export
    // said (its exit status and output), when one ran.
    std::map<std::string, std::pair<unsigned, unsigned>> Modes;
    std::vector<std::string> After;
    std::size_t Warnings = 0;
    std::size_t Builds = 0; // build progress events

    // All of it but how it came about.
    auto Outcome() const {
        return std::tie(Files, Written, Disabled, Expired, Weak, Reused, Hashed, Rehashed, Holds,
                        Modes, After, Warnings);
    }
};

// The inode of a file: a file replaced gets a new one.
ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TRun Export(const std::string& db, TExportSettings settings) {
    TUserList list;
    list.LoadFromFile(db);
    TLcgRandom random(7); // the same salts for the same users in both runs
    settings.Build.Random = &random;
    TExportJob job(list, settings);
    TRun run;
    job.OnEvent = [&](const TExportEvent& event) {
        run.Builds += event.Stage == TExportStage::Building ? 1 : 0;
    };
    job.Start();
    job.Wait();
    const TExportResult& result = job.Result();
    run.Written = result.Written;
    run.Disabled = result.Disabled;
    run.Expired = result.Expired;
    for (const TUserProp* user : result.WeakUsers)
        run.Weak.push_back(user->Login);
    run.Reused = result.Stats.Reused;
    run.Hashed = result.Stats.Hashed;
    run.Rehashed = result.Stats.Rehashed;
    run.Warnings = result.Warnings.size();
    for (const TTargetOutcome& o : result.Outcomes) {
        run.Holds.push_back(o.Holds == TTargetHolds::New);
        run.Warnings += o.Warnings.size();
        if (o.After) run.After.push_back(std::to_string(o.After->ExitStatus) + o.After->Tail);
    }
    for (const TDeployTarget& target : settings.Targets) {
        run.Files[target.Target.Name] = ReadWholeFile(target.Target.Url);
        if (const std::string groups = target.Target.Url + ".groups"; fs::exists(groups))
            run.Files[target.Target.Name + ".groups"] = ReadWholeFile(groups);
        struct stat st {};
        ::stat(target.Target.Url.c_str(), &st);
        run.Modes[target.Target.Name] = {st.st_mode & 07777, st.st_gid};
    }
    return run;
}

// Every file under a folder, by its path: its bytes, permission bits and group.
struct TFileCopy {
    std::string Bytes;
    mode_t Mode = 0;
    gid_t Group = 0;
};
std::map<fs::path, TFileCopy> Snapshot(const fs::path& folder) {
    std::map<fs::path, TFileCopy> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        struct stat st {};
        ::stat(entry.path().c_str(), &st);
        files[entry.path()] = {ReadWholeFile(entry.path()), st.st_mode & 07777, st.st_gid};
    }
    return files;
}

void Restore(const fs::path& folder, const std::map<fs::path, TFileCopy>& files) {
    for (const auto& entry : fs::directory_iterator(folder))
        fs::remove_all(entry.path());
    for (const auto& [path, copy] : files) {
        fs::create_directories(path.parent_path());
        WriteWholeFile(path, copy.Bytes);
        ASSERT_EQ(::chmod(path.c_str(), copy.Mode), 0);
        ASSERT_EQ(::chown(path.c_str(), static_cast<uid_t>(-1), copy.Group), 0);
    }
}

// A group the user running the tests may give a file other than its own (any, for root);
// empty when there is none.
std::string SecondGroup() {
    std::vector<gid_t> mine(static_cast<std::size_t>(::getgroups(0, nullptr)));
    ::getgroups(static_cast<int>(mine.size()), mine.data());
    if (::geteuid() == 0) mine.push_back(1);
    for (const gid_t gid : mine)
        if (gid != ::getegid())
            if (const struct group* g = ::getgrgid(gid)) return g->gr_name;
    return {};
}

struct TSite {
    TTempDir Dir;
    const std::string Db = Dir.File("site.udx");
    TScopedEnv Account{"XDG_STATE_HOME", Dir.File("account").c_str()};
    TExportSettings Settings;
    TTarget& Target(const std::string& name) {
        for (TDeployTarget& t : Settings.Targets)
            if (t.Target.Name == name) return t.Target;
        throw std::logic_error("no target " + name);
    }
    // The users every case starts with, MD5: ann and bob, and cat disabled; with what adds
    // more, saved as the site's database, which each export exports per target.
    void Start(const std::function<void(TUserList&)>& more) {
        TUserList list;
        list.PassType = TPasswordsType::ptMD5;
        list.Add("ann", "pw-ann");
        list.Add("bob", "pw-bob");
        list.Add("cat", "pw-cat").Disable = true;
        more(list);
        list.SaveToFile(Db);
        Settings.PassType = TPasswordsType::ptMD5;
        Settings.DatabasePath = Db;
        Settings.PerTarget = true;
    }
    void Change(const std::function<void(TUserList&)>& change) const {
        TUserList list;
        list.LoadFromFile(Db);
        change(list);
        list.SaveToFile(Db);
    }
    // Exports of this site's database in MD5 to targets, each with its own outcome.
    void ExportTo(std::vector<TDeployTarget> targets) {
        Settings.PassType = TPasswordsType::ptMD5;
        Settings.DatabasePath = Db;
        Settings.PerTarget = true;
        Settings.Targets = std::move(targets);
    }
};

// The state's bytes without the parts of one kind (a section: its kind byte, its length in 8
// bytes, little-endian, then its bytes), as a version that does not write them leaves them; or,
// with rename, with those parts of a kind no reader knows.
std::string WithoutStateParts(const std::string& text, unsigned char kind, bool rename = false) {
    constexpr std::string_view header = "quorvane state 2\n";
    if (!std::string_view(text).starts_with(header)) throw std::logic_error("not a state");
    std::string kept(header);
    for (std::size_t at = header.size(); at + 9 <= text.size();) {
        std::uint64_t length = 0;
        for (int i = 8; i >= 1; --i)
            length =
                length << 8 | static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
        const std::size_t start = kept.size();
        if (rename || static_cast<unsigned char>(text[at]) != kind)
            kept.append(text, at, 9 + length);
        if (rename && static_cast<unsigned char>(text[at]) == kind) kept[start] = '\x7f';
        at += 9 + length;
    }
    return kept;
}

TUserProp& User(TUserList& list, const std::string& login) {
    for (int i = 0; i < list.Count(); ++i)
        if (list.Users(i).Login == login) return list.Users(i);
    throw std::logic_error("no user " + login);
}

} // namespace

TEST(UnchangedExport, EveryChangeBuildsAgainAndEitherWayTheFilesAreABuildsOwn) {
    using TSiteChange = std::function<void(TSite&)>;
    const TSiteChange none = [](TSite&) {};
    const TSiteChange digest = [](TSite& s) {
        s.Target("sha") =
            TargetAt("sha", s.Dir.File("sha"), {{"consumer", "digest"}, {"realm", "A"}});
    };
    const TSiteChange names = [](TSite& s) {
        s.Target("sha") =
            TargetAt("sha", s.Dir.File("sha"),
                     {{"consumer", "authelia"}, {"format", "sha512"}, {"rounds", "1000"}});
    };
    const TSiteChange renamed = [](TSite& s) {
        s.Change([](TUserList& l) { User(l, "ann").FullName = "Ann Other"; });
    };
    const std::string group = SecondGroup();
    const struct {
        const char* Name;
        bool Skips;
        bool WeakUser; // a user known by a weak taken-over hash (a file that takes only its
                       // own form refuses it)
        TSiteChange Setup, Change;
        // How many of the targets' files and their group files the export leaves in place
        // (not replaced by a copy of themselves); -1: not asked.
        int LeftInPlace = -1;
    } cases[] = {
        {"nothing changed", true, true, none, none, 3},
        {"nothing changed, Digest lines", true, false, digest, none, 3},
        {"nothing changed, users in groups", true, true,
         [](TSite& s) {
             s.Change([](TUserList& l) {
                 User(l, "ann").SetGroups("staff");
                 User(l, "bob").SetGroups("staff admin");
             });
         },
         none, 6},
        {"nothing changed, a command after the export", true, true,
         [](TSite& s) { s.Target("web").SetOption("after", "echo ran"); }, none, 3},
        {"a file's mode is not the one asked for", true, true,
         [](TSite& s) { s.Target("sha").SetOption("mode", "0640"); },
         [](TSite& s) { ASSERT_EQ(::chmod(s.Dir.File("sha").c_str(), 0644), 0); }, 2},
        {"a file's mode is the one asked for", true, true,
         [](TSite& s) { s.Target("sha").SetOption("mode", "0640"); }, none, 3},
        {"a file's group is not the one asked for", true, true,
         [&group](TSite& s) { s.Target("bc").SetOption("group", group); },
         [](TSite& s) {
             ASSERT_EQ(::chown(s.Dir.File("bc").c_str(), static_cast<uid_t>(-1), ::getegid()), 0);
         },
         2},
        // What no file holds changes none.
        {"a comment changed", true, true, none,
         [](TSite& s) { s.Change([](TUserList& l) { User(l, "ann").Comments = "moved"; }); }, 3},
        {"a full name changed", true, true, none, renamed, 3},
        {"a full name changed, a program that reads names", false, false, names, renamed},
        {"a password changed", false, true, none,
         [](TSite& s) { s.Change([](TUserList& l) { User(l, "ann").SetPassword("new-ann"); }); }},
        {"a user added", false, true, none,
         [](TSite& s) { s.Change([](TUserList& l) { l.Add("fay", "pw-fay"); }); }, 0},
        {"a user deleted", false, true, none,
         [](TSite& s) { s.Change([](TUserList& l) { l.Remove(&User(l, "bob")); }); }},
        {"a user disabled", false, true, none,
         [](TSite& s) { s.Change([](TUserList& l) { User(l, "bob").Disable = true; }); }},
        {"an expiry passed", false, true, none,
         [](TSite& s) { s.Change([](TUserList& l) { User(l, "dan").ExpireDate = 1.0; }); }},
        {"a group changed", false, true, none,
         [](TSite& s) { s.Change([](TUserList& l) { User(l, "ann").SetGroups("staff"); }); }},
        {"a form changed", false, true, none,
         [](TSite& s) { s.Target("sha").SetOption("format", "sha256"); }, 2},
        {"a cost changed", false, true, none,
         [](TSite& s) { s.Target("bc").SetOption("cost", "6"); }},
        {"a consumer changed", false, false, none,
         [](TSite& s) { s.Target("sha").SetOption("consumer", "haproxy"); }},
        {"a realm changed", false, false, digest,
         [](TSite& s) { s.Target("sha").SetOption("realm", "B"); }},
        {"line ends changed", false, true, none,
         [](TSite& s) { s.Target("web").SetOption("line-ends", "lf"); }},
        {"a target file edited by hand", false, true, none,
         [](TSite& s) {
             std::string bytes = ReadWholeFile(s.Dir.File("sha"));
             bytes.replace(0, 3, "zed");
             WriteWholeFile(s.Dir.File("sha"), bytes);
         }},
        {"the state deleted", false, true, none,
         [](TSite& s) { fs::remove(TDatabaseState::PathFor(s.Db)); }},
        {"the hash cache wiped", false, true, none,
         [](TSite& s) {
             TDatabaseState(s.Db).Update([](TDatabaseStateData& data) {
                 data.Hashes = THashTable();
                 data.FormHashes.clear();
             });
         }},
        {"the digests the state keeps beside its hash tables lost (an earlier version's "
         "state)",
         true, true, none,
         [](TSite& s) {
             const std::string path = TDatabaseState::PathFor(s.Db);
             const std::string text = ReadWholeFile(path);
             const std::string without = WithoutStateParts(text, 6);
             ASSERT_LT(without.size(), text.size());
             WriteWholeFile(path, without);
             ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
         },
         3},
        {"the account's tag key lost", false, true, none,
         [](TSite& s) { fs::remove_all(s.Dir.File("account")); }},
        {"a second target added", false, true, none,
         [](TSite& s) {
             s.Settings.Targets.push_back({TargetAt("web2", s.Dir.File("web2"), {}), {}});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (std::string(c.Name).find("group") != std::string::npos && group.empty()) {
            std::cout << "(skipped: the test user is in no second group) " << c.Name << '\n';
            continue;
        }
        TSite site;
        site.Start([&c](TUserList& list) {
            TUserProp& dan = list.Add("dan", "pw-dan");
            dan.Expire = true;
            dan.ExpireDate = 100000.0; // far ahead
            if (c.WeakUser)
                list.Add("eve", "").SetPasswordHash("{SHA}Ic5o83sXgQ4ET+PvVlWA+X1NfNc=");
        });
        site.ExportTo({
            {TargetAt("web", site.Dir.File("web"), {}), {}},
            {TargetAt("sha", site.Dir.File("sha"), {{"format", "sha512"}, {"rounds", "1000"}}), {}},
            {TargetAt("bc", site.Dir.File("bc"), {{"format", "bcrypt"}, {"cost", "5"}}), {}},
        });
        c.Setup(site);
        // The first export hashes; the second takes every hash from the first and is kept.
        for (int round = 0; round < 2; ++round)
            ASSERT_EQ(Export(site.Db, site.Settings).Holds, std::vector<bool>(3, true));
        c.Change(site);
        const auto before = Snapshot(site.Dir.Path());
        std::vector<std::pair<std::string, ino_t>> inodes;
        for (const TDeployTarget& t : site.Settings.Targets)
            for (const std::string& file : {t.Target.Url, t.Target.Url + ".groups"})
                if (fs::exists(file)) inodes.emplace_back(file, InodeOf(file));
        const TRun taken = Export(site.Db, site.Settings);
        int leftInPlace = 0;
        for (const auto& [file, inode] : inodes)
            leftInPlace += InodeOf(file) == inode ? 1 : 0;
        // The same export from the same state with nothing of the last build remembered.
        Restore(site.Dir.Path(), before);
        TDatabaseState(site.Db).Update([](TDatabaseStateData& data) { data.Built.clear(); });
        const TRun built = Export(site.Db, site.Settings);
        EXPECT_EQ(taken.Builds == 0, c.Skips) << taken.Builds;
        EXPECT_GT(built.Builds, 0u);
        EXPECT_EQ(taken.Outcome(), built.Outcome());
        if (c.LeftInPlace >= 0) {
            EXPECT_EQ(leftInPlace, c.LeftInPlace);
        }
    }
}

// The parts the state keeps of the files built and of the digests of its hash tables are passed
// over by a reader that knows nothing of them, and a state without them still reads.
TEST(UnchangedExport, TheStatesNewPartIsOneAnEarlierReaderPassesOver) {
    TDatabaseStateData data;
    data.FormHashKey = std::string(64, 'a');
    data.Hashes.Put("ann", std::string(THashTable::KTagBytes, 't'), "$apr1$x$y");
    data.FormHashes["SHA512/1000"].Put("bob", "", "$6$a$b");
    TBuiltFile built;
    built.Inputs = std::string(64, 'b');
    built.Sha256 = std::string(64, 'c');
    built.Size = 12;
    built.Written = 3;
    built.CommentLogins = {"#x"};
    built.LeftOut = {1, 4};
    built.WeakUsers = {2};
    built.Reused = 3;
    data.Built[std::string(64, 'd')] = built;
    const std::string text = StateText(data);
    EXPECT_EQ(ParseStateText(text), data);
    // The same bytes with the part of the files built unknown: what is left reads as before.
    TDatabaseStateData without = data;
    without.Built.clear();
    EXPECT_EQ(ParseStateText(WithoutStateParts(text, 5, true)), without);
    EXPECT_EQ(ParseStateText(WithoutStateParts(text, 5)), without);
    // A part cut short is dropped alone.
    EXPECT_EQ(ParseStateText(text.substr(0, text.size() - 1)), without);
    // The digests beside the hash tables unknown, or not there: the tables read all the same,
    // and their digests are made from their bytes, the same as those the state kept.
    ASSERT_LT(WithoutStateParts(text, 6).size(), text.size());
    for (const std::string& earlier :
         {WithoutStateParts(text, 6, true), WithoutStateParts(text, 6)}) {
        EXPECT_EQ(ParseStateText(earlier), data);
        const auto kept = ParseStateText(std::make_shared<const std::string>(text));
        const auto made = ParseStateText(std::make_shared<const std::string>(earlier));
        ASSERT_NE(kept.Hashes.Unread(), nullptr);
        EXPECT_FALSE(kept.Hashes.Unread()->Digest.empty());
        EXPECT_TRUE(made.Hashes.Unread()->Digest.empty());
        EXPECT_EQ(kept.Hashes.Digest(), made.Hashes.Digest());
        EXPECT_EQ(kept.FormHashes.at("SHA512/1000").Digest(),
                  made.FormHashes.at("SHA512/1000").Digest());
        // Written again by this version, they are kept beside the tables again.
        EXPECT_EQ(StateText(ParseStateText(std::string_view(earlier))), text);
    }
}

// A state read from its file leaves its per-user tables as they were read until they are used:
// written back, they are the bytes read; used, they are what a reader that parses everything
// at once finds (damaged parts dropped alike); and the digest of a hash table is the same
// either way, so that the files built are taken again whichever way the state was read. Written
// in pieces as it is made, and through its file, it is the bytes of the one-piece text.
TEST(UnchangedExport, AStateIsParsedWhereItIsUsedAndWrittenInPiecesAsAWholeIs) {
    TDatabaseStateData data;
    TTargetRecord record;
    record.Sha256 = std::string(64, 'e');
    record.Size = 40;
    record.Users.emplace("ann", 1);
    record.Users.emplace("bob", 2);
    data.Hashes.Put("ann", std::string(THashTable::KTagBytes, 't'), "$apr1$x$y");
    data.Hashes.Put("bob", "", "$apr1$z$w");
    data.FormHashes["sha512"].Put("ann", std::string(THashTable::KTagBytes, 'u'), "$6$a$b");
    // Enough users for the tables to go out in many pieces.
    for (int i = 0; i < 20000; ++i) {
        const std::string login = "user" + std::to_string(i);
        record.Users.emplace(login, static_cast<TValueDigest>(i) * 7919);
        data.Hashes.Put(login, i % 3 == 0 ? "" : std::string(THashTable::KTagBytes, 't'),
                        "$apr1$" + std::to_string(i) + "$hash");
        if (i % 2 == 0) data.FormHashes["sha512"].Put(login, "", "$6$" + login);
    }
    data.Targets["file:/a"] = record;
    data.Pending["file:/b"] = record;
    data.FormHashKey = std::string(64, 'a');
    TBuiltFile built;
    built.Inputs = built.Sha256 = std::string(64, 'b');
    built.LeftOut = {1, 2};
    data.Built[std::string(64, 'c')] = built;
    const std::string text = StateText(data);
    std::size_t pieces = 0;
    const auto streamed = [&pieces](const TDatabaseStateData& d) {
        std::string bytes;
        pieces = 0;
        WriteStateText(d, [&](std::string_view piece) {
            bytes += piece;
            ++pieces;
        });
        return bytes;
    };
    // A byte of every part's users or hashes turned, one at a time, and the text cut short.
    std::vector<std::string> texts = {text, text.substr(0, text.size() - 5)};
    for (const std::string_view mark : {"bob", "$apr1$z", "$6$a"}) {
        std::string damaged = text;
        const std::size_t at = damaged.find(mark);
        ASSERT_NE(at, std::string::npos);
        damaged[at - 4] = '\x7f'; // the length in front of it
        texts.push_back(damaged);
    }
    TTempDir dir;
    const std::string db = dir.File("site.udx");
    for (const std::string& bytes : texts) {
        const TDatabaseStateData whole = ParseStateText(std::string_view(bytes));
        const TDatabaseStateData lazy = ParseStateText(std::make_shared<const std::string>(bytes));
        EXPECT_EQ(HashCacheIdentity("key", lazy.Hashes), HashCacheIdentity("key", whole.Hashes));
        EXPECT_EQ(streamed(lazy), StateText(lazy));
        EXPECT_EQ(ParseStateText(StateText(lazy)), whole);
        EXPECT_EQ(lazy, whole);
        // From its file, where the records' users stay until used (a damaged hash table left
        // there reads as an empty one).
        WriteWholeFile(TDatabaseState::PathFor(db), bytes);
        const TDatabaseStateData read = TDatabaseState(db).Load();
        const TDatabaseStateData back = ParseStateText(streamed(read));
        for (const TDatabaseStateData* d : {&read, &back}) {
            EXPECT_EQ(d->Targets, whole.Targets);
            EXPECT_EQ(d->Pending, whole.Pending);
        }
    }
    // Nothing used: written back as read.
    EXPECT_EQ(streamed(data), text);
    EXPECT_GT(pieces, 4u);
    EXPECT_EQ(streamed(ParseStateText(std::make_shared<const std::string>(text))), text);
    EXPECT_EQ(StateText(ParseStateText(std::make_shared<const std::string>(text))), text);
    ASSERT_TRUE(TDatabaseState(db).Update([&](TDatabaseStateData& d) { d = data; }));
    EXPECT_EQ(ReadWholeFile(TDatabaseState::PathFor(db)), text);
    // Updated with nothing parsed: the tables left in the file go back as they were.
    ASSERT_TRUE(TDatabaseState(db).Update([](TDatabaseStateData&) {}));
    EXPECT_EQ(ReadWholeFile(TDatabaseState::PathFor(db)), text);
    EXPECT_EQ(TDatabaseState(db).Load(), data);
}

// Targets that take one file share its record, made once: each keeps the record of the bytes
// it holds, the first of them as well as the last.
TEST(UnchangedExport, EachTargetKeepsTheRecordOfWhatItHolds) {
    TSite site;
    TUserList list;
    list.PassType = TPasswordsType::ptMD5;
    list.Add("ann", "pw-ann");
    list.Add("bob", "pw-bob");
    list.SaveToFile(site.Db);
    site.ExportTo({
        {TargetAt("web", site.Dir.File("web"), {}), {}},
        {TargetAt("sha", site.Dir.File("sha"), {{"format", "sha512"}, {"rounds", "1000"}}), {}},
        {TargetAt("web2", site.Dir.File("web2"), {}), {}},
        {TargetAt("web3", site.Dir.File("web3"), {}), {}},
    });
    ASSERT_EQ(Export(site.Db, site.Settings).Holds, std::vector<bool>(4, true));
    const TDatabaseStateData state = TDatabaseState(site.Db).Load();
    for (const TDeployTarget& t : site.Settings.Targets) {
        SCOPED_TRACE(t.Target.Name);
        const auto record = state.Targets.find(TargetIdOf(t.Target));
        ASSERT_NE(record, state.Targets.end());
        const TTargetRecord held = RecordOf(ReadWholeFile(t.Target.Url));
        EXPECT_EQ(record->second.Sha256, held.Sha256);
        EXPECT_EQ(record->second.Size, held.Size);
        EXPECT_EQ(record->second.Users.size(), 2u);
        EXPECT_TRUE(record->second.Users == held.Users);
    }
}

namespace {

// A store's users of the owner "site", one "LOGIN:HASH GROUP GROUP" line each, in login order.
std::string StoreRows(const std::string& database) {
    TStoreSettings settings = *ParseStoreUrl("sqlite:" + database);
    settings.Owner = "site";
    std::string rows;
    const auto store = OpenUserStore(settings);
    for (const TStoredUser& user : store->Read()) {
        rows += user.Login + ":" + user.Hash;
        for (const std::string& group : user.Groups)
            rows += " " + group;
        rows += "\n";
    }
    return rows;
}

// The same lines from a password file and its groups (one "GROUP: MEMBER MEMBER" line each).
std::string FileRows(const std::string& text, const std::string& groupText) {
    std::map<std::string, std::vector<std::string>> groupsOf;
    std::istringstream groups(groupText);
    for (std::string line; std::getline(groups, line);) {
        std::istringstream words(line);
        std::string group, member;
        words >> group;
        group.pop_back(); // its ":"
        while (words >> member)
            groupsOf[member].push_back(group);
    }
    std::vector<std::string> lines;
    std::istringstream file(text);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string>& names = groupsOf[line.substr(0, line.find(':'))];
        std::sort(names.begin(), names.end());
        for (const std::string& group : names)
            line += " " + group;
        lines.push_back(line + "\n");
    }
    std::sort(lines.begin(), lines.end());
    return std::accumulate(lines.begin(), lines.end(), std::string());
}

} // namespace

// A store found holding exactly the file the last export wrote there is taken as it is, as a
// local file is: the file is not built again and the store is not written. Whatever else was
// changed there is found as a build finds it: a changed row stops the export, and groups the
// text does not show are set right; either way the store ends as the file says.
TEST(UnchangedExport, AStoreHoldingTheLastFileIsTakenAndWhatChangedThereIsFound) {
    using TSiteChange = std::function<void(TSite&)>;
    const TSiteChange none = [](TSite&) {};
    const TSiteChange groups = [](TSite& s) {
        s.Change([](TUserList& l) {
            User(l, "ann").SetGroups("staff");
            User(l, "bob").SetGroups("staff admin");
        });
    };
    const auto sql = [](const std::string& statement) {
        return [statement](TSite& s) {
            ASSERT_EQ(RunCommand("sqlite3 '" + s.Dir.File("auth.db") + "' \"" + statement + "\"")
                          .ExitCode,
                      0);
        };
    };
    const auto both = [](TSiteChange here, TSiteChange there) {
        return [here, there](TSite& s) {
            here(s);
            there(s);
        };
    };
    const TSiteChange newAnn = [](TSite& s) {
        s.Change([](TUserList& l) { User(l, "ann").SetPassword("new-ann"); });
    };
    // There, ann's line holds a hash of her new password already, as an export ended between
    // the store's sync and its record leaves it.
    const TSiteChange annsNewThere = [](TSite& s) {
        const TCommandResult hash = RunCommand("openssl passwd -apr1 -salt 0penss1x new-ann");
        ASSERT_EQ(hash.ExitCode, 0);
        const std::string statement = "UPDATE auth_users SET password = '" +
                                      hash.Output.substr(0, hash.Output.find('\n')) +
                                      "' WHERE login = 'ann'";
        ASSERT_EQ(
            RunCommand("sqlite3 " + ShellQuote(s.Dir.File("auth.db")) + " " + ShellQuote(statement))
                .ExitCode,
            0);
    };
    const struct {
        const char* Name;
        TSiteChange Setup, Change;
        bool Skips;
        bool Holds; // the targets hold the new file after the export (a stop stops both)
    } cases[] = {
        {"nothing changed", none, none, true, true},
        {"nothing changed, users in groups", groups, none, true, true},
        {"a member taken out there", groups,
         sql("DELETE FROM auth_groups WHERE login = 'bob' AND groupname = 'staff'"), true, true},
        {"a hash changed there", none,
         sql("UPDATE auth_users SET password = 'x' WHERE login = 'ann'"), false, false},
        {"a user of this database's added there", none,
         sql("INSERT INTO auth_users VALUES ('zed', 'z', 'site')"), false, false},
        {"a password changed", none,
         [](TSite& s) { s.Change([](TUserList& l) { User(l, "ann").SetPassword("new-ann"); }); },
         false, true},
        {"a group changed", groups,
         [](TSite& s) { s.Change([](TUserList& l) { User(l, "ann").SetGroups("admin"); }); }, false,
         true},
        // Built again, and the store holds something else than its record: the users as they
        // are now tell what is this database's.
        {"a password changed, a hash changed there", none,
         both(newAnn, sql("UPDATE auth_users SET password = 'x' WHERE login = 'bob'")), false,
         false},
        {"a password changed, a user removed there", none,
         both(newAnn, sql("DELETE FROM auth_users WHERE login = 'bob'")), false, false},
        {"a password changed, the store holding its hash already", none, both(newAnn, annsNewThere),
         false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TSite site;
        site.Start([](TUserList&) {});
        TTargetSettings store;
        store.Name = "store";
        store.ExportToFile = false;
        store.StoreUrl = "sqlite:" + site.Dir.File("auth.db");
        store.StoreOwner = "site";
        site.Settings.Targets = {{TargetAt("web", site.Dir.File("web"), {}), {}}, {store, {}}};
        c.Setup(site);
        for (int round = 0; round < 2; ++round)
            ASSERT_EQ(Export(site.Db, site.Settings).Holds, std::vector<bool>(2, true));
        c.Change(site);
        const auto before = Snapshot(site.Dir.Path());
        const TRun taken = Export(site.Db, site.Settings);
        const std::string rows = StoreRows(site.Dir.File("auth.db"));
        // The same export from the same state with nothing of the last build remembered.
        Restore(site.Dir.Path(), before);
        TDatabaseState(site.Db).Update([](TDatabaseStateData& data) { data.Built.clear(); });
        const TRun built = Export(site.Db, site.Settings);
        EXPECT_EQ(taken.Builds == 0, c.Skips) << taken.Builds;
        EXPECT_EQ(taken.Outcome(), built.Outcome());
        EXPECT_EQ(taken.Holds, std::vector<bool>(2, c.Holds));
        EXPECT_EQ(rows, StoreRows(site.Dir.File("auth.db")));
        if (c.Holds) {
            EXPECT_EQ(rows, FileRows(taken.Files.at("web"), taken.Files.count("web.groups") != 0
                                                                ? taken.Files.at("web.groups")
                                                                : std::string()));
        }
    }
}
