// Honest pictures of 16384 pixels a side, the largest the decoders take, pass every header bound and are
// decoded reduced to the 8192 the conversion asks for.
#include "LibjpegWriter.h"
#include "MemoryReadBuffer.h"
#include "PictureDecodeJob.h"
#include "PictureStreamDecoder.h"
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <streambuf>
#include <string>
#include <vector>

using namespace pravix;
using namespace pravix::test;

namespace
{

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSide = 16384;
constexpr uint32_t kReduced = 8192;

// The colour of the 2 x 2 block (X, Y): the reduction to half the side keeps it exactly.
void colourOf(uint32_t X, uint32_t Y, uint8_t* rgb)
{
    rgb[0] = uint8_t(X);
    rgb[1] = uint8_t(Y);
    rgb[2] = uint8_t(X * 3 + Y);
}

// A 24-bit BMP of kSide x kSide made as it is read, a row at a time: 768 MiB of rows that never exist
// at once.
class GeneratedBmp : public std::streambuf
{
public:
    GeneratedBmp() : mHeader(kPixels, 0), mRow(kStride)
    {
        mHeader[0] = 'B';
        mHeader[1] = 'M';
        put(2, uint32_t(kSize));
        put(10, uint32_t(kPixels));
        put(14, 40);
        put(18, kSide);
        put(22, kSide);
        mHeader[26] = 1;
        mHeader[28] = 24;
    }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr())
        {
            return traits_type::to_int_type(*gptr());
        }
        mAt += static_cast<uint64_t>(egptr() - eback());
        return fillAt();
    }

    pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode) override
    {
        const int64_t here = static_cast<int64_t>(mAt) + (gptr() - eback());
        const int64_t base = way == std::ios_base::beg ? 0 : way == std::ios_base::cur ? here : int64_t(kSize);
        const int64_t target = base + offset;
        if (target < 0 || target > int64_t(kSize))
        {
            return pos_type(off_type(-1));
        }
        mAt = static_cast<uint64_t>(target);
        setg(nullptr, nullptr, nullptr);
        return pos_type(target);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode which) override
    {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }

private:
    static constexpr size_t kPixels = 54;
    static constexpr size_t kStride = size_t(kSide) * 3;
    static constexpr uint64_t kSize = kPixels + uint64_t(kStride) * kSide;

    void put(size_t at, uint32_t v)
    {
        for (size_t i = 0; i < 4; ++i)
        {
            mHeader[at + i] = uint8_t(v >> (8 * i));
        }
    }

    // The bytes from mAt to the end of the header or of the row it is in.
    int_type fillAt()
    {
        if (mAt >= kSize)
        {
            setg(nullptr, nullptr, nullptr);
            return traits_type::eof();
        }
        char* data = nullptr;
        size_t from = 0;
        size_t size = 0;
        if (mAt < kPixels)
        {
            data = reinterpret_cast<char*>(mHeader.data());
            from = mAt;
            size = kPixels;
        }
        else
        {
            const uint64_t stored = (mAt - kPixels) / kStride;
            const uint32_t y = kSide - 1 - uint32_t(stored);  // bottom row first
            for (uint32_t x = 0; x < kSide; ++x)
            {
                uint8_t rgb[3];
                colourOf(x / 2, y / 2, rgb);
                mRow[x * 3] = rgb[2];
                mRow[x * 3 + 1] = rgb[1];
                mRow[x * 3 + 2] = rgb[0];
            }
            data = reinterpret_cast<char*>(mRow.data());
            from = static_cast<size_t>(mAt - kPixels - stored * kStride);
            size = kStride;
        }
        mAt -= from;  // the buffer's start
        setg(data, data + from, data + size);
        return traits_type::to_int_type(*gptr());
    }

    Bytes mHeader;
    Bytes mRow;
    uint64_t mAt = 0;  // the file offset of eback()
};

// Stops the decode once it has said what size it hands out.
class SizeOnly : public PictureRowSink
{
public:
    void begin(uint32_t w, uint32_t h, uint32_t c) override
    {
        width = w;
        height = h;
        channels = c;
        throw PictureDecodeError("size seen");
    }
    void rows(const uint8_t*, size_t, uint32_t) override {}

    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;
};

void putBe16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v >> 8);
    b[at + 1] = uint8_t(v);
}

}  // namespace

// A BMP of 16384 x 16384 decodes whole, its rows read a band at a time and reduced to 8192 x 8192 exactly
// (each 2 x 2 block is of one colour), the bottom row stored first turned the right way up.
TEST(LargestPicturesTest, ABmpAtTheSideLimitDecodesReduced)
{
    if (kUnderSanitizers)
    {
        GTEST_SKIP() << "768 MiB of rows take too long under the sanitizers";
    }
    GeneratedBmp file;
    PictureDecodeJob job(PictureFormat::Bmp, file);
    const PictureHeader& header = job.readHeader();
    EXPECT_EQ(header.width, kSide);
    EXPECT_EQ(header.height, kSide);
    DecodeRequest request;
    request.maxPixelSize = kReduced;
    const Bitmap picture = job.decode(request);
    ASSERT_EQ(picture.width, kReduced);
    ASSERT_EQ(picture.height, kReduced);
    ASSERT_EQ(picture.channels, 3u);
    size_t wrong = 0;
    for (uint32_t y = 0; y < kReduced; ++y)
    {
        const uint8_t* row = picture.row(y);
        for (uint32_t x = 0; x < kReduced; ++x)
        {
            uint8_t rgb[3];
            colourOf(x, y, rgb);
            wrong += row[x * 3] != rgb[0] || row[x * 3 + 1] != rgb[1] || row[x * 3 + 2] != rgb[2];
        }
    }
    EXPECT_EQ(wrong, 0u);
}

// A baseline JPEG of 16384 x 16384 (a small one's frame header claiming that size, the file made long
// enough for its blocks with APP segments) passes the header and is decoded at half the side, its
// scaled transform choosing the 8192 asked for.
TEST(LargestPicturesTest, AJpegAtTheSideLimitIsDecodedAtHalfItsSide)
{
    LibjpegLayout layout;
    Bytes jpeg = libjpegBytes(16, 16, layout, [](uint32_t, uint8_t* row) { std::fill(row, row + 48, uint8_t(90)); });
    size_t frame = 0;
    for (size_t i = 2; i + 9 < jpeg.size() && frame == 0; ++i)
    {
        frame = jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0 ? i : 0;
    }
    ASSERT_NE(frame, 0u);
    putBe16(jpeg, frame + 5, kSide);
    putBe16(jpeg, frame + 7, kSide);
    // 4:2:0 Huffman data needs a bit for each of its 6.3 million blocks: 786 KB.
    Bytes padded(jpeg.begin(), jpeg.begin() + 2);
    for (int i = 0; i < 13; ++i)
    {
        padded.insert(padded.end(), {0xFF, 0xE1, 0xFF, 0xFF});
        padded.insert(padded.end(), 65533, uint8_t('p'));
    }
    padded.insert(padded.end(), jpeg.begin() + 2, jpeg.end());
    MemoryReadBuffer file(padded.data(), padded.size());
    auto decoder = PictureStreamDecoder::create(PictureFormat::Jpeg, file);
    const PictureHeader header = decoder->readHeader();
    EXPECT_EQ(header.width, kSide);
    EXPECT_EQ(header.height, kSide);
    SizeOnly sink;
    EXPECT_THROW(decoder->decodeRows(kReduced, kReduced, sink), PictureDecodeError);
    EXPECT_EQ(sink.width, kReduced);
    EXPECT_EQ(sink.height, kReduced);
    EXPECT_EQ(sink.channels, 3u);
    // Without the padding the blocks cannot be in the file.
    MemoryReadBuffer bare(jpeg.data(), jpeg.size());
    EXPECT_THROW(PictureStreamDecoder::create(PictureFormat::Jpeg, bare)->readHeader(), PictureDecodeError);
}
