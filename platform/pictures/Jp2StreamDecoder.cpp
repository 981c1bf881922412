// JPEG 2000 (.jp2 files and bare codestreams) through OpenJPEG, read from the file as it asks for it. The
// file's headers are read first (Jp2Headers): what no limit could take is refused, and the resolution
// level to decode at is chosen. A picture is decoded one component at a time where it can be, so that no
// more than one component's samples are ever held as OpenJPEG's 32-bit values: each component is put
// into the output rows as it comes (luma in one byte, chroma in two), and the colour transform that
// OpenJPEG applies only to all components together is applied here once the last has come. Palette
// pictures, and pictures whose tiles are coded differently, are decoded whole as OpenJPEG decodes them.
#include "DecodeSizeLimits.h"
#include "Jp2Headers.h"
#include "OpenJpegHandles.h"
#include "ParallelFor.h"
#include "PixelBuffer.h"
#include "PictureStreamDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <openjpeg.h>

namespace pravix
{
namespace
{

constexpr uint32_t kBandRows = 32;

// The file as OpenJPEG reads it: bytes of it may be presented changed (a component's precision).
struct Jp2Stream
{
    std::streambuf* file = nullptr;
    uint64_t size = 0;
    std::vector<std::pair<uint64_t, uint8_t>> changed;  // position, the byte presented there
    std::string error;
};

OPJ_SIZE_T readData(void* into, OPJ_SIZE_T count, void* user)
{
    auto* s = static_cast<Jp2Stream*>(user);
    const std::streamoff here = s->file->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    const size_t n = stream::read(*s->file, into, count);
    if (n == 0)
    {
        return static_cast<OPJ_SIZE_T>(-1);
    }
    for (const auto& [at, value] : s->changed)
    {
        if (here >= 0 && at >= uint64_t(here) && at < uint64_t(here) + n)
        {
            static_cast<uint8_t*>(into)[at - uint64_t(here)] = value;
        }
    }
    return n;
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

// An 8-bit sample of a component's value (after OpenJPEG's level shift, within its precision).
uint8_t sampleOf(int32_t value, const opj_image_comp_t& comp)
{
    int v = value;
    if (comp.sgnd)
    {
        v += 1 << (comp.prec - 1);
    }
    v = comp.prec > 8 ? v >> (comp.prec - 8) : v << (8 - comp.prec);
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

uint8_t clampByte(int32_t v)
{
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// What a codestream component is in the picture.
struct Role
{
    enum Kind
    {
        Colour,
        Alpha,
        Unused,
    } kind = Unused;
    uint32_t colour = 0;  // 0 to 2
};

// The roles of the components: by the channel definitions when there are any, else grey, grey and
// alpha, RGB, RGB and alpha. Empty when they do not make one grey or RGB picture with at most one alpha.
std::vector<Role> rolesOf(const Jp2Headers& headers)
{
    const uint32_t n = static_cast<uint32_t>(headers.components().size());
    std::vector<Role> roles(n);
    if (headers.channels().empty())
    {
        for (uint32_t c = 0; c < n; ++c)
        {
            const bool alpha = (n == 2 && c == 1) || (n == 4 && c == 3);
            roles[c] = alpha ? Role{Role::Alpha, 0} : Role{Role::Colour, c};
        }
    }
    else
    {
        for (const Jp2Headers::Channel& channel : headers.channels())
        {
            if (channel.component >= n)
            {
                return {};
            }
            if (channel.type == 0 && channel.association >= 1 && channel.association <= 3)
            {
                roles[channel.component] = {Role::Colour, channel.association - 1};
            }
            else if ((channel.type == 1 || channel.type == 2) && channel.association == 0)
            {
                roles[channel.component] = {Role::Alpha, 0};
            }
        }
    }
    uint32_t colours = 0;
    uint32_t alphas = 0;
    uint32_t seen = 0;
    for (const Role& role : roles)
    {
        colours += role.kind == Role::Colour;
        alphas += role.kind == Role::Alpha;
        if (role.kind == Role::Colour)
        {
            seen |= 1u << role.colour;
        }
    }
    if (!((colours == 1 && seen == 1) || (colours == 3 && seen == 7)) || alphas > 1)
    {
        return {};
    }
    return roles;
}

// One reading of the file by OpenJPEG: its codec, its stream and the picture it decodes.
struct Session
{
    OpenJpegCodec codec;
    OpenJpegStream stream;
    OpenJpegImage image;
};

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
        mHeaders.emplace(Jp2Headers::read(*mStream->file, mStream->size));
        // OpenJPEG reads the header too, and refuses what it refuses.
        Session session = open();
        const opj_image_t& image = *session.image;
        if (image.x1 <= image.x0 || image.y1 <= image.y0 || image.numcomps == 0 || image.numcomps > 4 ||
            image.numcomps != mHeaders->components().size())
        {
            fail("unsupported picture layout");
        }
        PictureHeader header;
        header.width = image.x1 - image.x0;
        header.height = image.y1 - image.y0;
        checkDecodableSize(header.width, header.height);
        if (header.width != mHeaders->width() || header.height != mHeaders->height())
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
        header.iccProfile = readIccProfile();
        mFirst = std::move(session);
        return header;
    }

    void decodeRows(uint32_t minWidth, uint32_t minHeight, PictureRowSink& sink) override
    {
        const std::vector<Role> roles = rolesOf(*mHeaders);
        if (roles.empty() || !byComponents())
        {
            decodeWhole(minWidth, minHeight, sink);
        }
        else
        {
            decodeByComponents(roles, minWidth, minHeight, sink);
        }
    }

private:
    [[noreturn]] void fail(const char* what) const
    {
        throw PictureDecodeError("JPEG 2000: " + (mStream->error.empty() ? std::string(what) : mStream->error));
    }

    // Whether the picture can be decoded a component at a time: no palette, the same coding in every
    // tile, 8-bit (or fewer) samples, and unsigned 8-bit colour where the colour transform joins them.
    bool byComponents() const
    {
        if (mHeaders->paletteColumns() != 0 || !mHeaders->codedAlike())
        {
            return false;
        }
        const std::vector<Jp2Headers::Component>& comps = mHeaders->components();
        for (const Jp2Headers::Component& comp : comps)
        {
            if (comp.precision > 8)
            {
                return false;
            }
        }
        if (mHeaders->colourTransform())
        {
            for (uint32_t c = 0; c < 3; ++c)
            {
                if (comps[c].precision != 8 || comps[c].isSigned)
                {
                    return false;
                }
            }
            // The transform's components are the first three, in their colour order.
            const std::vector<Role> roles = rolesOf(*mHeaders);
            for (uint32_t c = 0; c < 3; ++c)
            {
                if (roles[c].kind != Role::Colour || roles[c].colour != c)
                {
                    return false;
                }
            }
        }
        return true;
    }

    // A new reading of the file up to its header, with the threads set before the header is read (OpenJPEG
    // ignores them afterwards).
    Session open() const
    {
        Session s;
        stream::seek(*mStream->file, 0);
        mStream->error.clear();
        s.codec.reset(opj_create_decompress(mHeaders->bareCodestream() ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
        if (!s.codec)
        {
            throw PictureDecodeError("JPEG 2000: out of memory");
        }
        opj_set_info_handler(s.codec.get(), quiet, nullptr);
        opj_set_warning_handler(s.codec.get(), quiet, nullptr);
        opj_set_error_handler(s.codec.get(), onError, mStream.get());
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        if (!opj_setup_decoder(s.codec.get(), &parameters) || !opj_decoder_set_strict_mode(s.codec.get(), OPJ_TRUE) ||
            !opj_codec_set_threads(s.codec.get(), static_cast<int>(workerCount())))
        {
            fail("cannot be set up");
        }
        s.stream.reset(opj_stream_create(64 * 1024, OPJ_TRUE));
        if (!s.stream)
        {
            throw PictureDecodeError("JPEG 2000: out of memory");
        }
        opj_stream_set_user_data(s.stream.get(), mStream.get(), nullptr);
        opj_stream_set_user_data_length(s.stream.get(), mStream->size);
        opj_stream_set_read_function(s.stream.get(), readData);
        opj_stream_set_skip_function(s.stream.get(), skipData);
        opj_stream_set_seek_function(s.stream.get(), seekData);
        opj_image_t* raw = nullptr;
        if (!opj_read_header(s.stream.get(), s.codec.get(), &raw))
        {
            opj_image_destroy(raw);
            fail("header cannot be read");
        }
        s.image.reset(raw);
        return s;
    }

    // The first reading (the header's) for the first decode, fresh ones after it.
    Session session()
    {
        if (mFirst.codec)
        {
            return std::move(mFirst);
        }
        return open();
    }

    void decode(Session& s, uint32_t level) const
    {
        if (!opj_set_decoded_resolution_factor(s.codec.get(), level) ||
            !opj_decode(s.codec.get(), s.stream.get(), s.image.get()) || !opj_end_decompress(s.codec.get(), s.stream.get()))
        {
            fail("cannot be decoded");
        }
    }

    void decodeByComponents(const std::vector<Role>& roles, uint32_t minWidth, uint32_t minHeight,
                            PictureRowSink& sink)
    {
        const bool hasAlpha = std::any_of(roles.begin(), roles.end(), [](const Role& r) { return r.kind == Role::Alpha; });
        const uint32_t channels = hasAlpha && mKeepAlpha ? 4 : 3;
        // The output rows hold the components decoded so far when they are decoded in place; else a
        // buffer of the same layout does.
        const uint32_t firstLevel = mHeaders->chooseReduction(minWidth, minHeight, 4);
        const bool inPlace = mHeaders->widthAt(firstLevel) == minWidth && mHeaders->heightAt(firstLevel) == minHeight;
        const uint32_t level = mHeaders->chooseReduction(minWidth, minHeight, 4 + (inPlace ? 0 : channels));
        const uint32_t width = mHeaders->widthAt(level);
        const uint32_t height = mHeaders->heightAt(level);
        const bool transform = mHeaders->colourTransform();
        const bool reversible = mHeaders->reversible();
        // The reversible transform's chroma needs a bit more than its components' precision: OpenJPEG,
        // decoding a component alone, would clip it there, so it is told of one more bit, which the
        // reversible path's decoding does not depend on otherwise, and the level shift of that one is
        // taken back here.
        mStream->changed.clear();
        if (transform && reversible)
        {
            for (uint32_t c = 1; c < 3; ++c)
            {
                const Jp2Headers::Component& comp = mHeaders->components()[c];
                mStream->changed.emplace_back(comp.sizeByteOffset, static_cast<uint8_t>(comp.precision));
            }
            mFirst = Session();  // read without the change
        }
        const int32_t chromaShift = transform && reversible ? 256 : 128;

        sink.begin(width, height, channels);
        size_t stride = 0;
        uint8_t* out = sink.placeForRows(height, stride);
        PixelBuffer own;
        if (out == nullptr)
        {
            own = PixelBuffer(static_cast<size_t>(width) * height * channels);
            out = own.data();
            stride = static_cast<size_t>(width) * channels;
        }
        // Colour first, in its order, then alpha, which is put over black once the colour is there.
        std::vector<uint32_t> order;
        for (uint32_t colour = 0; colour < 3; ++colour)
        {
            for (uint32_t c = 0; c < roles.size(); ++c)
            {
                if (roles[c].kind == Role::Colour && roles[c].colour == colour)
                {
                    order.push_back(c);
                }
            }
        }
        for (uint32_t c = 0; c < roles.size(); ++c)
        {
            if (roles[c].kind == Role::Alpha)
            {
                order.push_back(c);
            }
        }
        const bool grey = order.size() - (hasAlpha ? 1 : 0) == 1;
        for (size_t step = 0; step < order.size(); ++step)
        {
            const uint32_t component = order[step];
            Session s = session();
            if (!opj_set_decoded_components(s.codec.get(), 1, &component, OPJ_FALSE))
            {
                fail("cannot be set up");
            }
            decode(s, level);
            const opj_image_t& image = *s.image;
            if (image.numcomps != 1 || image.comps[0].data == nullptr || image.comps[0].w != width ||
                image.comps[0].h != height)
            {
                fail("components of different sizes");
            }
            const opj_image_comp_t& comp = image.comps[0];
            const Role role = roles[component];
            parallelFor(height, 64,
                        [&](size_t first, size_t last)
                        {
                            for (size_t y = first; y < last; ++y)
                            {
                                const int32_t* in = comp.data + y * width;
                                uint8_t* row = out + y * stride;
                                if (role.kind == Role::Alpha)
                                {
                                    storeAlpha(in, comp, width, channels, row);
                                }
                                else if (transform)
                                {
                                    storeTransformed(in, role.colour, width, channels, reversible, chromaShift, row);
                                }
                                else
                                {
                                    storeColour(in, comp, grey ? 3 : role.colour, width, channels, row);
                                }
                            }
                        });
        }
        sink.rows(out, stride, height);
    }

    // A colour component as it is (grey: into all three channels, `colour` 3).
    static void storeColour(const int32_t* in, const opj_image_comp_t& comp, uint32_t colour, uint32_t width,
                            uint32_t channels, uint8_t* row)
    {
        for (uint32_t x = 0; x < width; ++x)
        {
            const uint8_t v = sampleOf(in[x], comp);
            uint8_t* p = row + size_t(x) * channels;
            if (colour == 3)
            {
                p[0] = p[1] = p[2] = v;
            }
            else
            {
                p[colour] = v;
            }
        }
    }

    // The colour transform's components: luma kept in the first byte, the first chroma in the next two,
    // and with the second chroma the colour itself.
    static void storeTransformed(const int32_t* in, uint32_t colour, uint32_t width, uint32_t channels,
                                 bool reversible, int32_t chromaShift, uint8_t* row)
    {
        for (uint32_t x = 0; x < width; ++x)
        {
            uint8_t* p = row + size_t(x) * channels;
            const int32_t v = in[x];
            if (colour == 0)
            {
                p[0] = clampByte(v);
                continue;
            }
            if (colour == 1)
            {
                const uint32_t kept = static_cast<uint32_t>(std::clamp(v, 0, 0xFFFF));
                p[1] = static_cast<uint8_t>(kept);
                p[2] = static_cast<uint8_t>(kept >> 8);
                continue;
            }
            const int32_t y = int32_t(p[0]) - 128;
            const int32_t u = int32_t(p[1] | (p[2] << 8)) - chromaShift;
            const int32_t w = v - chromaShift;
            if (reversible)
            {
                const int32_t g = y - ((u + w) >> 2);
                p[0] = clampByte(w + g + 128);
                p[1] = clampByte(g + 128);
                p[2] = clampByte(u + g + 128);
            }
            else
            {
                const float fy = float(y), fu = float(u), fw = float(w);
                p[0] = clampByte(static_cast<int32_t>(std::lrintf(fy + 1.402f * fw)) + 128);
                p[1] = clampByte(static_cast<int32_t>(std::lrintf(fy - 0.34413f * fu - 0.71414f * fw)) + 128);
                p[2] = clampByte(static_cast<int32_t>(std::lrintf(fy + 1.772f * fu)) + 128);
            }
        }
    }

    // Alpha, kept beside the colour or put over black.
    static void storeAlpha(const int32_t* in, const opj_image_comp_t& comp, uint32_t width, uint32_t channels,
                           uint8_t* row)
    {
        for (uint32_t x = 0; x < width; ++x)
        {
            uint8_t* p = row + size_t(x) * channels;
            const uint32_t a = sampleOf(in[x], comp);
            if (channels == 4)
            {
                p[3] = static_cast<uint8_t>(a);
                continue;
            }
            for (uint32_t c = 0; c < 3; ++c)
            {
                const uint32_t v = p[c] * a + 128;
                p[c] = static_cast<uint8_t>((v + (v >> 8)) >> 8);
            }
        }
    }

    // The picture as OpenJPEG decodes it whole, every component at once (and a palette's columns).
    void decodeWhole(uint32_t minWidth, uint32_t minHeight, PictureRowSink& sink)
    {
        mStream->changed.clear();
        const uint64_t planes = mHeaders->components().size() + mHeaders->paletteColumns();
        const uint32_t level = mHeaders->chooseReduction(minWidth, minHeight, planes * 4);
        Session s = session();
        decode(s, level);
        // Counted after the decode: a palette's columns replace the component that indexes them.
        const uint32_t comps = s.image->numcomps;
        if (comps == 0 || comps > 4)
        {
            fail("unsupported picture layout");
        }
        const opj_image_comp_t* comp = s.image->comps;
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
                        row[x * stored + c] = sampleOf(comp[from].data[first + x], comp[from]);
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

    // The ICC profile of a .jp2 file, where the header reading found it; empty when there is none or it is
    // larger than any profile is kept.
    std::vector<uint8_t> readIccProfile() const
    {
        std::streambuf& file = *mStream->file;
        const Jp2Headers::ByteSpan span = mHeaders->colourProfile();
        if (mHeaders->bareCodestream() || span.length == 0 || span.length > kMaxColourProfileBytes ||
            !stream::seek(file, span.offset))
        {
            return {};
        }
        std::vector<uint8_t> profile(static_cast<size_t>(span.length));
        return stream::read(file, profile.data(), profile.size()) == profile.size() ? profile : std::vector<uint8_t>();
    }

    std::unique_ptr<Jp2Stream> mStream;
    std::optional<Jp2Headers> mHeaders;
    Session mFirst;
};

}  // namespace

std::unique_ptr<PictureStreamDecoder> makeJp2StreamDecoder(std::streambuf& file)
{
    return std::make_unique<Jp2StreamDecoder>(file);
}

}  // namespace pravix
