// Published vectors for the cipher, the CMAC and the CRC, and the frame helpers built on them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/aes.h"
#include "link/cmac.h"
#include "link/crc32.h"
#include "link/frame.h"

namespace {

std::vector<uint8_t> Hex(const std::string& text)
{
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : text)
        if (c != ' ') digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

class AES256 : public AES {
public:
    AES256() : AES(8, 14) {}
};

// RFC 4493, section 4: key and the 64-byte message whose prefixes make the four examples.
const std::vector<uint8_t> kRfcKey = Hex("2b7e1516 28aed2a6 abf71588 09cf4f3c");
const std::vector<uint8_t> kRfcMessage = Hex(
    "6bc1bee2 2e409f96 e93d7e11 7393172a ae2d8a57 1e03ac9c 9eb76fac 45af8e51"
    "30c81c46 a35ce411 e5fbc119 1a0a52ef f69f2445 df4f9b17 ad2b417b e66c3710");

std::vector<uint8_t> Tag(AES128& aes, const uint8_t* data, std::size_t length)
{
    CMAC cmac(aes);
    cmac.Init();
    cmac.Update(data, length);
    std::vector<uint8_t> tag(16);
    cmac.Final(tag.data());
    return tag;
}

} // namespace

TEST(Aes, Fips197AppendixC1Aes128)
{
    // FIPS-197 Appendix C.1.
    AES128 aes;
    aes.SetKey(Hex("000102030405060708090a0b0c0d0e0f").data());
    auto block = Hex("00112233445566778899aabbccddeeff");
    aes.Encrypt(block.data());
    EXPECT_EQ(block, Hex("69c4e0d86a7b0430d8cdb78070b4c55a"));
    aes.Decrypt(block.data());
    EXPECT_EQ(block, Hex("00112233445566778899aabbccddeeff"));
}

TEST(Aes, Fips197AppendixC3KeyExpansionOfLongKeys)
{
    // FIPS-197 Appendix C.3: the key expansion's extra S-box step of keys longer than six words.
    AES256 aes;
    aes.SetKey(Hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f").data());
    auto block = Hex("00112233445566778899aabbccddeeff");
    aes.Encrypt(block.data());
    EXPECT_EQ(block, Hex("8ea2b7ca516745bfeafc49904b496089"));
    aes.Decrypt(block.data());
    EXPECT_EQ(block, Hex("00112233445566778899aabbccddeeff"));
}

TEST(Cmac, Rfc4493Examples)
{
    struct Case {
        std::size_t length;
        const char* tag;
    };
    const Case cases[] = {
        {0, "bb1d6929 e9593728 7fa37d12 9b756746"},    // Example 1
        {16, "070a16b4 6b4d4144 f79bdd9d d04a287c"},   // Example 2
        {40, "dfa66747 de9ae630 30ca3261 1497c827"},   // Example 3
        {64, "51f0bebf 7e3b9d92 fc497417 79363cfe"},   // Example 4
    };
    AES128 aes;
    aes.SetKey(kRfcKey.data());
    for (const Case& c : cases) EXPECT_EQ(Tag(aes, kRfcMessage.data(), c.length), Hex(c.tag)) << c.length;
}

TEST(Cmac, PiecewiseUpdatesGiveTheSameTag)
{
    AES128 aes;
    aes.SetKey(kRfcKey.data());
    for (std::size_t length : {15u, 16u, 17u, 32u, 33u, 40u, 64u}) {
        const auto whole = Tag(aes, kRfcMessage.data(), length);
        for (std::size_t piece : {1u, 3u, 7u, 15u, 16u, 17u}) {
            CMAC cmac(aes);
            cmac.Init();
            for (std::size_t at = 0; at < length; at += piece)
                cmac.Update(kRfcMessage.data() + at, std::min(piece, length - at));
            std::vector<uint8_t> tag(16);
            cmac.Final(tag.data());
            EXPECT_EQ(tag, whole) << "length " << length << " piece " << piece;
        }
    }
}

TEST(Cmac, CompleteLastBlockUsesK1AndPartialUsesK2)
{
    // Worked by hand from the definitions with the cipher alone: for one block M,
    // tag = E(M ^ K1) when |M| = 16 and E(pad(M) ^ K2) otherwise; 17 bytes chain the first block.
    AES128 aes;
    aes.SetKey(kRfcKey.data());
    std::vector<uint8_t> l(16, 0);
    aes.Encrypt(l.data());
    auto shift = [](const std::vector<uint8_t>& in) {
        std::vector<uint8_t> out(16);
        for (int i = 0; i < 16; ++i) out[i] = static_cast<uint8_t>((in[i] << 1) | (i < 15 ? in[i + 1] >> 7 : 0));
        if (in[0] & 0x80) out[15] ^= 0x87;
        return out;
    };
    const auto k1 = shift(l);
    const auto k2 = shift(k1);

    std::vector<uint8_t> expect16(kRfcMessage.begin(), kRfcMessage.begin() + 16);
    for (int i = 0; i < 16; ++i) expect16[i] ^= k1[i];
    aes.Encrypt(expect16.data());
    EXPECT_EQ(Tag(aes, kRfcMessage.data(), 16), expect16);

    std::vector<uint8_t> expect15(kRfcMessage.begin(), kRfcMessage.begin() + 15);
    expect15.push_back(0x80);
    for (int i = 0; i < 16; ++i) expect15[i] ^= k2[i];
    aes.Encrypt(expect15.data());
    EXPECT_EQ(Tag(aes, kRfcMessage.data(), 15), expect15);

    std::vector<uint8_t> chain(kRfcMessage.begin(), kRfcMessage.begin() + 16);
    aes.Encrypt(chain.data());
    std::vector<uint8_t> last = {kRfcMessage[16], 0x80};
    last.resize(16, 0);
    for (int i = 0; i < 16; ++i) chain[i] ^= static_cast<uint8_t>(last[i] ^ k2[i]);
    aes.Encrypt(chain.data());
    EXPECT_EQ(Tag(aes, kRfcMessage.data(), 17), chain);
}

TEST(Crc32, CheckValueAndSearchRequest)
{
    const std::string check = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x0376E6E7u);
    EXPECT_EQ(BuildUnsigned('O', 0xFFFFFFFFu, {}), Hex("4D 4D 44 4F FF FF FF FF F8 F3 14 64"));
}

TEST(Frame, UnsignedCheck)
{
    auto frame = BuildUnsigned('K', 0x30010002u, std::vector<uint8_t>{1, 2, 3});
    EXPECT_TRUE(CheckUnsigned(frame));
    frame[9] ^= 1;
    EXPECT_FALSE(CheckUnsigned(frame));
    EXPECT_FALSE(CheckUnsigned(std::span<const uint8_t>(frame.data(), 11)));
}

TEST(Frame, SignedCodeIsTheTruncatedCmacAndComparedWhole)
{
    AES128 aes;
    aes.SetKey(kRfcKey.data());
    CMAC cmac(aes);
    const std::vector<uint8_t> payload = {0x01, 0x02};
    auto frame = BuildSigned(cmac, 0x31234567u, 7, 'C', payload);
    ASSERT_EQ(frame.size(), payload.size() + 19);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 11),
              Hex("4D4D4443 67452331 0700 43"));
    const auto tag = Tag(aes, frame.data(), frame.size() - 8);
    EXPECT_TRUE(std::equal(tag.begin(), tag.begin() + 8, frame.end() - 8));
    EXPECT_TRUE(CheckSignedCode(cmac, frame));
    for (std::size_t i : {frame.size() - 8, frame.size() - 1, std::size_t{10}}) {
        auto bad = frame;
        bad[i] ^= 0x01;
        EXPECT_FALSE(CheckSignedCode(cmac, bad)) << i;
    }
}

TEST(Frame, DiscoveryReplyAcceptance)
{
    auto reply = [](uint32_t id, std::size_t payload) {
        return BuildUnsigned('O', id, std::vector<uint8_t>(payload, 0x31));
    };
    uint32_t id = 0;
    uint8_t status = 0;
    EXPECT_TRUE(ParseDiscoveryReply(reply(0x31350042u, 16), id, status));
    EXPECT_EQ(id, 0x31350042u);
    EXPECT_EQ(status, 0x31);
    EXPECT_FALSE(ParseDiscoveryReply(reply(0x31350042u, 15), id, status));   // 27 bytes
    EXPECT_FALSE(ParseDiscoveryReply(reply(0x31350042u, 17), id, status));   // 29 bytes
    EXPECT_FALSE(ParseDiscoveryReply(reply(0x21350042u, 16), id, status));   // bits 28-31 not 3
    EXPECT_FALSE(ParseDiscoveryReply(reply(0xFFFFFFFFu, 16), id, status));
    auto wrongTag = BuildUnsigned('K', 0x31350042u, std::vector<uint8_t>(16, 0));
    EXPECT_FALSE(ParseDiscoveryReply(wrongTag, id, status));
    auto badCrc = reply(0x31350042u, 16);
    badCrc[24] ^= 1;
    EXPECT_FALSE(ParseDiscoveryReply(badCrc, id, status));
}
