// The encrypted database: what the file reveals, what opens it, what is refused, and that a save
// killed at any moment leaves a whole file.

#include "TestUtil.h"
#include "base/AtomicFile.h"
#include "userdb/DataLib.h"
#include "userdb/Envelope.h"
#include "userdb/NewUser.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sodium.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string KWrong = "Wrong master password or damaged file";

TMasterCredentials Credentials(const std::string& password, const std::string& keyFile = {}) {
    return TMasterCredentials{TSecret(password), keyFile};
}

const std::string KOutOfBounds = "The encrypted database asks for a key derivation of ";

// The bounds on the key derivation a file may ask for: those a new encryption uses at most.
bool KdfWithinBounds(const TKdfParams& p) {
    return p.OpsLimit >= 1 && p.OpsLimit <= 20 && p.MemLimit >= 8192 &&
           p.MemLimit <= (uint64_t{64} << 20);
}

uint64_t Le64(const std::string& bytes, size_t at) {
    uint64_t value = 0;
    for (size_t i = 8; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

TKdfParams HeaderParams(const std::string& file) {
    return {Le64(file, 16), Le64(file, 24)};
}

void SetHeaderParams(std::string& file, const TKdfParams& p) {
    for (size_t i = 0; i < 8; ++i) {
        file[16 + i] = static_cast<char>((p.OpsLimit >> (8 * i)) & 0xFF);
        file[24 + i] = static_cast<char>((p.MemLimit >> (8 * i)) & 0xFF);
    }
}

// The file format opened independently of the program's code: the key derived as the format
// says (Argon2id, then BLAKE2b keyed with its output over the key file's hash), the subkey by
// HChaCha20, and ChaCha20-Poly1305 (RFC 8439) by OpenSSL, as files were sealed before libsodium
// sealed them alone. Empty when it does not open.
std::optional<std::string> ReferenceOpen(const std::string& file, const std::string& password) {
    if (file.size() < KEnvelopeHeaderSize + KEnvelopeTagSize) return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
    const TKdfParams params = HeaderParams(file);
    unsigned char stretched[32], key[32], subKey[32];
    if (crypto_pwhash(stretched, sizeof stretched, password.data(), password.size(), bytes + 32,
                      params.OpsLimit, static_cast<size_t>(params.MemLimit),
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        return std::nullopt;
    crypto_generichash(key, sizeof key, nullptr, 0, stretched, sizeof stretched);
    crypto_core_hchacha20(subKey, bytes + 48, key, nullptr);
    unsigned char nonce[12] = {};
    std::memcpy(nonce + 4, bytes + 48 + 16, 8);
    const size_t sealed = file.size() - KEnvelopeHeaderSize - KEnvelopeTagSize;
    std::string text(sealed, '\0');
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> cipher(EVP_CIPHER_CTX_new(),
                                                                      EVP_CIPHER_CTX_free);
    int n = 0;
    unsigned char tag[KEnvelopeTagSize];
    std::memcpy(tag, bytes + file.size() - KEnvelopeTagSize, sizeof tag);
    const bool opened =
        EVP_DecryptInit_ex(cipher.get(), EVP_chacha20_poly1305(), nullptr, subKey, nonce) == 1 &&
        EVP_DecryptUpdate(cipher.get(), nullptr, &n, bytes,
                          static_cast<int>(KEnvelopeHeaderSize)) == 1 &&
        EVP_DecryptUpdate(cipher.get(), reinterpret_cast<unsigned char*>(text.data()), &n,
                          bytes + KEnvelopeHeaderSize, static_cast<int>(sealed)) == 1 &&
        EVP_CIPHER_CTX_ctrl(cipher.get(), EVP_CTRL_AEAD_SET_TAG, sizeof tag, tag) == 1 &&
        EVP_DecryptFinal_ex(cipher.get(), nullptr, &n) == 1;
    if (!opened) return std::nullopt;
    return text;
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
        First(list)->FtpHost = "ftp.example.org";
        First(list)->FtpUser = "siteadmin";
        First(list)->FtpPass = "ServerPass-42";
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
            // A key derivation beyond the bounds is named as such, before it is spent.
            const bool outOfBounds = at >= 16 && at < 32 && !KdfWithinBounds(HeaderParams(bad));
            ASSERT_EQ(Refusal("pw").rfind(outOfBounds ? KOutOfBounds : KWrong, 0), 0u)
                << "byte " << at << " ^ " << int(flip);
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

// The sealer against the format itself: texts of every length around the sealer's chunks and
// the key stream's blocks, given in pieces of every size, open with the reference (the way files
// were sealed before) and with the one-shot open backups use; and a file sealed before opens.
TEST_F(Envelope, SealedFilesOpenWithTheReferenceAndOldFilesOpenToday) {
    const auto key = TDatabaseKey::Create(Credentials("pw"));
    const size_t chunk = 64 * 1024;
    for (size_t size : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{65}, chunk - 1, chunk,
                        chunk + 1, 3 * chunk + 17}) {
        std::string text(size, '\0');
        for (size_t i = 0; i < size; ++i)
            text[i] = static_cast<char>((i * 131 + size) & 0xFF);
        for (size_t piece : {size_t{1}, size_t{64}, size_t{1000}, size_t{1} << 20}) {
            if (piece == 1 && size > chunk + 1) continue;
            SCOPED_TRACE(testing::Message() << size << " bytes in pieces of " << piece);
            std::string file;
            TDatabaseKey::TSealer sealer(
                *key, [&file](const char* data, size_t n) { file.append(data, n); });
            for (size_t at = 0; at < size; at += piece)
                sealer.Write(text.data() + at, std::min(piece, size - at));
            sealer.Finish();
            ASSERT_EQ(file.size(), KEnvelopeHeaderSize + size + KEnvelopeTagSize);
            EXPECT_EQ(ReferenceOpen(file, "pw"), text);
            EXPECT_EQ(key->Open(file).View(), text);
            EXPECT_EQ(ReferenceOpen(key->Seal(text), "pw"), text);
            std::string bad = file;
            bad[bad.size() / 2] = static_cast<char>(bad[bad.size() / 2] ^ 1);
            EXPECT_EQ(ReferenceOpen(bad, "pw"), std::nullopt);
        }
    }
    // Sealed by the version before this sealer: its streamed save of three users.
    std::filesystem::copy_file(std::string(QUORVANE_TEST_DATA_DIR) + "/encrypted-1.3.udx", Db);
    const std::string before = ReadWholeFile(Db);
    ASSERT_TRUE(ReferenceOpen(before, "sealed-before").has_value());
    auto old = Open("sealed-before");
    ASSERT_EQ(old->Count(), 3);
    EXPECT_EQ(old->Users(2).Login, "login1002");
    EXPECT_EQ(old->Users(2).Password, "Secret-7002-pw");
    EXPECT_EQ(First(*old)->FtpPass, "ServerPass-42");
    EXPECT_EQ(Refusal("sealed-after"), KWrong);
    old->SaveToFile(Db);
    EXPECT_EQ(ReferenceOpen(ReadWholeFile(Db), "sealed-before"),
              *ReferenceOpen(before, "sealed-before"));
}

// A header asking for a key derivation beyond what a new encryption uses is refused with what it
// asks for, before the password is asked for; within the bounds it costs one derivation.
TEST_F(Envelope, AKeyDerivationBeyondTheBoundsIsRefusedBeforeItIsSpent) {
    TUserList list;
    Fill(list, 1);
    const std::string good = SaveEncrypted(list, "pw");
    const uint64_t MiB = uint64_t{1} << 20;
    const struct {
        TKdfParams Asked;
        std::string Refusal; // the start of it
    } cases[] = {
        {{1, 8192}, ""},
        {{20, 64 * MiB}, KWrong},
        {{2, 8192}, KWrong},
        {{21, 64 * MiB},
         KOutOfBounds + "21 passes over 64 MiB of memory; this version of "
                        "Quorvane opens databases that ask for 1 to 20 passes "
                        "over 8 KiB to 64 MiB."},
        {{20, 64 * MiB + 1024}, KOutOfBounds + "20 passes over 65537 KiB of memory"},
        {{16, 1024 * MiB}, KOutOfBounds + "16 passes over 1024 MiB of memory"},
        {{0, 8192}, KOutOfBounds + "0 passes over 8 KiB"},
        {{1, 4096}, KOutOfBounds + "1 passes over 4 KiB"},
        {{1, 8191}, KOutOfBounds + "1 passes over 8191 bytes"},
        {{~uint64_t{0}, ~uint64_t{0}},
         KOutOfBounds + "18446744073709551615 passes over "
                        "18446744073709551615 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Asked.OpsLimit << " " << c.Asked.MemLimit);
        std::string file = good;
        SetHeaderParams(file, c.Asked);
        WriteWholeFile(Db, file);
        int asked = 0;
        TUserList other;
        other.SetCredentialSource([&](bool) {
            ++asked;
            return Credentials("pw");
        });
        const std::string error = ErrorOf([&] { other.LoadFromFile(Db); });
        EXPECT_EQ(error.rfind(c.Refusal, 0), 0u) << error;
        EXPECT_EQ(asked, c.Refusal.rfind(KOutOfBounds, 0) == 0 ? 0 : 1);
        if (c.Refusal.empty()) {
            EXPECT_EQ(other.Count(), 1);
        }
        // Without a source of passwords it is named all the same.
        if (c.Refusal.rfind(KOutOfBounds, 0) == 0) {
            TUserList third;
            EXPECT_EQ(ErrorOf([&] { third.LoadFromFile(Db); }), error);
        }
    }
}

} // namespace
