#include "PictureStreamDecoder.h"


namespace pravix
{

std::unique_ptr<PictureStreamDecoder> PictureStreamDecoder::create(PictureFormat format, std::streambuf& file)
{
    stream::seek(file, 0);
    switch (format)
    {
    case PictureFormat::Jpeg:
        return makeJpegStreamDecoder(file);
    case PictureFormat::Png:
        return makePngStreamDecoder(file);
    case PictureFormat::Tiff:
        return makeTiffStreamDecoder(file);
    case PictureFormat::Bmp:
        return makeBmpStreamDecoder(file);
    case PictureFormat::Jpeg2000:
        return makeJp2StreamDecoder(file);
    case PictureFormat::Heif:
    case PictureFormat::Unknown:
        break;
    }
    return nullptr;
}

void flattenOverBlack(const uint8_t* pixels, uint32_t channels, uint32_t width, uint8_t* rgb)
{
    const uint32_t alpha = channels - 1;
    for (uint32_t x = 0; x < width; ++x)
    {
        const uint8_t* p = pixels + static_cast<size_t>(x) * channels;
        const uint32_t a = p[alpha];
        for (uint32_t c = 0; c < 3; ++c)
        {
            const uint32_t v = (channels >= 3 ? p[c] : p[0]) * a + 128;
            rgb[x * 3 + c] = static_cast<uint8_t>((v + (v >> 8)) >> 8);
        }
    }
}

void widenGreyAlpha(const uint8_t* pixels, uint32_t width, uint8_t* rgba)
{
    for (uint32_t x = 0; x < width; ++x)
    {
        const uint8_t grey = pixels[x * 2];
        rgba[x * 4] = grey;
        rgba[x * 4 + 1] = grey;
        rgba[x * 4 + 2] = grey;
        rgba[x * 4 + 3] = pixels[x * 2 + 1];
    }
}

}  // namespace pravix
