#include "HevcDecoder.h"

#include "UnwrittenMarks.h"

#include <algorithm>
#include <array>
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

// What decode needs to know of a stream before it is decoded: its parameter sets end to end, and how
// many of its units are slices. Units are split at start codes, as libavcodec splits them.
struct StreamOutline
{
    std::vector<uint8_t> parameterSets;
    size_t slices = 0;
};

StreamOutline outlineOf(const uint8_t* data, size_t size)
{
    StreamOutline outline;
    size_t start = 0;  // first byte of the current unit, 0 before the first start code
    bool inUnit = false;
    auto endUnit = [&](size_t end)
    {
        if (!inUnit || end <= start)
        {
            return;
        }
        const int type = (data[start] >> 1) & 0x3F;
        if (type < 32)
        {
            ++outline.slices;
        }
        else if (type <= 34)  // video, sequence and picture parameter sets
        {
            const auto length = static_cast<uint32_t>(end - start);
            for (int shift = 24; shift >= 0; shift -= 8)
            {
                outline.parameterSets.push_back(static_cast<uint8_t>(length >> shift));
            }
            outline.parameterSets.insert(outline.parameterSets.end(), data + start, data + end);
        }
    };
    for (size_t i = 0; i + 3 <= size; ++i)
    {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
        {
            endUnit(i);
            start = i + 3;
            inUnit = true;
            i += 2;
        }
    }
    endUnit(size);
    return outline;
}

// The first planes (luma, or green) the decoder of one picture allocated, each marked as unwritten when
// it was handed out.
struct PictureBuffers
{
    struct Plane
    {
        const uint8_t* buffer = nullptr;  // start of the plane's buffer, which cropping does not move
        uint8_t* samples = nullptr;       // the first coded sample
        ptrdiff_t stride = 0;
        uint32_t width = 0;  // coded size: the decoder writes all of it
        uint32_t height = 0;
        uint32_t bytesPerSample = 0;
    };
    // The picture and the references a damaged stream may ask for fit many times over; a plane beyond
    // these is not recorded, and a picture in it is taken as damaged.
    std::array<Plane, 64> planes;
    size_t count = 0;

    const Plane* find(const uint8_t* buffer) const
    {
        for (size_t i = count; i-- > 0;)
        {
            if (planes[i].buffer == buffer)
            {
                return &planes[i];
            }
        }
        return nullptr;
    }
};

// Bytes a sample of the frame's first plane takes (where the decoder puts the first colour component,
// luma or, for RGB coding, green), or 0 when the format is not one of planes of 1 or 2 bytes a sample.
uint32_t firstPlaneSampleBytes(const AVPixFmtDescriptor* desc)
{
    if (desc == nullptr || (desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM)) != 0)
    {
        return 0;
    }
    for (int c = 0; c < desc->nb_components; ++c)
    {
        if (desc->comp[c].plane == 0)
        {
            const int step = desc->comp[c].step;
            return step == 1 || step == 2 ? static_cast<uint32_t>(step) : 0;
        }
    }
    return 0;
}

// libavcodec's own buffers, with the first plane marked as unwritten.
int allocateMarkedPicture(AVCodecContext* context, AVFrame* frame, int flags)
{
    const int rc = avcodec_default_get_buffer2(context, frame, flags);
    if (rc < 0)
    {
        return rc;
    }
    auto* buffers = static_cast<PictureBuffers*>(context->opaque);
    const uint32_t bytesPerSample =
        firstPlaneSampleBytes(av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format)));
    if (buffers == nullptr || bytesPerSample == 0 || frame->buf[0] == nullptr || frame->data[0] == nullptr ||
        frame->width <= 0 || frame->height <= 0 || buffers->count == buffers->planes.size())
    {
        return 0;  // not recorded: a picture in it is taken as damaged
    }
    // Here the frame has the coded size, which cropping reduces afterwards.
    PictureBuffers::Plane& plane = buffers->planes[buffers->count++];
    plane.buffer = frame->buf[0]->data;
    plane.samples = frame->data[0];
    plane.stride = frame->linesize[0];
    plane.width = static_cast<uint32_t>(frame->width);
    plane.height = static_cast<uint32_t>(frame->height);
    plane.bytesPerSample = bytesPerSample;
    markUnwritten(plane.samples, plane.stride, plane.width, plane.height, plane.bytesPerSample);
    return 0;
}

bool isKeyFrame(const AVFrame* frame)
{
#ifdef AV_FRAME_FLAG_KEY
    return (frame->flags & AV_FRAME_FLAG_KEY) != 0;
#else
    return frame->key_frame != 0;
#endif
}

// A picture we keep: no error the decoder flagged, decodable on its own (a still picture that asks for
// references would be predicted from made-up ones), and every part of it written.
bool wholeIntraPicture(const AVFrame* frame, const PictureBuffers& buffers)
{
    if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 || !isKeyFrame(frame) ||
        frame->buf[0] == nullptr)
    {
        return false;
    }
    const PictureBuffers::Plane* plane = buffers.find(frame->buf[0]->data);
    return plane != nullptr &&
           everyCellWritten(plane->samples, plane->stride, plane->width, plane->height, plane->bytesPerSample);
}
}  // namespace

void FrameDeleter::operator()(AVFrame* f) const
{
    av_frame_free(&f);
}

void CodecContextDeleter::operator()(AVCodecContext* context) const
{
    avcodec_free_context(&context);
}

HevcDecoder::HevcDecoder(int threads) : mThreads(threads < 1 ? 1 : std::min(threads, kMaxSliceThreads))
{
    quietLibav();
}

HevcDecoder::~HevcDecoder() = default;

FramePtr HevcDecoder::decode(const uint8_t* data, size_t size, uint64_t maxPixels, std::string& error)
{
    if (data == nullptr || size == 0 || size > (1u << 30))
    {
        error = "empty or oversized HEVC stream";
        return nullptr;
    }
    // The context of the picture before keeps its parameter sets, and filter parameters of every block
    // that picture decoded. A picture in one slice reads the latter only for blocks it decoded itself;
    // with several slices, a lost one leaves blocks that the filters of later ones still reach. So the
    // context is kept only for a picture in one slice with the same parameter sets.
    StreamOutline outline = outlineOf(data, size);
    if (!mContext || outline.slices != 1 || outline.parameterSets != mParameterSets)
    {
        mContext.reset();
        mParameterSets.clear();
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
        std::unique_ptr<AVCodecContext, CodecContextDeleter> context(codec != nullptr ? avcodec_alloc_context3(codec)
                                                                                      : nullptr);
        if (!context)
        {
            error = codec == nullptr ? "no HEVC decoder" : "out of memory";
            return nullptr;
        }
        context->thread_count = mThreads;
        context->thread_type = FF_THREAD_SLICE;
        // Damage must fail the picture rather than be concealed into a plausible-looking output.
        context->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_CAREFUL | AV_EF_CRCCHECK;
        context->get_buffer2 = allocateMarkedPicture;
        if (avcodec_open2(context.get(), codec, nullptr) < 0)
        {
            error = "no HEVC decoder";
            return nullptr;
        }
        mContext = std::move(context);
        mParameterSets = std::move(outline.parameterSets);
    }
    AVCodecContext* const context = mContext.get();
    PictureBuffers buffers;
    context->max_pixels = static_cast<int64_t>(maxPixels);
    context->opaque = &buffers;
    FramePtr result;
    bool damaged = false;
    int rc = AVERROR(ENOMEM);
    AVPacket* packet = av_packet_alloc();
    if (packet != nullptr && av_new_packet(packet, static_cast<int>(size)) >= 0)
    {
        std::memcpy(packet->data, data, size);
        rc = avcodec_send_packet(context, packet);
    }
    av_packet_free(&packet);
    if (rc >= 0)
    {
        avcodec_send_packet(context, nullptr);  // drain: a still picture is complete with its stream
        while (true)
        {
            FramePtr frame(av_frame_alloc());
            if (!frame)
            {
                rc = AVERROR(ENOMEM);
                break;
            }
            rc = avcodec_receive_frame(context, frame.get());
            if (rc < 0)
            {
                break;
            }
            if (!wholeIntraPicture(frame.get(), buffers))
            {
                damaged = true;
                break;
            }
            if (!result)
            {
                result = std::move(frame);
            }
        }
    }
    context->opaque = nullptr;
    if (rc == AVERROR_EOF && !damaged && result)
    {
        avcodec_flush_buffers(context);
        return result;
    }
    // A context that failed is not trusted with another picture.
    mContext.reset();
    mParameterSets.clear();
    // With slice threads, whether damage surfaces as an error or as rows left undecoded depends on which
    // thread meets it first, so both are one verdict with one reason.
    if (rc == AVERROR(ENOMEM))
    {
        error = "out of memory";
    }
    else if (damaged || rc != AVERROR_EOF)
    {
        error = "HEVC picture is damaged";
    }
    else
    {
        error = "HEVC stream holds no picture";
    }
    return nullptr;
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
