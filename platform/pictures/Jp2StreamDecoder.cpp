// JPEG 2000 (.jp2 files and bare codestreams) through OpenJPEG, read from the file as it asks for it. The
// file's headers (its boxes, the codestream's main header and every tile-part header) are read before
// OpenJPEG sees it, and what OpenJPEG will allocate and do for them counted (Jp2CodestreamLimits): its
// code-block, precinct and tile structures, the packets it walks, the coded data it holds and the samples
// it holds as 32-bit numbers. A picture is decoded at the lowest resolution level that still gives the
// size asked for, at a lower one while that would pass the memory or time limits, and refused when even
// the lowest would.
#include "Jp2CodestreamLimits.h"
#include "OpenJpegHandles.h"
#include "ParallelFor.h"
#include "DecodeSizeLimits.h"
#include "PictureStreamDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <openjpeg.h>

namespace pravix
{
namespace
{

constexpr uint32_t kBandRows = 32;

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
        mLimits.emplace(Jp2CodestreamLimits::read(*mStream->file, mStream->size, workerCount()));
        const bool bare = mLimits->bareCodestream();
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
        // The threads are set before the header is read: OpenJPEG ignores them afterwards.
        if (!opj_setup_decoder(mCodec.get(), &parameters) || !opj_decoder_set_strict_mode(mCodec.get(), OPJ_TRUE) ||
            !opj_codec_set_threads(mCodec.get(), static_cast<int>(mLimits->threads())))
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
        if (header.width != mLimits->width() || header.height != mLimits->height())
        {
            fail("headers read two ways");
        }
        for (uint32_t c = 0; c < image.numcomps; ++c)
        {
            const opj_image_comp_t& comp = image.comps[c];
            if (comp.dx != 1 || comp.dy != 1 || comp.prec == 0 || comp.prec > 16)
            {
                fail("subsampled or unsupported components");
            }
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
        return header;
    }

    void decodeRows(uint32_t minWidth, uint32_t minHeight, PictureRowSink& sink) override
    {
        // The lowest level that still gives the size asked for, lower while over the limits.
        const uint32_t level = mLimits->chooseReduction(minWidth, minHeight);
        if (!opj_set_decoded_resolution_factor(mCodec.get(), level) ||
            !opj_decode(mCodec.get(), mOpjStream.get(), mImage.get()) ||
            !opj_end_decompress(mCodec.get(), mOpjStream.get()))
        {
            fail("cannot be decoded");
        }
        // Counted after the decode: a palette's columns replace the component that indexes them.
        const uint32_t comps = mImage->numcomps;
        if (comps == 0 || comps > 4)
        {
            fail("unsupported picture layout");
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

    // The ICC profile of a .jp2 file, where the header reading found it; empty when there is none.
    std::vector<uint8_t> readIccProfile() const
    {
        std::streambuf& file = *mStream->file;
        const Jp2CodestreamLimits::ByteSpan span = mLimits->colourProfile();
        // A profile is never larger than the budget for a codec's own memory, and never larger than its box.
        if (span.length == 0 || span.length > kDecoderMemoryBudget || !stream::seek(file, span.offset))
        {
            return {};
        }
        std::vector<uint8_t> profile(static_cast<size_t>(span.length));
        return stream::read(file, profile.data(), profile.size()) == profile.size() ? profile : std::vector<uint8_t>();
    }

    std::unique_ptr<Jp2Stream> mStream;
    OpenJpegCodec mCodec;
    OpenJpegStream mOpjStream;
    OpenJpegImage mImage;
    std::optional<Jp2CodestreamLimits> mLimits;
};

}  // namespace

std::unique_ptr<PictureStreamDecoder> makeJp2StreamDecoder(std::streambuf& file)
{
    return std::make_unique<Jp2StreamDecoder>(file);
}

}  // namespace pravix
