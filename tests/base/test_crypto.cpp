// The digests the hash cache, the state, the consumers' forms and the servers' fingerprints are
// made of: the published known answers, whether the bytes come in one call or in pieces, and an
// object used again after its value was taken.

#include "base/Crypto.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace quorvane;
using crypto::TDigestKind;

namespace {

// The digests are compared as the core writes them, so the expected texts check the hexadecimal
// writer too.
std::string Hex(const unsigned char* bytes, std::size_t size) {
    return crypto::LowerHex(bytes, size);
}

std::string Bytes(std::size_t count, char byte) {
    return std::string(count, byte);
}

const std::string KMillionA = Bytes(1000000, 'a');

TEST(Crypto, KnownAnswersOfTheDigestsHmacAndPbkdf2) {
    struct TCase {
        const char* Source;
        TDigestKind Kind;
        std::optional<std::string> Key; // HMAC under it, or PBKDF2's password when Iterations
        std::string Message;            // or PBKDF2's salt
        int Iterations;                 // PBKDF2 when not 0
        std::size_t Size;               // PBKDF2's key size
        const char* Expected;
    };
    const std::string abc448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::string abc896 = "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                               "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";
    const std::string rfc4231Long = "Test Using Larger Than Block-Size Key - Hash Key First";
    const TCase cases[] = {
        {"FIPS 180 SHA-1 abc", TDigestKind::Sha1, std::nullopt, "abc", 0, 0,
         "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"FIPS 180 SHA-1 448 bits", TDigestKind::Sha1, std::nullopt, abc448, 0, 0,
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"SHA-1 empty", TDigestKind::Sha1, std::nullopt, "", 0, 0,
         "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"FIPS 180 SHA-1 a million a", TDigestKind::Sha1, std::nullopt, KMillionA, 0, 0,
         "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"FIPS 180 SHA-256 abc", TDigestKind::Sha256, std::nullopt, "abc", 0, 0,
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"FIPS 180 SHA-256 448 bits", TDigestKind::Sha256, std::nullopt, abc448, 0, 0,
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"SHA-256 empty", TDigestKind::Sha256, std::nullopt, "", 0, 0,
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"FIPS 180 SHA-256 a million a", TDigestKind::Sha256, std::nullopt, KMillionA, 0, 0,
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"FIPS 180 SHA-512 abc", TDigestKind::Sha512, std::nullopt, "abc", 0, 0,
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
         "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {"FIPS 180 SHA-512 896 bits", TDigestKind::Sha512, std::nullopt, abc896, 0, 0,
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
         "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
        {"SHA-512 empty", TDigestKind::Sha512, std::nullopt, "", 0, 0,
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
         "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"},
        {"RFC 4231 1 HMAC-SHA-256", TDigestKind::Sha256, Bytes(20, '\x0b'), "Hi There", 0, 0,
         "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {"RFC 4231 2 HMAC-SHA-256", TDigestKind::Sha256, "Jefe", "what do ya want for nothing?", 0,
         0, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {"RFC 4231 6 HMAC-SHA-256", TDigestKind::Sha256, Bytes(131, '\xaa'), rfc4231Long, 0, 0,
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {"RFC 4231 1 HMAC-SHA-512", TDigestKind::Sha512, Bytes(20, '\x0b'), "Hi There", 0, 0,
         "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cde"
         "daa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854"},
        {"RFC 4231 2 HMAC-SHA-512", TDigestKind::Sha512, "Jefe", "what do ya want for nothing?", 0,
         0,
         "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
         "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
        {"RFC 4231 6 HMAC-SHA-512", TDigestKind::Sha512, Bytes(131, '\xaa'), rfc4231Long, 0, 0,
         "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f352"
         "6b56d037e05f2598bd0fd2215d6a1e5295e64f73f63f0aec8b915a985d786598"},
        {"RFC 6070 1", TDigestKind::Sha1, "password", "salt", 1, 20,
         "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"RFC 6070 2", TDigestKind::Sha1, "password", "salt", 2, 20,
         "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"RFC 6070 4096", TDigestKind::Sha1, "password", "salt", 4096, 20,
         "4b007901b765489abead49d926f721d065a429c1"},
        {"RFC 6070 long", TDigestKind::Sha1, "passwordPASSWORDpassword",
         "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {"RFC 6070 NUL bytes", TDigestKind::Sha1, std::string("pass\0word", 9),
         std::string("sa\0lt", 5), 4096, 16, "56fa6aa75548099dcc37d7f03425e0c3"},
        {"PBKDF2-HMAC-SHA512 1", TDigestKind::Sha512, "password", "salt", 1, 64,
         "867f70cf1ade02cff3752599a3a53dc4af34c7a669815ae5d513554e1c8cf252"
         "c02d470a285a0501bad999bfe943c08f050235d7d68b1da55e63f73b60a57fce"},
        {"PBKDF2-HMAC-SHA512 2", TDigestKind::Sha512, "password", "salt", 2, 64,
         "e1d9c16aa681708a45f5c7c4e215ceb66e011a2e9f0040713f18aefdb866d53c"
         "f76cab2868a39b9f7840edce4fef5a82be67335c77a6068e04112754f27ccf4e"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Source);
        unsigned char out[crypto::KMaxDigestBytes];
        if (c.Iterations != 0) {
            ASSERT_TRUE(crypto::Pbkdf2Hmac(c.Kind, *c.Key,
                                           reinterpret_cast<const unsigned char*>(c.Message.data()),
                                           c.Message.size(), c.Iterations, out, c.Size));
            EXPECT_EQ(Hex(out, c.Size), c.Expected);
            continue;
        }
        const std::size_t size = crypto::DigestBytes(c.Kind);
        if (!c.Key) {
            crypto::Digest(c.Kind, c.Message.data(), c.Message.size(), out);
            EXPECT_EQ(Hex(out, size), c.Expected) << "in one call";
        }
        crypto::TDigest digest = c.Key ? crypto::TDigest(c.Kind, *c.Key) : crypto::TDigest(c.Kind);
        // In pieces of 1, 2, 3, ... bytes, which straddle every block boundary; then again with
        // the same object, once after a false start it was told to forget.
        for (int round = 0; round < 2; ++round) {
            std::size_t at = 0;
            for (std::size_t piece = 1; at < c.Message.size(); ++piece) {
                const std::size_t n = std::min(piece, c.Message.size() - at);
                digest.Add(c.Message.data() + at, n);
                at += n;
            }
            digest.Finish(out);
            EXPECT_EQ(Hex(out, size), c.Expected) << "in pieces, round " << round;
            digest.Add("not part of the message");
            digest.Restart();
        }
    }
}

TEST(Crypto, Base64AsRfc4648AndWhatTheDecoderRefuses) {
    const struct {
        const char* Bytes;
        const char* Text;
    } known[] = {{"", ""},
                 {"f", "Zg=="},
                 {"fo", "Zm8="},
                 {"foo", "Zm9v"},
                 {"foob", "Zm9vYg=="},
                 {"fooba", "Zm9vYmE="},
                 {"foobar", "Zm9vYmFy"},
                 {"\xff\xfe\x00", "//4A"}};
    for (const auto& k : known) {
        const std::string bytes = k.Bytes[0] == '\xff' ? std::string("\xff\xfe\x00", 3) : k.Bytes;
        EXPECT_EQ(crypto::Base64Encode(bytes.data(), bytes.size()), k.Text) << k.Text;
        EXPECT_EQ(crypto::Base64Decode(k.Text), bytes) << k.Text;
    }
    // Not base64, or padding that would take more bytes than the text holds.
    for (const char* text : {"Zm9", "Zm9v!A==", "Zm9vY", "====", "A===", "Zg\x80="})
        EXPECT_EQ(crypto::Base64Decode(text), std::nullopt) << text;
}

} // namespace
