// Arbitrary bytes through the one decoder of each picture format, as the preview and the image helpers
// load a picture (alpha kept, as stored) and as the conversion does (upright, over black, reduced): the
// format told from the bytes, the JPEG, PNG, TIFF, BMP and JPEG 2000 decoders with their header limits
// (the JPEG 2000 codestream accounting among them) and the HEIF reader. One thread and a picture cap of
// four megapixels keep each run short. Seeds: the disguised pictures of the conversion fuzzer's corpus and
// the smallest crafted JPEG 2000, JPEG, PNG and BMP headers of bench/make_hostile_inputs.py.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "ParallelFor.h"
#include "DecodeSizeLimits.h"
#include "PictureLoading.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::quietLog();
    pravix::limitWorkers(1);
    pravix::limitDecodedPixels(uint64_t(1) << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)pravix::decodeImage(data, size);
    (void)pravix::readImageProperties(data, size);
    pravix::ThumbnailOptions conversion;
    conversion.createWithTransform = true;
    conversion.createFromImageAlways = true;
    conversion.maxPixelSize = 512;
    (void)pravix::decodeImage(data, size, conversion);
    return 0;
}
