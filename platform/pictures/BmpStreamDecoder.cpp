// Uncompressed Windows bitmaps of 24 or 32 bits a pixel, read from the file a band of rows at a time in
// the order they are stored (usually bottom row first; whoever receives them turns them the right way up).
// A 32-bit picture has alpha only when its colour masks give it one; otherwise its fourth byte is unused.
#include "DecodeSizeLimits.h"
#include "PictureStreamDecoder.h"

#include <algorithm>
#include <string>
#include <vector>

namespace pravix
{
namespace
{

constexpr uint32_t kBandRows = 32;
constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
// Red, green, blue and alpha masks, each 4 bytes from here: inside the info header from its version 2
// (52 bytes, no alpha mask) and version 3 (56 bytes) on, as in versions 4 (108) and 5 (124); right after
// a 40-byte header, three of them for BI_BITFIELDS, four for BI_ALPHABITFIELDS.
constexpr size_t kMasks = kFileHeader + kInfoHeader;
constexpr uint32_t kV2InfoHeader = 52;
constexpr uint32_t kV3InfoHeader = 56;
constexpr uint32_t kV4InfoHeader = 108;
constexpr uint32_t kV5InfoHeader = 124;
constexpr uint32_t kRgb = 0;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;
constexpr uint32_t kAlphaMask = 0xFF000000u;

uint32_t u16(const uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

uint32_t u32(const uint8_t* p)
{
    return u16(p) | (u16(p + 2) << 16);
}

class BmpStreamDecoder : public PictureStreamDecoder
{
public:
    explicit BmpStreamDecoder(std::streambuf& file) : mFile(file) {}

    PictureHeader readHeader() override
    {
        // The file header, the info header and the four colour masks that may follow it.
        uint8_t h[kMasks + 16] = {};
        const size_t got = stream::read(mFile, h, sizeof h);
        if (got < kFileHeader + kInfoHeader || h[0] != 'B' || h[1] != 'M')
        {
            throw PictureDecodeError("BMP: header cut short");
        }
        const uint64_t fileSize = stream::size(mFile);
        mPixelOffset = u32(h + 10);
        const uint32_t infoSize = u32(h + 14);
        const int32_t width = static_cast<int32_t>(u32(h + 18));
        const int32_t rawHeight = static_cast<int32_t>(u32(h + 22));
        mBitsPerPixel = u16(h + 28);
        const uint32_t compression = u32(h + 30);
        if (infoSize < kInfoHeader || infoSize > fileSize - kFileHeader)
        {
            throw PictureDecodeError("BMP: unsupported header");
        }
        const bool masked = compression == kBitFields || compression == kAlphaBitFields;
        if ((mBitsPerPixel != 24 && mBitsPerPixel != 32) || !(compression == kRgb || (masked && mBitsPerPixel == 32)))
        {
            throw PictureDecodeError("BMP: only uncompressed 24- and 32-bit pictures are read");
        }
        if (masked)
        {
            readMasks(h, got, infoSize, compression);
        }
        if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN)
        {
            throw PictureDecodeError("BMP: bad picture size");
        }
        PictureHeader header;
        header.width = static_cast<uint32_t>(width);
        header.height = static_cast<uint32_t>(rawHeight < 0 ? -rawHeight : rawHeight);
        header.bottomUp = rawHeight > 0;
        checkDecodableSize(header.width, header.height);
        mRowBytes = (uint64_t(header.width) * (mBitsPerPixel / 8) + 3) & ~uint64_t(3);
        if (mPixelOffset > fileSize || mRowBytes * header.height > fileSize - mPixelOffset)
        {
            throw PictureDecodeError("BMP: " + std::to_string(header.width) + "x" + std::to_string(header.height) +
                                     " pixels do not fit in " + std::to_string(fileSize) + " bytes");
        }
        mWidth = header.width;
        mHeight = header.height;
        return header;
    }

    void decodeRows(uint32_t, uint32_t, PictureRowSink& sink) override
    {
        if (!stream::seek(mFile, mPixelOffset))
        {
            throw PictureDecodeError("BMP: pixels cannot be read");
        }
        const uint32_t bytesPerPixel = mBitsPerPixel / 8;
        const uint32_t channels = mAlpha && mKeepAlpha ? 4 : 3;
        const bool flatten = mAlpha && !mKeepAlpha;
        std::vector<uint8_t> stored(static_cast<size_t>(mRowBytes) * kBandRows);
        const size_t stride = static_cast<size_t>(mWidth) * channels;
        std::vector<uint8_t> band(stride * kBandRows);
        std::vector<uint8_t> rgba(flatten ? static_cast<size_t>(mWidth) * 4 : 0);
        sink.begin(mWidth, mHeight, channels);
        for (uint32_t y = 0; y < mHeight; y += kBandRows)
        {
            const uint32_t count = std::min(kBandRows, mHeight - y);
            const size_t bytes = static_cast<size_t>(mRowBytes) * count;
            if (stream::read(mFile, stored.data(), bytes) != bytes)
            {
                throw PictureDecodeError("BMP: file ends early");
            }
            // Straight into the sink's place when it offers one.
            size_t outStride = 0;
            uint8_t* out = sink.placeForRows(count, outStride);
            if (out == nullptr)
            {
                out = band.data();
                outStride = stride;
            }
            for (uint32_t r = 0; r < count; ++r)
            {
                const uint8_t* src = stored.data() + r * mRowBytes;
                uint8_t* dst = out + r * outStride;
                if (flatten)
                {
                    toRgba(src, rgba.data());
                    flattenOverBlack(rgba.data(), 4, mWidth, dst);
                }
                else if (channels == 4)
                {
                    toRgba(src, dst);
                }
                else
                {
                    for (uint32_t x = 0; x < mWidth; ++x)
                    {
                        dst[x * 3] = src[x * bytesPerPixel + 2];
                        dst[x * 3 + 1] = src[x * bytesPerPixel + 1];
                        dst[x * 3 + 2] = src[x * bytesPerPixel];
                    }
                }
            }
            sink.rows(out, outStride, count);
        }
    }

private:
    // The colour masks must be blue, green and red in the low three bytes (others would need unpacking);
    // alpha is the high byte when its mask says so. A header without an alpha mask, or with a mask of 0,
    // leaves the fourth byte unused. Any other alpha mask is refused: a part of the high byte, or a mask
    // over the colour bytes, would need unpacking too, and the picture shown opaque would show the
    // transparent parts it means to hide.
    void readMasks(const uint8_t* h, size_t got, uint32_t infoSize, uint32_t compression)
    {
        const bool known = infoSize == kInfoHeader || infoSize == kV2InfoHeader || infoSize == kV3InfoHeader ||
                           infoSize == kV4InfoHeader || infoSize == kV5InfoHeader;
        // Version 2 has no place for an alpha mask, inside it or after it.
        if (!known || (infoSize == kV2InfoHeader && compression == kAlphaBitFields))
        {
            throw PictureDecodeError("BMP: unsupported header");
        }
        const bool alphaMask = infoSize >= kV3InfoHeader || compression == kAlphaBitFields;
        if (got < kMasks + (alphaMask ? 16 : 12))
        {
            throw PictureDecodeError("BMP: header cut short");
        }
        if (u32(h + kMasks) != 0x00FF0000u || u32(h + kMasks + 4) != 0x0000FF00u || u32(h + kMasks + 8) != 0x000000FFu)
        {
            throw PictureDecodeError("BMP: unsupported colour masks");
        }
        const uint32_t alpha = alphaMask ? u32(h + kMasks + 12) : 0;
        if (alpha != 0 && alpha != kAlphaMask)
        {
            throw PictureDecodeError("BMP: unsupported alpha mask");
        }
        mAlpha = alpha == kAlphaMask;
    }

    // One row of blue, green, red and alpha as red, green, blue and alpha.
    void toRgba(const uint8_t* bgra, uint8_t* rgba) const
    {
        for (uint32_t x = 0; x < mWidth; ++x)
        {
            rgba[x * 4] = bgra[x * 4 + 2];
            rgba[x * 4 + 1] = bgra[x * 4 + 1];
            rgba[x * 4 + 2] = bgra[x * 4];
            rgba[x * 4 + 3] = bgra[x * 4 + 3];
        }
    }

    std::streambuf& mFile;
    uint32_t mPixelOffset = 0;
    uint32_t mBitsPerPixel = 0;
    bool mAlpha = false;
    uint64_t mRowBytes = 0;
    uint32_t mWidth = 0;
    uint32_t mHeight = 0;
};

}  // namespace

std::unique_ptr<PictureStreamDecoder> makeBmpStreamDecoder(std::streambuf& file)
{
    return std::make_unique<BmpStreamDecoder>(file);
}

}  // namespace pravix
