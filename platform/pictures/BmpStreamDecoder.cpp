// Uncompressed Windows bitmaps of 24 or 32 bits a pixel, read from the file a band of rows at a time in
// the order they are stored (usually bottom row first; whoever receives them turns them the right way up).
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
constexpr uint32_t kRgb = 0;
constexpr uint32_t kBitFields = 3;

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
        // The file header, the info header and the three colour masks that may follow it.
        uint8_t h[kFileHeader + kInfoHeader + 12] = {};
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
        if ((mBitsPerPixel != 24 && mBitsPerPixel != 32) ||
            !(compression == kRgb || (compression == kBitFields && mBitsPerPixel == 32)))
        {
            throw PictureDecodeError("BMP: only uncompressed 24- and 32-bit pictures are read");
        }
        // Masks other than blue, green and red in the low three bytes would need unpacking.
        if (compression == kBitFields &&
            (got < sizeof h || u32(h + 54) != 0x00FF0000u || u32(h + 58) != 0x0000FF00u || u32(h + 62) != 0x000000FFu))
        {
            throw PictureDecodeError("BMP: unsupported colour masks");
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
        std::vector<uint8_t> stored(static_cast<size_t>(mRowBytes) * kBandRows);
        const size_t stride = static_cast<size_t>(mWidth) * 3;
        std::vector<uint8_t> rgb(stride * kBandRows);
        sink.begin(mWidth, mHeight, 3);
        for (uint32_t y = 0; y < mHeight; y += kBandRows)
        {
            const uint32_t count = std::min(kBandRows, mHeight - y);
            const size_t bytes = static_cast<size_t>(mRowBytes) * count;
            if (stream::read(mFile, stored.data(), bytes) != bytes)
            {
                throw PictureDecodeError("BMP: file ends early");
            }
            for (uint32_t r = 0; r < count; ++r)
            {
                const uint8_t* src = stored.data() + r * mRowBytes;
                uint8_t* dst = rgb.data() + r * stride;
                for (uint32_t x = 0; x < mWidth; ++x)
                {
                    dst[x * 3] = src[x * bytesPerPixel + 2];
                    dst[x * 3 + 1] = src[x * bytesPerPixel + 1];
                    dst[x * 3 + 2] = src[x * bytesPerPixel];
                }
            }
            sink.rows(rgb.data(), stride, count);
        }
    }

private:
    std::streambuf& mFile;
    uint32_t mPixelOffset = 0;
    uint32_t mBitsPerPixel = 0;
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
