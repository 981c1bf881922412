// Large JPEGs encoded and decoded on all cores. The picture is cut into bands of whole MCU rows; each band
// is an independent libjpeg encode, and the bands' entropy-coded data are joined into one baseline JPEG
// with a restart marker between bands (the restart interval is one band), which any decoder reads.
// Decoding splits a JPEG with such row-aligned restart intervals back into bands that decode in parallel.
#include "ImageEncoders.h"
#include "MemoryReadBuffer.h"
#include "ParallelFor.h"
#include "PictureDecodeJob.h"
#include "PictureStreamDecoder.h"
#include "PngBandEncoder.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace pravix
{
namespace
{

constexpr uint64_t kParallelMinPixels = 1u << 20;  // below this one thread is quicker
constexpr uint32_t kMcuSize = 16;                  // 4:2:0 MCUs of our encoder

uint32_t be16(const uint8_t* p)
{
    return (uint32_t(p[0]) << 8) | p[1];
}

void putBe16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// Marker segments of a JPEG up to and including SOS, and where its entropy-coded data lie.
struct JpegLayout
{
    size_t sofOffset = 0;  // offset of the SOF0 marker
    size_t sosOffset = 0;  // offset of the SOS marker
    size_t dataBegin = 0;  // first byte after the SOS segment
    size_t dataEnd = 0;    // offset of the final EOI marker
    uint32_t restartInterval = 0;
    size_t driOffset = 0;
    bool hasDri = false;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t maxH = 1;
    uint32_t maxV = 1;
};

bool parseLayout(const uint8_t* d, size_t n, JpegLayout& out)
{
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8)
    {
        return false;
    }
    size_t pos = 2;
    bool sawSof = false;
    while (pos + 4 <= n)
    {
        if (d[pos] != 0xFF)
        {
            return false;
        }
        const uint8_t marker = d[pos + 1];
        const uint32_t length = be16(d + pos + 2);
        if (length < 2 || length > n - pos - 2)
        {
            return false;
        }
        if (marker == 0xC0)
        {
            if (length < 8)
            {
                return false;
            }
            out.sofOffset = pos;
            out.height = be16(d + pos + 5);
            out.width = be16(d + pos + 7);
            const uint32_t comps = d[pos + 9];
            if (length < 8 + 3 * comps)
            {
                return false;
            }
            for (uint32_t c = 0; c < comps; ++c)
            {
                const uint8_t sampling = d[pos + 11 + 3 * c];
                out.maxH = std::max<uint32_t>(out.maxH, sampling >> 4);
                out.maxV = std::max<uint32_t>(out.maxV, sampling & 15);
            }
            sawSof = true;
        }
        else if ((marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC))
        {
            return false;  // progressive, lossless or arithmetic: left to the plain decoder
        }
        else if (marker == 0xDD && length == 4)
        {
            out.hasDri = true;
            out.driOffset = pos;
            out.restartInterval = be16(d + pos + 4);
        }
        else if (marker == 0xDA)
        {
            out.sosOffset = pos;
            out.dataBegin = pos + 2 + length;
            if (n < out.dataBegin + 2 || d[n - 2] != 0xFF || d[n - 1] != 0xD9)
            {
                return false;
            }
            out.dataEnd = n - 2;
            return sawSof;
        }
        pos += 2 + length;
    }
    return false;
}

// The entropy-coded data of each restart interval (after the SOS segment and after each restart
// marker) of a JPEG whose intervals start at rows of the picture, with the rows each holds; empty when
// the intervals do not start at rows or their count does not cover the picture's height.
std::vector<std::pair<size_t, size_t>> rowIntervals(const uint8_t* data, const JpegLayout& layout,
                                                    uint32_t& rowsPerInterval)
{
    std::vector<std::pair<size_t, size_t>> intervals;
    if (!layout.hasDri || layout.restartInterval == 0)
    {
        return intervals;
    }
    const uint32_t mcusPerRow = (layout.width + 8 * layout.maxH - 1) / (8 * layout.maxH);
    if (mcusPerRow == 0 || layout.restartInterval % mcusPerRow != 0)
    {
        return intervals;
    }
    rowsPerInterval = layout.restartInterval / mcusPerRow * 8 * layout.maxV;
    size_t begin = layout.dataBegin;
    for (size_t p = layout.dataBegin; p + 1 < layout.dataEnd; ++p)
    {
        if (data[p] == 0xFF && data[p + 1] >= 0xD0 && data[p + 1] <= 0xD7)
        {
            intervals.emplace_back(begin, p);
            begin = p + 2;
            ++p;
        }
    }
    intervals.emplace_back(begin, layout.dataEnd);
    if (intervals.size() != (static_cast<uint64_t>(layout.height) + rowsPerInterval - 1) / rowsPerInterval)
    {
        intervals.clear();
    }
    return intervals;
}

}  // namespace

std::vector<uint8_t> encodeJpegParallel(const Bitmap& image, int quality)
{
    const uint64_t pixels = static_cast<uint64_t>(image.width) * image.height;
    const uint32_t mcuRows = (image.height + kMcuSize - 1) / kMcuSize;
    const uint32_t mcusPerRow = (image.width + kMcuSize - 1) / kMcuSize;
    const unsigned cores = workerCount();
    if (pixels < kParallelMinPixels || cores < 2 || mcuRows < 2)
    {
        return encodeJpeg(image, quality);
    }
    uint32_t bands = std::min<uint32_t>(cores, mcuRows);
    uint32_t rowsPerBand = (mcuRows + bands - 1) / bands;
    if (static_cast<uint64_t>(rowsPerBand) * mcusPerRow > 0xFFFF)
    {
        return encodeJpeg(image, quality);  // the restart interval would not fit its 16-bit field
    }
    bands = (mcuRows + rowsPerBand - 1) / rowsPerBand;
    std::vector<std::vector<uint8_t>> encoded(bands);
    auto work = [&](uint32_t b)
    {
        static const std::vector<uint8_t> kNoProfile;
        const uint32_t top = b * rowsPerBand * kMcuSize;
        const uint32_t height = std::min(image.height - top, rowsPerBand * kMcuSize);
        encoded[b] = encodeJpegRows(image.row(top), image.stride(), image.width, height, image.channels,
                                    b == 0 ? image.iccProfile : kNoProfile, quality);
    };
    parallelFor(bands, 1,
                [&](size_t begin, size_t end)
                {
                    for (size_t b = begin; b < end; ++b)
                    {
                        work(static_cast<uint32_t>(b));
                    }
                });
    std::vector<JpegLayout> layouts(bands);
    size_t total = 0;
    for (uint32_t b = 0; b < bands; ++b)
    {
        if (encoded[b].empty() || !parseLayout(encoded[b].data(), encoded[b].size(), layouts[b]))
        {
            return {};
        }
        total += encoded[b].size();
    }
    // Band 0's headers with the full height and a restart interval of one band, then every band's data.
    const std::vector<uint8_t>& first = encoded[0];
    std::vector<uint8_t> out;
    out.reserve(total + 16 + bands * 2);
    out.insert(out.end(), first.begin(), first.begin() + static_cast<std::ptrdiff_t>(layouts[0].sosOffset));
    putBe16(&out[layouts[0].sofOffset + 5], image.height);
    const uint8_t dri[6] = {0xFF,
                            0xDD,
                            0,
                            4,
                            static_cast<uint8_t>((rowsPerBand * mcusPerRow) >> 8),
                            static_cast<uint8_t>(rowsPerBand * mcusPerRow)};
    out.insert(out.end(), dri, dri + 6);
    out.insert(out.end(), first.begin() + static_cast<std::ptrdiff_t>(layouts[0].sosOffset),
               first.begin() + static_cast<std::ptrdiff_t>(layouts[0].dataBegin));
    for (uint32_t b = 0; b < bands; ++b)
    {
        if (b > 0)
        {
            out.push_back(0xFF);
            out.push_back(static_cast<uint8_t>(0xD0 + ((b - 1) & 7)));
        }
        out.insert(out.end(), encoded[b].begin() + static_cast<std::ptrdiff_t>(layouts[b].dataBegin),
                   encoded[b].begin() + static_cast<std::ptrdiff_t>(layouts[b].dataEnd));
        encoded[b] = {};
    }
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

namespace
{

// The picture of a JPEG this program wrote itself, through the JPEG stream decoder, whole, as stored.
std::optional<Bitmap> decodeWhole(const uint8_t* data, size_t size)
{
    try
    {
        MemoryReadBuffer bytes(data, size);
        PictureDecodeJob job(PictureFormat::Jpeg, bytes);
        Bitmap image = job.decode(DecodeRequest{});
        image.iccProfile = job.readHeader().iccProfile;
        return image;
    }
    catch (const std::exception&)
    {
        return std::nullopt;
    }
}

}  // namespace

std::optional<Bitmap> decodeJpegParallel(const uint8_t* data, size_t size)
{
    if (data == nullptr || size == 0)
    {
        return std::nullopt;
    }
    // The stream decoder's header checks (size limits, blocks the data cannot hold) come first, whichever
    // way the picture is then decoded.
    PictureHeader header;
    try
    {
        MemoryReadBuffer bytes(data, size);
        header = makeJpegStreamDecoder(bytes)->readHeader();
    }
    catch (const std::exception&)
    {
        return std::nullopt;
    }
    JpegLayout layout;
    const unsigned cores = workerCount();
    if (cores < 2 || !parseLayout(data, size, layout) || layout.width != header.width ||
        layout.height != header.height || !layout.hasDri || layout.restartInterval == 0 ||
        static_cast<uint64_t>(layout.width) * layout.height < kParallelMinPixels ||
        !bitmapSizeAllowed(layout.width, layout.height))
    {
        return decodeWhole(data, size);
    }
    uint32_t rowsPerInterval = 0;
    const std::vector<std::pair<size_t, size_t>> intervals = rowIntervals(data, layout, rowsPerInterval);
    if (intervals.size() < 2)
    {
        return decodeWhole(data, size);  // intervals do not start at row starts, or only one
    }
    Bitmap out;
    if (!out.allocate(layout.width, layout.height, 3))
    {
        return std::nullopt;
    }
    const uint32_t groups = std::min<uint32_t>(cores, static_cast<uint32_t>(intervals.size()));
    const uint32_t perGroup = static_cast<uint32_t>((intervals.size() + groups - 1) / groups);
    std::vector<char> ok(groups, 0);
    auto work = [&](uint32_t g)
    {
        const size_t first = static_cast<size_t>(g) * perGroup;
        const size_t last = std::min(intervals.size(), first + perGroup);
        if (first >= last)
        {
            ok[g] = 1;
            return;
        }
        const uint32_t top = static_cast<uint32_t>(first) * rowsPerInterval;
        const uint32_t height =
            std::min<uint32_t>(layout.height - top, static_cast<uint32_t>(last - first) * rowsPerInterval);
        std::vector<uint8_t> part(data, data + layout.dataBegin);
        putBe16(&part[layout.sofOffset + 5], height);
        for (size_t i = first; i < last; ++i)
        {
            if (i > first)
            {
                part.push_back(0xFF);
                part.push_back(static_cast<uint8_t>(0xD0 + ((i - first - 1) & 7)));
            }
            part.insert(part.end(), data + intervals[i].first, data + intervals[i].second);
        }
        part.push_back(0xFF);
        part.push_back(0xD9);
        if (decodeJpegInto(part.data(), part.size(), out.row(top), out.stride(), out.width, height))
        {
            ok[g] = 1;
        }
    };
    parallelFor(groups, 1,
                [&](size_t begin, size_t end)
                {
                    for (size_t g = begin; g < end; ++g)
                    {
                        work(static_cast<uint32_t>(g));
                    }
                });
    if (std::find(ok.begin(), ok.end(), 0) != ok.end())
    {
        return std::nullopt;
    }
    // The profile sits in the header all bands share.
    out.iccProfile = std::move(header.iccProfile);
    return out;
}

}  // namespace pravix

namespace pravix
{

std::vector<uint8_t> encodePngFromJpeg(const uint8_t* data, size_t size)
{
    if (data == nullptr || size == 0)
    {
        return {};
    }
    // The parts decoded apart: each restart interval of a banded JPEG whose intervals start at rows, else
    // the whole file as one part.
    JpegLayout layout;
    std::vector<std::pair<size_t, size_t>> intervals;
    uint32_t rowsPerInterval = 0;
    if (parseLayout(data, size, layout))
    {
        intervals = rowIntervals(data, layout, rowsPerInterval);
    }
    const size_t parts = std::max<size_t>(1, intervals.size());
    std::vector<PngBand> bands(parts);
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> iccProfile;
    try
    {
        parallelFor(parts, 1,
                    [&](size_t begin, size_t end)
                    {
                        for (size_t i = begin; i < end; ++i)
                        {
                            std::vector<uint8_t> part;
                            if (!intervals.empty())
                            {
                                const uint32_t rows =
                                    std::min<uint32_t>(rowsPerInterval, layout.height - static_cast<uint32_t>(i) *
                                                                                            rowsPerInterval);
                                part.assign(data, data + layout.dataBegin);
                                putBe16(&part[layout.sofOffset + 5], rows);
                                part.insert(part.end(), data + intervals[i].first, data + intervals[i].second);
                                part.push_back(0xFF);
                                part.push_back(0xD9);
                            }
                            MemoryReadBuffer file(part.empty() ? data : part.data(), part.empty() ? size : part.size());
                            const std::unique_ptr<PictureStreamDecoder> decoder = makeJpegStreamDecoder(file);
                            const PictureHeader header = decoder->readHeader();
                            if (i == 0)
                            {
                                width = header.width;
                                height = intervals.empty() ? header.height : layout.height;
                                iccProfile = header.iccProfile;
                            }
                            // Only the first part starts at the picture's top; the others' row above is
                            // being decoded elsewhere.
                            PngBandEncoder encoder(header.width, 3, nullptr, i == 0);
                            decoder->decodeRows(header.width, header.height, encoder);
                            bands[i] = encoder.finish(i + 1 == parts);
                        }
                    });
        return joinPngBands(width, height, 3, iccProfile, bands);
    }
    catch (const std::exception&)
    {
        return {};
    }
}

}  // namespace pravix
