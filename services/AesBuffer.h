#pragma once

// Whole-buffer AES-128 in ECB mode with PKCS#7 padding. Plain C++: no Qt.

#include <cstddef>
#include <cstdint>

namespace pravix
{

// Encrypts `length` bytes under the first 16 bytes of `key`. On success returns 0 and hands over a
// buffer made with std::malloc (the caller releases it with std::free) of `*outLength` bytes: the
// length rounded down to whole blocks, plus one block of padding. On failure returns -1 and sets
// `*output` to null and `*outLength` to 0.
int AesEncryptBuffer(const uint8_t* input, std::size_t length, uint8_t** output, std::size_t* outLength,
                     const uint8_t* key);

// The decrypting twin: -1 as well for a ciphertext that is not whole blocks or whose padding is wrong.
int AesDecryptBuffer(const uint8_t* input, std::size_t length, uint8_t** output, std::size_t* outLength,
                     const uint8_t* key);

} // namespace pravix
