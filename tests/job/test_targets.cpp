// The check before a target is replaced, the versions kept of what was replaced, and the
// database's state that remembers what was written where, shared by programs running at once.

#include "ScopedEnv.h"
#include "TestUtil.h"
#include "export/DatabaseState.h"
#include "job/Backups.h"
#include "job/SideFiles.h"
#include "job/Target.h"
#include "userdb/Envelope.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

using namespace quorvane;

namespace {

const std::string KWritten = "alice:$apr1$aaaaaaaa$1\r\nbob:$apr1$bbbbbbbb$2\r\n";

// The changes of a check as "+handmade ~alice -bob".
std::string Summary(const TUserChanges& changes) {
    std::string text;
    for (const TUserChange& change : changes.List) {
        if (!text.empty()) text += ' ';
        text += change.Kind == TUserChangeKind::Added     ? '+'
                : change.Kind == TUserChangeKind::Removed ? '-'
                                                          : '~';
        text += change.Login;
    }
    return text;
}

// The backups of a target as kept below `home`, the state folder of the run.
TTargetBackups BackupsUnder(const TTempDir& home, const std::string& id,
                            std::shared_ptr<const TDatabaseKey> key = nullptr) {
    const TScopedEnv stateHome("XDG_STATE_HOME", home.Path().string());
    return TTargetBackups(id, std::move(key));
}

} // namespace

TEST(CheckTarget, WhatChangedThereSinceTheDatabaseWroteItStopsTheReplacement) {
    TReplaceOptions overwrite;
    overwrite.Outside = TOutsideChanges::Overwrite;
    const std::string changed = "alice:$apr1$cccccccc$3\r\n";
    const std::string lfEnds = "alice:$apr1$aaaaaaaa$1\nbob:$apr1$bbbbbbbb$2\n";
    const struct {
        const char* Name;
        std::optional<std::string> There; // none: no file; "|fifo": a named pipe
        bool Recorded;                    // the database wrote KWritten there before
        TReplaceOptions Options;
        bool Accept; // the options accept exactly what is there
        std::string Outside;
        bool Stops;
    } cases[] = {
        {"first export", std::nullopt, false, {}, false, "", false},
        {"as written", KWritten, true, {}, false, "", false},
        {"line ends changed", lfEnds, true, {}, false, "", false},
        {"comments added", "# staff\r\n\r\n" + KWritten, true, {}, false, "", false},
        {"a user added", KWritten + "handmade:$apr1$x$y\r\n", true, {}, false, "+handmade", true},
        {"changed and removed there", changed, true, {}, false, "~alice -bob", true},
        {"overwrite", changed, true, overwrite, false, "~alice -bob", false},
        {"accepted as shown", changed, true, {}, true, "~alice -bob", false},
        {"no record, only our users", "alice:$apr1$zzzzzzzz$9\r\n", false, {}, false, "", false},
        {"no record, a stranger", "alice:x\r\nmallory:y\r\n", false, {}, false, "+mallory", true},
        {"a pipe", "|fifo", false, {}, false, "", false},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        const std::string path = dir.File("htpasswd");
        if (c.There == "|fifo")
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        else if (c.There)
            WriteWholeFile(path, *c.There);
        const TTargetRecord record = RecordOf(KWritten);
        TReplaceOptions options = c.Options;
        if (c.Accept) options.AcceptedSha256 = Sha256Hex(ReadWholeFile(path));
        TLocalFileTarget target(path);
        const TTargetCheck check = CheckTarget(target, c.Recorded ? &record : nullptr,
                                               "alice:new\r\nbob:b\r\n", {"alice", "bob"}, options);
        EXPECT_EQ(Summary(check.Outside), c.Outside) << c.Name;
        EXPECT_EQ(check.Stops, c.Stops) << c.Name;
        if (c.Stops) {
            EXPECT_THROW(ReplaceTarget(target, check, "x:y\r\n", TTargetBackups(target.Id())),
                         ETargetChanged);
            EXPECT_EQ(ReadWholeFile(path), *c.There) << c.Name << ": replaced all the same";
        }
    }
}

// A file the export read holding exactly the new content is not read again while it is as it
// was then; any change since (the same size written anew, a file put in its place, none left)
// is read, compared and refused as always.
TEST(CheckTarget, AFileShownHoldingTheNewContentIsReadAgainOnlyWhenChanged) {
    const std::string other = "alice:$apr1$aaaaaaaa$9\r\nbob:$apr1$bbbbbbbb$2\r\n";
    ASSERT_EQ(other.size(), KWritten.size());
    const struct {
        const char* Name;
        std::function<void(const std::string& path)> Since; // done after it was shown
        bool Taken;                                         // taken for the new content
        bool Stops;
    } cases[] = {
        {"as it was", [](const std::string&) {}, true, false},
        {"written anew, the same size",
         [&](const std::string& path) {
             WriteWholeFile(path, other);
             const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
             ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
         },
         false, true},
        {"another file put in its place",
         [&](const std::string& path) { WriteFileAtomically(path, other, 0644); }, false, true},
        {"removed", [](const std::string& path) { ASSERT_EQ(::unlink(path.c_str()), 0); }, false,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const std::string path = dir.File("htpasswd");
        WriteWholeFile(path, KWritten);
        const TFileIdentity shown = ReadFileIdentity(path);
        c.Since(path);
        const std::string there =
            std::filesystem::exists(path) ? ReadWholeFile(path) : std::string();
        const TTargetRecord record = RecordOf(KWritten);
        TLocalFileTarget target(path);
        target.ExpectHeld(shown);
        const TTargetCheck check =
            CheckTarget(target, &record, KWritten, {"alice", "bob"}, TReplaceOptions());
        EXPECT_EQ(check.Current.HoldsNew, c.Taken);
        EXPECT_EQ(check.Current.Bytes, c.Taken ? std::string() : there);
        EXPECT_EQ(check.Stops, c.Stops);
        EXPECT_EQ(check.Unchanged, c.Taken);
        if (c.Stops) continue;
        // Left in place as it is, or written where nothing is.
        const std::uint64_t before = ReadFileIdentity(path).Inode;
        target.StageHeld(KWritten);
        target.Commit();
        EXPECT_EQ(ReadWholeFile(path), KWritten);
        if (c.Taken) {
            EXPECT_EQ(ReadFileIdentity(path).Inode, before);
        }
    }
}

// A lone target that holds what the record names is only digested; the version kept of it is
// copied from the file when it is replaced, and only while the file is still what was read.
TEST(CheckTarget, AFileHoldingWhatWasRecordedIsDigestedAndKeptFromTheFile) {
    const std::string other = "alice:$apr1$aaaaaaaa$9\r\nbob:$apr1$bbbbbbbb$2\r\n";
    const std::string next = "alice:$apr1$cccccccc$3\r\n";
    const auto rewrite = [&](const std::string& path) {
        WriteWholeFile(path, other);
        const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
    };
    const auto none = [](const std::string&) {};
    const struct {
        const char* Name;
        std::function<void(const std::string&path)> Before, AfterRead, AfterKeep;
        bool Recorded; // read as recorded, not held
        bool Kept;     // the version kept, KWritten
        bool Replaced; // the new content put in place
    } cases[] = {
        {"as recorded", none, none, none, true, true, true},
        {"written anew before the read, the same size", rewrite, none, none, false, false, false},
        {"written anew after the read", none, rewrite, none, true, false, false},
        {"another file put in its place after the read", none,
         [&](const std::string& path) { WriteFileAtomically(path, other, 0644); }, none, true,
         false, false},
        {"written anew once kept", none, none, rewrite, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir, home;
        const std::string path = dir.File("htpasswd");
        WriteWholeFile(path, KWritten);
        c.Before(path);
        const TTargetRecord record = RecordOf(KWritten);
        TLocalFileTarget target(path);
        target.ExpectRecorded(record.Sha256, record.Size);
        const TTargetCheck check =
            CheckTarget(target, &record, next, {"alice", "bob"}, TReplaceOptions());
        EXPECT_EQ(check.Current.Recorded, c.Recorded);
        EXPECT_EQ(check.Current.Bytes.empty(), c.Recorded);
        EXPECT_EQ(check.Unchanged, c.Recorded);
        if (!c.Recorded) {
            EXPECT_TRUE(check.Stops);
            continue;
        }
        c.AfterRead(path);
        const TTargetBackups backups = BackupsUnder(home, "file:" + path);
        if (!c.Kept) {
            EXPECT_THROW(target.KeepRecorded(backups), EQuorvaneError);
            EXPECT_TRUE(backups.List().empty());
            continue;
        }
        target.KeepRecorded(backups);
        ASSERT_EQ(backups.List().size(), 1u);
        EXPECT_EQ(backups.Read(backups.List().front()), KWritten);
        c.AfterKeep(path);
        target.Stage(next);
        if (c.Replaced) {
            target.Commit();
            EXPECT_EQ(ReadWholeFile(path), next);
        } else {
            EXPECT_THROW(target.Commit(), EQuorvaneError);
            EXPECT_EQ(ReadWholeFile(path), other);
        }
    }
}

TEST(Backups, TheLastTenVersionsArePrivateAndNewestFirst) {
    TTempDir home;
    const TTargetBackups backups = BackupsUnder(home, "file:/srv/www/.htpasswd");
    for (int i = 0; i < 12; ++i)
        backups.Keep("user" + std::to_string(i) + ":x\r\n" + std::string(i, '#') + "\n");
    const std::vector<TBackupVersion> versions = backups.List();
    ASSERT_EQ(versions.size(), TTargetBackups::KKept);
    EXPECT_EQ(backups.Read(versions.front()).substr(0, 7), "user11:");
    EXPECT_EQ(backups.Read(versions.back()).substr(0, 6), "user2:");
    EXPECT_EQ(versions.front().Users, 1u);
    struct stat st {};
    ASSERT_EQ(::stat(backups.Folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(versions.front().Path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(backups.Folder().rfind(home.Path().string() + "/quorvane/backups/", 0), 0u);
    EXPECT_NE(TTargetBackups("file:/srv/www/.htpasswd2").Folder(), backups.Folder());
}

TEST(Backups, AnEncryptedDatabasesVersionsAreSealedWithItsKey) {
    test_hooks::SetDefaultKdfParams({1, 8192});
    auto keyOf = [](const char* password) {
        return TDatabaseKey::Create(TMasterCredentials{TSecret(std::string_view(password)), {}});
    };
    const auto key = keyOf("master");
    TTempDir home;
    const TTargetBackups sealing = BackupsUnder(home, "file:/srv/www/.htpasswd", key);
    const std::string content = "alice:Alice-Secret\r\nbob:Bob-Secret\r\n";
    const TBackupVersion kept = sealing.Keep(content);
    const std::string onDisk = ReadWholeFile(kept.Path);
    EXPECT_TRUE(IsEncryptedDatabase(onDisk));
    for (const char* secret : {"alice", "Alice-Secret", "Bob-Secret"})
        EXPECT_EQ(onDisk.find(secret), std::string::npos) << secret;
    // Who reads it: the key it was kept with; not another one (a rekeyed database), nor none.
    // A version that is not whole is damaged, under its own key, and says so.
    using TState = TBackupVersion::TState;
    const std::string otherKey = "Version " + kept.Name + " was kept under another master password";
    const std::string damaged =
        "Version " + kept.Name + " is damaged: it is not whole and cannot be restored";
    struct TCase {
        const char* Name;
        std::shared_ptr<const TDatabaseKey> Key;
        std::string Bytes;
        TState State;
        std::string Error; // empty: it opens
    } cases[] = {
        {"the same key", key, onDisk, TState::Readable, ""},
        {"another master password", keyOf("master"), onDisk, TState::OtherKey, otherKey},
        {"no key", nullptr, onDisk, TState::OtherKey, otherKey},
        {"a byte changed", key,
         onDisk.substr(0, 80) + static_cast<char>(onDisk[80] ^ 1) + onDisk.substr(81),
         TState::Damaged, damaged},
        {"cut short", key, onDisk.substr(0, onDisk.size() - 5), TState::Damaged, damaged},
        {"header cut", key, onDisk.substr(0, 40), TState::Damaged, damaged},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteWholeFile(kept.Path, c.Bytes);
        const TTargetBackups backups = BackupsUnder(home, "file:/srv/www/.htpasswd", c.Key);
        const std::vector<TBackupVersion> versions = backups.List();
        ASSERT_EQ(versions.size(), 1u);
        EXPECT_EQ(versions[0].State, c.State);
        EXPECT_EQ(versions[0].Users, c.Error.empty() ? 2u : 0u);
        if (c.Error.empty())
            EXPECT_EQ(backups.Read(versions[0]), content);
        else
            EXPECT_EQ(ErrorOf([&] { backups.Read(versions[0]); }), c.Error);
    }
    test_hooks::SetDefaultKdfParams({});
}

// A new key takes the state store and the kept versions along only when the change is
// committed: prepared and dropped (a save that failed), every old file stays as it was and
// nothing prepared is left; committed, the new key opens them all, and decrypting makes them
// plain again.
TEST(SideFiles, TheStateAndKeptVersionsFollowTheKeyOnlyWhenCommitted) {
    test_hooks::SetDefaultKdfParams({1, 8192});
    TTempDir dir, home;
    const TScopedEnv stateHome("XDG_STATE_HOME", home.Path().string());
    TUserList list;
    First(list)->ExportToFile = true;
    First(list)->PassFile = dir.File("htpasswd");
    const std::string db = dir.File("users.udx");
    const std::string id = TLocalFileTarget(First(list)->PassFile).Id();
    const std::string content = "ann:{SHA}Ic5o83sXgQ4ET+PvVlWA+X1NfNc=\n";
    TTargetRecord record;
    record.Sha256 = Sha256Hex(content);
    ASSERT_TRUE(TDatabaseState(db).Update([&](TDatabaseStateData& d) { d.Targets[id] = record; }));
    TTargetBackups(id).Keep(content);
    const auto key =
        TDatabaseKey::Create(TMasterCredentials{TSecret(std::string_view("master")), {}});
    const std::string state = TDatabaseState::PathFor(db);
    const std::string plainState = ReadWholeFile(state);
    const auto folder = home.Path() / "quorvane" / "backups";
    const auto entries = [&] {
        std::vector<std::string> all = dir.Entries();
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
            all.push_back(e.path().string());
        return all;
    };
    const auto before = entries();
    {
        TSideFilesRekey dropped(db, list, nullptr, key);
        EXPECT_EQ(dropped.Count(), 2u);
    }
    EXPECT_EQ(ReadWholeFile(state), plainState);
    EXPECT_EQ(entries(), before);
    struct TStep {
        std::shared_ptr<const TDatabaseKey> From, To;
    };
    for (const TStep& step : {TStep{nullptr, key}, TStep{key, nullptr}}) {
        TSideFilesRekey(db, list, step.From, step.To).Commit();
        EXPECT_EQ(entries(), before); // the same files, in place
        EXPECT_EQ(IsEncryptedDatabase(ReadWholeFile(state)), step.To != nullptr);
        EXPECT_EQ(TDatabaseState(db, step.To).Load().Targets.at(id), record);
        const TTargetBackups backups(id, step.To);
        const auto versions = backups.List();
        ASSERT_EQ(versions.size(), 1u);
        EXPECT_EQ(backups.Read(versions[0]), content);
    }
    test_hooks::SetDefaultKdfParams({});
}

TEST(DatabaseState, AnEncryptedDatabasesStoreIsSealedWithItsKey) {
    test_hooks::SetDefaultKdfParams({1, 8192});
    const auto key =
        TDatabaseKey::Create(TMasterCredentials{TSecret(std::string_view("master")), {}});
    TTempDir dir;
    const std::string db = dir.File("site.udx");
    // What was kept before the database was encrypted is still known, and sealed from now on.
    ASSERT_TRUE(TDatabaseState(db).Update(
        [](TDatabaseStateData& data) { data.Targets["file:/srv/a"] = RecordOf("alice:pw1\n"); }));
    ASSERT_TRUE(TDatabaseState(db, key).Update([](TDatabaseStateData& data) {
        EXPECT_EQ(data.Targets.size(), 1u);
        data.Targets["file:/srv/b"] = RecordOf("bob:Bob-Secret\n");
        data.Hashes.Put("carol", "", "$apr1$salt$hash");
    }));
    const std::string onDisk = ReadWholeFile(TDatabaseState::PathFor(db));
    EXPECT_TRUE(IsEncryptedDatabase(onDisk));
    for (const char* secret : {"alice", "bob", "carol", "/srv/b", "$apr1$"})
        EXPECT_EQ(onDisk.find(secret), std::string::npos) << secret;
    struct TCase {
        const char* Name;
        std::shared_ptr<const TDatabaseKey> Key;
        size_t Targets;
    } cases[] = {
        {"its key", key, 2},
        {"another master password",
         TDatabaseKey::Create(TMasterCredentials{TSecret(std::string_view("master")), {}}), 0},
        {"no key", nullptr, 0},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TDatabaseState(db, c.Key).Load().Targets.size(), c.Targets) << c.Name;
    test_hooks::SetDefaultKdfParams({});
}

// The store's bytes read back to what was written, whatever bytes the logins hold; a damaged
// section costs what it held and nothing else, and a section of a later kind is passed over.
TEST(DatabaseState, ADamagedSectionCostsOnlyWhatItHeld) {
    TDatabaseStateData data;
    TTargetRecord record = RecordOf("ann:x\n");
    // Logins of any bytes, many of them; one given twice keeps its last digest.
    for (const std::string& login :
         {std::string(), std::string("n\0l", 3), std::string(" a:b"), std::string(300, 'L')})
        record.Users.insert_or_assign(login, 1);
    for (int i = 0; i < 5000; ++i)
        record.Users.insert_or_assign("user" + std::to_string(i), static_cast<TValueDigest>(i));
    record.Users.insert_or_assign("user7", 77);
    ASSERT_EQ(record.Users.at("user7"), 77u);
    ASSERT_EQ(record.Users.size(), 5005u);
    data.Targets["file:/srv/a"] = record;
    data.Pending["file:/srv/a"] = RecordOf("ann:y\n");
    data.Hashes.Put("ann", std::string(32, 't'), "$apr1$salt$hash");
    data.Hashes.Put("bob", "", "$apr1$s2$h2");
    data.FormHashKey = std::string(64, 'a');
    data.FormHashes["bcrypt/5"].Put("ann", std::string(32, 'u'), "$2y$05$x");
    // Tables large enough that a store read from its file leaves them there until used.
    for (int i = 0; i < 2000; ++i) {
        data.Hashes.Put("h" + std::to_string(i), std::string(32, 'v'),
                        "$apr1$s$" + std::to_string(i));
        data.FormHashes["bcrypt/5"].Put("b" + std::to_string(i), "", "$2y$05$" + std::to_string(i));
    }
    const std::string bytes = StateText(data);
    // Where each section starts: a kind byte, an 8-byte length, its bytes.
    std::vector<std::size_t> starts;
    for (std::size_t at = std::string_view("quorvane state 2\n").size(); at < bytes.size();) {
        starts.push_back(at);
        std::uint64_t length = 0;
        for (int i = 7; i >= 0; --i)
            length = length << 8 | static_cast<unsigned char>(bytes[at + 1 + i]);
        at += 9 + length;
    }
    ASSERT_EQ(starts.size(), 7u); // with the digest beside each hash table
    const auto without = [&](const std::function<void(TDatabaseStateData&)>& drop) {
        TDatabaseStateData less = data;
        drop(less);
        return less;
    };
    // Damages a section: the length of its first string beyond the section's end.
    const auto damaged = [&](char kind) {
        std::string out = bytes;
        for (const std::size_t at : starts)
            if (out[at] == kind) out[at + 9 + 3] = '\x7f';
        return out;
    };
    // Damages one hash of the database's own table, deep inside it.
    std::string entryDamaged = bytes;
    entryDamaged[entryDamaged.find("$apr1$s$1000") - 2] = '\x7f';
    const struct {
        const char* Name;
        std::string Bytes;
        TDatabaseStateData Read;
    } cases[] = {
        {"as written", bytes, data},
        {"a target's record damaged", damaged(1),
         without([](TDatabaseStateData& d) { d.Targets.clear(); })},
        {"a pending record damaged", damaged(2),
         without([](TDatabaseStateData& d) { d.Pending.clear(); })},
        {"the hashes damaged", damaged(3), without([](TDatabaseStateData& d) {
             d.Hashes = {};
             d.FormHashes.clear();
         })},
        {"the key damaged", damaged(4),
         without([](TDatabaseStateData& d) { d.FormHashKey.clear(); })},
        {"a digest beside the hashes damaged", damaged(6), data},
        {"cut short in the last section, the digest beside the last hashes",
         bytes.substr(0, bytes.size() - 3), data},
        {"cut short in the last hashes", bytes.substr(0, starts.back() - 3),
         without([](TDatabaseStateData& d) { d.FormHashes.clear(); })},
        {"a hash deep in a table damaged", entryDamaged,
         without([](TDatabaseStateData& d) { d.Hashes = {}; })},
        {"a section of a later kind", bytes + std::string("\x2a\x01\0\0\0\0\0\0\0z", 10), data},
        {"another file", "quorvane state 3\n" + bytes.substr(17), {}},
    };
    for (const auto& c : cases) {
        const TDatabaseStateData read = ParseStateText(c.Bytes);
        EXPECT_TRUE(read == c.Read) << c.Name;
        EXPECT_FALSE(read.Older) << c.Name;
        EXPECT_TRUE(ParseStateText(StateText(read)) == read) << c.Name;
        // Read from the store's file (its large tables left there until used): the same.
        TTempDir dir;
        const std::string db = dir.File("site.udx");
        WriteWholeFile(TDatabaseState::PathFor(db), c.Bytes);
        ASSERT_EQ(::chmod(TDatabaseState::PathFor(db).c_str(), 0600), 0);
        EXPECT_EQ(StateText(TDatabaseState(db).Load()), StateText(read)) << c.Name;
        EXPECT_TRUE(TDatabaseState(db).Load() == c.Read) << c.Name;
    }
}

// A store's large tables stay in its file until something needs them: written back unused,
// they are the bytes read, whole or in pieces as an update writes them; a store replaced since
// (as every update replaces it) still gives what was read; one cut short or damaged in place
// gives empty tables, not a failure, and is written back as such.
TEST(DatabaseState, TablesLeftInTheFileReadAsTheStoreWasRead) {
    TDatabaseStateData data;
    for (int i = 0; i < 3000; ++i) {
        data.Hashes.Put("u" + std::to_string(i), std::string(32, 't'),
                        "$apr1$s$" + std::to_string(i));
        data.FormHashes["sha512/1000"].Put("u" + std::to_string(i), "",
                                           "$6$s$" + std::to_string(i));
    }
    const std::string bytes = StateText(data);
    // One byte of a hash of a table, turned in place: its frame still holds, its entries not.
    const auto turn = [&](const std::string& store, std::string_view hash) {
        const std::size_t at = bytes.find(hash);
        ASSERT_NE(at, std::string::npos);
        const int fd = ::open(store.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::pwrite(fd, "\n", 1, static_cast<off_t>(at + 3)), 1);
        ::close(fd);
    };
    const struct {
        const char* Name;
        std::function<void(const std::string& store)> After; // done to the store once read
        bool Hashes, FormHashes; // the tables read are data's (else empty)
    } cases[] = {
        {"left as it was", [](const std::string&) {}, true, true},
        {"replaced since",
         [](const std::string& store) {
             WriteFileAtomically(store, StateText(TDatabaseStateData()), 0600);
         },
         true, true},
        {"cut short in place",
         [&](const std::string& store) { ASSERT_EQ(::truncate(store.c_str(), 100), 0); }, false,
         false},
        {"emptied in place", [](const std::string& store) { WriteWholeFile(store, ""); }, false,
         false},
        {"a hash of the first table turned", [&](const std::string& s) { turn(s, "$apr1$s$2999"); },
         false, true},
        {"a hash of the last table turned", [&](const std::string& s) { turn(s, "$6$s$1500"); },
         true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const std::string db = dir.File("site.udx");
        const std::string store = TDatabaseState::PathFor(db);
        WriteWholeFile(store, bytes);
        ASSERT_EQ(::chmod(store.c_str(), 0600), 0);
        const TDatabaseStateData read = TDatabaseState(db).Load();
        const TDatabaseStateData streamed = TDatabaseState(db).Load();
        ASSERT_NE(read.Hashes.Unread(), nullptr);
        // Unused, they keep the digests the store recorded beside them: nothing is read.
        const std::string digest = read.FormHashes.at("sha512/1000").Digest();
        c.After(store);
        EXPECT_EQ(digest, data.FormHashes.at("sha512/1000").Digest());
        TDatabaseStateData expected;
        if (c.Hashes) expected.Hashes = data.Hashes;
        expected.FormHashes["sha512/1000"] =
            c.FormHashes ? data.FormHashes.at("sha512/1000") : THashTable();
        std::string pieces;
        WriteStateText(streamed, [&](std::string_view piece) { pieces += piece; });
        EXPECT_EQ(pieces, StateText(expected));
        EXPECT_EQ(StateText(read), StateText(expected));
        EXPECT_TRUE(read == expected);
        if (c.Hashes && c.FormHashes) {
            EXPECT_EQ(pieces, bytes);
        }
    }
}

TEST(DatabaseState, UpdatesAtOnceLoseNoRecord) {
    // Each update opens the store on its own, so the lock keeps them apart as it keeps two
    // programs apart.
    TTempDir dir;
    const std::string db = dir.File("site.udx");
    constexpr int KWriters = 8;
    std::vector<std::thread> writers;
    std::atomic<int> failed{0};
    for (int i = 0; i < KWriters; ++i)
        writers.emplace_back([&, i] {
            if (!TDatabaseState(db).Update([i](TDatabaseStateData& data) {
                    data.Targets["target" + std::to_string(i)] = RecordOf("u" + std::to_string(i));
                }))
                ++failed;
        });
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_EQ(failed, 0);
    const TDatabaseStateData data = TDatabaseState(db).Load();
    EXPECT_EQ(data.Targets.size(), static_cast<size_t>(KWriters));
    EXPECT_EQ(ParseStateText(StateText(data)), data) << "the text reads back as written";
    struct stat st {};
    ASSERT_EQ(::stat(TDatabaseState::PathFor(db).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// What the command line lists under a stop: the users named up to 20, the rest counted, and the
// lines that are no users, one or several.
TEST(TargetReport, OutsideChangesNameTwentyUsersThenCountTheRest) {
    const auto check = [](std::size_t users, std::size_t otherLines) {
        TTargetCheck c;
        for (std::size_t i = 0; i < users; ++i)
            c.Outside.List.push_back({i == 0 ? TUserChangeKind::Removed : TUserChangeKind::Added,
                                      "u" + std::to_string(i)});
        c.OtherLines = otherLines;
        return c;
    };
    const struct {
        std::size_t Users, OtherLines;
        std::vector<std::string> Last; // the signatures after the users named
        std::size_t Named;
    } cases[] = {
        {2, 0, {}, 2},
        {2, 1, {"OutsideOtherLine()"}, 2},
        {20, 3, {"OutsideOtherLines(3)"}, 20},
        {23, 0, {"OutsideMore(3)"}, 20},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        for (const TMessage& m : OutsideChangesMessages(check(c.Users, c.OtherLines)))
            got.push_back(Signature(m));
        ASSERT_EQ(got.size(), c.Named + c.Last.size()) << c.Users;
        EXPECT_EQ(got[0], "OutsideRemoved(u0)");
        EXPECT_EQ(got[c.Named - 1], "OutsideAdded(u" + std::to_string(c.Named - 1) + ")");
        EXPECT_EQ(
            std::vector<std::string>(got.begin() + static_cast<std::ptrdiff_t>(c.Named), got.end()),
            c.Last)
            << c.Users;
    }
}

// After a merge: the import's report, then the users disabled here, one or several.
TEST(TargetReport, MergeReportCountsTheUsersDisabledHere) {
    const struct {
        std::vector<std::string> Disabled;
        const char* Text; // the message's text; none: the import's report alone
    } cases[] = {
        {{}, nullptr},
        {{"bob"}, "MergeDisabledOne"},
        {{"bob", "carl"}, "MergeDisabled"},
    };
    for (const auto& c : cases) {
        TMergeResult merged;
        merged.Disabled = c.Disabled;
        const TMessage message = MergeReportMessage(merged);
        if (c.Text == nullptr) {
            EXPECT_EQ(EnglishText(message), HtpasswdImportReport(merged.Imported));
        } else {
            EXPECT_STREQ(message.Text->Id, c.Text);
            const TMessagePart& names = message.Parts.back();
            ASSERT_EQ(names.Items.size(), c.Disabled.size());
            EXPECT_EQ(EnglishText(names.Items.back()), c.Disabled.back());
        }
    }
}
