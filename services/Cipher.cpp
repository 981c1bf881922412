#include "Cipher.h"

#include <cstring>
#include <limits>

namespace pravix
{
namespace
{

bool knownMode(uint32_t mode)
{
    return mode >= kCipherModeEcb && mode <= kCipherModeCfb;
}

bool blockMode(uint32_t mode)
{
    return mode == kCipherModeEcb || mode == kCipherModeCbc;
}

void xorInto(uint8_t* target, const uint8_t* a, const uint8_t* b, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        target[i] = a[i] ^ b[i];
}

// One block through the mode; `in` and `out` may be the same 16 bytes.
void encryptBlock(CipherContext* c, const uint8_t* in, uint8_t* out)
{
    switch (c->mode)
    {
    case kCipherModeEcb:
        AesEncryptBlockTo(&c->key, in, out);
        break;
    case kCipherModeCbc:
        xorInto(c->chain, c->chain, in, 16);
        AesEncryptBlock(&c->key, c->chain);
        std::memcpy(out, c->chain, 16);
        break;
    case kCipherModeOfb:
        AesEncryptBlock(&c->key, c->chain);
        xorInto(out, in, c->chain, 16);
        break;
    default: // CFB: the ciphertext feeds the register
        AesEncryptBlock(&c->key, c->chain);
        xorInto(c->chain, c->chain, in, 16);
        std::memcpy(out, c->chain, 16);
        break;
    }
}

void decryptBlock(CipherContext* c, const uint8_t* in, uint8_t* out)
{
    uint8_t ciphertext[16];
    switch (c->mode)
    {
    case kCipherModeEcb:
        AesDecryptBlockTo(&c->key, in, out);
        break;
    case kCipherModeCbc:
        std::memcpy(ciphertext, in, 16);
        AesDecryptBlockTo(&c->key, in, out);
        xorInto(out, out, c->chain, 16);
        std::memcpy(c->chain, ciphertext, 16);
        break;
    case kCipherModeOfb:
        AesEncryptBlock(&c->key, c->chain);
        xorInto(out, in, c->chain, 16);
        break;
    default: // CFB
        std::memcpy(ciphertext, in, 16);
        AesEncryptBlock(&c->key, c->chain);
        xorInto(out, ciphertext, c->chain, 16);
        std::memcpy(c->chain, ciphertext, 16);
        break;
    }
}

using BlockStep = void (*)(CipherContext*, const uint8_t*, uint8_t*);

// Shared by both directions: `keepWhole` leaves a last whole block pending, which decryption needs
// to find the padding at the final.
int update(CipherContext* c, const uint8_t* input, std::size_t length, uint8_t* output, std::size_t* outLength,
           BlockStep step, bool keepWhole)
{
    if (c == nullptr || outLength == nullptr || !knownMode(c->mode) || c->pendingLength > 16 ||
        (input == nullptr && length > 0) || length > std::numeric_limits<std::size_t>::max() - 32)
        return kCipherErrorInvalid;
    const std::size_t pending = c->pendingLength;
    const std::size_t total = pending + length;
    if (total < 16 || (keepWhole && total == 16))
    {
        if (length > 0)
            std::memcpy(c->pending + pending, input, length);
        c->pendingLength = uint32_t(total);
        *outLength = 0;
        return kCipherOk;
    }
    if (input == output || output == nullptr)
        return kCipherErrorInvalid;

    std::size_t keep = total % 16;
    if (keepWhole && keep == 0)
        keep = 16;
    const std::size_t fill = 16 - pending;
    std::memcpy(c->pending + pending, input, fill);
    step(c, c->pending, output);
    input += fill;
    std::size_t remaining = length - fill;
    std::size_t written = 16;
    while (remaining > keep)
    {
        step(c, input, output + written);
        input += 16;
        remaining -= 16;
        written += 16;
    }
    if (remaining > 0)
        std::memcpy(c->pending, input, remaining);
    c->pendingLength = uint32_t(remaining);
    *outLength = written;
    return kCipherOk;
}

// OFB and CFB end alike in both directions: the encrypted register masks the pending bytes.
int finishStream(CipherContext* c, uint8_t* output, std::size_t* outLength)
{
    const uint32_t n = c->pendingLength;
    if (n > 0 && output == nullptr)
        return kCipherErrorInvalid;
    AesEncryptBlock(&c->key, c->chain);
    if (c->mode == kCipherModeCfb)
    {
        xorInto(c->chain, c->chain, c->pending, 16);
        if (n > 0)
            std::memcpy(output, c->chain, n);
    }
    else
    {
        xorInto(output, c->pending, c->chain, n);
    }
    c->pendingLength = 0;
    *outLength = n;
    return kCipherOk;
}

bool finalArgumentsValid(const CipherContext* c, const std::size_t* outLength)
{
    return c != nullptr && outLength != nullptr && knownMode(c->mode) && c->pendingLength <= 16;
}

} // namespace

void CipherInit(uint32_t mode, uint32_t padding, const uint8_t* iv, CipherContext* context)
{
    if (context == nullptr)
        return;
    context->mode = mode;
    context->padding = padding;
    if (iv != nullptr)
        std::memcpy(context->iv, iv, 16);
    else
        std::memset(context->iv, 0, 16);
}

void CipherReset(CipherContext* context)
{
    if (context == nullptr)
        return;
    context->pendingLength = 0;
    std::memset(context->pending, 0, 16);
    if (context->mode != kCipherModeEcb)
        std::memcpy(context->chain, context->iv, 16);
}

int CipherPad(uint8_t pending[16], uint32_t pendingLength, uint32_t padding)
{
    if (pendingLength > 16)
        return kCipherErrorInvalid;
    if (padding == kCipherPaddingNone)
        return pendingLength == 0 ? kCipherOk : kCipherErrorNotWholeBlocks;
    if (padding != kCipherPaddingPkcs7 || pendingLength == 16)
        return kCipherErrorInvalid;
    const uint8_t value = uint8_t(16 - pendingLength);
    std::memset(pending + pendingLength, value, value);
    return kCipherOk;
}

int CipherEncryptUpdate(CipherContext* context, const uint8_t* input, std::size_t length, uint8_t* output,
                        std::size_t* outLength)
{
    return update(context, input, length, output, outLength, encryptBlock, false);
}

int CipherDecryptUpdate(CipherContext* context, const uint8_t* input, std::size_t length, uint8_t* output,
                        std::size_t* outLength)
{
    return update(context, input, length, output, outLength, decryptBlock, true);
}

int CipherEncryptFinal(CipherContext* context, uint8_t* output, std::size_t* outLength)
{
    if (!finalArgumentsValid(context, outLength))
        return kCipherErrorInvalid;
    if (!blockMode(context->mode))
        return finishStream(context, output, outLength);

    const int status = CipherPad(context->pending, context->pendingLength, context->padding);
    if (status != kCipherOk)
        return status;
    if (context->padding == kCipherPaddingNone)
    {
        *outLength = 0;
        return kCipherOk;
    }
    if (output == nullptr)
        return kCipherErrorInvalid;
    encryptBlock(context, context->pending, output);
    context->pendingLength = 0;
    *outLength = 16;
    return kCipherOk;
}

int CipherDecryptFinal(CipherContext* context, uint8_t* output, std::size_t* outLength)
{
    if (!finalArgumentsValid(context, outLength))
        return kCipherErrorInvalid;
    if (!blockMode(context->mode))
        return finishStream(context, output, outLength);

    if (context->pendingLength == 0)
    {
        *outLength = 0;
        return kCipherOk;
    }
    if (context->pendingLength != 16)
        return kCipherErrorPartialBlock;
    if (context->padding != kCipherPaddingNone && context->padding != kCipherPaddingPkcs7)
        return kCipherErrorInvalid;
    if (output == nullptr)
        return kCipherErrorInvalid;

    uint8_t block[16];
    decryptBlock(context, context->pending, block);
    std::size_t count = 16;
    if (context->padding == kCipherPaddingPkcs7)
    {
        const uint8_t d = block[15];
        if (d < 1 || d > 16)
            return kCipherErrorBadPadding;
        for (int i = 16 - d; i < 16; ++i)
        {
            if (block[i] != d)
                return kCipherErrorBadPadding;
        }
        count = 16 - d;
    }
    std::memcpy(output, block, count);
    context->pendingLength = 0;
    *outLength = count;
    return kCipherOk;
}

} // namespace pravix
