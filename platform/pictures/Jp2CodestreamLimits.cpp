// The headers of a JPEG 2000 file read the way OpenJPEG 2.5.0 reads them (src/lib/openjp2/j2k.c and jp2.c
// of Debian's openjpeg2 2.5.0-2+deb12u3), and what OpenJPEG allocates and does for them counted the way
// it does (tcd.c opj_tcd_init_tile, t2.c, pi.c opj_pi_create_decode, j2k.c opj_j2k_read_sod), with the
// sizes of its structures on 64-bit Linux. Every read is checked against the bytes left; the tile-parts'
// data is skipped by its length and never read.
#include "Jp2CodestreamLimits.h"

#include "DecodeSizeLimits.h"
#include "PictureStreamDecoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace pravix
{
namespace
{

// OpenJPEG 2.5's structures (sizeof on x86-64) and glibc's cost of one allocation beyond its bytes.
constexpr double kAllocation = 16;
constexpr double kCodeBlockBytes = 80;          // opj_tcd_cblk_dec_t
constexpr double kSegmentBytes = 24;            // opj_tcd_seg_t; OPJ_J2K_DEFAULT_NB_SEGS (10) allocated per code-block
constexpr double kChunkBytes = 16;              // opj_tcd_seg_data_chunk_t
constexpr double kPrecinctBytes = 56;           // opj_tcd_precinct_t
constexpr double kTagTreeBytes = 32;            // opj_tgt_tree_t
constexpr double kTagNodeBytes = 24;            // opj_tgt_node_t
constexpr double kResolutionBytes = 192;        // opj_tcd_resolution_t
constexpr double kTileCodingBytes = 5696;       // opj_tcp_t, one per tile of the picture
constexpr double kComponentCodingBytes = 1080;  // opj_tccp_t, per tile and component
// Per tile of the picture besides: the MCT and MCC record tables (10 of 32 bytes each), the codestream
// index's tile entry with room for 100 markers of 24 bytes and 10 tile-parts of 24.
constexpr double kTileIndexBytes = 2 * (10 * 32 + kAllocation) + 56 + 100 * 24 + 10 * 24 + 3 * kAllocation;
// Each thread's wavelet and code-block buffers, the thread pool, OpenJPEG's codec and stream.
constexpr double kThreadBytes = 24.0 * 1024 * 1024;

// OpenJPEG's work on this kind of machine (8 cores, shared), in seconds per unit, measured on crafted
// codestreams and on pictures coded by opj_compress, ffmpeg and ImageMagick while other work ran.
constexpr double kSecondsPerStructureByte = 2.7e-9;  // structures allocated and first touched
constexpr double kSecondsPerCodeBlock = 35e-9;       // set up again for each tile, reset at its first layer
constexpr double kSecondsPerPrecinct = 100e-9;       // its tag trees set up
constexpr double kSecondsPerPacket = 60e-9;          // walked: a packet header read, present or not
constexpr double kSecondsPerPosition = 4e-9;         // a step of a position-driven progression
constexpr double kSecondsPerSegment = 0.7e-6;        // a code-block segment named in a packet header
constexpr double kSecondsPerContribution = 0.1e-6;   // a code-block's part in a packet
constexpr double kSecondsPerCodedByte = 10e-9;       // read, its packet headers parsed
constexpr double kSecondsPerDecodedByte = 150e-9;    // code-block decoding, one thread
constexpr double kSecondsPerSample = 16e-9;          // wavelet, level shift, copy out, one thread
// Without OpenJPEG's threads (all in the caller's thread) and with them: each tile-component's code-blocks
// handed to the pool as jobs and waited for, and each level of its inverse wavelet after the first
// waited for twice (rows, then columns); the waits, not the work, take the time of small tiles.
constexpr double kSecondsPerTileComponent[2] = {15e-6, 30e-6};
constexpr double kSecondsPerTileComponentLevel[2] = {0, 220e-6};
constexpr double kSecondsPerDecodedBlock[2] = {50e-9, 4e-6};
constexpr double kThreadSpeedUp[2] = {1, 4};
// The longer side of the picture a conversion asks for, to choose OpenJPEG's threads by.
constexpr uint32_t kUsualSide = 8192;

static_assert(Jp2CodestreamLimits::kMemoryCap <= double(kDecoderMemoryBudget), "within the codec budget");

constexpr uint32_t kMaxComponents = 4;
constexpr uint64_t kMaxTiles = 4096;
constexpr int kMaxBoxes = 1024;
constexpr uint32_t kMaxResolutions = 33;  // OPJ_J2K_MAXRLVLS
constexpr uint64_t kMaxUnknownScan = 1 << 20;

// Markers (T.800 Table A.2) and OpenJPEG's decoder states of where each may stand.
enum : uint32_t
{
    SOC = 0xFF4F,
    SOT = 0xFF90,
    SOD = 0xFF93,
    EOC = 0xFFD9,
    SIZ = 0xFF51,
    COD = 0xFF52,
    COC = 0xFF53,
    RGN = 0xFF5E,
    QCD = 0xFF5C,
    QCC = 0xFF5D,
    POC = 0xFF5F,
    TLM = 0xFF55,
    PLM = 0xFF57,
    PLT = 0xFF58,
    PPM = 0xFF60,
    PPT = 0xFF61,
    SOP = 0xFF91,
    CRG = 0xFF63,
    COM = 0xFF64,
    MCT = 0xFF74,
    CBD = 0xFF78,
    CAP = 0xFF50,
    CPF = 0xFF59,
    MCC = 0xFF75,
    MCO = 0xFF77
};
enum : uint32_t
{
    InMainAfterSoc = 1,
    InMain = 2,
    InTilePart = 4,
    AtTilePart = 8
};

// Where OpenJPEG's marker table lets a marker stand; 0 for a marker it does not know.
uint32_t markerPlaces(uint32_t marker)
{
    switch (marker)
    {
    case SOT:
        return InMain | AtTilePart;
    case COD:
    case COC:
    case RGN:
    case QCD:
    case QCC:
    case POC:
    case COM:
    case MCT:
    case MCC:
    case MCO:
        return InMain | InTilePart;
    case SIZ:
        return InMainAfterSoc;
    case TLM:
    case PLM:
    case PPM:
    case CRG:
    case CBD:
    case CAP:
    case CPF:
        return InMain;
    case PLT:
    case PPT:
        return InTilePart;
    case SOP:
        return 0x100;  // known, allowed nowhere
    default:
        return 0;
    }
}

uint32_t be16(const uint8_t* p)
{
    return (uint32_t(p[0]) << 8) | p[1];
}

uint32_t be32(const uint8_t* p)
{
    return (be16(p) << 16) | be16(p + 2);
}

[[noreturn]] void refuse(const std::string& why)
{
    throw PictureDecodeError("JPEG 2000: " + why);
}

std::string millions(double count)
{
    char text[32];
    if (count >= 1e6)
    {
        std::snprintf(text, sizeof text, "%.1f million", count / 1e6);
    }
    else
    {
        std::snprintf(text, sizeof text, "%.0f", count);
    }
    return text;
}

std::string megabytes(double bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f MB", bytes / 1e6);
    return text;
}

// Reads the file at given positions, never past `end`.
class Bytes
{
public:
    Bytes(std::streambuf& file, uint64_t end) : mFile(file), mEnd(end) {}
    uint64_t end() const { return mEnd; }
    bool read(uint64_t at, void* into, size_t count)
    {
        return at <= mEnd && count <= mEnd - at && stream::seek(mFile, at) && stream::read(mFile, into, count) == count;
    }

private:
    std::streambuf& mFile;
    uint64_t mEnd;
};

// One component's coding style in a tile (OpenJPEG's opj_tccp_t, the parts that size its work).
struct ComponentCoding
{
    uint32_t resolutions = 1;
    uint32_t blockWidth = 6;  // exponents: code-blocks of 2^6 x 2^6
    uint32_t blockHeight = 6;
    uint32_t style = 0;
    std::array<uint8_t, kMaxResolutions> precinctWidth{};
    std::array<uint8_t, kMaxResolutions> precinctHeight{};
};

struct ProgressionChange
{
    uint32_t firstResolution, firstComponent, layerEnd, resolutionEnd, componentEnd, order;
};

// A tile's coding parameters (OpenJPEG's opj_tcp_t): the main header's, then its tile-parts' markers.
struct TileCoding
{
    uint32_t layers = 0;
    uint32_t order = 0;
    std::vector<ProgressionChange> changes;
    std::array<ComponentCoding, kMaxComponents> components{};
};

struct TileState
{
    int32_t lastPart = -1;
    uint32_t parts = 0;  // TNsot once known
    uint64_t codedBytes = 0;
    uint64_t packedHeaderBytes = 0;  // PPT
    bool hasCoding = false;
    TileCoding coding;
};

// The extent of a tile-component at a resolution level, in that level's coordinates.
struct Extent
{
    int64_t x0, y0, x1, y1;
};

int64_t ceilShift(int64_t value, uint32_t shift)
{
    return shift >= 63 ? (value > 0 ? 1 : 0) : (value + (int64_t(1) << shift) - 1) >> shift;
}

int64_t floorShift(int64_t value, uint32_t shift)
{
    return shift >= 63 ? (value < 0 ? -1 : 0) : value >> shift;
}

class Reader
{
public:
    Reader(std::streambuf& file, uint64_t size) : mBytes(file, size), mSize(size) {}

    Jp2CodestreamLimits::Counts counts;
    bool bare = true;
    uint32_t width = 0, height = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    uint32_t components = 0;
    uint32_t paletteColumns = 0;
    Jp2CodestreamLimits::ByteSpan colourProfile;
    uint32_t tileWidth = 0, tileHeight = 0, tileX0 = 0, tileY0 = 0, tilesAcross = 0, tilesDown = 0;
    uint32_t levels = kMaxResolutions;
    double headerBytes = 0;  // what OpenJPEG holds from the main header on
    double dataDrivenBytes = 0;
    std::vector<TileState> tiles;
    TileCoding mainCoding;
    // Per resolution slot (component, level, band) across the tiles decoded: what OpenJPEG's one tile
    // structure grows to, bounded both by the sum over the tiles and by the largest precinct count times
    // the largest precinct.
    struct Slot
    {
        double sumBytes = 0;
        double maxPrecincts = 0;
        double maxPrecinctBytes = 0;
    };
    std::vector<Slot> slots = std::vector<Slot>(kMaxComponents * kMaxResolutions * 3);
    double resolutionBytes = 0;
    // Per reduction: the largest tile buffer, the code-blocks decoded.
    std::array<double, kMaxResolutions> tileSampleBytes{};
    std::array<double, kMaxResolutions> decodedBlocks{};
    std::array<double, kMaxResolutions> tileComponentLevels{};  // levels transformed beyond the first

    void readFile()
    {
        uint8_t head[2] = {};
        if (!mBytes.read(0, head, 2))
        {
            refuse("file cut short");
        }
        bare = head[0] == 0xFF && head[1] == 0x4F;
        mStart = bare ? 0 : findCodestream();
        readMainHeader();
        walkTileParts();
        for (uint32_t t = 0; t < tiles.size(); ++t)
        {
            if (tiles[t].codedBytes > 0)
            {
                countTile(t);
            }
        }
        finishCounts();
    }

private:
    Bytes mBytes;
    uint64_t mSize;
    uint64_t mStart = 0;
    uint64_t mFirstTilePart = 0;
    uint64_t mPackedHeaderBytes = 0;  // PPM
    uint32_t mTilePartCorrection = 0;
    bool mCorrectionChecked = false;
    std::vector<uint8_t> mSegment;

    // The .jp2's boxes up to its codestream box, as OpenJPEG's reader takes them in order; the palette
    // of the header box read for the planes OpenJPEG makes of it.
    uint64_t findCodestream()
    {
        uint64_t at = 0;
        for (int box = 0;; ++box)
        {
            uint8_t head[16];
            if (box == kMaxBoxes || !mBytes.read(at, head, 8))
            {
                refuse("no codestream");
            }
            uint64_t length = be32(head);
            uint64_t headerLength = 8;
            if (length == 1)
            {
                if (!mBytes.read(at + 8, head + 8, 8))
                {
                    refuse("no codestream");
                }
                if (be32(head + 8) != 0)
                {
                    refuse("a box of 4 GiB or more");
                }
                length = be32(head + 12);
                headerLength = 16;
            }
            else if (length == 0)
            {
                length = mSize - at;
            }
            if (std::memcmp(head + 4, "jp2c", 4) == 0)
            {
                return at + headerLength;
            }
            if (length < headerLength || length > mSize - at)
            {
                refuse("a box runs past the end of the file");
            }
            if (std::memcmp(head + 4, "jp2h", 4) == 0)
            {
                readHeaderBox(at + headerLength, at + length);
            }
            at += length;
        }
    }

    // The header box's children as OpenJPEG reads them (a long length only when its high half is 0): the
    // first palette, for the planes it makes, and the first colour box, for its profile.
    void readHeaderBox(uint64_t at, uint64_t end)
    {
        bool colourSeen = false;
        for (int box = 0; box < kMaxBoxes && end - at >= 8; ++box)
        {
            uint8_t head[16];
            if (!mBytes.read(at, head, 8))
            {
                return;
            }
            uint64_t length = be32(head);
            uint64_t headerLength = 8;
            if (length == 1)
            {
                if (end - at < 16 || !mBytes.read(at + 8, head + 8, 8) || be32(head + 8) != 0)
                {
                    return;
                }
                length = be32(head + 12);
                headerLength = 16;
            }
            if (length < headerLength || length > end - at)
            {
                return;  // OpenJPEG refuses the header box
            }
            const uint64_t body = at + headerLength;
            const uint64_t bodyLength = length - headerLength;
            uint8_t fields[3];
            if (std::memcmp(head + 4, "pclr", 4) == 0 && paletteColumns == 0 && bodyLength >= 3 &&
                mBytes.read(body, fields, 3))
            {
                paletteColumns = fields[2];
                if (paletteColumns > kMaxComponents)
                {
                    refuse("palette of " + std::to_string(paletteColumns) + " columns");
                }
            }
            else if (std::memcmp(head + 4, "colr", 4) == 0 && !colourSeen)
            {
                colourSeen = true;
                // Method 2 or 3: an ICC profile after the method, precedence and approximation bytes.
                if (bodyLength > 3 && mBytes.read(body, fields, 1) && (fields[0] == 2 || fields[0] == 3))
                {
                    colourProfile = {body + 3, bodyLength - 3};
                }
            }
            at += length;
        }
    }

    // The marker at `at`: its code, and its segment (length checked, read into mSegment).
    uint32_t markerAt(uint64_t at)
    {
        uint8_t code[2];
        if (!mBytes.read(at, code, 2))
        {
            refuse("codestream cut short");
        }
        return be16(code);
    }

    // Reads the segment of the marker at `at` (its length, then the rest); the segment's bytes after
    // the length. Throws when it runs past the end.
    uint32_t readSegment(uint64_t at)
    {
        uint8_t length[2];
        if (!mBytes.read(at + 2, length, 2) || be16(length) < 2)
        {
            refuse("bad marker segment");
        }
        const uint32_t bytes = be16(length) - 2;
        mSegment.resize(bytes);
        if (!mBytes.read(at + 4, mSegment.data(), bytes))
        {
            refuse("marker segment runs past the end of the file");
        }
        return bytes;
    }

    void readMainHeader()
    {
        if (markerAt(mStart) != SOC)
        {
            refuse("no start of codestream");
        }
        uint64_t at = mStart + 2;
        uint32_t place = InMainAfterSoc;
        bool haveSize = false, haveCoding = false, haveQuantization = false;
        for (;;)
        {
            uint32_t marker = markerAt(at);
            if (marker == SOT)
            {
                break;
            }
            if (marker < 0xFF00)
            {
                refuse("bad marker in the main header");
            }
            if (markerPlaces(marker) == 0)
            {
                // OpenJPEG looks for the next marker it knows two bytes at a time.
                uint64_t scanned = 0;
                do
                {
                    at += 2;
                    scanned += 2;
                    if (scanned > kMaxUnknownScan)
                    {
                        refuse("unknown data in the main header");
                    }
                    marker = markerAt(at);
                } while (marker < 0xFF00 || markerPlaces(marker) == 0);
                if (marker == SOT)
                {
                    break;
                }
            }
            if ((markerPlaces(marker) & place) == 0)
            {
                refuse("marker out of place in the main header");
            }
            const uint32_t bytes = readSegment(at);
            const uint8_t* p = mSegment.data();
            switch (marker)
            {
            case SIZ:
                readSize(p, bytes);
                place = InMain;
                haveSize = true;
                break;
            case COD:
                readCod(mainCoding, p, bytes);
                haveCoding = true;
                break;
            case COC:
                readCoc(mainCoding, p, bytes);
                break;
            case POC:
                readPoc(mainCoding, p, bytes);
                break;
            case QCD:
                haveQuantization = true;
                break;
            case PPM:
                mPackedHeaderBytes += bytes;
                break;
            default:
                break;
            }
            headerBytes += bytes;
            at += 4 + uint64_t(bytes);
        }
        if (!haveSize || !haveCoding || !haveQuantization)
        {
            refuse("main header without size, coding style or quantization");
        }
        mFirstTilePart = at;
    }

    void readSize(const uint8_t* p, uint32_t bytes)
    {
        if (bytes < 36 || (bytes - 36) % 3 != 0 || be16(p + 34) != (bytes - 36) / 3)
        {
            refuse("bad size marker");
        }
        x1 = be32(p + 2);
        y1 = be32(p + 6);
        x0 = be32(p + 10);
        y0 = be32(p + 14);
        tileWidth = be32(p + 18);
        tileHeight = be32(p + 22);
        tileX0 = be32(p + 26);
        tileY0 = be32(p + 30);
        components = be16(p + 34);
        if (x1 <= x0 || y1 <= y0 || tileWidth == 0 || tileHeight == 0 || tileX0 > x0 || tileY0 > y0 ||
            uint64_t(tileX0) + tileWidth <= x0 || uint64_t(tileY0) + tileHeight <= y0)
        {
            refuse("bad size marker");
        }
        width = x1 - x0;
        height = y1 - y0;
        checkDecodableSize(width, height);
        const uint64_t across = (uint64_t(x1) - tileX0 + tileWidth - 1) / tileWidth;
        const uint64_t down = (uint64_t(y1) - tileY0 + tileHeight - 1) / tileHeight;
        if (across * down > kMaxTiles)
        {
            refuse(std::to_string(across * down) + " tiles");
        }
        tilesAcross = static_cast<uint32_t>(across);
        tilesDown = static_cast<uint32_t>(down);
        if (components == 0 || components > kMaxComponents)
        {
            refuse("unsupported picture layout");
        }
        for (uint32_t c = 0; c < components; ++c)
        {
            const uint8_t* comp = p + 36 + 3 * c;
            const uint32_t precision = (comp[0] & 0x7F) + 1u;
            if (comp[1] != 1 || comp[2] != 1 || precision > 16)
            {
                refuse("subsampled or unsupported components");
            }
        }
        tiles.resize(across * down);
        // OpenJPEG's coding parameters of every tile, and the codestream index's entry of each.
        headerBytes += double(across * down + 1) * (kTileCodingBytes + kAllocation +
                                                    components * kComponentCodingBytes + kAllocation + kTileIndexBytes);
    }

    // SPcod or SPcoc into one component's coding; the bytes it took.
    uint32_t readComponentCoding(ComponentCoding& coding, bool customPrecincts, const uint8_t* p, uint32_t bytes)
    {
        if (bytes < 5)
        {
            refuse("bad coding style");
        }
        coding.resolutions = p[0] + 1u;
        coding.blockWidth = p[1] + 2u;
        coding.blockHeight = p[2] + 2u;
        coding.style = p[3];
        if (coding.resolutions > kMaxResolutions || coding.blockWidth > 10 || coding.blockHeight > 10 ||
            coding.blockWidth + coding.blockHeight > 12 || (coding.style & 0x80) != 0 || p[4] > 1)
        {
            refuse("bad coding style");
        }
        if (!customPrecincts)
        {
            coding.precinctWidth.fill(15);
            coding.precinctHeight.fill(15);
            return 5;
        }
        if (bytes - 5 < coding.resolutions)
        {
            refuse("bad coding style");
        }
        for (uint32_t r = 0; r < coding.resolutions; ++r)
        {
            const uint8_t sizes = p[5 + r];
            if (r != 0 && ((sizes & 0xF) == 0 || (sizes >> 4) == 0))
            {
                refuse("bad precinct size");
            }
            coding.precinctWidth[r] = sizes & 0xF;
            coding.precinctHeight[r] = sizes >> 4;
        }
        return 5 + coding.resolutions;
    }

    void readCod(TileCoding& coding, const uint8_t* p, uint32_t bytes)
    {
        if (bytes < 5 || (p[0] & ~7u) != 0)
        {
            refuse("bad coding style");
        }
        coding.order = p[1];
        coding.layers = be16(p + 2);
        if (coding.order > 4 || coding.layers == 0 || p[4] > 1)
        {
            refuse("bad coding style");
        }
        ComponentCoding& first = coding.components[0];
        if (readComponentCoding(first, (p[0] & 1) != 0, p + 5, bytes - 5) != bytes - 5)
        {
            refuse("bad coding style");
        }
        for (uint32_t c = 1; c < kMaxComponents; ++c)
        {
            coding.components[c] = first;
        }
    }

    void readCoc(TileCoding& coding, const uint8_t* p, uint32_t bytes)
    {
        if (bytes < 2 || p[0] >= components)
        {
            refuse("bad component coding style");
        }
        if (readComponentCoding(coding.components[p[0]], (p[1] & 1) != 0, p + 2, bytes - 2) != bytes - 2)
        {
            refuse("bad component coding style");
        }
    }

    void readPoc(TileCoding& coding, const uint8_t* p, uint32_t bytes)
    {
        if (bytes == 0 || bytes % 7 != 0 || coding.changes.size() + bytes / 7 >= 32)
        {
            refuse("bad progression order change");
        }
        for (uint32_t i = 0; i < bytes; i += 7)
        {
            const uint8_t* e = p + i;
            coding.changes.push_back({e[0], e[1], be16(e + 2), e[4], std::min<uint32_t>(e[5], components), e[6]});
        }
    }

    // Every tile-part, as OpenJPEG's reader goes through them: its header's markers read, its data skipped
    // by its length. Follows the coded data held between a tile's first tile-part and its decoding.
    void walkTileParts()
    {
        uint64_t at = mFirstTilePart;
        double held = 0;
        uint32_t parts = 0;
        for (;;)
        {
            if (mSize - at < 2)
            {
                break;  // no end of codestream marker: OpenJPEG ends there too
            }
            const uint32_t marker = markerAt(at);
            if (marker != SOT)
            {
                break;  // the end of the codestream, or what OpenJPEG stops at
            }
            if (++parts > Jp2CodestreamLimits::kMaxTileParts)
            {
                refuse("more than " + std::to_string(Jp2CodestreamLimits::kMaxTileParts) + " tile-parts");
            }
            uint8_t sot[12];
            if (!mBytes.read(at, sot, sizeof sot) || be16(sot + 2) != 10)
            {
                refuse("bad tile-part header");
            }
            const uint32_t index = be16(sot + 4);
            const uint32_t length = be32(sot + 6);
            const uint32_t part = sot[10];
            uint32_t partCount = sot[11];
            if (index >= tiles.size())
            {
                refuse("bad tile number");
            }
            TileState& tile = tiles[index];
            if (tile.lastPart + 1 != int32_t(part) || (length != 0 && length < 14 && length != 12) ||
                (tile.parts != 0 && part >= tile.parts))
            {
                refuse("bad tile-part header");
            }
            tile.lastPart = int32_t(part);
            if (partCount != 0)
            {
                partCount += mTilePartCorrection;
                if (part >= partCount)
                {
                    refuse("bad tile-part header");
                }
                tile.parts = partCount;
            }
            bool complete = tile.parts != 0 && tile.parts == part + 1;
            // The tile-part header's markers, up to the start of data.
            uint64_t headerEnd = at + 12;
            for (;;)
            {
                const uint32_t code = markerAt(headerEnd);
                if (code == SOD)
                {
                    break;
                }
                if ((markerPlaces(code) & InTilePart) == 0)
                {
                    refuse("marker out of place in a tile-part header");
                }
                const uint32_t bytes = readSegment(headerEnd);
                const uint8_t* p = mSegment.data();
                if (code == COD || code == COC || code == POC)
                {
                    if (!tile.hasCoding)
                    {
                        tile.coding = mainCoding;
                        tile.hasCoding = true;
                    }
                    if (code == COD)
                    {
                        readCod(tile.coding, p, bytes);
                    }
                    else if (code == COC)
                    {
                        readCoc(tile.coding, p, bytes);
                    }
                    else
                    {
                        readPoc(tile.coding, p, bytes);
                    }
                }
                else if (code == PPT)
                {
                    tile.packedHeaderBytes += bytes;
                }
                headerEnd += 4 + uint64_t(bytes);
            }
            const uint64_t dataStart = headerEnd + 2;
            uint64_t dataBytes = 0;
            if (length == 0)
            {
                // The last tile-part: OpenJPEG takes the rest of the file but two bytes.
                dataBytes = mSize - dataStart >= 2 ? mSize - dataStart - 2 : 0;
            }
            else if (length == 12)
            {
                if (headerEnd != at + 12)
                {
                    refuse("bad tile-part header");
                }
            }
            else
            {
                const uint64_t headerBytes = dataStart - at;
                if (length < headerBytes || length - headerBytes > mSize - dataStart)
                {
                    refuse("tile-part runs past the end of the file");
                }
                dataBytes = length - headerBytes;
            }
            tile.codedBytes += dataBytes;
            counts.codedBytes += double(dataBytes);
            held += double(dataBytes);
            const uint64_t next = dataStart + dataBytes;
            if (complete && !mCorrectionChecked)
            {
                mCorrectionChecked = true;
                if (needsTilePartCorrection(next, index))
                {
                    mTilePartCorrection = 1;
                    for (TileState& t : tiles)
                    {
                        t.parts += t.parts != 0 ? 1 : 0;
                    }
                    complete = false;
                }
            }
            counts.heldCodedBytes = std::max(counts.heldCodedBytes, held);
            if (complete)
            {
                held -= double(tile.codedBytes);
            }
            if (length == 0)
            {
                break;
            }
            at = next;
        }
    }

    // OpenJPEG's check, at the first tile completed, for an encoder that counted a tile's tile-parts one
    // short: the next tile-part of the same tile numbered as many as the count.
    bool needsTilePartCorrection(uint64_t at, uint32_t tile)
    {
        for (uint32_t n = 0; n < Jp2CodestreamLimits::kMaxTileParts; ++n)
        {
            uint8_t sot[12];
            if (!mBytes.read(at, sot, sizeof sot) || be16(sot) != SOT || be16(sot + 2) != 10)
            {
                return false;
            }
            const uint32_t length = be32(sot + 6);
            if (be16(sot + 4) == tile)
            {
                return sot[10] == sot[11] && sot[11] != 0;
            }
            if (length < 14 || length - 12 > mSize - (at + 12))
            {
                return false;
            }
            at += length;
        }
        return false;
    }

    Slot& slot(uint32_t component, uint32_t resolution, uint32_t band)
    {
        return slots[(component * kMaxResolutions + resolution) * 3 + band];
    }

    // What OpenJPEG's opj_tcd_init_tile allocates for a tile, its packet iterator, and its decoding work.
    void countTile(uint32_t index)
    {
        TileState& tile = tiles[index];
        const TileCoding& coding = tile.hasCoding ? tile.coding : mainCoding;
        const uint32_t p = index % tilesAcross;
        const uint32_t q = index / tilesAcross;
        const int64_t tx0 = std::max<int64_t>(int64_t(tileX0) + int64_t(p) * tileWidth, x0);
        const int64_t ty0 = std::max<int64_t>(int64_t(tileY0) + int64_t(q) * tileHeight, y0);
        const int64_t tx1 = std::min<int64_t>(int64_t(tileX0) + int64_t(p + 1) * tileWidth, x1);
        const int64_t ty1 = std::min<int64_t>(int64_t(tileY0) + int64_t(q + 1) * tileHeight, y1);
        if (tx1 <= tx0 || ty1 <= ty0)
        {
            return;
        }
        counts.tilesDecoded++;
        const uint32_t layers = std::max<uint32_t>(coding.layers, 1);
        double tileCodeBlocks = 0, tilePackets = 0, maxPrecinctsOfALevel = 0, tileResolutionBytes = 0;
        uint32_t maxResolutions = 0;
        double precinctCounts[kMaxComponents][kMaxResolutions] = {};
        std::array<double, kMaxResolutions> tileSamples{};
        double positionDx = 0, positionDy = 0;
        for (uint32_t c = 0; c < components; ++c)
        {
            const ComponentCoding& cc = coding.components[c];
            const uint32_t levelsOfComponent = cc.resolutions;
            maxResolutions = std::max(maxResolutions, levelsOfComponent);
            double componentBlocks = 0;
            for (uint32_t r = 0; r < levelsOfComponent; ++r)
            {
                const uint32_t level = levelsOfComponent - 1 - r;
                const Extent res{ceilShift(tx0, level), ceilShift(ty0, level), ceilShift(tx1, level),
                                 ceilShift(ty1, level)};
                const uint32_t pdx = cc.precinctWidth[r], pdy = cc.precinctHeight[r];
                const int64_t startX = floorShift(res.x0, pdx) << pdx;
                const int64_t startY = floorShift(res.y0, pdy) << pdy;
                const int64_t endX = ceilShift(res.x1, pdx) << pdx;
                const int64_t endY = ceilShift(res.y1, pdy) << pdy;
                const double pw = res.x0 == res.x1 ? 0 : double((endX - startX) >> pdx);
                const double ph = res.y0 == res.y1 ? 0 : double((endY - startY) >> pdy);
                precinctCounts[c][r] = pw * ph;
                maxPrecinctsOfALevel = std::max(maxPrecinctsOfALevel, pw * ph);
                // The position step of a position-driven progression: the smallest precinct, in the tile's
                // full-resolution coordinates.
                if (pdx + level < 32)
                {
                    const double dx = double(uint64_t(1) << (pdx + level));
                    positionDx = positionDx == 0 ? dx : std::min(positionDx, dx);
                }
                if (pdy + level < 32)
                {
                    const double dy = double(uint64_t(1) << (pdy + level));
                    positionDy = positionDy == 0 ? dy : std::min(positionDy, dy);
                }
                const uint32_t bands = r == 0 ? 1 : 3;
                const uint32_t groupWidth = r == 0 ? pdx : pdx - 1;
                const uint32_t groupHeight = r == 0 ? pdy : pdy - 1;
                const uint32_t blockWidth = std::min(cc.blockWidth, groupWidth);
                const uint32_t blockHeight = std::min(cc.blockHeight, groupHeight);
                for (uint32_t b = 0; b < bands; ++b)
                {
                    Extent band = res;
                    if (r != 0)
                    {
                        const int64_t bx = (b + 1) & 1, by = (b + 1) >> 1;
                        band = {ceilShift(tx0 - (bx << level), level + 1), ceilShift(ty0 - (by << level), level + 1),
                                ceilShift(tx1 - (bx << level), level + 1), ceilShift(ty1 - (by << level), level + 1)};
                    }
                    double columns = 0, rows = 0;
                    if (band.x1 > band.x0 && band.y1 > band.y0 && pw > 0 && ph > 0)
                    {
                        columns = double(ceilShift(band.x1, blockWidth) - floorShift(band.x0, blockWidth));
                        rows = double(ceilShift(band.y1, blockHeight) - floorShift(band.y0, blockHeight));
                    }
                    const double precincts = pw * ph;
                    const double blocks = columns * rows;
                    // Tag-tree nodes of all the band's precincts, two trees each: at most 4/3 of the
                    // code-blocks, plus the halving's rounding.
                    const double nodes =
                        blocks * 4 / 3 + 2 * (columns * ph + rows * pw) + 16 * std::min(precincts, blocks);
                    const double filled = std::min(precincts, blocks);
                    const double perBlock = kCodeBlockBytes + 10 * kSegmentBytes + kAllocation;
                    const double bytes = precincts * kPrecinctBytes + kAllocation + blocks * perBlock +
                                         filled * (kAllocation + 2 * (kTagTreeBytes + 2 * kAllocation)) +
                                         2 * nodes * kTagNodeBytes;
                    // The largest precinct of the band: as many code-blocks as fit in it.
                    const double blocksAcross = std::min(columns, std::ldexp(1.0, int(groupWidth - blockWidth)));
                    const double blocksDown = std::min(rows, std::ldexp(1.0, int(groupHeight - blockHeight)));
                    const double largest = blocksAcross * blocksDown;
                    const double largestBytes =
                        kPrecinctBytes + kAllocation + largest * perBlock + 2 * (kTagTreeBytes + 2 * kAllocation) +
                        2 * (largest * 4 / 3 + 2 * (blocksAcross + blocksDown) + 16) * kTagNodeBytes;
                    Slot& s = slot(c, r, b);
                    s.sumBytes += bytes;
                    s.maxPrecincts = std::max(s.maxPrecincts, precincts);
                    s.maxPrecinctBytes = std::max(s.maxPrecinctBytes, largestBytes);
                    componentBlocks += blocks;
                    counts.precincts += precincts;
                    // Decoded at every reduction that keeps this level.
                    for (uint32_t reduction = 0; reduction < kMaxResolutions && reduction + r < levelsOfComponent;
                         ++reduction)
                    {
                        decodedBlocks[reduction] += blocks;
                    }
                }
                tilePackets += layers * pw * ph;
            }
            // The samples of the tile-component at each reduction.
            for (uint32_t reduction = 0; reduction < kMaxResolutions; ++reduction)
            {
                const uint32_t level = std::min(reduction, levelsOfComponent - 1);
                tileSamples[reduction] += double(ceilShift(tx1, level) - ceilShift(tx0, level)) *
                                          double(ceilShift(ty1, level) - ceilShift(ty0, level));
            }
            tileCodeBlocks += componentBlocks;
            tileResolutionBytes += levelsOfComponent * kResolutionBytes + kAllocation;
        }
        // Progression order changes walk the packets again over their ranges.
        double walkedPackets = tilePackets;
        double positions = 0;
        const double positionSteps = positionDx > 0 && positionDy > 0
                                         ? (double(tx1 - tx0) / positionDx + 2) * (double(ty1 - ty0) / positionDy + 2)
                                         : 0;
        auto positionDriven = [](uint32_t order) { return order >= 2; };
        if (coding.changes.empty())
        {
            positions = positionDriven(coding.order) ? positionSteps * components * maxResolutions : 0;
        }
        else
        {
            walkedPackets = 0;
            for (const ProgressionChange& change : coding.changes)
            {
                const uint32_t changeLayers = std::min(change.layerEnd, layers);
                for (uint32_t c = change.firstComponent; c < std::min(change.componentEnd, components); ++c)
                {
                    for (uint32_t r = change.firstResolution;
                         r < std::min<uint32_t>(change.resolutionEnd, coding.components[c].resolutions); ++r)
                    {
                        walkedPackets += changeLayers * precinctCounts[c][r];
                    }
                }
                positions += positionDriven(change.order) ? positionSteps * components * maxResolutions : 0;
            }
            walkedPackets = std::max(walkedPackets, tilePackets);
        }
        counts.codeBlocks += tileCodeBlocks;
        counts.packets += walkedPackets;
        counts.positions += positions;
        // The packet iterator's inclusion table: a 16-bit entry per layer (and one more), level, component
        // and precinct of the level with the most.
        const double table = (layers + 1.0) * maxResolutions * components * maxPrecinctsOfALevel * 2;
        counts.packetTableBytes = std::max(counts.packetTableBytes, table);
        // What the packet headers make OpenJPEG allocate and walk, bounded both by the coding style and by
        // what the tile's coded bits can name. Segments: in the ordinary style a code-block's segment ends
        // every 109 passes, a contribution naming at most 164 passes in some 17 bits of a packet header with
        // its length; in the bypass and terminate-all styles every pass or two, some 3 bits each. Each
        // code-block starts with room for ten, grown ten at a time. Chunks of data: one per segment a
        // contribution adds to (at least one per layer the code-block takes part in, some 5 bits each), the
        // array doubled as it grows.
        const double bits = double(tile.codedBytes + tile.packedHeaderBytes + mPackedHeaderBytes) * 8;
        uint32_t styles = 0;
        for (uint32_t c = 0; c < components; ++c)
        {
            styles |= coding.components[c].style;
        }
        const bool passSegments = (styles & 0x05) != 0;
        const double segmentsPerBlock =
            passSegments ? 164.0 * layers : ((styles & 0x40) != 0 ? 1 + 2.0 * layers : 1 + 1.51 * layers);
        const double segments = std::min(segmentsPerBlock * tileCodeBlocks, bits / (passSegments ? 3 : 17));
        const double contributions = std::min(tileCodeBlocks * layers, bits / 5);
        const double chunks = std::max(segments, contributions);
        dataDrivenBytes +=
            chunks * 2 * kChunkBytes + std::max(0.0, segments - 10 * tileCodeBlocks) * (kSegmentBytes + 2);
        counts.segments += segments;
        counts.contributions += contributions;
        // Merged packed packet headers, and the coded data the tile is decoded from.
        dataDrivenBytes += double(tile.packedHeaderBytes) * 2;
        for (uint32_t reduction = 0; reduction < kMaxResolutions; ++reduction)
        {
            tileSampleBytes[reduction] = std::max(tileSampleBytes[reduction], tileSamples[reduction] * 4);
        }
        counts.tileComponents += components;
        for (uint32_t c = 0; c < components; ++c)
        {
            const uint32_t n = coding.components[c].resolutions;
            for (uint32_t reduction = 0; reduction + 1 < n; ++reduction)
            {
                tileComponentLevels[reduction] += n - reduction - 1;
            }
        }
        resolutionBytes = std::max(resolutionBytes, tileResolutionBytes);
    }

    void finishCounts()
    {
        // OpenJPEG refuses a reduction of as many levels as a component has, in the main header or in any
        // tile-part header it reads.
        auto fewestLevels = [&](const TileCoding& coding)
        {
            for (uint32_t c = 0; c < components; ++c)
            {
                levels = std::min(levels, coding.components[c].resolutions);
            }
        };
        fewestLevels(mainCoding);
        for (const TileState& tile : tiles)
        {
            if (tile.hasCoding)
            {
                fewestLevels(tile.coding);
            }
        }
        if (counts.tilesDecoded == 0)
        {
            refuse("no coded tile");
        }
        for (const Slot& s : slots)
        {
            counts.structureBytes += std::min(s.sumBytes, s.maxPrecincts * s.maxPrecinctBytes + kAllocation);
        }
        counts.structureBytes += resolutionBytes;
        headerBytes += double(mPackedHeaderBytes) * 2;
    }
};

}  // namespace

Jp2CodestreamLimits Jp2CodestreamLimits::read(std::streambuf& file, uint64_t size, uint32_t workers)
{
    Reader reader(file, size);
    reader.readFile();
    Jp2CodestreamLimits limits;
    limits.mBare = reader.bare;
    limits.mColourProfile = reader.colourProfile;
    limits.mWidth = reader.width;
    limits.mHeight = reader.height;
    limits.mLevels = std::max<uint32_t>(1, reader.levels);
    limits.mCounts = reader.counts;
    limits.mFixedBytes = kThreadBytes + reader.headerBytes + reader.counts.structureBytes + reader.dataDrivenBytes +
                         reader.counts.heldCodedBytes + reader.counts.packetTableBytes;
    const Counts& c = reader.counts;
    const bool oneTile = reader.tilesAcross * reader.tilesDown == 1 && reader.tileX0 == 0 && reader.tileY0 == 0 &&
                         reader.x0 == 0 && reader.y0 == 0;
    const double fixedSeconds = c.structureBytes * kSecondsPerStructureByte + c.codeBlocks * kSecondsPerCodeBlock +
                                c.precincts * kSecondsPerPrecinct + c.packets * kSecondsPerPacket +
                                c.positions * kSecondsPerPosition + c.codedBytes * kSecondsPerCodedByte +
                                c.segments * kSecondsPerSegment + c.contributions * kSecondsPerContribution;
    std::vector<double> seconds[2];
    for (uint32_t r = 0; r < limits.mLevels; ++r)
    {
        const uint32_t w = static_cast<uint32_t>(ceilShift(reader.x1, r) - ceilShift(reader.x0, r));
        const uint32_t h = static_cast<uint32_t>(ceilShift(reader.y1, r) - ceilShift(reader.y0, r));
        const double picture = double(w) * h * 4;
        // The picture's planes, the tile buffer it is copied from (taken over whole for a picture of one
        // tile at the origin), and the planes a palette makes (the index plane still held).
        limits.mSampleBytes.push_back(picture * reader.components + (oneTile ? 0 : reader.tileSampleBytes[r]) +
                                      picture * reader.paletteColumns);
        limits.mDecodedWidth.push_back(w);
        limits.mDecodedHeight.push_back(h);
        // The code-blocks of the levels kept decoded; their share of the coded data taken as halving
        // with each level dropped (a level has a quarter of the coefficients of the next, and, coded
        // lossily, more bits for each).
        for (int threads = 0; threads < 2; ++threads)
        {
            seconds[threads].push_back(fixedSeconds + c.tileComponents * kSecondsPerTileComponent[threads] +
                                       reader.tileComponentLevels[r] * kSecondsPerTileComponentLevel[threads] +
                                       reader.decodedBlocks[r] * kSecondsPerDecodedBlock[threads] +
                                       (double(w) * h * reader.components * kSecondsPerSample +
                                        c.codedBytes * std::ldexp(kSecondsPerDecodedByte, -int(r))) /
                                           kThreadSpeedUp[threads]);
        }
    }
    // OpenJPEG's threads when they are estimated to be faster at the level a conversion usually asks for.
    uint32_t usual = 0;
    while (usual + 1 < limits.mLevels &&
           std::max(limits.mDecodedWidth[usual], limits.mDecodedHeight[usual]) > kUsualSide)
    {
        ++usual;
    }
    const bool threads = workers > 1 && seconds[1][usual] < seconds[0][usual];
    limits.mThreads = threads ? workers : 0;
    limits.mSeconds = seconds[threads];
    // What no reduction changes is over the limits: refused before OpenJPEG reads the file.
    const std::string why = limits.overLimits(limits.mLevels - 1, 1, 1);
    if (!why.empty())
    {
        refuse(why);
    }
    return limits;
}

double Jp2CodestreamLimits::memoryAt(uint32_t reduction, uint32_t destWidth, uint32_t destHeight) const
{
    reduction = std::min(reduction, mLevels - 1);
    const uint32_t w = mDecodedWidth[reduction], h = mDecodedHeight[reduction];
    const double destination =
        double(destWidth == 0 ? w : std::min(w, destWidth)) * (destHeight == 0 ? h : std::min(h, destHeight)) * 3;
    return mFixedBytes + mSampleBytes[reduction] + destination;
}

double Jp2CodestreamLimits::timeAt(uint32_t reduction) const
{
    return mSeconds[std::min(reduction, mLevels - 1)];
}

std::string Jp2CodestreamLimits::overLimits(uint32_t reduction, uint32_t destWidth, uint32_t destHeight) const
{
    const double memory = memoryAt(reduction, destWidth, destHeight);
    const double seconds = timeAt(reduction);
    if (memory <= kMemoryCap && seconds <= kTimeCap)
    {
        return {};
    }
    const Counts& c = mCounts;
    if (c.structureBytes > kMemoryCap / 2 ||
        c.structureBytes * kSecondsPerStructureByte + c.codeBlocks * kSecondsPerCodeBlock > kTimeCap / 2)
    {
        return millions(c.codeBlocks) + " code-blocks in " + millions(c.precincts) + " precincts, beyond the limits";
    }
    if (c.packetTableBytes > kMemoryCap / 2 || c.packets * kSecondsPerPacket > kTimeCap / 2 ||
        c.positions * kSecondsPerPosition > kTimeCap / 2)
    {
        return millions(c.packets) + " packets, beyond the limits";
    }
    if (c.segments * (kSegmentBytes + 2 * kChunkBytes) > kMemoryCap / 2 ||
        c.segments * kSecondsPerSegment > kTimeCap / 2)
    {
        return millions(c.segments) + " code-block segments named in the packet headers, beyond the limits";
    }
    if (c.heldCodedBytes > kMemoryCap / 2)
    {
        return megabytes(c.heldCodedBytes) + " of coded data held at once, beyond the limits";
    }
    if (memory > kMemoryCap)
    {
        return "picture too large to decode (" + megabytes(memory) + ")";
    }
    return "picture too slow to decode";
}

uint32_t Jp2CodestreamLimits::chooseReduction(uint32_t minWidth, uint32_t minHeight) const
{
    auto reducedSide = [](uint32_t side, uint32_t level)
    { return static_cast<uint32_t>((uint64_t(side) + (uint64_t(1) << level) - 1) >> level); };
    uint32_t reduction = 0;
    while (reduction + 1 < mLevels && reducedSide(mWidth, reduction + 1) >= minWidth &&
           reducedSide(mHeight, reduction + 1) >= minHeight)
    {
        ++reduction;
    }
    while (!overLimits(reduction, minWidth, minHeight).empty() && reduction + 1 < mLevels)
    {
        ++reduction;
    }
    const std::string why = overLimits(reduction, minWidth, minHeight);
    if (!why.empty())
    {
        refuse(why);
    }
    return reduction;
}

}  // namespace pravix
