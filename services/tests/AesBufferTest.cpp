#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <random>

#include "AesBuffer.h"
#include "Aes.h"
#include "Cipher.h"
#include "HexBytes.h"

namespace pravix
{
namespace
{
using test::Bytes;
using test::fromHex;
using test::toHex;

const Bytes kKey = fromHex("2b7e151628aed2a6abf7158809cf4f3c");

// The buffer and its length, the C buffer released here.
struct Result
{
    int status = 0;
    Bytes bytes;
};

using BufferOperation = int (*)(const uint8_t*, std::size_t, uint8_t**, std::size_t*, const uint8_t*);

Result runBuffer(BufferOperation operation, const Bytes& input, const uint8_t* key)
{
    uint8_t* out = reinterpret_cast<uint8_t*>(1);
    std::size_t length = 1;
    Result result;
    result.status = operation(input.data(), input.size(), &out, &length, key);
    if (out != nullptr)
        result.bytes.assign(out, out + length);
    std::free(out);
    if (result.status != 0)
    {
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(length, 0u);
    }
    return result;
}

Result encrypt(const Bytes& plain, const uint8_t* key = kKey.data())
{
    return runBuffer(AesEncryptBuffer, plain, key);
}

Result decrypt(const Bytes& cipher, const uint8_t* key = kKey.data())
{
    return runBuffer(AesDecryptBuffer, cipher, key);
}

TEST(AesBuffer, RoundTripsEveryLengthUpToAHundred)
{
    for (std::size_t length = 0; length <= 100; ++length)
    {
        Bytes plain(length);
        for (std::size_t i = 0; i < length; ++i)
            plain[i] = uint8_t(255 - i);
        const Result cipher = encrypt(plain);
        ASSERT_EQ(cipher.status, 0) << length;
        EXPECT_EQ(cipher.bytes.size(), length / 16 * 16 + 16) << length;
        const Result back = decrypt(cipher.bytes);
        ASSERT_EQ(back.status, 0) << length;
        EXPECT_EQ(back.bytes, plain) << length;
    }
}

TEST(AesBuffer, IsEcbWithPkcs7)
{
    // The first SP 800-38A ECB block, then a whole block of padding.
    const Result cipher = encrypt(fromHex("6bc1bee22e409f96e93d7e117393172a"));
    ASSERT_EQ(cipher.status, 0);
    ASSERT_EQ(cipher.bytes.size(), 32u);
    EXPECT_EQ(toHex(cipher.bytes).substr(0, 32), "3ad77bb40d7a3660a89ecaf32466ef97");
    AesContext context;
    AesSetEncryptKey(kKey.data(), 16, &context);
    uint8_t padding[16];
    std::fill(padding, padding + 16, 16);
    AesEncryptBlock(&context, padding);
    EXPECT_EQ(toHex(cipher.bytes).substr(32), toHex(padding, 16));
}

TEST(AesBuffer, OneMebibyteRoundTrips)
{
    Bytes plain(1 << 20);
    std::mt19937 random(3);
    for (uint8_t& b : plain)
        b = uint8_t(random());
    const Result cipher = encrypt(plain);
    ASSERT_EQ(cipher.status, 0);
    EXPECT_EQ(cipher.bytes.size(), plain.size() + 16);
    const Result back = decrypt(cipher.bytes);
    ASSERT_EQ(back.status, 0);
    EXPECT_EQ(back.bytes, plain);
}

TEST(AesBuffer, ALengthNearTheLimitIsRefusedBeforeAnyAllocation)
{
    // The output size must not wrap: such a length is refused without touching the input.
    const uint8_t byte = 0;
    for (std::size_t length : {std::numeric_limits<std::size_t>::max(), std::numeric_limits<std::size_t>::max() - 15})
    {
        uint8_t* out = nullptr;
        std::size_t outLength = 7;
        EXPECT_EQ(AesEncryptBuffer(&byte, length, &out, &outLength, kKey.data()), -1);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(outLength, 0u);
        EXPECT_EQ(AesDecryptBuffer(&byte, length, &out, &outLength, kKey.data()), -1);
        EXPECT_EQ(out, nullptr);
    }
}

TEST(AesBuffer, FailuresGiveMinusOneAndNoBuffer)
{
    EXPECT_EQ(encrypt(Bytes(5, 1), nullptr).status, -1);
    EXPECT_EQ(decrypt(Bytes(16, 1), nullptr).status, -1);
    // Not whole blocks, and a last block whose padding does not hold.
    EXPECT_EQ(decrypt(Bytes(20, 1)).status, -1);
    Bytes badPadding(16, 0);
    AesContext context;
    AesSetEncryptKey(kKey.data(), 16, &context);
    AesEncryptBlock(&context, badPadding.data());
    EXPECT_EQ(decrypt(badPadding).status, -1);

    uint8_t* out = nullptr;
    std::size_t length = 0;
    EXPECT_EQ(AesEncryptBuffer(nullptr, 3, &out, &length, kKey.data()), -1);
    EXPECT_EQ(AesEncryptBuffer(nullptr, 0, nullptr, &length, kKey.data()), -1);
    ASSERT_EQ(AesEncryptBuffer(nullptr, 0, &out, &length, kKey.data()), 0);
    EXPECT_EQ(length, 16u);
    std::free(out);
}

TEST(AesBuffer, OnlyTheFirstSixteenKeyBytesCount)
{
    Bytes longKey = kKey;
    longKey.resize(32, 0xEE);
    EXPECT_EQ(encrypt(Bytes(40, 7), longKey.data()).bytes, encrypt(Bytes(40, 7)).bytes);
}

} // namespace
} // namespace pravix
