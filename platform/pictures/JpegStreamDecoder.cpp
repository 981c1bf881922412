// JPEG through libjpeg-turbo, read from the file as the decoder asks for it and handed out in bands of rows,
// reduced by the scaled inverse transform when a smaller picture is enough. libjpeg reports errors by
// jumping back to a setjmp: every call into it is made from a small function of its own whose frame holds
// nothing with a destructor, and everything the C++ side owns lives outside those frames. Of the APP
// segments only the first Exif block and the colour profile's chunks are kept, by marker processors of our
// own: libjpeg's would store every APP1 and APP2 segment, however many the file holds.
#include "Bitmap.h"
#include "DecodeSizeLimits.h"
#include "DecodeWorkLimits.h"
#include "ExifOrientation.h"
#include "MemoryReadBuffer.h"
#include "PictureStreamDecoder.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace pravix
{
namespace
{

constexpr size_t kInputBytes = 64 * 1024;
// A progressive file's scans each pass over the blocks of their components; real files have about ten.
// Their work is bounded by the blocks they cover; their number as well, as a backstop.
constexpr int kMaxScans = 100;
// Damaged data may warn once per block; a few warnings are concealed damage, many are noise.
constexpr int kMaxWarnings = 32;
constexpr JDIMENSION kBandRows = 16;
// An APP2 segment of the colour profile: "ICC_PROFILE", 0, the chunk's number (from 1), the number of
// chunks, then its part of the profile.
constexpr size_t kIccSignatureBytes = 12;
constexpr size_t kIccChunkHeader = kIccSignatureBytes + 2;
constexpr size_t kMaxSegmentBytes = 0xFFFF - 2;

// The colour profile's chunks as they arrive, checked as libjpeg's jpeg_read_icc_profile checks the
// saved segments once the header is read: one chunk count for all, numbers 1 to that count, each once,
// none missing, not all empty. Once they cannot make a profile, or would make one over the cap, nothing
// more is stored, so a file of many chunks holds at most the cap.
class IccChunks
{
public:
    // One chunk: its number, the count, its part of the profile.
    void add(uint32_t number, uint32_t count, const uint8_t* data, size_t size)
    {
        if (mBroken)
        {
            return;
        }
        if (mCount == 0)
        {
            mCount = count;
        }
        if (count != mCount || number == 0 || number > mCount || mParts[number].present ||
            mBytes.size() + size > kMaxColourProfileBytes)
        {
            giveUp();
            return;
        }
        mInOrder = mInOrder && number == mArrived + 1;
        ++mArrived;
        mParts[number] = {true, mBytes.size(), size};
        mBytes.insert(mBytes.end(), data, data + size);
    }

    bool wanted() const { return !mBroken; }

    // The profile the chunks make, or nothing.
    std::vector<uint8_t> take()
    {
        if (mBroken || mCount == 0 || mBytes.empty())
        {
            return {};
        }
        for (uint32_t n = 1; n <= mCount; ++n)
        {
            if (!mParts[n].present)
            {
                return {};
            }
        }
        if (mInOrder)
        {
            return std::move(mBytes);  // as they arrived: already the profile
        }
        std::vector<uint8_t> profile;
        profile.reserve(mBytes.size());
        for (uint32_t n = 1; n <= mCount; ++n)
        {
            const auto from = mBytes.begin() + static_cast<std::ptrdiff_t>(mParts[n].at);
            profile.insert(profile.end(), from, from + static_cast<std::ptrdiff_t>(mParts[n].size));
        }
        return profile;
    }

private:
    struct Part
    {
        bool present = false;
        size_t at = 0;
        size_t size = 0;
    };

    void giveUp()
    {
        mBroken = true;
        std::vector<uint8_t>().swap(mBytes);
    }

    bool mBroken = false;
    bool mInOrder = true;
    uint32_t mCount = 0;
    uint32_t mArrived = 0;
    std::array<Part, 256> mParts{};
    std::vector<uint8_t> mBytes;  // the parts in the order they arrived
};

// What the marker processors keep while the header is read.
struct KeptSegments
{
    bool exifKept = false;
    std::vector<uint8_t> exif;
    IccChunks icc;

    bool wants(int marker, const uint8_t* head, size_t headSize) const
    {
        if (marker == JPEG_APP0 + 1)
        {
            return !exifKept && headSize >= 6 && std::memcmp(head, "Exif\0\0", 6) == 0;
        }
        return marker == JPEG_APP0 + 2 && icc.wanted() && headSize >= kIccChunkHeader &&
               std::memcmp(head, "ICC_PROFILE", kIccSignatureBytes) == 0;
    }

    // False when out of memory; never throws into libjpeg's frames.
    bool keep(int marker, const uint8_t* data, size_t size) noexcept
    {
        try
        {
            if (marker == JPEG_APP0 + 1)
            {
                exif.assign(data, data + size);
                exifKept = true;
            }
            else
            {
                icc.add(data[kIccSignatureBytes], data[kIccSignatureBytes + 1], data + kIccChunkHeader,
                        size - kIccChunkHeader);
            }
            return true;
        }
        catch (const std::bad_alloc&)
        {
            return false;
        }
    }
};

// Everything libjpeg works on, in one block of plain data at a fixed address.
struct JpegSession
{
    jpeg_decompress_struct cinfo;  // first: the callbacks find the session from it
    jpeg_error_mgr errors;
    jpeg_source_mgr source;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    std::streambuf* file;
    KeptSegments* kept;  // while the header is read; null: every APP1 and APP2 segment passed over
    bool created;
    bool fileEnded;
    int warnings;
    int scansCounted;     // the scans whose blocks are in scanBlocks
    uint64_t scanBlocks;  // blocks covered by the scans so far
    uint64_t scanBlockLimit;
    char message[JMSG_LENGTH_MAX];
    JOCTET input[kInputBytes];
    JOCTET segment[kMaxSegmentBytes];  // the APP segment being kept
};

JpegSession* sessionOf(j_common_ptr cinfo)
{
    return reinterpret_cast<JpegSession*>(cinfo);
}

[[noreturn]] void fail(j_common_ptr cinfo)
{
    JpegSession* s = sessionOf(cinfo);
    (*cinfo->err->format_message)(cinfo, s->message);
    std::longjmp(s->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
    {
        return;  // traces
    }
    // A file cut short is refused, as a cut-short HEIC is, rather than shown with a grey end.
    if (cinfo->err->msg_code == JWRN_JPEG_EOF || ++sessionOf(cinfo)->warnings > kMaxWarnings)
    {
        fail(cinfo);
    }
}

// Called before each row of blocks is decoded: a scan whose header has just been read is counted before
// any of its blocks, and refused when the scans so far would cover too many.
void onProgress(j_common_ptr cinfo)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    JpegSession* s = sessionOf(cinfo);
    if (d->input_scan_number == s->scansCounted)
    {
        return;
    }
    s->scansCounted = d->input_scan_number;
    if (d->input_scan_number > kMaxScans)
    {
        std::snprintf(s->message, sizeof s->message, "more than %d scans", kMaxScans);
        std::longjmp(s->jump, 1);
    }
    for (int i = 0; i < d->comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i)
    {
        const jpeg_component_info* comp = d->cur_comp_info[i];
        if (comp != nullptr)
        {
            s->scanBlocks += uint64_t(comp->width_in_blocks) * comp->height_in_blocks;
        }
    }
    if (s->scanBlocks > s->scanBlockLimit)
    {
        std::snprintf(s->message, sizeof s->message, "its %d scans cover more than %llu blocks", d->input_scan_number,
                      static_cast<unsigned long long>(s->scanBlockLimit));
        std::longjmp(s->jump, 1);
    }
}

void initSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo)
{
    JpegSession* s = sessionOf(reinterpret_cast<j_common_ptr>(cinfo));
    size_t n = s->fileEnded ? 0 : stream::read(*s->file, s->input, kInputBytes);
    if (n == 0)
    {
        s->fileEnded = true;
        WARNMS(cinfo, JWRN_JPEG_EOF);
        s->input[0] = 0xFF;
        s->input[1] = JPEG_EOI;
        n = 2;
    }
    cinfo->src->next_input_byte = s->input;
    cinfo->src->bytes_in_buffer = n;
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
    {
        return;
    }
    jpeg_source_mgr* src = cinfo->src;
    if (static_cast<size_t>(count) <= src->bytes_in_buffer)
    {
        src->next_input_byte += count;
        src->bytes_in_buffer -= static_cast<size_t>(count);
        return;
    }
    JpegSession* s = sessionOf(reinterpret_cast<j_common_ptr>(cinfo));
    const uint64_t rest = static_cast<uint64_t>(count) - src->bytes_in_buffer;
    src->bytes_in_buffer = 0;
    if (!stream::skip(*s->file, rest))
    {
        s->fileEnded = true;
    }
}

void termSource(j_decompress_ptr) {}

// Reads `count` bytes of the segment being processed. The source never suspends: at the file's end it
// refuses the file, jumping out of here.
void readSegment(j_decompress_ptr cinfo, JOCTET* to, size_t count)
{
    jpeg_source_mgr* src = cinfo->src;
    while (count > 0)
    {
        if (src->bytes_in_buffer == 0)
        {
            (*src->fill_input_buffer)(cinfo);
        }
        const size_t n = std::min(count, src->bytes_in_buffer);
        std::memcpy(to, src->next_input_byte, n);
        src->next_input_byte += n;
        src->bytes_in_buffer -= n;
        to += n;
        count -= n;
    }
}

// The processor of APP1 and APP2 segments: reads far enough to tell whether the segment is one kept, and
// reads it whole only then; every other one is passed over unstored.
boolean onAppSegment(j_decompress_ptr cinfo)
{
    JpegSession* s = sessionOf(reinterpret_cast<j_common_ptr>(cinfo));
    JOCTET length[2];
    readSegment(cinfo, length, 2);
    // A length under 2 names no data, as libjpeg takes it.
    const int named = (length[0] << 8 | length[1]) - 2;
    const size_t size = named > 0 ? static_cast<size_t>(named) : 0;
    const size_t head = std::min(size, kIccChunkHeader);
    readSegment(cinfo, s->segment, head);
    if (s->kept == nullptr || !s->kept->wants(cinfo->unread_marker, s->segment, head))
    {
        if (size > head)
        {
            (*cinfo->src->skip_input_data)(cinfo, static_cast<long>(size - head));
        }
        return TRUE;
    }
    readSegment(cinfo, s->segment + head, size - head);
    if (!s->kept->keep(cinfo->unread_marker, s->segment, size))
    {
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    }
    return TRUE;
}

// The calls into libjpeg, each in its own frame.

bool createSession(JpegSession* s)
{
    if (setjmp(s->jump))
    {
        return false;
    }
    jpeg_create_decompress(&s->cinfo);
    s->created = true;
    s->cinfo.src = &s->source;
    s->cinfo.progress = &s->progress;
    s->cinfo.mem->max_memory_to_use = static_cast<long>(kDecoderMemoryBudget);
    jpeg_set_marker_processor(&s->cinfo, JPEG_APP0 + 1, onAppSegment);
    jpeg_set_marker_processor(&s->cinfo, JPEG_APP0 + 2, onAppSegment);
    return true;
}

bool readJpegHeader(JpegSession* s)
{
    if (setjmp(s->jump))
    {
        return false;
    }
    jpeg_read_header(&s->cinfo, TRUE);
    return true;
}

bool calcOutput(JpegSession* s, unsigned int numerator)
{
    if (setjmp(s->jump))
    {
        return false;
    }
    s->cinfo.scale_num = numerator;
    s->cinfo.scale_denom = 8;
    jpeg_calc_output_dimensions(&s->cinfo);
    return true;
}

bool startDecompress(JpegSession* s)
{
    if (setjmp(s->jump))
    {
        return false;
    }
    jpeg_start_decompress(&s->cinfo);
    return true;
}

// Reads up to `count` rows; how many in `done`.
bool readRows(JpegSession* s, JSAMPARRAY rows, JDIMENSION count, JDIMENSION* done)
{
    if (setjmp(s->jump))
    {
        return false;
    }
    *done = 0;
    while (*done < count && s->cinfo.output_scanline < s->cinfo.output_height)
    {
        *done += jpeg_read_scanlines(&s->cinfo, rows + *done, count - *done);
    }
    return true;
}

struct SessionRelease
{
    void operator()(JpegSession* s) const
    {
        if (s->created)
        {
            jpeg_destroy_decompress(&s->cinfo);
        }
        delete s;
    }
};

class JpegStreamDecoder : public PictureStreamDecoder
{
public:
    explicit JpegStreamDecoder(std::streambuf& file) : mFile(file), mSession(new JpegSession()) {}

    // Sets libjpeg up on the file and reads up to the first scan's header, keeping the segments in `kept`
    // when given; throws on failure.
    void startSession(KeptSegments* kept)
    {
        JpegSession* s = mSession.get();
        s->file = &mFile;
        s->kept = kept;
        s->cinfo.err = jpeg_std_error(&s->errors);
        s->errors.error_exit = fail;
        s->errors.emit_message = onMessage;
        s->source.init_source = initSource;
        s->source.fill_input_buffer = fillInput;
        s->source.skip_input_data = skipInput;
        s->source.resync_to_restart = jpeg_resync_to_restart;
        s->source.term_source = termSource;
        s->progress.progress_monitor = onProgress;
        s->scanBlockLimit = jpegScanBlockLimit();
        const bool read = createSession(s) && readJpegHeader(s);
        // APP segments between scans are passed over.
        s->kept = nullptr;
        if (!read)
        {
            throw PictureDecodeError(std::string("JPEG: ") + s->message);
        }
    }

    // The frame header's width and height alone: nothing is sized from them here, so no limit applies.
    std::pair<uint32_t, uint32_t> readFrameSize()
    {
        startSession(nullptr);
        return {mSession->cinfo.image_width, mSession->cinfo.image_height};
    }

    PictureHeader readHeader() override
    {
        KeptSegments kept;
        startSession(&kept);
        JpegSession* s = mSession.get();
        const uint64_t fileSize = stream::size(mFile);
        PictureHeader header;
        header.width = s->cinfo.image_width;
        header.height = s->cinfo.image_height;
        checkDecodableSize(header.width, header.height);
        // Huffman-coded data spends at least a bit on every block of every component; a header whose
        // blocks the file cannot hold is refused before the picture is sized from it.
        if (!s->cinfo.arith_code)
        {
            uint64_t blocks = 0;
            for (int c = 0; c < s->cinfo.num_components; ++c)
            {
                const jpeg_component_info& comp = s->cinfo.comp_info[c];
                blocks += uint64_t(comp.width_in_blocks) * comp.height_in_blocks;
            }
            if (fileSize < blocks / 8)
            {
                throw PictureDecodeError("JPEG: " + std::to_string(header.width) + "x" + std::to_string(header.height) +
                                         " pixels cannot be coded in " + std::to_string(fileSize) + " bytes");
            }
        }
        checkCoefficientMemory();
        header.iccProfile = kept.icc.take();
        if (kept.exifKept)
        {
            header.orientation = exifOrientation(kept.exif.data(), kept.exif.size());
            header.exifBlock = std::move(kept.exif);
        }
        return header;
    }

    void decodeRows(uint32_t minWidth, uint32_t minHeight, PictureRowSink& sink) override
    {
        JpegSession* s = mSession.get();
        const bool cmyk = s->cinfo.jpeg_color_space == JCS_CMYK || s->cinfo.jpeg_color_space == JCS_YCCK;
        s->cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
        s->cinfo.dct_method = JDCT_ISLOW;
        // The smallest scale of eighths that still gives at least the size asked for.
        if (minWidth < s->cinfo.image_width || minHeight < s->cinfo.image_height)
        {
            for (unsigned int numerator = 1; numerator <= 8; ++numerator)
            {
                if (!calcOutput(s, numerator))
                {
                    throw PictureDecodeError(std::string("JPEG: ") + s->message);
                }
                if (s->cinfo.output_width >= minWidth && s->cinfo.output_height >= minHeight)
                {
                    break;
                }
            }
        }
        if (!startDecompress(s))
        {
            throw PictureDecodeError(std::string("JPEG: ") + s->message);
        }
        const uint32_t width = s->cinfo.output_width;
        const uint32_t components = static_cast<uint32_t>(s->cinfo.output_components);
        if (components != (cmyk ? 4u : 3u))
        {
            throw PictureDecodeError("JPEG: unexpected output components");
        }
        sink.begin(width, s->cinfo.output_height, 3);
        const size_t stride = static_cast<size_t>(width) * components;
        std::vector<uint8_t> band(stride * kBandRows);
        std::vector<uint8_t> rgb(cmyk ? static_cast<size_t>(width) * 3 * kBandRows : 0);
        std::vector<JSAMPROW> rows(kBandRows);
        while (s->cinfo.output_scanline < s->cinfo.output_height)
        {
            const JDIMENSION want = std::min<JDIMENSION>(kBandRows, s->cinfo.output_height - s->cinfo.output_scanline);
            size_t placeStride = 0;
            uint8_t* place = cmyk ? nullptr : sink.placeForRows(want, placeStride);
            for (JDIMENSION r = 0; r < want; ++r)
            {
                rows[r] = place != nullptr ? place + r * placeStride : band.data() + r * stride;
            }
            JDIMENSION done = 0;
            if (!readRows(s, rows.data(), want, &done))
            {
                throw PictureDecodeError(std::string("JPEG: ") + s->message);
            }
            if (done == 0)
            {
                throw PictureDecodeError("JPEG: no rows decoded");
            }
            if (!cmyk)
            {
                sink.rows(rows[0], place != nullptr ? placeStride : stride, done);
                continue;
            }
            // Each channel is what the ink and the black leave uncovered. Adobe's files, which most CMYK
            // JPEGs are, store the inks inverted, that is as the uncovered part already.
            const bool inverted = s->cinfo.saw_Adobe_marker != 0;
            for (JDIMENSION r = 0; r < done; ++r)
            {
                const uint8_t* in = rows[r];
                uint8_t* out = rgb.data() + static_cast<size_t>(r) * width * 3;
                for (uint32_t x = 0; x < width; ++x)
                {
                    const uint32_t open = inverted ? in[x * 4 + 3] : 255 - in[x * 4 + 3];
                    for (uint32_t c = 0; c < 3; ++c)
                    {
                        const uint32_t clear = inverted ? in[x * 4 + c] : 255 - in[x * 4 + c];
                        out[x * 3 + c] = static_cast<uint8_t>((clear * open + 127) / 255);
                    }
                }
            }
            sink.rows(rgb.data(), static_cast<size_t>(width) * 3, done);
        }
    }

private:
    // A file of several scans (progressive, or sequential with components in scans of their own) is
    // decoded through a buffer of every coefficient of the picture, whatever the output size: one that
    // would need too much is refused before its scans are read.
    void checkCoefficientMemory() const
    {
        const jpeg_decompress_struct& cinfo = mSession->cinfo;
        if (!cinfo.progressive_mode && cinfo.comps_in_scan >= cinfo.num_components)
        {
            return;
        }
        uint64_t bytes = 0;
        for (int c = 0; c < cinfo.num_components; ++c)
        {
            const jpeg_component_info& comp = cinfo.comp_info[c];
            // Rounded up to whole blocks of a sampling unit, as the buffer is.
            const uint64_t h = std::max(comp.h_samp_factor, 1);
            const uint64_t v = std::max(comp.v_samp_factor, 1);
            bytes += (comp.width_in_blocks + h - 1) / h * h * ((comp.height_in_blocks + v - 1) / v * v) * DCTSIZE2 *
                     sizeof(JCOEF);
        }
        if (bytes > kMaxJpegCoefficientBytes)
        {
            throw PictureDecodeError("JPEG: the coefficients of its scans would take " + std::to_string(bytes >> 20) +
                                     " MiB, more than " + std::to_string(kMaxJpegCoefficientBytes >> 20) + " MiB");
        }
    }

    std::streambuf& mFile;
    std::unique_ptr<JpegSession, SessionRelease> mSession;
};

}  // namespace

std::unique_ptr<PictureStreamDecoder> makeJpegStreamDecoder(std::streambuf& file)
{
    return std::make_unique<JpegStreamDecoder>(file);
}

std::optional<std::pair<uint32_t, uint32_t>> readJpegSize(const uint8_t* data, size_t size)
{
    if (data == nullptr || size == 0)
    {
        return std::nullopt;
    }
    try
    {
        MemoryReadBuffer bytes(data, size);
        return JpegStreamDecoder(bytes).readFrameSize();
    }
    catch (const std::exception&)
    {
        return std::nullopt;
    }
}

}  // namespace pravix
