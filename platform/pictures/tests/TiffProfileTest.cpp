// A TIFF's colour profile: read from the first directory in either byte order, classic or BigTIFF, up to
// the profile cap; a larger one dropped without libtiff (or anyone) reading it, the picture still decoded;
// entries that are not a profile of bytes within the file left out.
#include "MemoryReadBuffer.h"
#include "PictureStreamDecoder.h"
#include "SmallIccProfile.h"

#include <gtest/gtest.h>

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using namespace pravix;

namespace
{

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kWidth = 8;
constexpr uint32_t kHeight = 4;

struct Layout
{
    bool bigEndian;
    bool bigTiff;
};

// One directory entry: its value's bytes as stored (encoded by the caller), or an offset of its own
// for a value said to lie elsewhere.
struct Entry
{
    uint16_t tag;
    uint16_t type;
    uint64_t count;
    Bytes value;
    std::optional<uint64_t> offset;
};

class TiffBuilder
{
public:
    explicit TiffBuilder(Layout layout) : mLayout(layout) {}

    Bytes number(uint64_t v, size_t size) const
    {
        Bytes b(size);
        for (size_t i = 0; i < size; ++i)
        {
            b[mLayout.bigEndian ? size - 1 - i : i] = uint8_t(v >> (8 * i));
        }
        return b;
    }

    Entry shortEntry(uint16_t tag, uint16_t v) const { return {tag, 3, 1, number(v, 2), std::nullopt}; }
    Entry longEntry(uint16_t tag, uint32_t v) const { return {tag, 4, 1, number(v, 4), std::nullopt}; }

    size_t headerSize() const { return mLayout.bigTiff ? 16 : 8; }

    // An 8 x 4 uncompressed RGB picture in one strip right after the header, then the directory (the
    // given entries among the picture's, in tag order), then the values that do not fit their entries,
    // then `tail`.
    Bytes file(std::vector<Entry> extra, const Bytes& tail = {}) const
    {
        std::vector<Entry> entries = {
            longEntry(256, kWidth), longEntry(257, kHeight), shortEntry(258, 8),
            shortEntry(259, 1),     shortEntry(262, 2),      longEntry(273, uint32_t(headerSize())),
            shortEntry(277, 3),     longEntry(278, kHeight), longEntry(279, kWidth * kHeight * 3)};
        entries.insert(entries.end(), extra.begin(), extra.end());
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        const bool big = mLayout.bigTiff;
        Bytes out = {uint8_t(mLayout.bigEndian ? 'M' : 'I'), uint8_t(mLayout.bigEndian ? 'M' : 'I')};
        append(out, number(big ? 43 : 42, 2));
        const Bytes pixels = pattern();
        const uint64_t directory = headerSize() + pixels.size();
        if (big)
        {
            append(out, number(8, 2));
            append(out, number(0, 2));
        }
        append(out, number(directory, big ? 8 : 4));
        append(out, pixels);
        const size_t entrySize = big ? 20 : 12;
        const size_t inlineSize = big ? 8 : 4;
        uint64_t valuesAt = directory + (big ? 8 : 2) + entries.size() * entrySize + inlineSize;
        Bytes values;
        append(out, number(entries.size(), big ? 8 : 2));
        for (const Entry& e : entries)
        {
            append(out, number(e.tag, 2));
            append(out, number(e.type, 2));
            append(out, number(e.count, big ? 8 : 4));
            if (e.offset)
            {
                append(out, number(*e.offset, inlineSize));
            }
            else if (e.value.size() <= inlineSize)
            {
                Bytes field = e.value;
                field.resize(inlineSize, 0);
                append(out, field);
            }
            else
            {
                append(out, number(valuesAt + values.size(), inlineSize));
                append(values, e.value);
                values.resize((values.size() + 1) & ~size_t(1), 0);
            }
        }
        append(out, number(0, inlineSize));
        append(out, values);
        append(out, tail);
        return out;
    }

    static Bytes pattern()
    {
        Bytes p;
        for (uint32_t y = 0; y < kHeight; ++y)
        {
            for (uint32_t x = 0; x < kWidth; ++x)
            {
                p.insert(p.end(), {uint8_t(x * 30), uint8_t(y * 60), uint8_t(x ^ y)});
            }
        }
        return p;
    }

private:
    static void append(Bytes& to, const Bytes& b) { to.insert(to.end(), b.begin(), b.end()); }

    Layout mLayout;
};

Entry profileEntry(const Bytes& profile, uint16_t type = 7)
{
    return {34675, type, profile.size(), profile, std::nullopt};
}

Bytes profileBytes(size_t size)
{
    Bytes p = testsupport::smallIccProfile();
    p.resize(size, 0);
    for (size_t i = 132; i < size; ++i)
    {
        p[i] = uint8_t(i * 11 + (i >> 10));
    }
    return p;
}

// Counts the bytes read through it.
class CountingBuffer : public MemoryReadBuffer
{
public:
    using MemoryReadBuffer::MemoryReadBuffer;
    uint64_t bytesRead = 0;

protected:
    std::streamsize xsgetn(char* into, std::streamsize count) override
    {
        const std::streamsize n = MemoryReadBuffer::xsgetn(into, count);
        bytesRead += static_cast<uint64_t>(std::max<std::streamsize>(n, 0));
        return n;
    }
};

class Rows : public PictureRowSink
{
public:
    void begin(uint32_t w, uint32_t, uint32_t channels) override
    {
        width = w;
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
    Bytes rgb;
};

struct Decoded
{
    std::string error;
    PictureHeader header;
    Bytes rgb;
    uint64_t bytesRead = 0;
};

Decoded decode(const Bytes& tiff)
{
    Decoded out;
    CountingBuffer file(tiff.data(), tiff.size());
    try
    {
        auto decoder = PictureStreamDecoder::create(PictureFormat::Tiff, file);
        out.header = decoder->readHeader();
        Rows rows;
        decoder->decodeRows(out.header.width, out.header.height, rows);
        out.rgb = rows.rgb;
    }
    catch (const PictureDecodeError& e)
    {
        out.error = e.what();
    }
    out.bytesRead = file.bytesRead;
    return out;
}

const std::vector<Layout> kLayouts = {{false, false}, {true, false}, {false, true}, {true, true}};

std::string nameOf(Layout l)
{
    return std::string(l.bigEndian ? "big-endian" : "little-endian") + (l.bigTiff ? " BigTIFF" : " classic");
}

}  // namespace

// In every byte order and directory size: a profile kept as stored, one of the cap's size too, one
// byte more dropped; the picture decoded each time.
TEST(TiffProfileTest, ProfilesUpToTheCapAreKeptInEveryLayout)
{
    for (const Layout layout : kLayouts)
    {
        SCOPED_TRACE(nameOf(layout));
        const TiffBuilder tiff(layout);
        const Decoded none = decode(tiff.file({}));
        ASSERT_EQ(none.error, "");
        EXPECT_EQ(none.rgb, TiffBuilder::pattern());
        EXPECT_TRUE(none.header.iccProfile.empty());
        for (const size_t size : {size_t(5000), kMaxColourProfileBytes, kMaxColourProfileBytes + 1})
        {
            SCOPED_TRACE(size);
            const Bytes profile = profileBytes(size);
            const Decoded d = decode(tiff.file({profileEntry(profile)}));
            ASSERT_EQ(d.error, "");
            EXPECT_EQ(d.rgb, TiffBuilder::pattern());
            EXPECT_EQ(d.header.iccProfile, size <= kMaxColourProfileBytes ? profile : Bytes());
        }
    }
}

// A profile over the cap is not read at all: the decode reads the header, the directory and the
// picture, a few hundred bytes, not the 64 MiB libtiff would otherwise read for it.
TEST(TiffProfileTest, AProfileOverTheCapIsNotRead)
{
    for (const Layout layout : {Layout{false, false}, Layout{true, true}})
    {
        SCOPED_TRACE(nameOf(layout));
        const Decoded d = decode(TiffBuilder(layout).file({profileEntry(Bytes(64 << 20, 0x5A))}));
        ASSERT_EQ(d.error, "");
        EXPECT_EQ(d.rgb, TiffBuilder::pattern());
        EXPECT_TRUE(d.header.iccProfile.empty());
        EXPECT_LT(d.bytesRead, 4096u);
        // One within the cap is read once, by the decoder.
        const Decoded kept = decode(TiffBuilder(layout).file({profileEntry(profileBytes(1 << 20))}));
        ASSERT_EQ(kept.error, "");
        EXPECT_EQ(kept.header.iccProfile.size(), 1u << 20);
        EXPECT_LT(kept.bytesRead, (1u << 20) + 4096);
    }
}

// Entries that are no profile of bytes within the file leave the picture decoded without one: another
// type, bytes past the file's end, a count running past it. A profile of four bytes or fewer lies in its
// entry, and the first of two entries is the one libtiff would take.
TEST(TiffProfileTest, EntriesThatAreNoProfileAreLeftOut)
{
    for (const Layout layout : kLayouts)
    {
        SCOPED_TRACE(nameOf(layout));
        const TiffBuilder tiff(layout);
        const Bytes profile = profileBytes(600);
        Bytes shorts;
        for (uint8_t v : profile)
        {
            const Bytes n = tiff.number(v, 2);
            shorts.insert(shorts.end(), n.begin(), n.end());
        }
        struct Case
        {
            const char* name;
            Entry entry;
            Bytes expected;
        };
        // With an entry more and 200 bytes after the directory: 100 bytes before the end lie in those.
        const Bytes tail(200, 0x77);
        const size_t size = tiff.file({{34675, 7, 600, {}, 0}}, tail).size();
        const std::vector<Case> cases = {
            {"of shorts", {34675, 3, profile.size(), shorts, std::nullopt}, {}},
            {"past the end", {34675, 7, 600, {}, size + 1000}, {}},
            {"running past the end", {34675, 7, 600, {}, size - 100}, {}},
            {"far past the end", {34675, 7, 600, {}, uint64_t(1) << 31}, {}},
            {"in its entry", profileEntry({1, 2, 3}), {1, 2, 3}},
            {"of bytes", profileEntry(profile, 1), profile},
        };
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            const Decoded d = decode(tiff.file({c.entry}, tail));
            ASSERT_EQ(d.error, "");
            EXPECT_EQ(d.rgb, TiffBuilder::pattern());
            EXPECT_EQ(d.header.iccProfile, c.expected);
        }
        const Bytes second = profileBytes(700);
        const Decoded twice = decode(tiff.file({profileEntry(profile), profileEntry(second)}));
        ASSERT_EQ(twice.error, "");
        EXPECT_EQ(twice.header.iccProfile, profile);
        const Decoded firstTooLarge =
            decode(tiff.file({profileEntry(profileBytes(kMaxColourProfileBytes + 1)), profileEntry(second)}));
        ASSERT_EQ(firstTooLarge.error, "");
        EXPECT_TRUE(firstTooLarge.header.iccProfile.empty());
        EXPECT_EQ(firstTooLarge.rgb, TiffBuilder::pattern());
    }
}

// A directory cut short or naming more entries than the file holds is left to libtiff, which refuses it.
TEST(TiffProfileTest, DirectoriesCutShortAreRefusedByLibtiff)
{
    const TiffBuilder tiff({false, false});
    Bytes file = tiff.file({profileEntry(profileBytes(600))});
    const size_t directory = tiff.headerSize() + TiffBuilder::pattern().size();
    file[directory] = 0xFF;
    file[directory + 1] = 0xFF;  // 65535 entries
    EXPECT_NE(decode(file).error.find("TIFF: "), std::string::npos);
    file.resize(directory + 1);
    EXPECT_NE(decode(file).error.find("TIFF: "), std::string::npos);
}

// The profile libtiff itself writes, in a file of its own making, big- and little-endian, classic and
// BigTIFF.
TEST(TiffProfileTest, ProfilesLibtiffWritesAreRead)
{
    const Bytes profile = profileBytes(70000);
    for (const char* mode : {"w", "wb", "w8", "wb8"})
    {
        SCOPED_TRACE(mode);
        char path[] = "/tmp/pravix-profile-tiff-XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        TIFF* tif = TIFFOpen(path, mode);
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.data());
        Bytes pixels = TiffBuilder::pattern();
        for (uint32_t y = 0; y < kHeight; ++y)
        {
            TIFFWriteScanline(tif, pixels.data() + y * kWidth * 3, y, 0);
        }
        TIFFClose(tif);
        std::ifstream in(path, std::ios::binary);
        const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::remove(path);
        const Decoded d = decode(bytes);
        ASSERT_EQ(d.error, "");
        EXPECT_EQ(d.rgb, pixels);
        EXPECT_EQ(d.header.iccProfile, profile);
    }
}
