#include "PngBandEncoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <zlib.h>

namespace pravix
{
namespace
{

// Level 3 keeps most of the size gain of the default level at a fraction of its time on photos.
constexpr int kLevel = 3;
constexpr size_t kOutputStep = 64 * 1024;
constexpr size_t kMaxChunk = size_t(1) << 20;

uint8_t paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : (pb <= pc ? b : c));
}

void putBe32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void putChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size)
{
    putBe32(out, static_cast<uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0)
    {
        out.insert(out.end(), data, data + size);
    }
    putBe32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

uint32_t be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

struct PngBandEncoder::Stream
{
    z_stream z{};
    bool open = false;
};

PngBandEncoder::PngBandEncoder(uint32_t width, uint32_t channels, const uint8_t* previous, bool previousKnown)
    : mWidth(width), mChannels(channels), mRowBytes(static_cast<size_t>(width) * channels), mPrevious(mRowBytes, 0),
      mPreviousKnown(previous != nullptr || previousKnown), mCandidates(5 * (mRowBytes + 1)),
      mStream(std::make_unique<Stream>())
{
    if (previous != nullptr)
    {
        std::memcpy(mPrevious.data(), previous, mRowBytes);
    }
    // Raw deflate: the bands are joined under one zlib header and checksum.
    if (deflateInit2(&mStream->z, kLevel, Z_DEFLATED, -15, 8, Z_FILTERED) != Z_OK)
    {
        throw std::bad_alloc();
    }
    mStream->open = true;
}

PngBandEncoder::~PngBandEncoder()
{
    if (mStream->open)
    {
        deflateEnd(&mStream->z);
    }
}

void PngBandEncoder::addRow(const uint8_t* row)
{
    const size_t n = mRowBytes;
    const size_t bpp = mChannels;
    const uint8_t* up = mPrevious.data();
    uint8_t* out[5];
    for (int f = 0; f < 5; ++f)
    {
        out[f] = mCandidates.data() + f * (n + 1);
        out[f][0] = static_cast<uint8_t>(f);
    }
    for (size_t i = 0; i < n; ++i)
    {
        const int a = i >= bpp ? row[i - bpp] : 0;
        const int b = up[i];
        const int c = i >= bpp ? up[i - bpp] : 0;
        out[0][i + 1] = row[i];
        out[1][i + 1] = static_cast<uint8_t>(row[i] - a);
        out[2][i + 1] = static_cast<uint8_t>(row[i] - b);
        out[3][i + 1] = static_cast<uint8_t>(row[i] - ((a + b) >> 1));
        out[4][i + 1] = static_cast<uint8_t>(row[i] - paeth(a, b, c));
    }
    // Without the row above only None and Sub are open to the first row.
    const int filters = mPreviousKnown ? 5 : 2;
    int best = 0;
    uint64_t bestSum = UINT64_MAX;
    for (int f = 0; f < filters; ++f)
    {
        uint64_t sum = 0;
        for (size_t i = 1; i <= n; ++i)
        {
            sum += static_cast<uint64_t>(std::abs(static_cast<int8_t>(out[f][i])));
        }
        if (sum < bestSum)
        {
            bestSum = sum;
            best = f;
        }
    }
    mBand.adler = static_cast<uint32_t>(adler32(mBand.adler, out[best], static_cast<uInt>(n + 1)));
    mBand.length += n + 1;
    deflateOut(out[best], n + 1, Z_NO_FLUSH);
    std::memcpy(mPrevious.data(), row, n);
    mPreviousKnown = true;
}

void PngBandEncoder::deflateOut(const uint8_t* data, size_t size, int flush)
{
    z_stream& z = mStream->z;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    std::vector<uint8_t>& out = mBand.deflated;
    do
    {
        if (out.capacity() - out.size() < kOutputStep)
        {
            out.reserve(out.capacity() + std::max(kOutputStep, out.capacity() / 2));
        }
        const size_t before = out.size();
        const size_t room = out.capacity() - before;
        out.resize(out.capacity());
        z.next_out = out.data() + before;
        z.avail_out = static_cast<uInt>(room);
        const int result = deflate(&z, flush);
        out.resize(before + (room - z.avail_out));
        if (result == Z_STREAM_ERROR)
        {
            throw std::runtime_error("PNG: compression failed");
        }
        if (flush == Z_FINISH ? result == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0))
        {
            break;
        }
    } while (true);
}

PngBand PngBandEncoder::finish(bool last)
{
    deflateOut(nullptr, 0, last ? Z_FINISH : Z_SYNC_FLUSH);
    return std::move(mBand);
}

void PngBandEncoder::begin(uint32_t width, uint32_t, uint32_t channels)
{
    if (width != mWidth || channels != mChannels)
    {
        throw std::runtime_error("PNG: rows of another width");
    }
}

void PngBandEncoder::rows(const uint8_t* pixels, size_t stride, uint32_t count)
{
    for (uint32_t r = 0; r < count; ++r)
    {
        addRow(pixels + r * stride);
    }
}

std::vector<uint8_t> joinPngBands(uint32_t width, uint32_t height, uint32_t channels,
                                  const std::vector<uint8_t>& iccProfile, std::vector<PngBand>& bands)
{
    if (bands.empty() || width == 0 || height == 0 || (channels != 3 && channels != 4))
    {
        return {};
    }
    size_t total = 0;
    for (const PngBand& band : bands)
    {
        total += band.deflated.size();
    }
    std::vector<uint8_t> out;
    out.reserve(total + total / kMaxChunk * 12 + iccProfile.size() + 256);
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.insert(out.end(), kSignature, kSignature + 8);
    std::vector<uint8_t> ihdr;
    putBe32(ihdr, width);
    putBe32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, static_cast<uint8_t>(channels == 4 ? 6 : 2), 0, 0, 0});
    putChunk(out, "IHDR", ihdr.data(), ihdr.size());
    // A profile whose header is not an ICC profile's is left out rather than written.
    if (iccProfile.size() >= 132 && be32(iccProfile.data()) == iccProfile.size() &&
        std::memcmp(&iccProfile[36], "acsp", 4) == 0)
    {
        static const char kName[] = "ICC Profile";
        std::vector<uint8_t> iccp(kName, kName + sizeof kName);  // with its terminating zero
        iccp.push_back(0);                                       // deflate
        uLongf size = compressBound(static_cast<uLong>(iccProfile.size()));
        const size_t at = iccp.size();
        iccp.resize(at + size);
        if (compress2(iccp.data() + at, &size, iccProfile.data(), static_cast<uLong>(iccProfile.size()), 9) == Z_OK)
        {
            iccp.resize(at + size);
            putChunk(out, "iCCP", iccp.data(), iccp.size());
        }
    }
    // One zlib stream: header, the bands' data in order, the Adler-32 of all of it.
    std::vector<uint8_t> pending = {0x78, 0x5E};
    uint32_t adler = 1;
    for (size_t b = 0; b < bands.size(); ++b)
    {
        PngBand& band = bands[b];
        adler = static_cast<uint32_t>(adler32_combine(adler, band.adler, static_cast<z_off_t>(band.length)));
        size_t from = 0;
        while (from < band.deflated.size() || (b + 1 == bands.size() && !pending.empty()))
        {
            const size_t take = std::min(kMaxChunk - pending.size(), band.deflated.size() - from);
            pending.insert(pending.end(), band.deflated.begin() + from, band.deflated.begin() + from + take);
            from += take;
            if (b + 1 == bands.size() && from == band.deflated.size())
            {
                putBe32(pending, adler);
            }
            if (pending.size() >= kMaxChunk || from == band.deflated.size())
            {
                putChunk(out, "IDAT", pending.data(), pending.size());
                pending.clear();
            }
        }
        band.deflated = {};
    }
    putChunk(out, "IEND", nullptr, 0);
    return out;
}

}  // namespace pravix
