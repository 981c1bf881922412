// The APP segments of a JPEG: the first Exif block and the colour profile's chunks are kept, every other
// APP1 and APP2 segment passed over, however many; the chunks make a profile exactly when libjpeg's own
// jpeg_read_icc_profile would make one of the same segments, up to the profile cap.
#include "LibjpegWriter.h"
#include "MemoryReadBuffer.h"
#include "PictureFiles.h"
#include "PictureStreamDecoder.h"
#include "SmallIccProfile.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <jpeglib.h>

using namespace pravix;
using namespace pravix::test;

namespace
{

using Bytes = std::vector<uint8_t>;

struct Segment
{
    uint8_t marker;  // 0xE1 APP1, 0xE2 APP2
    Bytes data;
};

// A 64 x 48 colour JPEG of a smooth pattern, progressive when asked.
Bytes pictureJpeg(bool progressive = false)
{
    LibjpegLayout layout;
    layout.progressive = progressive;
    return libjpegBytes(64, 48, layout,
                        [](uint32_t y, uint8_t* row)
                        {
                            for (uint32_t x = 0; x < 64; ++x)
                            {
                                row[x * 3] = uint8_t(x * 4);
                                row[x * 3 + 1] = uint8_t(y * 5);
                                row[x * 3 + 2] = uint8_t(x + y);
                            }
                        });
}

Bytes segmentBytes(const Segment& s)
{
    const size_t length = s.data.size() + 2;
    Bytes out = {0xFF, s.marker, uint8_t(length >> 8), uint8_t(length)};
    out.insert(out.end(), s.data.begin(), s.data.end());
    return out;
}

// The JPEG with the segments right after its start-of-image marker.
Bytes withSegments(const Bytes& jpeg, const std::vector<Segment>& segments)
{
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    for (const Segment& s : segments)
    {
        const Bytes b = segmentBytes(s);
        out.insert(out.end(), b.begin(), b.end());
    }
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// One chunk of a colour profile: "ICC_PROFILE", 0, its number, the count, its bytes.
Segment iccChunk(uint8_t number, uint8_t count, const Bytes& part)
{
    Bytes data = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, number, count};
    data.insert(data.end(), part.begin(), part.end());
    return {0xE2, data};
}

Bytes slice(const Bytes& b, size_t from, size_t count)
{
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// A profile-like run of bytes that no two parts share, so that misplaced parts show.
Bytes profileBytes(size_t size)
{
    Bytes p(size);
    for (size_t i = 0; i < size; ++i)
    {
        p[i] = uint8_t(i * 7 + (i >> 8) * 13 + (i >> 16));
    }
    return p;
}

// The profile split into `count` chunks, in order.
std::vector<Segment> chunksOf(const Bytes& profile, uint8_t count)
{
    std::vector<Segment> chunks;
    const size_t each = (profile.size() + count - 1) / count;
    for (uint8_t n = 1; n <= count; ++n)
    {
        const size_t from = std::min(profile.size(), (n - 1) * each);
        chunks.push_back(iccChunk(n, count, slice(profile, from, std::min(each, profile.size() - from))));
    }
    return chunks;
}

Segment otherApp1(size_t size, uint8_t fill)
{
    Bytes data = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd', 'o', 'b', 'e', '.', 'c', 'o', 'm', 0};
    data.resize(size, fill);
    return {0xE1, data};
}

Segment exifSegment(uint16_t orientation, const std::string& make)
{
    return {0xE1, testsupport::exifBlock(orientation, make)};
}

// Collects RGB rows.
class Rows : public PictureRowSink
{
public:
    void begin(uint32_t w, uint32_t h, uint32_t channels) override
    {
        width = w;
        height = h;
        ASSERT_EQ(channels, 3u);
    }
    void rows(const uint8_t* pixels, size_t stride, uint32_t count) override
    {
        for (uint32_t r = 0; r < count; ++r)
        {
            rgb.insert(rgb.end(), pixels + r * stride, pixels + r * stride + size_t(width) * 3);
        }
    }

    uint32_t width = 0;
    uint32_t height = 0;
    Bytes rgb;
};

struct Decoded
{
    std::string error;
    PictureHeader header;
    Rows picture;
};

Decoded decode(const Bytes& jpeg)
{
    Decoded out;
    MemoryReadBuffer file(jpeg.data(), jpeg.size());
    try
    {
        auto decoder = PictureStreamDecoder::create(PictureFormat::Jpeg, file);
        out.header = decoder->readHeader();
        decoder->decodeRows(out.header.width, out.header.height, out.picture);
    }
    catch (const PictureDecodeError& e)
    {
        out.error = e.what();
    }
    return out;
}

// What libjpeg itself makes of the file's APP2 segments: every segment saved, then jpeg_read_icc_profile.
struct LibjpegErrors
{
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

bool libjpegIccProfile(jpeg_decompress_struct* cinfo, const Bytes& jpeg, JOCTET** icc, unsigned int* length)
{
    auto* errors = reinterpret_cast<LibjpegErrors*>(cinfo->err);
    if (setjmp(errors->jump))
    {
        return false;
    }
    jpeg_mem_src(cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    return jpeg_read_icc_profile(cinfo, icc, length) != 0;
}

std::optional<Bytes> libjpegProfile(const Bytes& jpeg)
{
    jpeg_decompress_struct cinfo{};
    LibjpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<LibjpegErrors*>(c->err)->jump, 1); };
    errors.mgr.emit_message = [](j_common_ptr, int) {};
    jpeg_create_decompress(&cinfo);
    JOCTET* icc = nullptr;
    unsigned int length = 0;
    const bool found = libjpegIccProfile(&cinfo, jpeg, &icc, &length);
    std::optional<Bytes> profile;
    if (found && icc != nullptr)
    {
        profile = Bytes(icc, icc + length);
    }
    std::free(icc);
    jpeg_destroy_decompress(&cinfo);
    return profile;
}

}  // namespace

// Thousands of APP1 and APP2 segments of every size up to the largest, before and between the kept ones:
// the picture, the first Exif block (a second one is not it) and the profile come out as from the file
// without them.
TEST(JpegSegmentsTest, ManySegmentsArePassedOverAndTheKeptOnesStillFound)
{
    const Bytes jpeg = pictureJpeg();
    const Bytes profile = testsupport::smallIccProfile();
    const Segment exif = exifSegment(6, "First");
    const std::vector<Segment> chunks = chunksOf(profile, 3);
    std::vector<Segment> segments;
    for (size_t i = 0; i < 10000; ++i)
    {
        // Mostly small, some of the largest size a segment can have, which outgrow the decoder's input
        // buffer.
        const size_t size = i % 500 == 0 ? 65533 : 100 + i % 900;
        if (i % 3 == 0)
        {
            segments.push_back({0xE2, Bytes(size, uint8_t(i))});  // an APP2 that is not a profile
        }
        else
        {
            segments.push_back(otherApp1(size, uint8_t(i)));
        }
        if (i == 2000)
        {
            segments.push_back(chunks[1]);
        }
        if (i == 5000)
        {
            segments.push_back(exif);
            segments.push_back(chunks[0]);
        }
        if (i == 7000)
        {
            segments.push_back(exifSegment(3, "Second"));
        }
    }
    segments.push_back(chunks[2]);
    const Bytes many = withSegments(jpeg, segments);
    ASSERT_GT(many.size(), 6u << 20);

    const Decoded plain = decode(jpeg);
    ASSERT_EQ(plain.error, "");
    const Decoded d = decode(many);
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.header.width, 64u);
    EXPECT_EQ(d.header.height, 48u);
    EXPECT_EQ(d.picture.rgb, plain.picture.rgb);
    EXPECT_EQ(d.header.exifBlock, exif.data);
    EXPECT_EQ(d.header.orientation, 6u);
    EXPECT_EQ(d.header.iccProfile, profile);
    EXPECT_EQ(libjpegProfile(many), profile);
    // The frame size alone, as the Exif splice asks for it, past the same segments.
    EXPECT_EQ(readJpegSize(many.data(), many.size()), std::make_pair(64u, 48u));
}

// The Exif block is the first APP1 segment that begins with "Exif", 0, 0, whole; shorter or otherwise
// named APP1 segments are not it.
TEST(JpegSegmentsTest, TheFirstExifSegmentIsTheExifBlock)
{
    const Bytes jpeg = pictureJpeg();
    const Segment exif = exifSegment(8, "Maker");
    const Decoded d = decode(withSegments(jpeg, {{0xE1, {'E', 'x', 'i', 'f', 0}},
                                                 {0xE1, {'E', 'x', 'i', 'f', 1, 0, 'M', 'M'}},
                                                 otherApp1(300, 'x'),
                                                 {0xE2, exif.data},
                                                 {0xE1, {}},
                                                 exif,
                                                 exifSegment(1, "Later")}));
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.header.exifBlock, exif.data);
    EXPECT_EQ(d.header.orientation, 8u);
    // "Exif", 0, 0 and nothing else is still the block, without an orientation.
    const Decoded bare = decode(withSegments(jpeg, {{0xE1, {'E', 'x', 'i', 'f', 0, 0}}}));
    ASSERT_EQ(bare.error, "");
    EXPECT_EQ(bare.header.exifBlock, (Bytes{'E', 'x', 'i', 'f', 0, 0}));
    EXPECT_EQ(bare.header.orientation, 1u);
    const Decoded none = decode(withSegments(jpeg, {otherApp1(40, 'y'), {0xE2, exif.data}}));
    ASSERT_EQ(none.error, "");
    EXPECT_TRUE(none.header.exifBlock.empty());
    EXPECT_EQ(none.header.orientation, 1u);
}

// Chunks in order or not, missing, repeated, miscounted, misnumbered or empty: a profile exactly when
// libjpeg's jpeg_read_icc_profile makes one of the same segments, and the same bytes.
TEST(JpegSegmentsTest, ProfileChunksAreJoinedAsLibjpegJoinsThem)
{
    const Bytes jpeg = pictureJpeg();
    const Bytes profile = profileBytes(200000);
    const std::vector<Segment> four = chunksOf(profile, 4);
    const Bytes a = slice(profile, 0, 100);
    const Bytes b = slice(profile, 100, 50);
    struct Case
    {
        const char* name;
        std::vector<Segment> segments;
        std::optional<Bytes> expected;
    };
    const std::vector<Case> cases = {
        {"in order", four, profile},
        {"out of order", {four[2], four[0], four[3], four[1]}, profile},
        {"among other APP2 segments", {{0xE2, {'M', 'P', 'F', 0}}, four[3], four[1], four[0], four[2]}, profile},
        {"one chunk", {iccChunk(1, 1, a)}, a},
        {"one missing", {four[0], four[1], four[3]}, std::nullopt},
        {"one given twice", {four[0], four[1], four[2], four[3], four[1]}, std::nullopt},
        {"counts that differ", {iccChunk(1, 2, a), iccChunk(2, 3, b)}, std::nullopt},
        {"number 0", {iccChunk(0, 1, a)}, std::nullopt},
        {"number past the count", {iccChunk(1, 2, a), iccChunk(3, 2, b)}, std::nullopt},
        {"count 0", {iccChunk(1, 0, a)}, std::nullopt},
        {"every chunk empty", {iccChunk(1, 2, {}), iccChunk(2, 2, {})}, std::nullopt},
        {"an empty chunk among full ones",
         {iccChunk(2, 3, {}), iccChunk(1, 3, a), iccChunk(3, 3, b)},
         [&]
         {
             Bytes ab = a;
             ab.insert(ab.end(), b.begin(), b.end());
             return ab;
         }()},
        {"a signature too short to be a chunk",
         {{0xE2, {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1}}},
         std::nullopt},
        {"a signature of another case",
         {{0xE2, {'i', 'c', 'c', '_', 'p', 'r', 'o', 'f', 'i', 'l', 'e', 0, 1, 1, 9}}},
         std::nullopt},
        {"a broken set and then a whole one", {iccChunk(2, 1, a), iccChunk(1, 1, b)}, std::nullopt},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const Bytes file = withSegments(jpeg, c.segments);
        ASSERT_EQ(libjpegProfile(file), c.expected);
        const Decoded d = decode(file);
        ASSERT_EQ(d.error, "");
        EXPECT_EQ(d.header.iccProfile, c.expected.value_or(Bytes()));
        EXPECT_EQ(d.picture.rgb.size(), 64u * 48 * 3);
    }
}

// Chunks after the first scan's header (between the scans of a progressive file) are not part of the
// profile, as for libjpeg's reader after the header; a later Exif block is not the block either.
TEST(JpegSegmentsTest, SegmentsBetweenScansAreNotKept)
{
    const Bytes jpeg = pictureJpeg(true);
    const Bytes profile = profileBytes(3000);
    const std::vector<Segment> two = chunksOf(profile, 2);
    // Right after the first scan's data: before the second start-of-scan marker.
    size_t second = 0;
    for (size_t i = 2, scans = 0; i + 1 < jpeg.size(); ++i)
    {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA && ++scans == 2)
        {
            second = i;
            break;
        }
    }
    ASSERT_NE(second, 0u);
    auto inserted = [&](const Bytes& before, const std::vector<Segment>& between)
    {
        Bytes out = withSegments(jpeg, {});
        out.insert(out.begin() + 2, before.begin(), before.end());
        Bytes middle;
        for (const Segment& s : between)
        {
            const Bytes b = segmentBytes(s);
            middle.insert(middle.end(), b.begin(), b.end());
        }
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(second + before.size()), middle.begin(), middle.end());
        return out;
    };
    const Bytes split = inserted(segmentBytes(two[0]), {two[1], exifSegment(6, "Late")});
    EXPECT_EQ(libjpegProfile(split), std::nullopt);
    const Decoded d = decode(split);
    ASSERT_EQ(d.error, "");
    EXPECT_TRUE(d.header.iccProfile.empty());
    EXPECT_TRUE(d.header.exifBlock.empty());
    EXPECT_EQ(d.picture.rgb, decode(jpeg).picture.rgb);
    // Whole before the scans, it is the profile, whatever follows between them.
    Bytes before = segmentBytes(two[0]);
    const Bytes rest = segmentBytes(two[1]);
    before.insert(before.end(), rest.begin(), rest.end());
    const Decoded whole = decode(inserted(before, {iccChunk(1, 1, {1, 2, 3}), otherApp1(500, 'z')}));
    ASSERT_EQ(whole.error, "");
    EXPECT_EQ(whole.header.iccProfile, profile);
}

// A profile of the cap's size, in the most chunks the format allows, is kept; one byte more and it is
// dropped, the picture still decoded.
TEST(JpegSegmentsTest, ProfilesPastTheCapAreDropped)
{
    const Bytes jpeg = pictureJpeg();
    for (const size_t size : {kMaxColourProfileBytes, kMaxColourProfileBytes + 1})
    {
        SCOPED_TRACE(size);
        const Bytes profile = profileBytes(size);
        const uint8_t count = uint8_t((size + 65518) / 65519);
        std::vector<Segment> chunks = chunksOf(profile, count);
        // Out of order, so that the parts are placed rather than taken as they came.
        std::swap(chunks.front(), chunks.back());
        const Decoded d = decode(withSegments(jpeg, chunks));
        ASSERT_EQ(d.error, "");
        EXPECT_EQ(d.picture.rgb, decode(jpeg).picture.rgb);
        if (size <= kMaxColourProfileBytes)
        {
            EXPECT_EQ(d.header.iccProfile, profile);
        }
        else
        {
            EXPECT_TRUE(d.header.iccProfile.empty());
        }
    }
}

// A file ending inside a segment, kept or passed over, is refused as cut short.
TEST(JpegSegmentsTest, FilesEndingInsideASegmentAreRefused)
{
    const Bytes jpeg = pictureJpeg();
    const Bytes profile = profileBytes(5000);
    for (const Segment& s : {iccChunk(1, 1, profile), exifSegment(6, "Cut"), otherApp1(5000, 'c')})
    {
        const Bytes file = withSegments(jpeg, {s});
        const Bytes cut(file.begin(), file.begin() + 2 + 4 + static_cast<std::ptrdiff_t>(s.data.size() / 2));
        const Decoded d = decode(cut);
        EXPECT_NE(d.error.find("JPEG: "), std::string::npos) << d.error;
        EXPECT_FALSE(readJpegSize(cut.data(), cut.size()));
    }
}
