// Arbitrary bytes through the one decoder of each picture format, called directly in this process as the
// helper process calls it (the program itself never decodes these formats in its own process): as the
// preview and the image helpers load a picture (alpha kept, as stored) and as the conversion does
// (upright, over black, reduced), the format told from the bytes, the JPEG, PNG, TIFF, BMP and JPEG 2000
// decoders with their header checks; a HEIF file through the HEIF reader and decoder. One thread and a
// picture cap of four megapixels keep each run short. Seeds: the disguised pictures of the conversion
// fuzzer's corpus and the smallest crafted JPEG 2000, JPEG, PNG and BMP headers of
// bench/make_hostile_inputs.py.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "DecodeSizeLimits.h"
#include "FuzzSupport.h"
#include "HeicImageSource.h"
#include "MemoryReadBuffer.h"
#include "ParallelFor.h"
#include "PictureDecodeJob.h"

namespace
{

void decodeDirectly(pravix::PictureFormat format, const std::uint8_t* data, std::size_t size,
                    const pravix::DecodeRequest& request)
{
    try
    {
        pravix::MemoryReadBuffer bytes(data, size);
        pravix::PictureDecodeJob job(format, bytes);
        job.readHeader();
        (void)job.decode(request);
    }
    catch (const std::exception&)
    {
        // A refusal is a good outcome; a crash or a sanitizer report is what is looked for.
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::quietLog();
    pravix::limitWorkers(1);
    pravix::limitDecodedPixels(uint64_t(1) << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const pravix::PictureFormat format = pravix::identifyPictureFormat(data, size);
    const pravix::DecodeRequest preview{false, 8192, true};
    const pravix::DecodeRequest conversion{true, 512, false};
    if (format == pravix::PictureFormat::Heif)
    {
        auto source =
            pravix::HeicImageSource::createWithStream(std::make_unique<pravix::MemoryReadBuffer>(data, size));
        pravix::ThumbnailOptions options;
        options.createWithTransform = true;
        options.maxPixelSize = conversion.maxPixelSize;
        (void)source->propertiesAtIndex(0);
        (void)source->thumbnailAtIndex(0, options);
        return 0;
    }
    if (format == pravix::PictureFormat::Unknown)
    {
        return 0;
    }
    decodeDirectly(format, data, size, preview);
    decodeDirectly(format, data, size, conversion);
    return 0;
}
