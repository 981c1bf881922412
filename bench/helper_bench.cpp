// What decoding in the picture decoder helper process costs beside decoding in this process: a
// 12-megapixel JPEG (4000 x 3000, made here) read through the image source as the conversion reads it
// (one helper reads the header, then decodes the picture into shared memory that is mapped), against
// the same decode in this process, each picture then read once as the next stage reads it; and one helper's start alone (the header of a tiny picture).
//
//   helper_bench [--runs N]

#include "Bitmap.h"
#include "FileReadBuffer.h"
#include "ImageEncoders.h"
#include "ImageSources.h"
#include "MemoryReadBuffer.h"
#include "PictureDecodeJob.h"
#include "PictureDecoderProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace pravix;

namespace
{

using Clock = std::chrono::steady_clock;

// What the next stage does first: read the picture (mapped rows are faulted in here).
void readAll(const Bitmap& picture)
{
    volatile uint8_t sum = 0;
    for (size_t i = 0; i < picture.pixels.size(); i += 4096)
    {
        sum = static_cast<uint8_t>(sum + picture.pixels[i]);
    }
}

double medianMilliseconds(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
    {
        const Clock::time_point start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::string written(const std::vector<uint8_t>& bytes, const char* name)
{
    const char* folder = std::getenv("TMPDIR");
    const std::string path = std::string(folder != nullptr && *folder != 0 ? folder : "/tmp") + "/" + name + "-" +
                             std::to_string(getpid());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 15;
    for (int i = 1; i + 1 < argc; ++i)
    {
        if (std::strcmp(argv[i], "--runs") == 0)
        {
            runs = std::max(1, std::atoi(argv[++i]));
        }
    }
    Bitmap photo;
    photo.allocate(4000, 3000, 3);
    for (uint32_t y = 0; y < photo.height; ++y)
    {
        for (uint32_t x = 0; x < photo.width; ++x)
        {
            uint8_t* p = photo.row(y) + x * 3;
            p[0] = static_cast<uint8_t>(x * 7 + y);
            p[1] = static_cast<uint8_t>((x ^ y) * 3);
            p[2] = static_cast<uint8_t>(y * 5 - x);
        }
    }
    const std::vector<uint8_t> jpeg = encodeJpeg(photo, 90);
    Bitmap dot;
    dot.allocate(1, 1, 3);
    const std::string jpegPath = written(jpeg, "helper-bench.jpg");
    const std::string dotPath = written(encodePng(dot), "helper-bench.png");
    if (PictureDecoderProcess::programPath().empty())
    {
        std::fprintf(stderr, "no picture decoder helper found\n");
        return 1;
    }

    DecodeRequest request{true, 8192, false};
    const double inProcess = medianMilliseconds(runs,
                                                [&]
                                                {
                                                    MemoryReadBuffer bytes(jpeg.data(), jpeg.size());
                                                    PictureDecodeJob job(PictureFormat::Jpeg, bytes);
                                                    job.readHeader();
                                                    const Bitmap picture = job.decode(request);
                                                    if (picture.empty())
                                                    {
                                                        std::abort();
                                                    }
                                                    readAll(picture);
                                                });
    ThumbnailOptions options;
    options.createWithTransform = true;
    options.createFromImageAlways = true;
    options.maxPixelSize = 8192;
    const double throughHelper = medianMilliseconds(runs,
                                                    [&]
                                                    {
                                                        auto source = createImageSourceWithFile(jpegPath);
                                                        const std::optional<Bitmap> picture =
                                                            source ? source->thumbnailAtIndex(0, options)
                                                                   : std::nullopt;
                                                        if (!picture)
                                                        {
                                                            std::abort();
                                                        }
                                                        readAll(*picture);
                                                    });
    const double start = medianMilliseconds(runs,
                                            [&]
                                            {
                                                auto file = FileReadBuffer::open(dotPath);
                                                if (!PictureDecoderProcess::run(file->descriptor(), PictureFormat::Png,
                                                                                false)
                                                         .header)
                                                {
                                                    std::abort();
                                                }
                                            });
    std::printf("12-megapixel JPEG (%zu bytes), median of %d runs:\n", jpeg.size(), runs);
    std::printf("  decoded in this process:        %7.1f ms\n", inProcess);
    std::printf("  through the helper:             %7.1f ms\n", throughHelper);
    std::printf("  the helper's own cost:          %7.1f ms\n", throughHelper - inProcess);
    std::printf("  one helper started for a header: %6.1f ms\n", start);
    unlink(jpegPath.c_str());
    unlink(dotPath.c_str());
    return 0;
}
