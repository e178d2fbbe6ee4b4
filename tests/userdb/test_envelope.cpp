// The encrypted database: what the file reveals, what opens it, what is refused, and that a save
// killed at any moment leaves a whole file.

#include "TestUtil.h"
#include "base/AtomicFile.h"
#include "userdb/DataLib.h"
#include "userdb/Envelope.h"
#include "userdb/NewUser.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string KWrong = "Wrong master password or damaged file";

TMasterCredentials Credentials(const std::string& password, const std::string& keyFile = {}) {
    return TMasterCredentials{TSecret(password), keyFile};
}

// Cheap key derivation for every test: the parameters are read from the header, so the file is
// exercised as it is with the measured ones.
class Envelope : public ::testing::Test {
protected:
    void SetUp() override { test_hooks::SetDefaultKdfParams({1, 8192}); }
    void TearDown() override { test_hooks::SetDefaultKdfParams({}); }

    // A list of a few users with distinct logins, passwords and other fields.
    static void Fill(TUserList& list, int users) {
        for (int i = 0; i < users; ++i) {
            TUserProp& u = AddNewUser(list, "login" + std::to_string(1000 + i));
            u.Password = "Secret-" + std::to_string(7000 + i) + "-pw";
            u.FullName = "Person Number " + std::to_string(i);
            u.Email = "person" + std::to_string(i) + "@example.org";
        }
        list.FtpHost = "ftp.example.org";
        list.FtpUser = "siteadmin";
        list.FtpPass = "ServerPass-42";
    }

    // Saves the list encrypted with this password (and key file) and returns the file's bytes.
    std::string SaveEncrypted(TUserList& list, const std::string& password,
                              const std::string& keyFile = {}) {
        list.SetEncryption(TDatabaseKey::Create(Credentials(password, keyFile)));
        list.SaveToFile(Db);
        return ReadWholeFile(Db);
    }

    // Loads Db into a new list with these credentials.
    std::unique_ptr<TUserList> Open(const std::string& password, const std::string& keyFile = {}) {
        auto list = std::make_unique<TUserList>();
        list->SetCredentialSource([=](bool) { return Credentials(password, keyFile); });
        list->LoadFromFile(Db);
        return list;
    }

    // The refusal of Db with these credentials; the folder and the file stay as they were.
    std::string Refusal(const std::string& password, const std::string& keyFile = {}) {
        const auto before = Dir.Entries();
        const std::string bytes = ReadWholeFile(Db);
        TUserList list;
        list.SetCredentialSource([=](bool) { return Credentials(password, keyFile); });
        const std::string error = ErrorOf([&] { list.LoadFromFile(Db); });
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.Encryption(), nullptr);
        EXPECT_EQ(Dir.Entries(), before);
        EXPECT_EQ(ReadWholeFile(Db), bytes);
        return error;
    }

    TTempDir Dir;
    std::string Db = Dir.File("users.udx");
};

TEST_F(Envelope, TheFileHoldsNoneOfItsSecretsAsBytes) {
    TUserList list;
    Fill(list, 5);
    const std::string file = SaveEncrypted(list, "master pw");
    ASSERT_TRUE(IsEncryptedDatabase(file));
    std::vector<std::string> secrets = {"object", "TUserList", "ftp.example.org", "siteadmin",
                                        "ServerPass-42"};
    for (int i = 0; i < list.Count(); ++i) {
        secrets.push_back(list.Users(i).Login);
        secrets.push_back(list.Users(i).Password);
        secrets.push_back(list.Users(i).FullName);
        secrets.push_back(list.Users(i).Email);
    }
    for (const std::string& s : secrets)
        EXPECT_EQ(file.find(s), std::string::npos) << s;
    // A new nonce every save: the same list never gives the same bytes.
    list.SaveToFile(Db);
    EXPECT_NE(ReadWholeFile(Db), file);
}

TEST_F(Envelope, TheSealedTextIsExactlyThePlainFile) {
    // Sealed as it is rendered: texts shorter than a block, and longer than many of its pieces.
    for (int users : {0, 40, 3000}) {
        SCOPED_TRACE(users);
        TUserList list;
        Fill(list, users);
        if (users > 0) list.Users(users / 2).Comments = std::string(300, 'c') + "\r\n'q'\t\x90\xff";
        list.SaveToFile(Db);
        const std::string plain = ReadWholeFile(Db);
        const std::string sealed = SaveEncrypted(list, "pw");
        EXPECT_EQ(sealed.size(), plain.size() + KEnvelopeHeaderSize + KEnvelopeTagSize);
        EXPECT_EQ(OpenEnvelope(sealed, Credentials("pw")).Text.View(), plain);
        EXPECT_EQ(OpenEnvelope(list.Encryption()->Seal(plain), Credentials("pw")).Text.View(),
                  plain);
        // Opened, and saved again: still encrypted with the key it was opened with; decrypted
        // and saved: byte for byte the plain file.
        auto back = Open("pw");
        ASSERT_NE(back->Encryption(), nullptr);
        EXPECT_EQ(ListText(*back), ListText(list));
        back->SaveToFile(Db);
        EXPECT_TRUE(IsEncryptedDatabase(ReadWholeFile(Db)));
        back->SetEncryption(nullptr);
        back->SaveToFile(Db);
        EXPECT_EQ(ReadWholeFile(Db), plain);
    }
}

TEST_F(Envelope, WhatOpensTheFileAndWhatIsRefused) {
    const std::string keyFile = Dir.File("key.bin"), otherKey = Dir.File("other.bin");
    WriteWholeFile(keyFile, std::string("\x01\x02 random key bytes\x00", 21));
    WriteWholeFile(otherKey, std::string("\x01\x02 random key bytes\x01", 21));
    struct TCase {
        const char* Name;
        std::string SavedKeyFile;
        std::string Password;
        std::string KeyFile;
        bool Opens;
    } cases[] = {
        {"right password", "", "correct horse", "", true},
        {"right password and key file", keyFile, "correct horse", keyFile, true},
        {"a key file alone", keyFile, "", keyFile, false},
        {"wrong password", "", "correct hors", "", false},
        {"password of another case", "", "Correct horse", "", false},
        {"right password, wrong key file", keyFile, "correct horse", otherKey, false},
        {"right password, key file missing", keyFile, "correct horse", "", false},
        {"right password, key file not used", "", "correct horse", keyFile, false},
        {"empty password", "", "", "", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TUserList list;
        Fill(list, 3);
        SaveEncrypted(list, "correct horse", c.SavedKeyFile);
        EXPECT_EQ(NeedsKeyFile(ReadWholeFile(Db)), !c.SavedKeyFile.empty());
        // What checks a password before the key changes agrees with what opens the file.
        EXPECT_EQ(list.Encryption()->Matches(Credentials(c.Password, c.KeyFile)), c.Opens);
        if (c.Opens) {
            EXPECT_EQ(ListText(*Open(c.Password, c.KeyFile)), ListText(list));
        } else {
            EXPECT_EQ(Refusal(c.Password, c.KeyFile), KWrong);
            TUserList other;
            other.SetCredentialSource([&](bool) { return Credentials(c.Password, c.KeyFile); });
            EXPECT_THROW(other.LoadFromFile(Db), EWrongMasterPassword);
        }
    }
}

TEST_F(Envelope, EveryDamagedByteAndEveryCutIsRefused) {
    TUserList list;
    Fill(list, 1);
    const std::string good = SaveEncrypted(list, "pw");
    ASSERT_LT(good.size(), 1000u);
    const std::string path = Db;
    size_t tested = 0;
    for (size_t at = 0; at < good.size(); ++at) {
        for (unsigned char flip : {0x01, 0x80, 0xFF}) {
            std::string bad = good;
            bad[at] = static_cast<char>(bad[at] ^ flip);
            WriteWholeFile(path, bad);
            ASSERT_EQ(Refusal("pw"), KWrong) << "byte " << at << " ^ " << int(flip);
            ++tested;
        }
    }
    EXPECT_EQ(tested, 3 * good.size());
    // Cut anywhere after the magic, or with a byte added: damaged too.
    for (size_t size = 8; size < good.size(); ++size) {
        WriteWholeFile(path, good.substr(0, size));
        ASSERT_EQ(Refusal("pw"), KWrong) << size;
    }
    WriteWholeFile(path, good + "x");
    EXPECT_EQ(Refusal("pw"), KWrong);
}

TEST_F(Envelope, AFailedWriteLeavesTheOldFileAndNoTemporaryOne) {
    TUserList list;
    Fill(list, 3000); // several chunks of the sealer
    const std::string before = SaveEncrypted(list, "pw");
    list.Users(0).Password = "changed";
    ASSERT_GT(before.size(), 300000u);
    for (long long after : {0LL, 100LL, 300000LL}) {
        SCOPED_TRACE(after);
        test_hooks::SetWriteFailureAfter(after);
        EXPECT_EQ(ErrorOf([&] { list.SaveToFile(Db); }),
                  "Cannot write file " + Db + ": the disk is full");
        test_hooks::SetWriteFailureAfter(-1);
        EXPECT_TRUE(ReadWholeFile(Db) == before);
        EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"users.udx"});
    }
}

TEST_F(Envelope, ALoadWithoutAPasswordSourceSaysTheDatabaseIsEncrypted) {
    TUserList list;
    Fill(list, 2);
    SaveEncrypted(list, "pw");
    TUserList other;
    EXPECT_EQ(ErrorOf([&] { other.LoadFromFile(Db); }),
              "The database " + Db + " is encrypted; its master password is needed");
}

TEST_F(Envelope, TheHeaderKeepsTheParametersAndANewKeyANewSalt) {
    TUserList list;
    Fill(list, 2);
    test_hooks::SetDefaultKdfParams({2, 16384});
    const std::string first = SaveEncrypted(list, "pw");
    test_hooks::SetDefaultKdfParams({1, 8192});
    // Opened while new files get other parameters: the file's own are used, and kept.
    auto back = Open("pw");
    EXPECT_EQ(back->Encryption()->Params(), (TKdfParams{2, 16384}));
    back->SaveToFile(Db);
    EXPECT_EQ(ReadWholeFile(Db).substr(0, 48), first.substr(0, 48));
    // A new master password: another salt, the old password no longer opens it.
    const std::string rekeyed = SaveEncrypted(*back, "new pw");
    EXPECT_NE(rekeyed.substr(32, 16), first.substr(32, 16));
    EXPECT_EQ(Refusal("pw"), KWrong);
    EXPECT_EQ(Open("new pw")->Count(), 2);
}

TEST_F(Envelope, KeyFilesThatCannotServeAreNamed) {
    TUserList list;
    Fill(list, 1);
    const std::string empty = Dir.File("empty.key"), missing = Dir.File("missing.key");
    WriteWholeFile(empty, "");
    EXPECT_EQ(ErrorOf([&] { TDatabaseKey::Create(Credentials("pw", empty)); }),
              "The key file " + empty + " is empty");
    EXPECT_EQ(ErrorOf([&] { TDatabaseKey::Create(Credentials("pw", missing)); }),
              "Cannot open file " + missing);
}

TEST(EnvelopeMagic, OnlyTheMagicOrOneDamagedByteOfItIsAnEncryptedFile) {
    const std::string magic = "\x89QVDB\r\n\x1a";
    struct TCase {
        std::string Bytes;
        bool Encrypted;
    } cases[] = {
        {magic, true},
        {"\x88QVDB\r\n\x1a", true},
        {"\x89QVDB\n\n\x1a", true},
        {"\x89QVDB\n\r\x1a", false}, // two bytes off: whatever it is, not ours
        {"object TUserList\r\n", false},
        {magic.substr(0, 7), false},
        {"", false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(IsEncryptedDatabase(c.Bytes), c.Encrypted) << c.Bytes;
}

// Saves killed with SIGKILL at random moments: the file on disk opens every time, as the old or
// the new version. QUORVANE_KILL_USERS and QUORVANE_KILL_ROUNDS make the run longer.
TEST_F(Envelope, ASaveKilledAtAnyMomentLeavesAWholeFile) {
    const char* usersText = std::getenv("QUORVANE_KILL_USERS");
    const char* roundsText = std::getenv("QUORVANE_KILL_ROUNDS");
    const int users = usersText != nullptr ? std::atoi(usersText) : 2000;
    const int rounds = roundsText != nullptr ? std::atoi(roundsText) : 20;
    TUserList list;
    Fill(list, users);
    SaveEncrypted(list, "pw");
    // The kills fall anywhere in a save: before, while and after it renders, seals and renames.
    const auto start = std::chrono::steady_clock::now();
    list.SaveToFile(Db);
    const auto saveUs = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    std::mt19937 random(25);
    for (int round = 0; round < rounds; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            for (int save = 0;; ++save) {
                list.Users(0).Comments = std::to_string(save);
                list.SaveToFile(Db);
                if (save == 0) (void)!::write(ready[1], "x", 1);
            }
        }
        ::close(ready[1]);
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        ::usleep(std::uniform_int_distribution<unsigned>(
            0, static_cast<unsigned>(saveUs + saveUs / 4))(random));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        auto back = Open("pw");
        ASSERT_EQ(back->Count(), users) << "round " << round;
    }
}

} // namespace
