#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Cipher.h"
#include "HexBytes.h"

namespace pravix
{
namespace
{
using test::Bytes;
using test::fromHex;
using test::toHex;

// NIST SP 800-38A, appendix F.
const char* kPlain = "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
                     "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710";
const char* kIv = "000102030405060708090a0b0c0d0e0f";
const char* kKeys[] = {
    "2b7e151628aed2a6abf7158809cf4f3c",
    "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
    "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
};

struct ModeVector
{
    uint32_t mode;
    const char* name;
    const char* cipher[3]; // per key size
};

const ModeVector kModes[] = {
    {kCipherModeEcb,
     "ECB",
     {"3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf43b1cd7f598ece23881b00e3ed0306887b0c785e27e8ad3f8223207104725dd4",
      "bd334f1d6e45f25ff712a214571fa5cc974104846d0ad3ad7734ecb3ecee4eefef7afd2270e2e60adce0ba2face6444e9a4b41ba738d6c72fb16691603c18e0e",
      "f3eed1bdb5d2a03c064b5a7e3db181f8591ccb10d410ed26dc5ba74a31362870b6ed21b99ca6f4f9f153e7b1beafed1d23304b7a39f9f3ff067d8d8f9e24ecc7"}},
    {kCipherModeCbc,
     "CBC",
     {"7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b273bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7",
      "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd",
      "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"}},
    {kCipherModeCfb,
     "CFB",
     {"3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b26751f67a3cbb140b1808cf187a4f4dfc04b05357c5d1c0eeac4c66f9ff7f2e6",
      "cdc80d6fddf18cab34c25909c99a417467ce7f7f81173621961a2b70171d3d7a2e1e8a1dd59b88b1c8e60fed1efac4c9c05f9f9ca9834fa042ae8fba584b09ff",
      "dc7e84bfda79164b7ecd8486985d386039ffed143b28b1c832113c6331e5407bdf10132415e54b92a13ed0a8267ae2f975a385741ab9cef82031623d55b1e471"}},
    {kCipherModeOfb,
     "OFB",
     {"3b3fd92eb72dad20333449f8e83cfb4a7789508d16918f03f53c52dac54ed8259740051e9c5fecf64344f7a82260edcc304c6528f659c77866a510d9c1d6ae5e",
      "cdc80d6fddf18cab34c25909c99a4174fcc28b8d4c63837c09e81700c11004018d9a9aeac0f6596f559c6d4daf59a5f26d9f200857ca6c3e9cac524bd9acc92a",
      "dc7e84bfda79164b7ecd8486985d38604febdc6740d20b3ac88f6ad82a4fb08d71ab47a086e86eedf39d1c5bba97c4080126141d67f37be8538f5a8be740e484"}},
};

// A context ready for one direction, its key schedule picked as the calling order says.
CipherContext contextFor(uint32_t mode, uint32_t padding, const Bytes& key, bool decrypt)
{
    CipherContext context;
    const Bytes iv = fromHex(kIv);
    CipherInit(mode, padding, iv.data(), &context);
    const bool inverseSchedule = decrypt && (mode == kCipherModeEcb || mode == kCipherModeCbc);
    const int status = inverseSchedule ? AesSetDecryptKey(key.data(), key.size(), &context.key)
                                       : AesSetEncryptKey(key.data(), key.size(), &context.key);
    EXPECT_EQ(status, kCipherOk);
    CipherReset(&context);
    return context;
}

// Feeds `input` in pieces of the given sizes (cycled; empty: one piece) and finishes; returns the
// whole output, or the first failing code in `status`.
Bytes run(CipherContext context, const Bytes& input, bool decrypt, const std::vector<std::size_t>& pieces,
          int* status = nullptr)
{
    Bytes out(input.size() + 32);
    std::size_t at = 0;
    std::size_t written = 0;
    std::size_t piece = 0;
    int code = kCipherOk;
    while (at < input.size() && code == kCipherOk)
    {
        const std::size_t size = pieces.empty() ? input.size() : std::min(pieces[piece++ % pieces.size()], input.size() - at);
        std::size_t produced = 0;
        code = decrypt ? CipherDecryptUpdate(&context, input.data() + at, size, out.data() + written, &produced)
                       : CipherEncryptUpdate(&context, input.data() + at, size, out.data() + written, &produced);
        at += size;
        written += produced;
    }
    if (code == kCipherOk)
    {
        std::size_t produced = 0;
        code = decrypt ? CipherDecryptFinal(&context, out.data() + written, &produced)
                       : CipherEncryptFinal(&context, out.data() + written, &produced);
        written += produced;
    }
    if (status != nullptr)
        *status = code;
    else
        EXPECT_EQ(code, kCipherOk);
    out.resize(written);
    return out;
}

const std::vector<std::vector<std::size_t>> kPieceSizes = {{}, {1}, {15}, {17}, {31}, {1, 15, 17, 31}, {16}, {32}};

TEST(Cipher, Sp80038aVectorsInEveryModeKeySizeAndPiecing)
{
    const Bytes plain = fromHex(kPlain);
    for (const ModeVector& v : kModes)
    {
        for (int k = 0; k < 3; ++k)
        {
            const Bytes key = fromHex(kKeys[k]);
            for (const auto& pieces : kPieceSizes)
            {
                SCOPED_TRACE(std::string(v.name) + " key " + std::to_string(key.size() * 8) + " pieces " +
                             std::to_string(pieces.empty() ? 0 : pieces[0]));
                const Bytes cipher = run(contextFor(v.mode, kCipherPaddingNone, key, false), plain, false, pieces);
                EXPECT_EQ(toHex(cipher), v.cipher[k]);
                const Bytes back =
                    run(contextFor(v.mode, kCipherPaddingNone, key, true), fromHex(v.cipher[k]), true, pieces);
                EXPECT_EQ(toHex(back), toHex(plain));
            }
        }
    }
}

TEST(Cipher, StreamModesEndInsideABlock)
{
    // OFB and CFB keep the length: a cut message gives the cut ciphertext.
    const Bytes plain = fromHex(kPlain);
    for (const ModeVector& v : kModes)
    {
        if (v.mode != kCipherModeOfb && v.mode != kCipherModeCfb)
            continue;
        const Bytes key = fromHex(kKeys[0]);
        const Bytes whole = fromHex(v.cipher[0]);
        for (std::size_t length : {1u, 15u, 16u, 17u, 33u, 60u})
        {
            const Bytes part(plain.begin(), plain.begin() + length);
            for (const auto& pieces : kPieceSizes)
            {
                const Bytes cipher = run(contextFor(v.mode, kCipherPaddingPkcs7, key, false), part, false, pieces);
                EXPECT_EQ(toHex(cipher), toHex(Bytes(whole.begin(), whole.begin() + length))) << v.name << length;
                EXPECT_EQ(run(contextFor(v.mode, kCipherPaddingPkcs7, key, true), cipher, true, pieces), part);
            }
        }
    }
}

TEST(Cipher, Pkcs7PaddingLengthsInBlockModes)
{
    const Bytes key = fromHex(kKeys[0]);
    // Nothing in: one block, the encryption of sixteen bytes of value 16.
    const Bytes empty = run(contextFor(kCipherModeEcb, kCipherPaddingPkcs7, key, false), {}, false, {});
    const Bytes sixteen = run(contextFor(kCipherModeEcb, kCipherPaddingNone, key, false), Bytes(16, 16), false, {});
    EXPECT_EQ(toHex(empty), toHex(sixteen));

    for (uint32_t mode : {kCipherModeEcb, kCipherModeCbc})
    {
        for (std::size_t length = 0; length <= 100; ++length)
        {
            Bytes plain(length);
            for (std::size_t i = 0; i < length; ++i)
                plain[i] = uint8_t(i * 7 + 3);
            const Bytes cipher = run(contextFor(mode, kCipherPaddingPkcs7, key, false), plain, false, {});
            EXPECT_EQ(cipher.size(), length / 16 * 16 + 16) << length;
            for (const auto& pieces : kPieceSizes)
            {
                EXPECT_EQ(run(contextFor(mode, kCipherPaddingPkcs7, key, false), plain, false, pieces), cipher);
                EXPECT_EQ(run(contextFor(mode, kCipherPaddingPkcs7, key, true), cipher, true, pieces), plain);
            }
        }
    }
}

TEST(Cipher, UnknownModeOrPaddingIs1001)
{
    const Bytes key = fromHex(kKeys[0]);
    uint8_t in[32] = {};
    uint8_t out[48];
    std::size_t produced = 99;
    for (uint32_t mode : {0u, 5u, 99u})
    {
        CipherContext context = contextFor(mode, kCipherPaddingPkcs7, key, false);
        EXPECT_EQ(CipherEncryptUpdate(&context, in, 4, out, &produced), kCipherErrorInvalid);
        EXPECT_EQ(CipherDecryptUpdate(&context, in, 4, out, &produced), kCipherErrorInvalid);
        EXPECT_EQ(CipherEncryptFinal(&context, out, &produced), kCipherErrorInvalid);
        EXPECT_EQ(CipherDecryptFinal(&context, out, &produced), kCipherErrorInvalid);
    }
    for (uint32_t padding : {0u, 3u})
    {
        CipherContext encrypt = contextFor(kCipherModeCbc, padding, key, false);
        EXPECT_EQ(CipherEncryptUpdate(&encrypt, in, 5, out, &produced), kCipherOk);
        EXPECT_EQ(CipherEncryptFinal(&encrypt, out, &produced), kCipherErrorInvalid);
        CipherContext decrypt = contextFor(kCipherModeCbc, padding, key, true);
        EXPECT_EQ(CipherDecryptUpdate(&decrypt, in, 16, out, &produced), kCipherOk);
        EXPECT_EQ(CipherDecryptFinal(&decrypt, out, &produced), kCipherErrorInvalid);
    }
    // The stream modes pay no heed to padding.
    CipherContext ofb = contextFor(kCipherModeOfb, 3, key, false);
    EXPECT_EQ(CipherEncryptUpdate(&ofb, in, 5, out, &produced), kCipherOk);
    EXPECT_EQ(CipherEncryptFinal(&ofb, out, &produced), kCipherOk);
    EXPECT_EQ(produced, 5u);
}

TEST(Cipher, SameBufferIsRefusedOnceABlockIsDue)
{
    const Bytes key = fromHex(kKeys[0]);
    for (uint32_t mode : {kCipherModeEcb, kCipherModeCbc, kCipherModeOfb, kCipherModeCfb})
    {
        uint8_t buffer[48] = {};
        std::size_t produced = 99;
        CipherContext encrypt = contextFor(mode, kCipherPaddingPkcs7, key, false);
        EXPECT_EQ(CipherEncryptUpdate(&encrypt, buffer, 10, buffer, &produced), kCipherOk);
        EXPECT_EQ(produced, 0u);
        EXPECT_EQ(CipherEncryptUpdate(&encrypt, buffer, 5, buffer, &produced), kCipherOk);
        EXPECT_EQ(CipherEncryptUpdate(&encrypt, buffer, 1, buffer, &produced), kCipherErrorInvalid) << mode;

        CipherContext decrypt = contextFor(mode, kCipherPaddingPkcs7, key, true);
        EXPECT_EQ(CipherDecryptUpdate(&decrypt, buffer, 16, buffer, &produced), kCipherOk);
        EXPECT_EQ(produced, 0u);
        EXPECT_EQ(CipherDecryptUpdate(&decrypt, buffer, 1, buffer, &produced), kCipherErrorInvalid) << mode;
    }
}

TEST(Cipher, NoPaddingWithAPartBlockIs1004)
{
    const Bytes key = fromHex(kKeys[0]);
    for (uint32_t mode : {kCipherModeEcb, kCipherModeCbc})
    {
        int status = 0;
        run(contextFor(mode, kCipherPaddingNone, key, false), Bytes(10, 1), false, {}, &status);
        EXPECT_EQ(status, kCipherErrorNotWholeBlocks);
        run(contextFor(mode, kCipherPaddingNone, key, false), Bytes(26, 1), false, {}, &status);
        EXPECT_EQ(status, kCipherErrorNotWholeBlocks);
        EXPECT_TRUE(run(contextFor(mode, kCipherPaddingNone, key, false), {}, false, {}).empty());
    }
}

TEST(Cipher, BrokenPaddingIs1003)
{
    const Bytes key = fromHex(kKeys[0]);
    Bytes lastBlocks[] = {Bytes(16, 0), Bytes(16, 17), Bytes(16, 0xFF), Bytes(16, 4)};
    lastBlocks[3][13] = 3; // four bytes of padding announced, one disagrees
    for (uint32_t mode : {kCipherModeEcb, kCipherModeCbc})
    {
        for (const Bytes& plain : lastBlocks)
        {
            Bytes message(32, 0x41);
            std::copy(plain.begin(), plain.end(), message.begin() + 16);
            const Bytes cipher = run(contextFor(mode, kCipherPaddingNone, key, false), message, false, {});
            int status = 0;
            run(contextFor(mode, kCipherPaddingPkcs7, key, true), cipher, true, {}, &status);
            EXPECT_EQ(status, kCipherErrorBadPadding) << toHex(plain);
        }
        // Sixteen bytes of 16: a whole block of padding is valid.
        const Bytes padded = run(contextFor(mode, kCipherPaddingNone, key, false), Bytes(16, 16), false, {});
        EXPECT_TRUE(run(contextFor(mode, kCipherPaddingPkcs7, key, true), padded, true, {}).empty());
    }
}

TEST(Cipher, DecryptionEndingInsideABlockIs1005)
{
    const Bytes key = fromHex(kKeys[0]);
    for (uint32_t mode : {kCipherModeEcb, kCipherModeCbc})
    {
        for (std::size_t length : {1u, 15u, 20u, 33u})
        {
            int status = 0;
            run(contextFor(mode, kCipherPaddingPkcs7, key, true), Bytes(length, 9), true, {}, &status);
            EXPECT_EQ(status, kCipherErrorPartialBlock) << length;
        }
        EXPECT_TRUE(run(contextFor(mode, kCipherPaddingPkcs7, key, true), {}, true, {}).empty());
    }
}

TEST(Cipher, ResetStartsTheStreamAfresh)
{
    const Bytes key = fromHex(kKeys[0]);
    const Bytes plain = fromHex(kPlain);
    CipherContext context = contextFor(kCipherModeCbc, kCipherPaddingNone, key, false);
    Bytes out(80);
    std::size_t produced = 0;
    ASSERT_EQ(CipherEncryptUpdate(&context, plain.data(), 40, out.data(), &produced), kCipherOk);
    CipherReset(&context);
    EXPECT_EQ(run(context, plain, false, {}), fromHex(kModes[1].cipher[0]));
}

TEST(Cipher, NullArgumentsAreRefused)
{
    const Bytes key = fromHex(kKeys[0]);
    CipherContext context = contextFor(kCipherModeEcb, kCipherPaddingPkcs7, key, false);
    uint8_t out[64];
    std::size_t produced = 0;
    EXPECT_EQ(CipherEncryptUpdate(nullptr, out, 16, out + 16, &produced), kCipherErrorInvalid);
    EXPECT_EQ(CipherEncryptUpdate(&context, nullptr, 16, out, &produced), kCipherErrorInvalid);
    EXPECT_EQ(CipherEncryptUpdate(&context, out, 16, out + 16, nullptr), kCipherErrorInvalid);
    EXPECT_EQ(CipherEncryptUpdate(&context, out, 16, nullptr, &produced), kCipherErrorInvalid);
    EXPECT_EQ(CipherEncryptFinal(&context, nullptr, &produced), kCipherErrorInvalid);
    EXPECT_EQ(CipherDecryptFinal(nullptr, out, &produced), kCipherErrorInvalid);
    EXPECT_EQ(CipherEncryptUpdate(&context, nullptr, 0, out, &produced), kCipherOk);
    EXPECT_EQ(produced, 0u);
}

} // namespace
} // namespace pravix
