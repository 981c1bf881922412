#include "HevcDecoder.h"

#include <algorithm>
#include <cstring>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace pravix
{
namespace
{

void quietLibav()
{
    static const bool done = []
    {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)done;
}

int swsColourspace(int matrixCoefficients)
{
    switch (matrixCoefficients)
    {
    case 1:
        return SWS_CS_ITU709;
    case 4:
        return SWS_CS_FCC;
    case 7:
        return SWS_CS_SMPTE240M;
    case 9:
    case 10:
        return SWS_CS_BT2020;
    default:
        return SWS_CS_ITU601;
    }
}

}  // namespace

void FrameDeleter::operator()(AVFrame* f) const
{
    av_frame_free(&f);
}

HevcDecoder::HevcDecoder(int threads)
{
    quietLibav();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    if (codec == nullptr)
    {
        return;
    }
    mContext = avcodec_alloc_context3(codec);
    if (mContext == nullptr)
    {
        return;
    }
    mContext->thread_count = threads < 1 ? 1 : std::min(threads, kMaxSliceThreads);
    mContext->thread_type = FF_THREAD_SLICE;
    // Damage must fail the picture rather than be concealed into a plausible-looking output.
    mContext->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_CAREFUL | AV_EF_CRCCHECK;
    if (avcodec_open2(mContext, codec, nullptr) < 0)
    {
        avcodec_free_context(&mContext);
    }
}

HevcDecoder::~HevcDecoder()
{
    avcodec_free_context(&mContext);
}

FramePtr HevcDecoder::decode(const uint8_t* data, size_t size, uint64_t maxPixels, std::string& error)
{
    if (mContext == nullptr)
    {
        error = "no HEVC decoder";
        return nullptr;
    }
    if (data == nullptr || size == 0 || size > (1u << 30))
    {
        error = "empty or oversized HEVC stream";
        return nullptr;
    }
    mContext->max_pixels = static_cast<int64_t>(maxPixels);
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr || av_new_packet(packet, static_cast<int>(size)) < 0)
    {
        av_packet_free(&packet);
        error = "out of memory";
        return nullptr;
    }
    std::memcpy(packet->data, data, size);
    FramePtr result;
    int rc = avcodec_send_packet(mContext, packet);
    av_packet_free(&packet);
    if (rc >= 0)
    {
        avcodec_send_packet(mContext, nullptr);  // drain: a still picture is complete with its stream
        while (true)
        {
            FramePtr frame(av_frame_alloc());
            if (!frame)
            {
                break;
            }
            rc = avcodec_receive_frame(mContext, frame.get());
            if (rc < 0)
            {
                if (rc != AVERROR_EOF)
                {
                    result.reset();
                }
                break;
            }
            const bool corrupt = frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0;
            if (corrupt)
            {
                error = "picture decoded with errors";
                result.reset();
                rc = AVERROR_INVALIDDATA;
                break;
            }
            if (!result)
            {
                result = std::move(frame);
            }
        }
    }
    avcodec_flush_buffers(mContext);
    if (!result && error.empty())
    {
        error = rc < 0 && rc != AVERROR_EOF ? "HEVC stream could not be decoded" : "HEVC stream holds no picture";
    }
    return result;
}

ColourInfo colourOfFrame(const AVFrame* frame)
{
    ColourInfo info;
    if (frame->colorspace != AVCOL_SPC_UNSPECIFIED && frame->colorspace != AVCOL_SPC_RESERVED)
    {
        info.matrixCoefficients = static_cast<int>(frame->colorspace);
    }
    info.fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    return info;
}

bool coversWholeChroma(const AVFrame* frame, uint32_t width, uint32_t height)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    return desc != nullptr && (width & ((1u << desc->log2_chroma_w) - 1)) == 0 &&
           (height & ((1u << desc->log2_chroma_h) - 1)) == 0;
}

bool convertFrameToRgb(const AVFrame* frame, const ColourInfo& colour, uint32_t width, uint32_t height, uint8_t* dst,
                       size_t dstStride, uint32_t channels, SwsContext** cache)
{
    return convertFrameRowsToRgb(frame, colour, 0, width, height, dst, dstStride, channels, cache);
}

bool convertFrameRowsToRgb(const AVFrame* frame, const ColourInfo& colour, uint32_t firstRow, uint32_t width,
                           uint32_t height, uint8_t* dst, size_t dstStride, uint32_t channels, SwsContext** cache)
{
    if (frame == nullptr || width == 0 || height == 0 || width > static_cast<uint32_t>(frame->width) ||
        firstRow > static_cast<uint32_t>(frame->height) || height > static_cast<uint32_t>(frame->height) - firstRow)
    {
        return false;
    }
    const auto srcFormat = static_cast<AVPixelFormat>(frame->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(srcFormat);
    if (desc == nullptr || (firstRow & ((1u << desc->log2_chroma_h) - 1)) != 0)
    {
        return false;
    }
    const AVPixelFormat dstFormat = channels == 4 ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
    // Chroma comes from its nearest sample, as HEIF decoders commonly do, so our pixels agree with theirs;
    // full horizontal chroma also keeps the converter within each row's width (it may write into a
    // neighbouring tile's place otherwise).
    *cache = sws_getCachedContext(*cache, static_cast<int>(width), static_cast<int>(height), srcFormat,
                                  static_cast<int>(width), static_cast<int>(height), dstFormat,
                                  SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (*cache == nullptr)
    {
        return false;
    }
    const int* coefficients = sws_getCoefficients(swsColourspace(colour.matrixCoefficients));
    sws_setColorspaceDetails(*cache, coefficients, colour.fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                             1 << 16, 1 << 16);
    const uint8_t* srcPlanes[4] = {nullptr, nullptr, nullptr, nullptr};
    for (int p = 0; p < 4 && frame->data[p] != nullptr; ++p)
    {
        const uint32_t rows = (p == 1 || p == 2) ? (firstRow >> desc->log2_chroma_h) : firstRow;
        srcPlanes[p] = frame->data[p] + static_cast<ptrdiff_t>(rows) * frame->linesize[p];
    }
    uint8_t* dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
    const int dstStrides[4] = {static_cast<int>(dstStride), 0, 0, 0};
    const int rows = sws_scale(*cache, srcPlanes, frame->linesize, 0, static_cast<int>(height), dstPlanes, dstStrides);
    return rows == static_cast<int>(height);
}

}  // namespace pravix
