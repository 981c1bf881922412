#include "Aes.h"

#include <cstring>

namespace pravix
{
namespace
{

// Words hold four bytes little-endian: byte 0 of a column is the low byte.
struct AesTables
{
    uint8_t forwardSbox[256];
    uint8_t reverseSbox[256];
    uint32_t forward[4][256];
    uint32_t reverse[4][256];
    uint32_t roundConstants[10];

    AesTables()
    {
        // Powers of the generator 3 and their logarithms in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
        uint8_t power[256];
        uint8_t logarithm[256] = {};
        uint32_t x = 1;
        for (int i = 0; i < 256; ++i)
        {
            power[i] = uint8_t(x);
            logarithm[x] = uint8_t(i);
            x ^= xtime(x);
        }
        auto multiply = [&](uint32_t a, uint32_t b) -> uint32_t {
            if (a == 0 || b == 0)
                return 0;
            return power[(logarithm[a] + logarithm[b]) % 255];
        };

        x = 1;
        for (uint32_t& rcon : roundConstants)
        {
            rcon = x;
            x = xtime(x);
        }

        // The S-box: multiplicative inverse, then the affine transform with constant 0x63.
        forwardSbox[0] = 0x63;
        reverseSbox[0x63] = 0;
        for (int i = 1; i < 256; ++i)
        {
            uint32_t inverse = power[255 - logarithm[i]];
            uint32_t s = inverse;
            for (int shift = 1; shift <= 4; ++shift)
                s ^= ((inverse << shift) | (inverse >> (8 - shift))) & 0xFF;
            s ^= 0x63;
            forwardSbox[i] = uint8_t(s);
            reverseSbox[s] = uint8_t(i);
        }

        // A round table entry is one column of MixColumns (or InvMixColumns) of one substituted byte;
        // the other three tables are its byte rotations.
        for (int i = 0; i < 256; ++i)
        {
            uint32_t s = forwardSbox[i];
            uint32_t twice = xtime(s) & 0xFF;
            uint32_t column = twice ^ (s << 8) ^ (s << 16) ^ ((twice ^ s) << 24);
            uint32_t r = reverseSbox[i];
            uint32_t inverseColumn = multiply(0x0E, r) ^ (multiply(0x09, r) << 8) ^ (multiply(0x0D, r) << 16) ^
                                     (multiply(0x0B, r) << 24);
            for (int t = 0; t < 4; ++t)
            {
                forward[t][i] = rotateLeft(column, 8 * t);
                reverse[t][i] = rotateLeft(inverseColumn, 8 * t);
            }
        }
    }

    static uint32_t xtime(uint32_t x) { return ((x << 1) ^ ((x & 0x80) ? 0x1B : 0)) & 0xFF; }
    static uint32_t rotateLeft(uint32_t w, int bits) { return bits == 0 ? w : (w << bits) | (w >> (32 - bits)); }
};

// Built once, on first use, safely even when the first uses race.
const AesTables& tables()
{
    static const AesTables instance;
    return instance;
}

uint32_t loadWord(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void storeWord(uint32_t w, uint8_t* p)
{
    p[0] = uint8_t(w);
    p[1] = uint8_t(w >> 8);
    p[2] = uint8_t(w >> 16);
    p[3] = uint8_t(w >> 24);
}

uint32_t substituteWord(const AesTables& t, uint32_t w)
{
    return uint32_t(t.forwardSbox[w & 0xFF]) | (uint32_t(t.forwardSbox[(w >> 8) & 0xFF]) << 8) |
           (uint32_t(t.forwardSbox[(w >> 16) & 0xFF]) << 16) | (uint32_t(t.forwardSbox[w >> 24]) << 24);
}

// The rounds of either direction. Column i of a round takes its four bytes from the state columns
// i, i + step, i + 2 step and i + 3 step: step 1 is ShiftRows, step 3 its inverse.
template <int Step>
void runRounds(const uint32_t (&round)[4][256], const uint8_t* sbox, const AesContext* context, const uint8_t* in,
               uint8_t* out)
{
    const uint32_t* rk = context->roundKeys;
    uint32_t s[4];
    uint32_t next[4];
    for (int i = 0; i < 4; ++i)
        s[i] = loadWord(in + 4 * i) ^ rk[i];
    const uint32_t rounds = context->keyWords + 6;
    for (uint32_t r = 1; r < rounds; ++r)
    {
        rk += 4;
        for (int i = 0; i < 4; ++i)
            next[i] = rk[i] ^ round[0][s[i] & 0xFF] ^ round[1][(s[(i + Step) & 3] >> 8) & 0xFF] ^
                      round[2][(s[(i + 2 * Step) & 3] >> 16) & 0xFF] ^ round[3][s[(i + 3 * Step) & 3] >> 24];
        for (int i = 0; i < 4; ++i)
            s[i] = next[i];
    }
    rk += 4;
    for (int i = 0; i < 4; ++i)
    {
        const uint32_t w = uint32_t(sbox[s[i] & 0xFF]) | (uint32_t(sbox[(s[(i + Step) & 3] >> 8) & 0xFF]) << 8) |
                           (uint32_t(sbox[(s[(i + 2 * Step) & 3] >> 16) & 0xFF]) << 16) |
                           (uint32_t(sbox[s[(i + 3 * Step) & 3] >> 24]) << 24);
        storeWord(w ^ rk[i], out + 4 * i);
    }
}

int keyWordsFor(std::size_t keyLength)
{
    switch (keyLength)
    {
    case 16:
        return 4;
    case 24:
        return 6;
    case 32:
        return 8;
    default:
        return 0;
    }
}

} // namespace

void AesExpandKey(const uint8_t* key, uint32_t keyWords, AesContext* context)
{
    const AesTables& t = tables();
    context->keyWords = keyWords;
    uint32_t* w = context->roundKeys;
    const uint32_t total = 4 * (keyWords + 7);
    for (uint32_t i = 0; i < keyWords; ++i)
        w[i] = loadWord(key + 4 * i);
    for (uint32_t i = keyWords; i < total; ++i)
    {
        uint32_t temp = w[i - 1];
        if (i % keyWords == 0)
        {
            // RotWord moves byte 0 to the top, which in little-endian words is a right rotation.
            temp = substituteWord(t, (temp >> 8) | (temp << 24)) ^ t.roundConstants[i / keyWords - 1];
        }
        else if (keyWords > 6 && i % keyWords == 4)
        {
            temp = substituteWord(t, temp);
        }
        w[i] = w[i - keyWords] ^ temp;
    }
}

int AesSetEncryptKey(const uint8_t* key, std::size_t keyLength, AesContext* context)
{
    const int keyWords = keyWordsFor(keyLength);
    if (keyWords == 0 || key == nullptr)
        return kCipherErrorKeyLength;
    if (context == nullptr)
        return kCipherErrorInvalid;
    AesExpandKey(key, uint32_t(keyWords), context);
    return kCipherOk;
}

int AesSetDecryptKey(const uint8_t* key, std::size_t keyLength, AesContext* context)
{
    AesContext encrypt;
    const int status = AesSetEncryptKey(key, keyLength, &encrypt);
    if (status != kCipherOk)
        return status;
    if (context == nullptr)
        return kCipherErrorInvalid;

    // Round keys in reverse order; the inner ones through InvMixColumns, which the reverse tables
    // give for a byte once the forward S-box has been undone.
    const AesTables& t = tables();
    const uint32_t rounds = encrypt.keyWords + 6;
    context->keyWords = encrypt.keyWords;
    uint32_t* out = context->roundKeys;
    std::memcpy(out, encrypt.roundKeys + 4 * rounds, 4 * sizeof(uint32_t));
    for (uint32_t round = rounds - 1; round > 0; --round)
    {
        out += 4;
        for (int i = 0; i < 4; ++i)
        {
            const uint32_t w = encrypt.roundKeys[4 * round + i];
            out[i] = t.reverse[0][t.forwardSbox[w & 0xFF]] ^ t.reverse[1][t.forwardSbox[(w >> 8) & 0xFF]] ^
                     t.reverse[2][t.forwardSbox[(w >> 16) & 0xFF]] ^ t.reverse[3][t.forwardSbox[w >> 24]];
        }
    }
    std::memcpy(out + 4, encrypt.roundKeys, 4 * sizeof(uint32_t));
    return kCipherOk;
}

void AesEncryptBlockTo(const AesContext* context, const uint8_t in[16], uint8_t out[16])
{
    const AesTables& t = tables();
    runRounds<1>(t.forward, t.forwardSbox, context, in, out);
}

void AesDecryptBlockTo(const AesContext* context, const uint8_t in[16], uint8_t out[16])
{
    const AesTables& t = tables();
    runRounds<3>(t.reverse, t.reverseSbox, context, in, out);
}

void AesEncryptBlock(const AesContext* context, uint8_t block[16])
{
    AesEncryptBlockTo(context, block, block);
}

void AesDecryptBlock(const AesContext* context, uint8_t block[16])
{
    AesDecryptBlockTo(context, block, block);
}

} // namespace pravix
