#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Base64.h"

namespace pravix
{
namespace
{

std::string encode(const std::string& bytes)
{
    return Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string decode(const std::string& text)
{
    return Base64Decode(text.data(), text.size());
}

TEST(Base64, Rfc4648TestVectorsBothWays)
{
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"abc", "YWJj"},
        {"ab", "YWI="},   {"a", "YQ=="},
    };
    for (const auto& [plain, coded] : vectors)
    {
        EXPECT_EQ(encode(plain), coded) << plain;
        EXPECT_EQ(decode(coded), plain) << coded;
    }
}

TEST(Base64, EveryByteValueRoundTripsAtEveryOffset)
{
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(char(i));
    for (std::size_t cut = 0; cut < 4; ++cut)
    {
        const std::string part = bytes.substr(cut);
        const std::string coded = encode(part);
        EXPECT_EQ(coded.size(), (part.size() + 2) / 3 * 4);
        EXPECT_EQ(coded.find_first_not_of(std::string(Base64Alphabet) + "="), std::string::npos);
        EXPECT_EQ(decode(coded), part);
    }
}

TEST(Base64, DecodingStopsAtPaddingOrAForeignCharacter)
{
    EXPECT_EQ(decode("Zm9vYg==Zm9v"), "foob");
    EXPECT_EQ(decode("Zm9v=Zm9v"), "foo");
    EXPECT_EQ(decode("Zm9v!YmFy"), "foo");
    EXPECT_EQ(decode("Zm9v\nYmFy"), "foo");
    EXPECT_EQ(decode("Zm9v YmFy"), "foo");
    EXPECT_EQ(decode("Zm-9v"), "f");
    EXPECT_EQ(decode("Zm8"), "fo");
    const char withNul[] = {'Z', 'm', '9', 'v', '\0', 'Y', 'm', 'F', 'y'};
    EXPECT_EQ(Base64Decode(withNul, sizeof(withNul)), "foo");
}

TEST(Base64, ALoneLastCharacterGivesNoByte)
{
    EXPECT_EQ(decode("Y"), "");
    EXPECT_EQ(decode("/"), "");
    EXPECT_EQ(decode("Zm9vY"), "foo");
    EXPECT_EQ(decode("Zm9vY="), "foo");
    EXPECT_EQ(decode("Zm9vYmFy/"), "foobar");
}

TEST(Base64, NullOrEmptyInputGivesEmptyText)
{
    EXPECT_EQ(Base64Encode(nullptr, 10), "");
    EXPECT_EQ(Base64Decode(nullptr, 10), "");
    EXPECT_EQ(Base64Decode("Zm9v", 0), "");
}

TEST(Base64, HostileTextIsReadWithinItsBounds)
{
    // Every byte value, in random order and length; the sanitizer build sees any stray read.
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round)
    {
        std::string text(random() % 64, '\0');
        for (char& c : text)
            c = char(random() % 256);
        const std::string decoded = decode(text);
        EXPECT_LE(decoded.size(), text.size() / 4 * 3 + 2);
    }
}

} // namespace
} // namespace pravix
