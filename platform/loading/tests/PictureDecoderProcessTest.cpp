#include "TemporaryFolder.h"
#include "FileReadBuffer.h"
#include "ImageEncoders.h"
#include "LibjpegWriter.h"
#include "PictureDecodeJob.h"
#include "PictureDecoderProcess.h"
#include "PictureLoading.h"
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

using namespace pravix;
namespace fs = std::filesystem;

namespace
{

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
    {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

void pngChunk(std::vector<uint8_t>& out, const char* kind, const std::vector<uint8_t>& data)
{
    put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), kind, kind + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// An all-black 8-bit RGB PNG of `side` x `side` pixels that takes seconds to inflate and little time to
// make: its zlib stream is one megabyte of zeros compressed with a full flush (so that every such chunk
// compresses alike), repeated, and ended.
std::vector<uint8_t> slowBlackPng(uint32_t side)
{
    const uint64_t total = (uint64_t(side) * 3 + 1) * side;
    constexpr size_t kChunk = size_t(1) << 20;
    std::vector<uint8_t> zeros(kChunk, 0);
    z_stream z{};
    deflateInit(&z, 9);
    std::vector<uint8_t> head(kChunk);
    auto compress = [&](size_t bytes, int flush)
    {
        std::vector<uint8_t> out(kChunk);
        z.next_in = zeros.data();
        z.avail_in = static_cast<uInt>(bytes);
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, flush);
        out.resize(out.size() - z.avail_out);
        return out;
    };
    const std::vector<uint8_t> first = compress(kChunk, Z_FULL_FLUSH);   // with the zlib header
    const std::vector<uint8_t> repeated = compress(kChunk, Z_FULL_FLUSH);
    const uint64_t chunks = total / kChunk;
    std::vector<uint8_t> tail = compress(static_cast<size_t>(total % kChunk), Z_FINISH);
    deflateEnd(&z);
    // The stream's checksum is of the bytes it holds, not of those compressed above.
    tail.resize(tail.size() - 4);
    const uint32_t b = static_cast<uint32_t>(total % 65521);
    put32(tail, (b << 16) | 1);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put32(ihdr, side);
    put32(ihdr, side);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    pngChunk(png, "IHDR", ihdr);
    pngChunk(png, "IDAT", first);
    for (uint64_t i = 1; i < chunks; ++i)
    {
        pngChunk(png, "IDAT", repeated);
    }
    pngChunk(png, "IDAT", tail);
    pngChunk(png, "IEND", {});
    return png;
}

class PictureDecoderProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = PictureDecoderProcess::limits();
    }
    void TearDown() override
    {
        PictureDecoderProcess::setProgramPath("");
        PictureDecoderProcess::setLimits(saved);
        PictureDecoderProcess::setObserver({});
    }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const fs::path path = root / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path.string();
    }

    // The helper's run on a file: the picture when `decode`, else the header alone.
    PictureDecoderProcess::Result run(const std::string& path, PictureFormat format, bool decode,
                                      const DecodeRequest& request = {})
    {
        const std::unique_ptr<FileReadBuffer> file = FileReadBuffer::open(path);
        return PictureDecoderProcess::run(file->descriptor(), format, decode, request);
    }

    // No helper process is left: every one started has been collected.
    static void expectNoChildLeft()
    {
        errno = 0;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    }

    // Removed with everything the test wrote when the test ends.
    const testsupport::TemporaryFolder mFolder{"pravix-decoder-process"};
    const fs::path root = mFolder.path();
    PictureDecoderLimits saved;
};

}  // namespace

// The rows the helper decodes are the rows this process's own decoder makes, handed back in shared memory,
// whether they come out as finished (a picture as stored, or upside down as a BMP's are) or drawn turned.
TEST_F(PictureDecoderProcessTest, HandsBackTheRowsThisProcessWouldDecode)
{
    const Bitmap source = test::patternBitmap(97, 61);
    const std::string png = write("p.png", encodePng(source));
    const std::string bmp = write("p.bmp", encodeBmp(source));
    std::vector<PictureDecoderRun> runs;
    PictureDecoderProcess::setObserver([&](const PictureDecoderRun& r) { runs.push_back(r); });
    for (const auto& [path, format] : {std::pair{png, PictureFormat::Png}, std::pair{bmp, PictureFormat::Bmp}})
    {
        for (const DecodeRequest& request : {DecodeRequest{}, DecodeRequest{false, 40, false}})
        {
            const PictureDecoderProcess::Result result = run(path, format, true, request);
            ASSERT_TRUE(result.picture) << result.whyNot;
            EXPECT_TRUE(result.whyNot.empty());
            ASSERT_TRUE(result.header);
            EXPECT_EQ(result.header->width, 97u);
            const std::unique_ptr<FileReadBuffer> file = FileReadBuffer::open(path);
            PictureDecodeJob job(format, *file);
            job.readHeader();
            const Bitmap own = job.decode(request);
            EXPECT_EQ(result.picture->width, own.width);
            EXPECT_EQ(result.picture->height, own.height);
            EXPECT_EQ(result.picture->pixels, own.pixels);
        }
    }
    ASSERT_EQ(runs.size(), 4u);
    for (const PictureDecoderRun& r : runs)
    {
        EXPECT_TRUE(r.succeeded);
        EXPECT_GT(r.peakKilobytes, 0u);
    }
    expectNoChildLeft();
}

// A picture that needs more memory than the helper is given, more processor time, or more than the
// deadline, is refused with that reason, and the helper is gone.
TEST_F(PictureDecoderProcessTest, RefusedPastEachLimitWithItsReason)
{
#if !defined(PRAVIX_UNDER_ASAN) && !defined(__SANITIZE_ADDRESS__)
    // Every coefficient of a progressive JPEG is held while its scans arrive: 48 MiB for 4096 x 4096.
    test::LibjpegLayout progressive;
    progressive.progressive = true;
    const std::string jpeg =
        write("p.jpg", test::libjpegBytes(4096, 4096, progressive, [](uint32_t y, uint8_t* row)
                                          { std::fill(row, row + 4096 * 3, static_cast<uint8_t>(y)); }));
    PictureDecoderLimits small;
    small.memoryBytes = 50'000'000;
    PictureDecoderProcess::setLimits(small);
    const PictureDecoderProcess::Result tooLarge = run(jpeg, PictureFormat::Jpeg, true, DecodeRequest{false, 256, false});
    EXPECT_FALSE(tooLarge.picture);
    EXPECT_EQ(tooLarge.whyNot, "needs more than 50 MB to decode");
    PictureDecoderProcess::setLimits(saved);
    EXPECT_TRUE(run(jpeg, PictureFormat::Jpeg, true, DecodeRequest{false, 256, false}).picture);
#endif

    // 16384 x 16384 black pixels: seconds of inflating.
    const std::string slow = write("slow.png", slowBlackPng(16384));
    PictureDecoderLimits processor;
    processor.cpuSeconds = 1;
    processor.deadline = std::chrono::milliseconds(60000);
    PictureDecoderProcess::setLimits(processor);
    const PictureDecoderProcess::Result busy = run(slow, PictureFormat::Png, true, DecodeRequest{false, 64, false});
    EXPECT_FALSE(busy.picture);
    EXPECT_EQ(busy.whyNot, "took more than 1 s of processor time");

    PictureDecoderLimits deadline;
    deadline.deadline = std::chrono::milliseconds(300);
    PictureDecoderProcess::setLimits(deadline);
    const PictureDecoderProcess::Result late = run(slow, PictureFormat::Png, true, DecodeRequest{false, 64, false});
    EXPECT_FALSE(late.picture);
    EXPECT_EQ(late.whyNot, "took longer than 0.300 s");
    // Its header was read in time.
    EXPECT_TRUE(late.header);
    expectNoChildLeft();
}

// Whatever a helper does (crash, hang, say nothing, talk nonsense, promise rows it did not write, hand
// back another picture than asked), the file is refused with a reason, nothing is left running, and
// the next file gets a working helper.
TEST_F(PictureDecoderProcessTest, AMisbehavingHelperIsARefusalAndTheProgramGoesOn)
{
    const std::string png = write("p.png", encodePng(test::patternBitmap(64, 48)));
    PictureDecoderLimits quick;
    quick.deadline = std::chrono::milliseconds(500);
    PictureDecoderProcess::setLimits(quick);
    struct Case
    {
        const char* name;
        bool decode;
        const char* why;
    };
    const Case cases[] = {
        {"crash", false, "the decoder crashed (signal 11)"},
        {"hang", false, "took longer than 0.500 s"},
        {"garbage", false, "the decoder's report does not add up"},
        {"silent-exit", false, "the decoder gave no picture"},
        {"header-then-hang", true, "took longer than 0.500 s"},
        {"header-then-crash", true, "the decoder crashed (signal 6)"},
        {"no-picture", true, "the decoder gave no picture"},
        {"short-rows", true, "the decoder handed back fewer rows than it promised"},
        {"larger-than-asked", true, "the decoder handed back a picture other than asked"},
        {"two-headers", true, "the decoder's report does not add up"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const fs::path fake = root / c.name;
        fs::create_symlink(PRAVIX_FAKE_DECODER, fake);
        PictureDecoderProcess::setProgramPath(fake.string());
        const PictureDecoderProcess::Result result = run(png, PictureFormat::Png, c.decode);
        EXPECT_FALSE(result.picture);
        EXPECT_EQ(result.whyNot, c.why);
        expectNoChildLeft();
    }
    // A helper that does its work: the rows it wrote, as they were written.
    fs::create_symlink(PRAVIX_FAKE_DECODER, root / "well-behaved");
    PictureDecoderProcess::setProgramPath((root / "well-behaved").string());
    const PictureDecoderProcess::Result fine = run(png, PictureFormat::Png, true);
    ASSERT_TRUE(fine.picture) << fine.whyNot;
    ASSERT_EQ(fine.picture->pixels.size(), 64u * 48 * 3);
    for (size_t i = 0; i < fine.picture->pixels.size(); i += 97)
    {
        ASSERT_EQ(fine.picture->pixels[i], static_cast<uint8_t>(i * 7));
    }
    PictureDecoderProcess::setProgramPath("");
    EXPECT_TRUE(run(png, PictureFormat::Png, true).picture);
    expectNoChildLeft();
}

// Without the helper these pictures are refused, saying why; they are never decoded in this process. A
// HEIC photo is decoded here as always.
TEST_F(PictureDecoderProcessTest, WithoutTheHelperOtherFormatsAreRefused)
{
    const std::string png = write("p.heic", encodePng(test::patternBitmap(16, 16)));
    PictureDecoderProcess::setProgramPath((root / "missing" / "pravix-picture-decoder").string());
    std::string why;
    EXPECT_FALSE(decodeImageFile(png, defaultLoadOptions(), &why));
    EXPECT_EQ(why, "PNG: the picture decoder (pravix-picture-decoder) cannot be found");
    EXPECT_TRUE(decodeImageFile(test::dataPath("single.heic"), defaultLoadOptions()));
}
