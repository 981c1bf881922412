// JPEG 2000 (.jp2 files) written through OpenJPEG into a memory stream.
#include "ImageEncoders.h"
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
    size_t size = 0;
    size_t pos = 0;
};

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
    s->pos = static_cast<size_t>(static_cast<OPJ_OFF_T>(s->pos) + n);
    return n;
}

OPJ_BOOL streamSeek(OPJ_OFF_T n, void* user)
{
    auto* s = static_cast<MemoryStream*>(user);
    if (n < 0)
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

}  // namespace pravix
