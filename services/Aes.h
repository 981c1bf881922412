#pragma once

// The AES block cipher (128-, 192- and 256-bit keys) in table form, over caller-owned key
// schedules. Plain C++: no Qt, no crypto library.

#include <cstddef>
#include <cstdint>

namespace pravix
{

// Codes shared by the key set-up and the cipher modes.
constexpr int kCipherOk = 0;
constexpr int kCipherErrorInvalid = 0x1001;          // unknown mode or padding, or input and output the same buffer
constexpr int kCipherErrorKeyLength = 0x1002;        // key other than 16, 24 or 32 bytes
constexpr int kCipherErrorBadPadding = 0x1003;       // PKCS#7 padding found invalid on decryption
constexpr int kCipherErrorNotWholeBlocks = 0x1004;   // no padding, but the data is not whole blocks
constexpr int kCipherErrorPartialBlock = 0x1005;     // decryption ends inside a block

constexpr std::size_t kAesBlockSize = 16;

// The key schedule: for encryption the expanded key, for decryption the equivalent inverse one.
struct AesContext
{
    uint32_t keyWords = 0;       // 4, 6 or 8; the cipher runs keyWords + 6 rounds
    uint32_t roundKeys[60] = {}; // 4 words per round plus the initial one
};

// Checks the length (16, 24 or 32 bytes) and expands the key for encryption.
int AesSetEncryptKey(const uint8_t* key, std::size_t keyLength, AesContext* context);

// The same check, then the schedule for the equivalent inverse cipher.
int AesSetDecryptKey(const uint8_t* key, std::size_t keyLength, AesContext* context);

// Expands `keyWords` words of key into the encryption schedule; the length is checked by the caller.
void AesExpandKey(const uint8_t* key, uint32_t keyWords, AesContext* context);

// One block in place.
void AesEncryptBlock(const AesContext* context, uint8_t block[16]);
void AesDecryptBlock(const AesContext* context, uint8_t block[16]);

// One block from `in` to `out` (the same or separate 16-byte buffers): the modes use these to run
// straight from the caller's input into the caller's output.
void AesEncryptBlockTo(const AesContext* context, const uint8_t in[16], uint8_t out[16]);
void AesDecryptBlockTo(const AesContext* context, const uint8_t in[16], uint8_t out[16]);

} // namespace pravix
