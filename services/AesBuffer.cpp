#include "AesBuffer.h"

#include <cstdlib>
#include <limits>

#include "Cipher.h"

namespace pravix
{
namespace
{

// ECB does not read it; the mode layer wants one all the same.
constexpr uint8_t kUnusedIv[16] = {};

using Update = int (*)(CipherContext*, const uint8_t*, std::size_t, uint8_t*, std::size_t*);
using Final = int (*)(CipherContext*, uint8_t*, std::size_t*);
using SetKey = int (*)(const uint8_t*, std::size_t, AesContext*);

int runBuffer(const uint8_t* input, std::size_t length, uint8_t** output, std::size_t* outLength, const uint8_t* key,
              std::size_t extra, SetKey setKey, Update update, Final final)
{
    if (output == nullptr || outLength == nullptr)
        return -1;
    *output = nullptr;
    *outLength = 0;
    // A length this close to the limit could not be held with its extra bytes.
    if (key == nullptr || (input == nullptr && length > 0) || length > std::numeric_limits<std::size_t>::max() - extra)
        return -1;

    auto* buffer = static_cast<uint8_t*>(std::calloc(length + extra, 1));
    if (buffer == nullptr)
        return -1;
    CipherContext context;
    CipherInit(kCipherModeEcb, kCipherPaddingPkcs7, kUnusedIv, &context);
    std::size_t updated = 0;
    std::size_t finished = 0;
    if (setKey(key, 16, &context.key) != kCipherOk)
    {
        std::free(buffer);
        return -1;
    }
    CipherReset(&context);
    if (update(&context, input, length, buffer, &updated) != kCipherOk ||
        final(&context, buffer + updated, &finished) != kCipherOk)
    {
        std::free(buffer);
        return -1;
    }
    *output = buffer;
    *outLength = updated + finished;
    return 0;
}

} // namespace

int AesEncryptBuffer(const uint8_t* input, std::size_t length, uint8_t** output, std::size_t* outLength,
                     const uint8_t* key)
{
    // The whole blocks and one block of padding.
    return runBuffer(input, length, output, outLength, key, 16, AesSetEncryptKey, CipherEncryptUpdate,
                     CipherEncryptFinal);
}

int AesDecryptBuffer(const uint8_t* input, std::size_t length, uint8_t** output, std::size_t* outLength,
                     const uint8_t* key)
{
    return runBuffer(input, length, output, outLength, key, 2, AesSetDecryptKey, CipherDecryptUpdate,
                     CipherDecryptFinal);
}

} // namespace pravix
