// JPEG 2000 (.jp2 files) through OpenJPEG over memory streams.
#include "ImageCodecs.h"
#include "OpenJpegHandles.h"
#include "ParallelFor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <openjpeg.h>

namespace pravix
{
namespace
{

struct MemoryStream
{
    std::vector<uint8_t>* out = nullptr;
    const uint8_t* in = nullptr;
    size_t size = 0;
    size_t pos = 0;
};

OPJ_SIZE_T streamRead(void* buffer, OPJ_SIZE_T n, void* user)
{
    auto* s = static_cast<MemoryStream*>(user);
    if (s->pos >= s->size)
    {
        return static_cast<OPJ_SIZE_T>(-1);
    }
    const size_t count = std::min<size_t>(n, s->size - s->pos);
    std::memcpy(buffer, s->in + s->pos, count);
    s->pos += count;
    return count;
}

OPJ_SIZE_T streamWrite(void* buffer, OPJ_SIZE_T n, void* user)
{
    auto* s = static_cast<MemoryStream*>(user);
    const size_t end = s->pos + n;
    if (end > s->out->size())
    {
        s->out->resize(end);
    }
    std::memcpy(s->out->data() + s->pos, buffer, n);
    s->pos = end;
    s->size = std::max(s->size, end);
    return n;
}

OPJ_OFF_T streamSkip(OPJ_OFF_T n, void* user)
{
    auto* s = static_cast<MemoryStream*>(user);
    if (n < 0 && static_cast<size_t>(-n) > s->pos)
    {
        return -1;
    }
    if (s->in != nullptr && n > 0 && static_cast<size_t>(n) > s->size - std::min(s->pos, s->size))
    {
        n = static_cast<OPJ_OFF_T>(s->size - std::min(s->pos, s->size));
    }
    s->pos = static_cast<size_t>(static_cast<OPJ_OFF_T>(s->pos) + n);
    return n;
}

OPJ_BOOL streamSeek(OPJ_OFF_T n, void* user)
{
    auto* s = static_cast<MemoryStream*>(user);
    if (n < 0 || (s->in != nullptr && static_cast<size_t>(n) > s->size))
    {
        return OPJ_FALSE;
    }
    s->pos = static_cast<size_t>(n);
    return OPJ_TRUE;
}

void quietMessage(const char*, void*) {}

void muteCodec(opj_codec_t* codec)
{
    opj_set_info_handler(codec, quietMessage, nullptr);
    opj_set_warning_handler(codec, quietMessage, nullptr);
    opj_set_error_handler(codec, quietMessage, nullptr);
}

uint32_t be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void putBe32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// OpenJPEG's writer cannot store an ICC profile itself, so the enumerated colour box it writes inside
// the header box is replaced by a restricted-ICC one (method 2) holding the profile.
std::vector<uint8_t> withIccProfile(const std::vector<uint8_t>& jp2, const std::vector<uint8_t>& icc)
{
    size_t pos = 0;
    while (pos + 8 <= jp2.size())
    {
        const uint32_t size = be32(&jp2[pos]);
        if (size < 8 || size > jp2.size() - pos)
        {
            return jp2;
        }
        if (std::memcmp(&jp2[pos + 4], "jp2h", 4) == 0)
        {
            size_t child = pos + 8;
            while (child + 8 <= pos + size)
            {
                const uint32_t childSize = be32(&jp2[child]);
                if (childSize < 8 || childSize > pos + size - child)
                {
                    return jp2;
                }
                if (std::memcmp(&jp2[child + 4], "colr", 4) == 0)
                {
                    std::vector<uint8_t> colr(11);
                    putBe32(colr.data(), static_cast<uint32_t>(11 + icc.size()));
                    std::memcpy(colr.data() + 4, "colr", 4);
                    colr[8] = 2;  // restricted ICC profile
                    colr[9] = 0;
                    colr[10] = 0;
                    colr.insert(colr.end(), icc.begin(), icc.end());
                    std::vector<uint8_t> out(jp2.begin(), jp2.begin() + static_cast<std::ptrdiff_t>(child));
                    out.insert(out.end(), colr.begin(), colr.end());
                    out.insert(out.end(), jp2.begin() + static_cast<std::ptrdiff_t>(child + childSize), jp2.end());
                    putBe32(&out[pos], static_cast<uint32_t>(size - childSize + colr.size()));
                    return out;
                }
                child += childSize;
            }
            return jp2;
        }
        pos += size;
    }
    return jp2;
}

}  // namespace

std::vector<uint8_t> encodeJp2(const Bitmap& image)
{
    if (image.empty())
    {
        return {};
    }
    const uint32_t comps = image.channels;
    opj_image_cmptparm_t params[4]{};
    for (uint32_t c = 0; c < comps; ++c)
    {
        params[c].dx = 1;
        params[c].dy = 1;
        params[c].w = image.width;
        params[c].h = image.height;
        params[c].prec = 8;
        params[c].sgnd = 0;
    }
    OpenJpegImage img(opj_image_create(comps, params, OPJ_CLRSPC_SRGB));
    if (!img)
    {
        return {};
    }
    img->x0 = 0;
    img->y0 = 0;
    img->x1 = image.width;
    img->y1 = image.height;
    if (comps == 4)
    {
        img->comps[3].alpha = 1;
    }
    const size_t pixels = static_cast<size_t>(image.width) * image.height;
    for (size_t i = 0; i < pixels; ++i)
    {
        const uint8_t* px = image.pixels.data() + i * comps;
        for (uint32_t c = 0; c < comps; ++c)
        {
            img->comps[c].data[i] = px[c];
        }
    }

    opj_cparameters_t cp;
    opj_set_default_encoder_parameters(&cp);
    // Without a requested compression factor the picture is kept lossless (reversible 5/3 wavelet).
    cp.tcp_numlayers = 1;
    cp.tcp_rates[0] = 0;
    cp.cp_disto_alloc = 1;
    cp.irreversible = 0;
    cp.tcp_mct = comps >= 3 ? 1 : 0;
    int resolutions = 6;
    while (resolutions > 1 && (1u << (resolutions - 1)) > std::min(image.width, image.height))
    {
        --resolutions;
    }
    cp.numresolution = resolutions;

    OpenJpegCodec codec(opj_create_compress(OPJ_CODEC_JP2));
    if (!codec)
    {
        return {};
    }
    muteCodec(codec.get());
    if (!opj_setup_encoder(codec.get(), &cp, img.get()))
    {
        return {};
    }
    opj_codec_set_threads(codec.get(), static_cast<int>(workerCount()));
    std::vector<uint8_t> out;
    MemoryStream ms;
    ms.out = &out;
    OpenJpegStream stream(opj_stream_create(1 << 20, OPJ_FALSE));
    if (!stream)
    {
        return {};
    }
    opj_stream_set_user_data(stream.get(), &ms, nullptr);
    opj_stream_set_write_function(stream.get(), streamWrite);
    opj_stream_set_skip_function(stream.get(), streamSkip);
    opj_stream_set_seek_function(stream.get(), streamSeek);
    const bool ok = opj_start_compress(codec.get(), img.get(), stream.get()) && opj_encode(codec.get(), stream.get()) &&
                    opj_end_compress(codec.get(), stream.get());
    if (!ok)
    {
        return {};
    }
    stream.reset();
    out.resize(ms.size);
    if (!image.iccProfile.empty())
    {
        return withIccProfile(out, image.iccProfile);
    }
    return out;
}

std::optional<Bitmap> decodeJp2(const uint8_t* data, size_t size)
{
    if (data == nullptr || size < 12)
    {
        return std::nullopt;
    }
    const bool codestream = data[0] == 0xFF && data[1] == 0x4F;
    OpenJpegCodec codec(opj_create_decompress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
    if (!codec)
    {
        return std::nullopt;
    }
    muteCodec(codec.get());
    opj_dparameters_t dp;
    opj_set_default_decoder_parameters(&dp);
    if (!opj_setup_decoder(codec.get(), &dp))
    {
        return std::nullopt;
    }
    opj_codec_set_threads(codec.get(), static_cast<int>(workerCount()));
    MemoryStream ms;
    ms.in = data;
    ms.size = size;
    OpenJpegStream stream(opj_stream_create(1 << 16, OPJ_TRUE));
    if (!stream)
    {
        return std::nullopt;
    }
    opj_stream_set_user_data(stream.get(), &ms, nullptr);
    opj_stream_set_user_data_length(stream.get(), size);
    opj_stream_set_read_function(stream.get(), streamRead);
    opj_stream_set_skip_function(stream.get(), streamSkip);
    opj_stream_set_seek_function(stream.get(), streamSeek);
    opj_image_t* raw = nullptr;
    if (!opj_read_header(stream.get(), codec.get(), &raw))
    {
        opj_image_destroy(raw);
        return std::nullopt;
    }
    OpenJpegImage img(raw);
    const uint64_t width = static_cast<uint64_t>(img->x1) - img->x0;
    const uint64_t height = static_cast<uint64_t>(img->y1) - img->y0;
    if (img->x1 <= img->x0 || img->y1 <= img->y0 || !bitmapSizeAllowed(width, height) || img->numcomps == 0 ||
        img->numcomps > 4 || img->numcomps == 2)
    {
        return std::nullopt;
    }
    if (!opj_decode(codec.get(), stream.get(), img.get()) || !opj_end_decompress(codec.get(), stream.get()))
    {
        return std::nullopt;
    }
    const uint32_t comps = img->numcomps;
    for (uint32_t c = 0; c < comps; ++c)
    {
        const opj_image_comp_t& comp = img->comps[c];
        if (comp.data == nullptr || comp.w != width || comp.h != height || comp.prec == 0 || comp.prec > 16 ||
            comp.dx != 1 || comp.dy != 1)
        {
            return std::nullopt;
        }
    }
    Bitmap bitmap;
    if (!bitmap.allocate(static_cast<uint32_t>(width), static_cast<uint32_t>(height), comps == 4 ? 4 : 3))
    {
        return std::nullopt;
    }
    if (img->icc_profile_buf != nullptr && img->icc_profile_len > 0)
    {
        bitmap.iccProfile.assign(img->icc_profile_buf, img->icc_profile_buf + img->icc_profile_len);
    }
    const size_t pixels = static_cast<size_t>(width) * height;
    auto sample = [&](uint32_t c, size_t i) -> uint8_t
    {
        const opj_image_comp_t& comp = img->comps[c];
        int v = comp.data[i];
        if (comp.sgnd)
        {
            v += 1 << (comp.prec - 1);
        }
        v = comp.prec > 8 ? v >> (comp.prec - 8) : v << (8 - comp.prec);
        return static_cast<uint8_t>(std::clamp(v, 0, 255));
    };
    for (size_t i = 0; i < pixels; ++i)
    {
        uint8_t* px = bitmap.pixels.data() + i * bitmap.channels;
        if (comps == 1)
        {
            px[0] = px[1] = px[2] = sample(0, i);
        }
        else
        {
            for (uint32_t c = 0; c < bitmap.channels; ++c)
            {
                px[c] = sample(c, i);
            }
        }
    }
    return bitmap;
}

}  // namespace pravix
