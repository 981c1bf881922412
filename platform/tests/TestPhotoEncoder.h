#pragma once

// Makes HEVC photos in the test: a busy picture of any size coded with libx265 through libavcodec (in
// wavefront rows, as phone and desktop encoders code them), as one picture or as a grid of distinct
// tiles, so no large file has to be kept with the tests.

#include "GridFiles.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace pravix::test
{

// A picture of gradients, edges and grain that differs in every place, so every coding block carries
// data and a damaged byte anywhere in the slices lands among coefficients. Any planar format of 8 to 16
// bits a sample.
inline void fillBusyPlanes(AVFrame* frame, uint32_t seed)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    const int shift = desc->comp[0].depth - 8;
    uint32_t state = seed * 2654435761u + 1;
    auto grain = [&state]
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>(state >> 29);  // 0 to 7
    };
    const int planes = av_pix_fmt_count_planes(static_cast<AVPixelFormat>(frame->format));
    for (int p = 0; p < planes; ++p)
    {
        const bool subsampled = p > 0 && (desc->flags & AV_PIX_FMT_FLAG_RGB) == 0;
        const int width = subsampled ? AV_CEIL_RSHIFT(frame->width, desc->log2_chroma_w) : frame->width;
        const int height = subsampled ? AV_CEIL_RSHIFT(frame->height, desc->log2_chroma_h) : frame->height;
        for (int y = 0; y < height; ++y)
        {
            uint8_t* row = frame->data[p] + static_cast<ptrdiff_t>(y) * frame->linesize[p];
            for (int x = 0; x < width; ++x)
            {
                int value = 0;
                if (p == 0)
                {
                    const int edge = ((x / 24 + y / 16 + static_cast<int>(seed)) & 1) ? 60 : 0;
                    value = 16 + (x * 3 + y * 2 + static_cast<int>(seed) * 17) % 150 + edge / 2 + grain();
                }
                else
                {
                    value = 64 + ((p == 1 ? x : y) * 5 + static_cast<int>(seed) * 29) % 128 + grain() / 2;
                }
                if (shift > 0)
                {
                    reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(value << shift);
                }
                else
                {
                    row[x] = static_cast<uint8_t>(value);
                }
            }
        }
    }
}

// The picture coded as one intra picture (64-pixel coding tree blocks, wavefront rows) in the given
// number of slices and format (4:2:0 8 bits unless said; an RGB format is coded as RGB); none when this
// libavcodec has no libx265, or it cannot code the format.
inline std::optional<CodedPicture> encodeBusyPicture(uint32_t width, uint32_t height, uint32_t seed,
                                                     uint32_t slices = 1, AVPixelFormat format = AV_PIX_FMT_YUV420P)
{
    const AVCodec* codec = avcodec_find_encoder_by_name("libx265");
    if (codec == nullptr)
    {
        return std::nullopt;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::optional<CodedPicture> result;
    Bytes stream;
    if (ctx != nullptr && frame != nullptr && packet != nullptr)
    {
        ctx->width = static_cast<int>(width);
        ctx->height = static_cast<int>(height);
        ctx->pix_fmt = format;
        if ((av_pix_fmt_desc_get(format)->flags & AV_PIX_FMT_FLAG_RGB) != 0)
        {
            ctx->colorspace = AVCOL_SPC_RGB;
        }
        ctx->time_base = AVRational{1, 25};
        ctx->gop_size = 1;
        av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
        const std::string params = "log-level=none:ctu=64:wpp=1:crf=22:keyint=1:frame-threads=1:info=0:hash=0:slices=" +
                                   std::to_string(slices);
        av_opt_set(ctx->priv_data, "x265-params", params.c_str(), 0);
        frame->width = ctx->width;
        frame->height = ctx->height;
        frame->format = ctx->pix_fmt;
        bool ok = avcodec_open2(ctx, codec, nullptr) >= 0 && av_frame_get_buffer(frame, 0) >= 0;
        if (ok)
        {
            fillBusyPlanes(frame, seed);
            frame->pts = 0;
            ok = avcodec_send_frame(ctx, frame) >= 0 && avcodec_send_frame(ctx, nullptr) >= 0;
        }
        while (ok && avcodec_receive_packet(ctx, packet) >= 0)
        {
            stream.insert(stream.end(), packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);

    // Split the byte stream at its start codes; parameter sets go to the configuration, pictures' slices
    // to the item, anything else (the encoder's SEI) is left out.
    CodedPicture picture;
    picture.width = width;
    picture.height = height;
    sortUnits(stream, picture);
    if (!picture.vps.empty() && !picture.sps.empty() && !picture.pps.empty() && !picture.slices.empty())
    {
        result = std::move(picture);
    }
    return result;
}

// A file whose primary item is the one picture.
inline std::vector<uint8_t> pictureFile(const CodedPicture& picture)
{
    readertest::HeifBuilder builder;
    builder.primaryItem = 1;
    builder.addItem(1, "hvc1", readertest::lengthPrefixed(picture.slices));
    builder.associate(1, builder.addProperty(readertest::makeHvcC(picture.vps, picture.sps, picture.pps)), true);
    builder.associate(1, builder.addProperty(readertest::makeIspe(picture.width, picture.height)));
    return builder.build();
}

// Where the pictures' slices lie in a file made of them: [begin, end) of each slice's bytes after its
// two-byte header, that is its slice header and coded data.
inline std::vector<std::pair<size_t, size_t>> sliceSpans(const std::vector<uint8_t>& file,
                                                         const std::vector<CodedPicture>& pictures)
{
    std::vector<std::pair<size_t, size_t>> spans;
    for (const CodedPicture& picture : pictures)
    {
        for (const Bytes& slice : picture.slices)
        {
            const auto at = std::search(file.begin(), file.end(), slice.begin(), slice.end());
            if (at != file.end() && slice.size() > 2)
            {
                const size_t begin = static_cast<size_t>(at - file.begin());
                spans.emplace_back(begin + 2, begin + slice.size());
            }
        }
    }
    return spans;
}

}  // namespace pravix::test
