// 32-bit BMPs: alpha where the colour masks give it (an alpha mask of 0xFF000000 in a header of version 3,
// 4 or 5, or after a 40-byte header with BI_ALPHABITFIELDS), kept straight or put over black; the fourth
// byte unused where they do not; masks the decoder cannot take refused with the reason.
#include "MemoryReadBuffer.h"
#include "PictureDecodeJob.h"
#include "PictureStreamDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace pravix;

namespace
{

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kRgb = 0;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;
constexpr uint32_t kRed = 0x00FF0000u;
constexpr uint32_t kGreen = 0x0000FF00u;
constexpr uint32_t kBlue = 0x000000FFu;
constexpr uint32_t kAlpha = 0xFF000000u;

struct Bgra
{
    uint8_t b, g, r, a;
};

void put(Bytes& b, size_t at, uint32_t v, size_t size)
{
    for (size_t i = 0; i < size; ++i)
    {
        b[at + i] = uint8_t(v >> (8 * i));
    }
}

// A 32-bit BMP of the pixels (rows top to bottom; stored bottom up unless `topDown`), with an info
// header of `infoSize` bytes and the masks where that header and the compression put them: inside it
// from 52 bytes on (its first four fields, as many as fit), after a 40-byte one (three, or four for
// BI_ALPHABITFIELDS).
Bytes bmp32(uint32_t infoSize, uint32_t compression, const std::vector<uint32_t>& masks, uint32_t width,
            const std::vector<std::vector<Bgra>>& rows, bool topDown = false)
{
    const uint32_t height = static_cast<uint32_t>(rows.size());
    const size_t after = infoSize == 40 && compression != kRgb ? (compression == kAlphaBitFields ? 16 : 12) : 0;
    const size_t pixels = 14 + infoSize + after;
    Bytes b(pixels + size_t(width) * 4 * height, 0);
    b[0] = 'B';
    b[1] = 'M';
    put(b, 2, uint32_t(b.size()), 4);
    put(b, 10, uint32_t(pixels), 4);
    put(b, 14, infoSize, 4);
    put(b, 18, width, 4);
    put(b, 22, topDown ? uint32_t(-int32_t(height)) : height, 4);
    put(b, 26, 1, 2);
    put(b, 28, 32, 2);
    put(b, 30, compression, 4);
    put(b, 34, uint32_t(size_t(width) * 4 * height), 4);
    const size_t maskRoom = infoSize == 40 ? after / 4 : std::min<size_t>(4, (infoSize - 40) / 4);
    for (size_t i = 0; i < masks.size() && i < maskRoom; ++i)
    {
        put(b, 54 + i * 4, masks[i], 4);
    }
    if (infoSize >= 108)
    {
        std::memcpy(&b[70], "BGRs", 4);  // sRGB, little-endian
    }
    for (uint32_t y = 0; y < height; ++y)
    {
        const uint32_t stored = topDown ? y : height - 1 - y;
        for (uint32_t x = 0; x < width; ++x)
        {
            const Bgra p = rows[y][x];
            uint8_t* at = &b[pixels + (size_t(stored) * width + x) * 4];
            at[0] = p.b;
            at[1] = p.g;
            at[2] = p.r;
            at[3] = p.a;
        }
    }
    return b;
}

// Colour over black, rounded.
uint8_t over(uint8_t colour, uint8_t alpha)
{
    return uint8_t(std::lround(colour * alpha / 255.0));
}

// The pixels as the decoder should hand them out, top row first: RGBA as stored, or RGB with alpha
// applied over black (`opaque`: the fourth byte ignored).
Bytes expected(const std::vector<std::vector<Bgra>>& rows, uint32_t channels, bool opaque)
{
    Bytes out;
    for (const auto& row : rows)
    {
        for (const Bgra& p : row)
        {
            const uint8_t a = opaque ? 255 : p.a;
            if (channels == 4)
            {
                out.insert(out.end(), {p.r, p.g, p.b, p.a});
            }
            else
            {
                out.insert(out.end(), {over(p.r, a), over(p.g, a), over(p.b, a)});
            }
        }
    }
    return out;
}

struct Decoded
{
    std::string error;
    Bitmap picture;
};

// The file decoded upright, alpha kept or not.
Decoded decode(const Bytes& file, bool keepAlpha)
{
    Decoded out;
    MemoryReadBuffer bytes(file.data(), file.size());
    try
    {
        PictureDecodeJob job(PictureFormat::Bmp, bytes);
        DecodeRequest request;
        request.keepAlpha = keepAlpha;
        out.picture = job.decode(request);
    }
    catch (const PictureDecodeError& e)
    {
        out.error = e.what();
    }
    return out;
}

Bytes pixelsOf(const Bitmap& b)
{
    Bytes out;
    for (uint32_t y = 0; y < b.height; ++y)
    {
        out.insert(out.end(), b.row(y), b.row(y) + b.stride());
    }
    return out;
}

// 8 x 4: the left half transparent over stored white, the right half half transparent, the bottom row
// opaque; the first stored pixel (bottom left) is 00 00 00 FF, which read as a mask would be an alpha
// mask.
std::vector<std::vector<Bgra>> halfTransparent()
{
    std::vector<std::vector<Bgra>> rows(4, std::vector<Bgra>(8));
    for (uint32_t y = 0; y < 4; ++y)
    {
        for (uint32_t x = 0; x < 8; ++x)
        {
            if (y == 3)
            {
                rows[y][x] = x == 0 ? Bgra{0, 0, 0, 255} : Bgra{uint8_t(x * 30), 90, 250, 255};
            }
            else if (x < 4)
            {
                rows[y][x] = {255, 255, 255, 0};
            }
            else
            {
                rows[y][x] = {uint8_t(50 + y), 100, 200, uint8_t(128 + x)};
            }
        }
    }
    return rows;
}

}  // namespace

// The tester's picture: a version 5 header, BI_BITFIELDS with an alpha mask, half transparent. Over
// black the transparent half is black, not its stored white; kept, the alpha comes out as stored.
TEST(BmpAlphaTest, AHalfTransparentVersion5PictureIsPutOverBlackOrKept)
{
    const auto rows = halfTransparent();
    const Bytes file = bmp32(124, kBitFields, {kRed, kGreen, kBlue, kAlpha}, 8, rows);
    const Decoded flat = decode(file, false);
    ASSERT_EQ(flat.error, "");
    EXPECT_EQ(flat.picture.channels, 3u);
    EXPECT_EQ(pixelsOf(flat.picture), expected(rows, 3, false));
    EXPECT_EQ(flat.picture.row(0)[0], 0);  // stored white, transparent
    EXPECT_EQ(flat.picture.row(0)[4 * 3], over(200, 132));
    const Decoded kept = decode(file, true);
    ASSERT_EQ(kept.error, "");
    EXPECT_EQ(kept.picture.channels, 4u);
    EXPECT_EQ(pixelsOf(kept.picture), expected(rows, 4, false));
    // Stored top row first, the same, whether the rows go straight into place or not.
    const Bytes topDown = bmp32(124, kBitFields, {kRed, kGreen, kBlue, kAlpha}, 8, rows, true);
    EXPECT_EQ(pixelsOf(decode(topDown, true).picture), expected(rows, 4, false));
    EXPECT_EQ(pixelsOf(decode(topDown, false).picture), expected(rows, 3, false));
}

// Where each header size puts its masks: alpha from versions 3, 4 and 5 with either compression, and
// after a 40-byte header with BI_ALPHABITFIELDS; none from a 40-byte header with BI_BITFIELDS or from
// version 2, whose next bytes (here the first pixel, 00 00 00 FF) are no alpha mask.
TEST(BmpAlphaTest, TheMasksAreReadWhereEachHeaderSizePutsThem)
{
    struct Layout
    {
        uint32_t infoSize;
        uint32_t compression;
        bool alpha;
    };
    const auto rows = halfTransparent();
    for (const Layout& l : std::vector<Layout>{{40, kBitFields, false},
                                               {40, kAlphaBitFields, true},
                                               {52, kBitFields, false},
                                               {56, kBitFields, true},
                                               {56, kAlphaBitFields, true},
                                               {108, kBitFields, true},
                                               {108, kAlphaBitFields, true},
                                               {124, kBitFields, true},
                                               {124, kAlphaBitFields, true}})
    {
        SCOPED_TRACE(std::to_string(l.infoSize) + " bytes, compression " + std::to_string(l.compression));
        const Bytes file = bmp32(l.infoSize, l.compression, {kRed, kGreen, kBlue, kAlpha}, 8, rows);
        const Decoded kept = decode(file, true);
        ASSERT_EQ(kept.error, "");
        EXPECT_EQ(kept.picture.channels, l.alpha ? 4u : 3u);
        EXPECT_EQ(pixelsOf(kept.picture), expected(rows, l.alpha ? 4 : 3, !l.alpha));
        const Decoded flat = decode(file, false);
        ASSERT_EQ(flat.error, "");
        EXPECT_EQ(pixelsOf(flat.picture), expected(rows, 3, !l.alpha));
    }
}

// BI_RGB leaves the fourth byte unused whatever masks a version 5 header holds, and so does an alpha
// mask of 0.
TEST(BmpAlphaTest, PicturesWithoutAnAlphaMaskStayOpaque)
{
    const auto rows = halfTransparent();
    for (const Bytes& file : {bmp32(124, kRgb, {kRed, kGreen, kBlue, kAlpha}, 8, rows), bmp32(40, kRgb, {}, 8, rows),
                              bmp32(124, kBitFields, {kRed, kGreen, kBlue, 0}, 8, rows),
                              bmp32(40, kAlphaBitFields, {kRed, kGreen, kBlue, 0}, 8, rows)})
    {
        const Decoded kept = decode(file, true);
        ASSERT_EQ(kept.error, "");
        EXPECT_EQ(kept.picture.channels, 3u);
        EXPECT_EQ(pixelsOf(kept.picture), expected(rows, 3, true));
    }
}

// Masks the decoder cannot take are refused with the reason: an alpha mask over part of the high byte
// or over a colour byte, colour masks elsewhere than the low three bytes, BI_ALPHABITFIELDS with a
// version 2 header (it has no place for the alpha mask), masks with a header of another size, and a file
// ending before its masks.
TEST(BmpAlphaTest, MasksItCannotTakeAreRefused)
{
    const auto rows = halfTransparent();
    struct Case
    {
        Bytes file;
        const char* reason;
    };
    Bytes cut = bmp32(40, kAlphaBitFields, {kRed, kGreen, kBlue, kAlpha}, 8, rows);
    cut.resize(14 + 40 + 14);
    std::vector<Case> cases = {
        {bmp32(124, kBitFields, {kRed, kGreen, kBlue, 0xF0000000u}, 8, rows), "BMP: unsupported alpha mask"},
        {bmp32(108, kAlphaBitFields, {kRed, kGreen, kBlue, 0x000000FFu}, 8, rows), "BMP: unsupported alpha mask"},
        {bmp32(56, kBitFields, {kRed, kGreen, kBlue, 0x00FF0000u}, 8, rows), "BMP: unsupported alpha mask"},
        {bmp32(124, kBitFields, {kBlue, kGreen, kRed, kAlpha}, 8, rows), "BMP: unsupported colour masks"},
        {bmp32(40, kBitFields, {0xFF000000u, 0x00FF0000u, 0x0000FF00u}, 8, rows), "BMP: unsupported colour masks"},
        {bmp32(52, kAlphaBitFields, {kRed, kGreen, kBlue}, 8, rows), "BMP: unsupported header"},
        {bmp32(64, kBitFields, {kRed, kGreen, kBlue, kAlpha}, 8, rows), "BMP: unsupported header"},
        {cut, "BMP: header cut short"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(decode(c.file, true).error, c.reason);
        EXPECT_EQ(decode(c.file, false).error, c.reason);
    }
}
