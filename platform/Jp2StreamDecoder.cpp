// JPEG 2000 (.jp2 files and bare codestreams) through OpenJPEG, read from the file as it asks for it. The
// codestream's size and tiling are read from its SIZ marker before OpenJPEG sees it, since OpenJPEG sets
// up every tile while it reads the header. OpenJPEG holds every sample of the picture as a 32-bit number
// while it decodes, so a picture is decoded at the lowest resolution level that still gives the size
// asked for, and at a lower one when its samples would exceed the codec memory budget.
#include "OpenJpegHandles.h"
#include "ParallelFor.h"
#include "PictureDecoding.h"
#include "PictureStreamDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <openjpeg.h>

namespace pravix
{
namespace
{

constexpr uint32_t kBandRows = 32;
// A tile costs OpenJPEG several kilobytes of bookkeeping before a byte of it is decoded.
constexpr uint64_t kMaxTiles = 4096;
constexpr int kMaxBoxes = 1024;

struct Jp2Stream
{
    std::streambuf* file = nullptr;
    uint64_t size = 0;
    std::string error;
};

OPJ_SIZE_T readData(void* into, OPJ_SIZE_T count, void* user)
{
    auto* s = static_cast<Jp2Stream*>(user);
    const size_t n = stream::read(*s->file, into, count);
    return n == 0 ? static_cast<OPJ_SIZE_T>(-1) : n;
}

OPJ_OFF_T skipData(OPJ_OFF_T count, void* user)
{
    auto* s = static_cast<Jp2Stream*>(user);
    const std::streamoff here = s->file->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    if (here < 0)
    {
        return -1;
    }
    const int64_t at = here;
    const int64_t size = static_cast<int64_t>(s->size);
    // Clamped to the file without adding what may overflow.
    const int64_t target = count < -at ? 0 : (count > size - at ? size : at + count);
    return stream::seek(*s->file, static_cast<uint64_t>(target)) ? target - at : -1;
}

OPJ_BOOL seekData(OPJ_OFF_T position, void* user)
{
    auto* s = static_cast<Jp2Stream*>(user);
    return position >= 0 && static_cast<uint64_t>(position) <= s->size &&
                   stream::seek(*s->file, static_cast<uint64_t>(position))
               ? OPJ_TRUE
               : OPJ_FALSE;
}

void onError(const char* text, void* user)
{
    auto* s = static_cast<Jp2Stream*>(user);
    if (s->error.empty() && text != nullptr)
    {
        s->error = text;
        while (!s->error.empty() && s->error.back() == '\n')
        {
            s->error.pop_back();
        }
    }
}

void quiet(const char*, void*) {}

uint32_t be16(const uint8_t* p)
{
    return (uint32_t(p[0]) << 8) | p[1];
}

uint32_t be32(const uint8_t* p)
{
    return (be16(p) << 16) | be16(p + 2);
}

struct InfoDestroy
{
    void operator()(opj_codestream_info_v2_t* i) const { opj_destroy_cstr_info(&i); }
};

uint32_t reducedSide(uint32_t side, uint32_t level)
{
    return static_cast<uint32_t>((uint64_t(side) + (uint64_t(1) << level) - 1) >> level);
}

class Jp2StreamDecoder : public PictureStreamDecoder
{
public:
    explicit Jp2StreamDecoder(std::streambuf& file) : mStream(std::make_unique<Jp2Stream>())
    {
        mStream->file = &file;
        mStream->size = stream::size(file);
    }

    PictureHeader readHeader() override
    {
        const bool bare = checkCodestreamHeader();
        std::vector<uint8_t> profile = bare ? std::vector<uint8_t>() : readIccProfile();
        stream::seek(*mStream->file, 0);
        mCodec.reset(opj_create_decompress(bare ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
        if (!mCodec)
        {
            throw PictureDecodeError("JPEG 2000: out of memory");
        }
        opj_set_info_handler(mCodec.get(), quiet, nullptr);
        opj_set_warning_handler(mCodec.get(), quiet, nullptr);
        opj_set_error_handler(mCodec.get(), onError, mStream.get());
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        if (!opj_setup_decoder(mCodec.get(), &parameters) || !opj_decoder_set_strict_mode(mCodec.get(), OPJ_TRUE))
        {
            fail("cannot be set up");
        }
        mOpjStream.reset(opj_stream_create(64 * 1024, OPJ_TRUE));
        if (!mOpjStream)
        {
            throw PictureDecodeError("JPEG 2000: out of memory");
        }
        opj_stream_set_user_data(mOpjStream.get(), mStream.get(), nullptr);
        opj_stream_set_user_data_length(mOpjStream.get(), mStream->size);
        opj_stream_set_read_function(mOpjStream.get(), readData);
        opj_stream_set_skip_function(mOpjStream.get(), skipData);
        opj_stream_set_seek_function(mOpjStream.get(), seekData);
        opj_image_t* raw = nullptr;
        if (!opj_read_header(mOpjStream.get(), mCodec.get(), &raw))
        {
            opj_image_destroy(raw);
            fail("header cannot be read");
        }
        mImage.reset(raw);
        const opj_image_t& image = *mImage;
        if (image.x1 <= image.x0 || image.y1 <= image.y0 || image.numcomps == 0 || image.numcomps > 4)
        {
            fail("unsupported picture layout");
        }
        PictureHeader header;
        header.width = image.x1 - image.x0;
        header.height = image.y1 - image.y0;
        checkDecodableSize(header.width, header.height);
        for (uint32_t c = 0; c < image.numcomps; ++c)
        {
            const opj_image_comp_t& comp = image.comps[c];
            if (comp.dx != 1 || comp.dy != 1 || comp.prec == 0 || comp.prec > 16)
            {
                fail("subsampled or unsupported components");
            }
        }
        std::unique_ptr<opj_codestream_info_v2_t, InfoDestroy> info(opj_get_cstr_info(mCodec.get()));
        if (!info || info->m_default_tile_info.tccp_info == nullptr)
        {
            fail("no coding parameters");
        }
        mLevels = 32;
        for (uint32_t c = 0; c < info->nbcomps; ++c)
        {
            mLevels = std::min(mLevels, info->m_default_tile_info.tccp_info[c].numresolutions);
        }
        if (mLevels == 0)
        {
            fail("no resolution levels");
        }
        if (image.icc_profile_buf != nullptr && image.icc_profile_len > 0)
        {
            header.iccProfile.assign(image.icc_profile_buf, image.icc_profile_buf + image.icc_profile_len);
        }
        else
        {
            // OpenJPEG hands a .jp2 file's profile out only with the decoded picture.
            header.iccProfile = std::move(profile);
        }
        mWidth = header.width;
        mHeight = header.height;
        return header;
    }

    void decodeRows(uint32_t minWidth, uint32_t minHeight, PictureRowSink& sink) override
    {
        const uint32_t comps = mImage->numcomps;
        // The lowest level that still gives the size asked for, lower while the samples exceed the budget.
        uint32_t level = 0;
        while (level + 1 < mLevels && reducedSide(mWidth, level + 1) >= minWidth &&
               reducedSide(mHeight, level + 1) >= minHeight)
        {
            ++level;
        }
        auto sampleBytes = [&](uint32_t l)
        { return uint64_t(reducedSide(mWidth, l)) * reducedSide(mHeight, l) * comps * sizeof(OPJ_INT32); };
        while (sampleBytes(level) > kDecoderMemoryBudget && level + 1 < mLevels)
        {
            ++level;
        }
        if (sampleBytes(level) > kDecoderMemoryBudget)
        {
            fail("picture too large to decode");
        }
        opj_codec_set_threads(mCodec.get(), static_cast<int>(workerCount()));
        if (!opj_set_decoded_resolution_factor(mCodec.get(), level) ||
            !opj_decode(mCodec.get(), mOpjStream.get(), mImage.get()) ||
            !opj_end_decompress(mCodec.get(), mOpjStream.get()))
        {
            fail("cannot be decoded");
        }
        const opj_image_comp_t* comp = mImage->comps;
        const uint32_t width = comp[0].w;
        const uint32_t height = comp[0].h;
        for (uint32_t c = 0; c < comps; ++c)
        {
            if (comp[c].data == nullptr || comp[c].w != width || comp[c].h != height || width == 0 || height == 0)
            {
                fail("components of different sizes");
            }
        }
        // Grey, grey and alpha, RGB, RGB and alpha.
        const bool alpha = comps == 2 || comps == 4;
        const uint32_t stored = alpha ? comps : 3;
        const uint32_t channels = alpha && mKeepAlpha ? 4 : 3;
        std::vector<uint8_t> band(static_cast<size_t>(width) * stored * kBandRows);
        const size_t stride = static_cast<size_t>(width) * channels;
        std::vector<uint8_t> out(stride * kBandRows);
        sink.begin(width, height, channels);
        for (uint32_t y = 0; y < height; y += kBandRows)
        {
            const uint32_t count = std::min(kBandRows, height - y);
            for (uint32_t r = 0; r < count; ++r)
            {
                const size_t first = static_cast<size_t>(y + r) * width;
                uint8_t* row =
                    (alpha ? band.data() + static_cast<size_t>(r) * width * stored : out.data() + r * stride);
                for (uint32_t x = 0; x < width; ++x)
                {
                    for (uint32_t c = 0; c < stored; ++c)
                    {
                        const uint32_t from = comps == 1 ? 0 : c;
                        row[x * stored + c] = sample(comp[from], first + x);
                    }
                }
                if (!alpha)
                {
                    continue;
                }
                if (channels == 3)
                {
                    flattenOverBlack(row, stored, width, out.data() + r * stride);
                }
                else if (stored == 2)
                {
                    widenGreyAlpha(row, width, out.data() + r * stride);
                }
                else
                {
                    std::copy(row, row + stride, out.data() + r * stride);
                }
            }
            sink.rows(out.data(), stride, count);
        }
    }

private:
    [[noreturn]] void fail(const char* what) const
    {
        throw PictureDecodeError("JPEG 2000: " + (mStream->error.empty() ? std::string(what) : mStream->error));
    }

    static uint8_t sample(const opj_image_comp_t& comp, size_t at)
    {
        int v = comp.data[at];
        if (comp.sgnd)
        {
            v += 1 << (comp.prec - 1);
        }
        v = comp.prec > 8 ? v >> (comp.prec - 8) : v << (8 - comp.prec);
        return static_cast<uint8_t>(std::clamp(v, 0, 255));
    }

    // The ICC profile of a .jp2 file's colour specification box (method 2 or 3) in its header box; empty
    // when there is none. Every box length is checked against the box around it.
    std::vector<uint8_t> readIccProfile() const
    {
        std::streambuf& file = *mStream->file;
        // Boxes of [begin, end): the top level, then the header box's children.
        auto find = [&](uint64_t begin, uint64_t end, const char* type, uint64_t& body, uint64_t& bodyEnd)
        {
            for (int box = 0; box < kMaxBoxes && begin + 8 <= end; ++box)
            {
                uint8_t head[8];
                if (!stream::seek(file, begin) || stream::read(file, head, 8) != 8)
                {
                    return false;
                }
                uint64_t length = be32(head);
                uint64_t headerLength = 8;
                if (length == 1)
                {
                    uint8_t wide[8];
                    if (begin + 16 > end || stream::read(file, wide, 8) != 8)
                    {
                        return false;
                    }
                    length = (uint64_t(be32(wide)) << 32) | be32(wide + 4);
                    headerLength = 16;
                }
                else if (length == 0)
                {
                    length = end - begin;
                }
                if (length < headerLength || length > end - begin)
                {
                    return false;
                }
                if (std::memcmp(head + 4, type, 4) == 0)
                {
                    body = begin + headerLength;
                    bodyEnd = begin + length;
                    return true;
                }
                begin += length;
            }
            return false;
        };
        uint64_t header = 0, headerEnd = 0, colour = 0, colourEnd = 0;
        if (!find(0, mStream->size, "jp2h", header, headerEnd) || !find(header, headerEnd, "colr", colour, colourEnd))
        {
            return {};
        }
        uint8_t method[3];
        // A profile is never larger than the budget for a codec's own memory, and never larger than its box.
        const uint64_t length = colourEnd - colour;
        if (length <= 3 || length - 3 > kDecoderMemoryBudget || !stream::seek(file, colour) ||
            stream::read(file, method, 3) != 3 || (method[0] != 2 && method[0] != 3))
        {
            return {};
        }
        std::vector<uint8_t> profile(static_cast<size_t>(length - 3));
        return stream::read(file, profile.data(), profile.size()) == profile.size() ? profile : std::vector<uint8_t>();
    }

    // Finds the codestream (the file itself, or the contiguous codestream box of a .jp2) and checks its
    // SIZ marker: the picture's size and the number of tiles. Answers whether the file is a bare codestream.
    bool checkCodestreamHeader()
    {
        std::streambuf& file = *mStream->file;
        uint8_t head[12] = {};
        if (!stream::seek(file, 0) || stream::read(file, head, 4) != 4)
        {
            throw PictureDecodeError("JPEG 2000: file cut short");
        }
        const bool bare = head[0] == 0xFF && head[1] == 0x4F;
        uint64_t at = 0;
        for (int box = 0; !bare; ++box)
        {
            if (box == kMaxBoxes || !stream::seek(file, at) || stream::read(file, head, 8) != 8)
            {
                throw PictureDecodeError("JPEG 2000: no codestream");
            }
            uint64_t length = be32(head);
            uint64_t headerLength = 8;
            if (length == 1)
            {
                uint8_t wide[8];
                if (stream::read(file, wide, 8) != 8)
                {
                    throw PictureDecodeError("JPEG 2000: no codestream");
                }
                length = (uint64_t(be32(wide)) << 32) | be32(wide + 4);
                headerLength = 16;
            }
            else if (length == 0)
            {
                length = mStream->size - at;
            }
            if (std::memcmp(head + 4, "jp2c", 4) == 0)
            {
                at += headerLength;
                break;
            }
            if (length < headerLength || length > mStream->size - at)
            {
                throw PictureDecodeError("JPEG 2000: a box runs past the end of the file");
            }
            at += length;
        }
        uint8_t siz[42];
        if (!stream::seek(file, at) || stream::read(file, siz, sizeof siz) != sizeof siz || be16(siz) != 0xFF4F ||
            be16(siz + 2) != 0xFF51)
        {
            throw PictureDecodeError("JPEG 2000: no size marker");
        }
        const uint64_t x1 = be32(siz + 8), y1 = be32(siz + 12), x0 = be32(siz + 16), y0 = be32(siz + 20);
        const uint64_t tileWidth = be32(siz + 24), tileHeight = be32(siz + 28);
        const uint64_t tileX0 = be32(siz + 32), tileY0 = be32(siz + 36);
        if (x1 <= x0 || y1 <= y0 || tileWidth == 0 || tileHeight == 0 || tileX0 > x0 || tileY0 > y0)
        {
            throw PictureDecodeError("JPEG 2000: bad size marker");
        }
        checkDecodableSize(x1 - x0, y1 - y0);
        const uint64_t tiles =
            ((x1 - tileX0 + tileWidth - 1) / tileWidth) * ((y1 - tileY0 + tileHeight - 1) / tileHeight);
        if (tiles > kMaxTiles)
        {
            throw PictureDecodeError("JPEG 2000: " + std::to_string(tiles) + " tiles");
        }
        return bare;
    }

    std::unique_ptr<Jp2Stream> mStream;
    OpenJpegCodec mCodec;
    OpenJpegStream mOpjStream;
    OpenJpegImage mImage;
    uint32_t mLevels = 1;
    uint32_t mWidth = 0;
    uint32_t mHeight = 0;
};

}  // namespace

std::unique_ptr<PictureStreamDecoder> makeJp2StreamDecoder(std::streambuf& file)
{
    return std::make_unique<Jp2StreamDecoder>(file);
}

}  // namespace pravix
