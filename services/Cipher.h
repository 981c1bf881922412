#pragma once

// Streams data through the AES block cipher in ECB, CBC, OFB or CFB-128 mode, with PKCS#7 or no
// padding (ECB and CBC only). Plain C++: no Qt.
//
// Calling order: the key set-up of Aes.h into `key` (the encryption schedule to encrypt, and to
// decrypt in OFB and CFB; the decryption schedule to decrypt in ECB and CBC), CipherInit,
// CipherReset, any number of updates, one final. Every call returns 0 or one of the codes of Aes.h.

#include <cstddef>
#include <cstdint>

#include "Aes.h"

namespace pravix
{

constexpr uint32_t kCipherModeEcb = 1;
constexpr uint32_t kCipherModeCbc = 2;
constexpr uint32_t kCipherModeOfb = 3;
constexpr uint32_t kCipherModeCfb = 4;

constexpr uint32_t kCipherPaddingNone = 1;
constexpr uint32_t kCipherPaddingPkcs7 = 2;

struct CipherContext
{
    uint32_t mode = 0;
    uint32_t padding = 0;
    uint8_t iv[16] = {};
    uint8_t chain[16] = {};   // the chaining register of CBC, OFB and CFB
    uint8_t pending[16] = {}; // input not yet processed
    uint32_t pendingLength = 0;
    AesContext key;
};

// Stores mode and padding and copies the IV (zeros when `iv` is null); the values are checked
// where they are used.
void CipherInit(uint32_t mode, uint32_t padding, const uint8_t* iv, CipherContext* context);

// Empties the pending block and, for every mode but ECB, loads the IV into the register.
void CipherReset(CipherContext* context);

// Processes whole blocks and keeps the remainder (0 to 15 bytes) pending; `outLength` is the count
// written to `output`, which must hold the pending length + `length` bytes.
int CipherEncryptUpdate(CipherContext* context, const uint8_t* input, std::size_t length, uint8_t* output,
                        std::size_t* outLength);

// Pads (ECB, CBC) or finishes the stream (OFB, CFB); writes at most 16 bytes.
int CipherEncryptFinal(CipherContext* context, uint8_t* output, std::size_t* outLength);

// As the encrypting update, but up to one whole block (1 to 16 bytes) stays pending for the final.
int CipherDecryptUpdate(CipherContext* context, const uint8_t* input, std::size_t length, uint8_t* output,
                        std::size_t* outLength);

// Checks and strips the padding (ECB, CBC) or finishes the stream (OFB, CFB); at most 16 bytes.
int CipherDecryptFinal(CipherContext* context, uint8_t* output, std::size_t* outLength);

// Fills the rest of a pending block for the encrypting final: PKCS#7 appends 16 - n bytes of value
// 16 - n; no padding accepts only an empty block. Returns 0, 0x1004 or 0x1001.
int CipherPad(uint8_t pending[16], uint32_t pendingLength, uint32_t padding);

} // namespace pravix
