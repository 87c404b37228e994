#include "store/crypt_context.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace vistra {
namespace {

using Bytes = std::vector<u8>;

Bytes hex(const std::string& text)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<u8>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes counting(int n)
{
    Bytes out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<u8>(i);
    return out;
}

// Values computed independently of this code: IV 00..0F, pass phrase "secret" derives the
// key 2bb98437a6ae0128d779455c2c41fcc2; the plaintext is 00..1F.
const Bytes kIv = counting(16);
const Bytes kPlain = counting(32);
const Bytes kCipher = hex("93ce95f4820ba6f70e891f0736892410ab535efb49102f341264ba219a414356");
const Bytes kCipherHmac = hex("7bce71a436a7197f8b43a7e5a6dadedc9a6eaeda");
const Bytes kEmptyHmac = hex("b3da149bf9e91d9a986273151a82426758dbdf06");

class Crypt : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(decrypt.init(), 0);
        ASSERT_EQ(decrypt.setDecryptKey("secret", 6, kIv.data()), 0);
    }
    CryptContext decrypt;
};

TEST_F(Crypt, KnownAnswersForKeyCipherChainAndHmac)
{
    Bytes whole(32);
    ASSERT_EQ(decrypt.crypt(kCipher.data(), whole.data(), 32, true), 0);
    EXPECT_EQ(whole, kPlain);

    // The chain runs on across calls: two 16-byte calls give what one 32-byte call gives.
    CryptContext chained;
    ASSERT_EQ(chained.init(), 0);
    ASSERT_EQ(chained.setDecryptKey("secret", 6, kIv.data()), 0);
    Bytes halves(32);
    ASSERT_EQ(chained.crypt(kCipher.data(), halves.data(), 16, true), 0);
    ASSERT_EQ(chained.crypt(kCipher.data() + 16, halves.data() + 16, 16, true), 0);
    EXPECT_EQ(halves, kPlain);

    Bytes mac(20);
    EXPECT_EQ(decrypt.hmacSize(), 20);
    ASSERT_EQ(decrypt.computeHmac(kCipher.data(), 32, mac.data()), 0);
    EXPECT_EQ(mac, kCipherHmac);
    ASSERT_EQ(decrypt.computeHmac(nullptr, 0, mac.data()), 0);
    EXPECT_EQ(mac, kEmptyHmac);
}

TEST_F(Crypt, VerifyRejectsAnyFlippedBitOfDataOrTag)
{
    EXPECT_EQ(decrypt.verifyHmac(kCipher.data(), 32, kCipherHmac.data()), 0);
    EXPECT_EQ(decrypt.verifyHmac(nullptr, 0, kEmptyHmac.data()), 0);
    for (std::size_t bit : {0u, 7u, 255u}) {
        Bytes data = kCipher;
        data[bit / 8] ^= static_cast<u8>(1u << (bit % 8));
        EXPECT_NE(decrypt.verifyHmac(data.data(), 32, kCipherHmac.data()), 0) << bit;
    }
    for (std::size_t bit : {0u, 80u, 159u}) { // first, middle and last byte of the tag
        Bytes tag = kCipherHmac;
        tag[bit / 8] ^= static_cast<u8>(1u << (bit % 8));
        EXPECT_NE(decrypt.verifyHmac(kCipher.data(), 32, tag.data()), 0) << bit;
    }
}

TEST_F(Crypt, EncryptingSideStartsFromAFreshIvThatTheReaderTakes)
{
    CryptContext a;
    CryptContext b;
    ASSERT_EQ(a.init(), 0);
    ASSERT_EQ(b.init(), 0);
    ASSERT_EQ(a.setEncryptKey("secret", 6), 0);
    ASSERT_EQ(b.setEncryptKey("secret", 6), 0);
    EXPECT_NE(std::memcmp(a.getIv(), b.getIv(), 16), 0); // never one CBC start for two connections

    std::array<u8, 16> iv;
    std::memcpy(iv.data(), a.getIv(), 16);
    Bytes sealed(48);
    const Bytes plain = counting(48);
    ASSERT_EQ(a.crypt(plain.data(), sealed.data(), 48, false), 0);
    Bytes mac(20);
    ASSERT_EQ(a.computeHmac(sealed.data(), 48, mac.data()), 0);

    CryptContext reader;
    ASSERT_EQ(reader.init(), 0);
    ASSERT_EQ(reader.setDecryptKey("secret", 6, iv.data()), 0);
    EXPECT_EQ(reader.verifyHmac(sealed.data(), 48, mac.data()), 0);
    Bytes back(48);
    ASSERT_EQ(reader.crypt(sealed.data(), back.data(), 48, true), 0);
    EXPECT_EQ(back, plain);
}

TEST(CryptErrors, MisuseIsRefusedWithItsLine)
{
    CryptContext fresh;
    Bytes buf(32);
    struct Case {
        const char* what;
        std::function<int()> call;
        int result;
        const char* line;
    };
    CryptContext ready;
    ASSERT_EQ(ready.init(), 0);
    const std::vector<Case> cases = {
        {"crypt before init", [&] { return fresh.crypt(buf.data(), buf.data(), 16, true); }, 1,
         "ERR aes init has not been run"},
        {"hmacSize before init", [&] { return fresh.hmacSize(); }, -1, "ERR aes init has not been run"},
        {"verify before init", [&] { return fresh.verifyHmac(buf.data(), 16, buf.data()); }, -1,
         "ERR aes init has not been run"},
        {"length 20", [&] { return ready.crypt(buf.data(), buf.data(), 20, true); }, 1,
         "ERR Length: 20 is not divisible by 16"},
        {"null data", [&] { return ready.computeHmac(nullptr, 16, buf.data()); }, 1, "ERR null ptr"},
        {"null pass phrase", [&] { return ready.setEncryptKey(nullptr, 0); }, 1, "ERR null ptr"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.call(), c.result) << c.what;
        EXPECT_NE(testing::internal::GetCapturedStderr().find(c.line), std::string::npos) << c.what;
    }
    EXPECT_EQ(fresh.getIv(), nullptr);
}

} // namespace
} // namespace vistra
