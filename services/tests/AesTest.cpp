#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Aes.h"
#include "HexBytes.h"

namespace pravix
{
namespace
{
using test::Bytes;
using test::fromHex;
using test::toHex;

struct BlockVector
{
    const char* name;
    const char* key;
    const char* plain;
    const char* cipher;
};

// FIPS-197 appendix B and appendix C.1 to C.3.
const BlockVector kFipsVectors[] = {
    {"B", "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
    {"C.1", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"C.2", "000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"C.3", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
     "8ea2b7ca516745bfeafc49904b496089"},
};

TEST(Aes, FipsVectorsEncryptAndDecryptInPlace)
{
    for (const BlockVector& v : kFipsVectors)
    {
        const Bytes key = fromHex(v.key);
        AesContext encrypt;
        AesContext decrypt;
        ASSERT_EQ(AesSetEncryptKey(key.data(), key.size(), &encrypt), kCipherOk) << v.name;
        ASSERT_EQ(AesSetDecryptKey(key.data(), key.size(), &decrypt), kCipherOk) << v.name;
        EXPECT_EQ(encrypt.keyWords, key.size() / 4);

        Bytes block = fromHex(v.plain);
        AesEncryptBlock(&encrypt, block.data());
        EXPECT_EQ(toHex(block), v.cipher) << v.name;
        AesDecryptBlock(&decrypt, block.data());
        EXPECT_EQ(toHex(block), v.plain) << v.name;
    }
}

TEST(Aes, KeyExpansionEndsWithTheFipsLastRoundKey)
{
    // FIPS-197 appendix A.1: w[40..43] of the expanded key 2b7e1516...
    const Bytes key = fromHex("2b7e151628aed2a6abf7158809cf4f3c");
    AesContext context;
    ASSERT_EQ(AesSetEncryptKey(key.data(), key.size(), &context), kCipherOk);
    uint8_t last[16];
    for (int i = 0; i < 4; ++i)
    {
        const uint32_t w = context.roundKeys[40 + i];
        for (int b = 0; b < 4; ++b)
            last[4 * i + b] = uint8_t(w >> (8 * b));
    }
    EXPECT_EQ(toHex(last, 16), "d014f9a8c9ee2589e13f0cc8b6630ca6");
}

TEST(Aes, KeysOfOtherLengthsAreRefused)
{
    const Bytes key(40, 0x11);
    for (std::size_t length : {0u, 1u, 15u, 17u, 20u, 23u, 31u, 33u, 40u})
    {
        AesContext context;
        EXPECT_EQ(AesSetEncryptKey(key.data(), length, &context), kCipherErrorKeyLength) << length;
        EXPECT_EQ(AesSetDecryptKey(key.data(), length, &context), kCipherErrorKeyLength) << length;
        EXPECT_EQ(context.keyWords, 0u);
    }
    AesContext context;
    EXPECT_EQ(AesSetEncryptKey(nullptr, 16, &context), kCipherErrorKeyLength);
    EXPECT_EQ(AesSetEncryptKey(key.data(), 16, nullptr), kCipherErrorInvalid);
}

TEST(Aes, SeparateOutputLeavesTheInputAlone)
{
    const BlockVector& v = kFipsVectors[1];
    const Bytes key = fromHex(v.key);
    AesContext context;
    ASSERT_EQ(AesSetEncryptKey(key.data(), key.size(), &context), kCipherOk);
    const Bytes plain = fromHex(v.plain);
    uint8_t out[16];
    AesEncryptBlockTo(&context, plain.data(), out);
    EXPECT_EQ(toHex(out, 16), v.cipher);
    EXPECT_EQ(toHex(plain), v.plain);
}

TEST(Aes, ConcurrentFirstUsesAgree)
{
    // Each test runs in its own process, so here the tables are built while eight threads race for
    // them.
    const BlockVector& v = kFipsVectors[3];
    std::vector<std::string> results(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < results.size(); ++t)
    {
        threads.emplace_back([&, t] {
            const Bytes key = fromHex(v.key);
            AesContext context;
            AesSetEncryptKey(key.data(), key.size(), &context);
            Bytes block = fromHex(v.plain);
            AesEncryptBlock(&context, block.data());
            results[t] = toHex(block);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (const std::string& result : results)
        EXPECT_EQ(result, v.cipher);
}

} // namespace
} // namespace pravix
