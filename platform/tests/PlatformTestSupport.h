#pragma once

#include "Bitmap.h"
#include "HeicImageSource.h"
#include "MemoryReadBuffer.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace pravix::test
{

// The sanitizer build decodes several times slower: the long seeded tests take fewer files there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderSanitizers = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderSanitizers = true;
#else
constexpr bool kUnderSanitizers = false;
#endif
#else
constexpr bool kUnderSanitizers = false;
#endif

inline std::string dataPath(const std::string& name)
{
    return std::string(PRAVIX_SOURCE_DIR) + "/platform/tests/data/" + name;
}

// The options the conversion decodes with: upright, from the full picture, at most maxPixelSize on the
// longer side (0: whole).
inline ThumbnailOptions upright(uint32_t maxPixelSize = 8192)
{
    ThumbnailOptions o;
    o.createWithTransform = true;
    o.createFromImageAlways = true;
    o.allowFloat = true;
    o.maxPixelSize = maxPixelSize;
    return o;
}

// A HEIC source over bytes in memory, which it keeps.
inline std::unique_ptr<HeicImageSource> heicSourceOver(std::shared_ptr<const std::vector<uint8_t>> bytes)
{
    class Owning : public MemoryReadBuffer
    {
    public:
        explicit Owning(std::shared_ptr<const std::vector<uint8_t>> kept)
            : MemoryReadBuffer(kept->data(), kept->size()), mKept(std::move(kept))
        {
        }

    private:
        std::shared_ptr<const std::vector<uint8_t>> mKept;
    };
    return HeicImageSource::createWithStream(std::make_unique<Owning>(std::move(bytes)));
}

inline std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// PSNR of the RGB channels of two pictures of the same size (alpha ignored); 99 for identical ones.
inline double psnr(const Bitmap& a, const Bitmap& b)
{
    double sum = 0;
    uint64_t n = 0;
    for (uint32_t y = 0; y < a.height; ++y)
    {
        for (uint32_t x = 0; x < a.width; ++x)
        {
            for (uint32_t c = 0; c < 3; ++c)
            {
                const double d = double(a.row(y)[x * a.channels + c]) - b.row(y)[x * b.channels + c];
                sum += d * d;
                ++n;
            }
        }
    }
    if (n == 0 || sum == 0)
    {
        return 99.0;
    }
    return 10.0 * std::log10(255.0 * 255.0 / (sum / n));
}

// A picture with smooth gradients and sharp edges, different in every pixel position.
inline Bitmap patternBitmap(uint32_t w, uint32_t h, uint32_t channels = 3)
{
    Bitmap b;
    b.allocate(w, h, channels);
    for (uint32_t y = 0; y < h; ++y)
    {
        for (uint32_t x = 0; x < w; ++x)
        {
            uint8_t* p = b.row(y) + x * channels;
            p[0] = static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
            p[1] = static_cast<uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
            p[2] = static_cast<uint8_t>(((x / 8 + y / 8) & 1) ? 200 : 40);
            if (channels == 4)
            {
                p[3] = static_cast<uint8_t>(255 - x);
            }
        }
    }
    return b;
}

}  // namespace pravix::test
