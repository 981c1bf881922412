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

// One output column of a round: four table look-ups by the bytes 0 to 3 of the columns a to d.
inline uint32_t roundColumn(const uint32_t (&table)[4][256], uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                            uint32_t key)
{
    return key ^ table[0][a & 0xFF] ^ table[1][(b >> 8) & 0xFF] ^ table[2][(c >> 16) & 0xFF] ^ table[3][d >> 24];
}

inline uint32_t lastColumn(const uint8_t* sbox, uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key)
{
    return key ^ (uint32_t(sbox[a & 0xFF]) | (uint32_t(sbox[(b >> 8) & 0xFF]) << 8) |
                  (uint32_t(sbox[(c >> 16) & 0xFF]) << 16) | (uint32_t(sbox[d >> 24]) << 24));
}

// The rounds of either direction. Output column i takes its bytes from the state columns i,
// i + 1, i + 2, i + 3 (ShiftRows) or i, i - 1, i - 2, i - 3 (its inverse). The state stays in
// four words so that a round is sixteen look-ups and XORs.
template <bool Inverse>
void runRounds(const uint32_t (&table)[4][256], const uint8_t* sbox, const AesContext* context, const uint8_t* in,
               uint8_t* out)
{
    const uint32_t* rk = context->roundKeys;
    uint32_t s0 = loadWord(in) ^ rk[0];
    uint32_t s1 = loadWord(in + 4) ^ rk[1];
    uint32_t s2 = loadWord(in + 8) ^ rk[2];
    uint32_t s3 = loadWord(in + 12) ^ rk[3];
    // Each step's output columns, as permutations of the input ones.
    auto step = [&](auto column, const uint32_t* k) {
        uint32_t t0, t1, t2, t3;
        if constexpr (Inverse)
        {
            t0 = column(s0, s3, s2, s1, k[0]);
            t1 = column(s1, s0, s3, s2, k[1]);
            t2 = column(s2, s1, s0, s3, k[2]);
            t3 = column(s3, s2, s1, s0, k[3]);
        }
        else
        {
            t0 = column(s0, s1, s2, s3, k[0]);
            t1 = column(s1, s2, s3, s0, k[1]);
            t2 = column(s2, s3, s0, s1, k[2]);
            t3 = column(s3, s0, s1, s2, k[3]);
        }
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    };
    const uint32_t rounds = context->keyWords + 6;
    for (uint32_t r = 1; r < rounds; ++r)
    {
        rk += 4;
        step([&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) { return roundColumn(table, a, b, c, d, key); },
             rk);
    }
    rk += 4;
    step([&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) { return lastColumn(sbox, a, b, c, d, key); },
         rk);
    storeWord(s0, out);
    storeWord(s1, out + 4);
    storeWord(s2, out + 8);
    storeWord(s3, out + 12);
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
    runRounds<false>(t.forward, t.forwardSbox, context, in, out);
}

void AesDecryptBlockTo(const AesContext* context, const uint8_t in[16], uint8_t out[16])
{
    const AesTables& t = tables();
    runRounds<true>(t.reverse, t.reverseSbox, context, in, out);
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
