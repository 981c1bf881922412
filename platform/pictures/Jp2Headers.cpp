// The headers of a JPEG 2000 file read the way OpenJPEG 2.5 reads them (src/lib/openjp2/j2k.c and jp2.c),
// so that what it would refuse is refused here too and what it takes is counted as it counts it. Every
// read is checked against the bytes left; the tile-parts' data is skipped by its length and never read.
#include "Jp2Headers.h"

#include "DecodeSizeLimits.h"
#include "PictureDecodeError.h"
#include "StreamAccess.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace pravix
{
namespace
{

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

// One component's coding style in a tile.
struct ComponentCoding
{
    uint32_t resolutions = 1;
    uint32_t blockWidth = 6;  // exponents: code-blocks of 2^6 x 2^6
    uint32_t blockHeight = 6;
    uint32_t style = 0;
    uint32_t transform = 1;  // 1 the reversible 5-3 wavelet, 0 the irreversible 9-7
    std::array<uint8_t, kMaxResolutions> precinctWidth{};
    std::array<uint8_t, kMaxResolutions> precinctHeight{};
};

struct ProgressionChange
{
    uint32_t firstResolution, firstComponent, layerEnd, resolutionEnd, componentEnd, order;
};

// A tile's coding parameters: the main header's, then its tile-parts' markers.
struct TileCoding
{
    uint32_t layers = 0;
    uint32_t order = 0;
    uint32_t colourTransform = 0;  // the COD's multiple component transformation
    std::vector<ProgressionChange> changes;
    std::array<ComponentCoding, kMaxComponents> components{};
};

struct TileState
{
    int32_t lastPart = -1;
    uint32_t parts = 0;  // TNsot once known
    uint64_t codedBytes = 0;
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

}  // namespace

class Jp2HeaderReader
{
public:
    Jp2HeaderReader(std::streambuf& file, uint64_t size) : mBytes(file, size), mSize(size) {}

    Jp2Headers::Counts counts;
    bool bare = true;
    uint32_t width = 0, height = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    uint32_t components = 0;
    std::vector<Jp2Headers::Component> componentInfo;
    uint32_t paletteColumns = 0;
    std::vector<Jp2Headers::Channel> channels;
    Jp2Headers::ByteSpan colourProfile;
    uint32_t tileWidth = 0, tileHeight = 0, tileX0 = 0, tileY0 = 0, tilesAcross = 0, tilesDown = 0;
    uint32_t levels = kMaxResolutions;
    std::vector<TileState> tiles;
    TileCoding mainCoding;

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
        finish();
    }

    // How every tile with data codes its first three components, as one: through the colour transform or
    // not, with one wavelet; whether they all agree.
    bool colourTransform = false;
    bool reversible = false;
    bool codedAlike = true;

private:
    Bytes mBytes;
    uint64_t mSize;
    uint64_t mStart = 0;
    uint64_t mFirstTilePart = 0;
    uint64_t mSegmentAt = 0;  // where the last segment read begins, after its length
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
    // first palette, the first colour box, for its profile, and the channel definitions.
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
            else if (std::memcmp(head + 4, "cdef", 4) == 0 && channels.empty())
            {
                readChannels(body, bodyLength);
            }
            at += length;
        }
    }

    // A cdef box: a count, then a component, a type and an association of 16 bits each, as many as it
    // says and its bytes hold.
    void readChannels(uint64_t at, uint64_t length)
    {
        uint8_t count[2];
        if (length < 2 || !mBytes.read(at, count, 2) || be16(count) == 0 || be16(count) > (length - 2) / 6 ||
            be16(count) > kMaxComponents)
        {
            return;
        }
        for (uint32_t i = 0; i < be16(count); ++i)
        {
            uint8_t entry[6];
            if (!mBytes.read(at + 2 + 6 * uint64_t(i), entry, 6))
            {
                channels.clear();
                return;
            }
            channels.push_back({be16(entry), be16(entry + 2), be16(entry + 4)});
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
        mSegmentAt = at + 4;
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
            default:
                break;
            }
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
            componentInfo.push_back({precision, (comp[0] & 0x80) != 0, mSegmentAt + 36 + 3 * uint64_t(c)});
        }
        tiles.resize(across * down);
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
        coding.transform = p[4];
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
        coding.colourTransform = p[4];
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
        uint64_t held = 0;
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
            if (++counts.tileParts > Jp2Headers::kMaxTileParts)
            {
                refuse("more than " + std::to_string(Jp2Headers::kMaxTileParts) + " tile-parts");
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
            counts.codedBytes += dataBytes;
            held += dataBytes;
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
                held -= tile.codedBytes;
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
        for (uint32_t n = 0; n < Jp2Headers::kMaxTileParts; ++n)
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

    // The code-blocks, precincts and packets OpenJPEG sets up and walks for a tile: those of every
    // resolution level of every component, whatever level is decoded.
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
        const uint64_t layers = std::max<uint32_t>(coding.layers, 1);
        uint64_t tilePackets = 0;
        uint64_t precinctCounts[kMaxComponents][kMaxResolutions] = {};
        for (uint32_t c = 0; c < components; ++c)
        {
            const ComponentCoding& cc = coding.components[c];
            for (uint32_t r = 0; r < cc.resolutions; ++r)
            {
                const uint32_t level = cc.resolutions - 1 - r;
                const Extent res{ceilShift(tx0, level), ceilShift(ty0, level), ceilShift(tx1, level),
                                 ceilShift(ty1, level)};
                const uint32_t pdx = cc.precinctWidth[r], pdy = cc.precinctHeight[r];
                const uint64_t pw = res.x0 == res.x1
                                        ? 0
                                        : uint64_t((ceilShift(res.x1, pdx) << pdx) - (floorShift(res.x0, pdx) << pdx)) >>
                                              pdx;
                const uint64_t ph = res.y0 == res.y1
                                        ? 0
                                        : uint64_t((ceilShift(res.y1, pdy) << pdy) - (floorShift(res.y0, pdy) << pdy)) >>
                                              pdy;
                precinctCounts[c][r] = pw * ph;
                const uint32_t bands = r == 0 ? 1 : 3;
                const uint32_t blockWidth = std::min(cc.blockWidth, r == 0 ? pdx : pdx - 1);
                const uint32_t blockHeight = std::min(cc.blockHeight, r == 0 ? pdy : pdy - 1);
                for (uint32_t b = 0; b < bands; ++b)
                {
                    Extent band = res;
                    if (r != 0)
                    {
                        const int64_t bx = (b + 1) & 1, by = (b + 1) >> 1;
                        band = {ceilShift(tx0 - (bx << level), level + 1), ceilShift(ty0 - (by << level), level + 1),
                                ceilShift(tx1 - (bx << level), level + 1), ceilShift(ty1 - (by << level), level + 1)};
                    }
                    if (band.x1 > band.x0 && band.y1 > band.y0 && pw > 0 && ph > 0)
                    {
                        counts.codeBlocks +=
                            uint64_t(ceilShift(band.x1, blockWidth) - floorShift(band.x0, blockWidth)) *
                            uint64_t(ceilShift(band.y1, blockHeight) - floorShift(band.y0, blockHeight));
                    }
                    counts.precincts += pw * ph;
                }
                tilePackets += layers * pw * ph;
            }
            // Each count can only grow; past its cap it no longer matters by how much.
            if (counts.codeBlocks > Jp2Headers::kMaxCodeBlocks || counts.precincts > Jp2Headers::kMaxPrecincts)
            {
                return;
            }
        }
        // Progression order changes walk the packets again over their ranges.
        uint64_t walked = 0;
        for (const ProgressionChange& change : coding.changes)
        {
            const uint64_t changeLayers = std::min<uint64_t>(change.layerEnd, layers);
            for (uint32_t c = change.firstComponent; c < std::min(change.componentEnd, components); ++c)
            {
                for (uint32_t r = change.firstResolution;
                     r < std::min<uint32_t>(change.resolutionEnd, coding.components[c].resolutions); ++r)
                {
                    walked += changeLayers * precinctCounts[c][r];
                }
            }
        }
        counts.packets += std::max(walked, tilePackets);
    }

    void finish()
    {
        if (counts.tilesDecoded == 0)
        {
            refuse("no coded tile");
        }
        // OpenJPEG refuses a reduction of as many levels as a component has, in the main header or in any
        // tile-part header it reads; the colour transform and the wavelet it applies per tile.
        const uint32_t colours = std::min(components, 3u);
        bool first = true;
        for (uint32_t t = 0; t <= tiles.size(); ++t)
        {
            const bool main = t == tiles.size();
            if (!main && !tiles[t].hasCoding)
            {
                continue;
            }
            const TileCoding& coding = main ? mainCoding : tiles[t].coding;
            for (uint32_t c = 0; c < components; ++c)
            {
                levels = std::min(levels, coding.components[c].resolutions);
            }
            // Tiles of their own coding without data are never decoded.
            if (!main && tiles[t].codedBytes == 0)
            {
                continue;
            }
            const bool transformed = colours == 3 && coding.colourTransform == 1;
            const bool kept = coding.components[0].transform == 1;
            for (uint32_t c = 1; c < colours; ++c)
            {
                codedAlike = codedAlike && coding.components[c].transform == coding.components[0].transform;
            }
            if (first)
            {
                colourTransform = transformed;
                reversible = kept;
                first = false;
            }
            codedAlike = codedAlike && transformed == colourTransform && kept == reversible;
        }
        if (counts.precincts > Jp2Headers::kMaxPrecincts)
        {
            refuse(std::to_string(counts.precincts) + " precincts, more than the " +
                   std::to_string(Jp2Headers::kMaxPrecincts) + " any picture can be decoded with");
        }
        if (counts.codeBlocks > Jp2Headers::kMaxCodeBlocks)
        {
            refuse(std::to_string(counts.codeBlocks) + " code-blocks, more than the " +
                   std::to_string(Jp2Headers::kMaxCodeBlocks) + " any picture can be decoded with");
        }
        if (counts.packets > Jp2Headers::kMaxPackets)
        {
            refuse(std::to_string(counts.packets) + " packets, more than the " +
                   std::to_string(Jp2Headers::kMaxPackets) + " any picture can be decoded with");
        }
        if (counts.heldCodedBytes > Jp2Headers::kMaxHeldCodedBytes)
        {
            refuse(std::to_string(counts.heldCodedBytes >> 20) + " MiB of coded data held at once, more than " +
                   std::to_string(Jp2Headers::kMaxHeldCodedBytes >> 20) + " MiB");
        }
    }
};

Jp2Headers Jp2Headers::read(std::streambuf& file, uint64_t size)
{
    Jp2HeaderReader reader(file, size);
    reader.readFile();
    Jp2Headers headers;
    headers.mBare = reader.bare;
    headers.mColourProfile = reader.colourProfile;
    headers.mX0 = reader.x0;
    headers.mY0 = reader.y0;
    headers.mWidth = reader.width;
    headers.mHeight = reader.height;
    headers.mComponents = reader.componentInfo;
    headers.mLevels = std::max<uint32_t>(1, reader.levels);
    headers.mPaletteColumns = reader.paletteColumns;
    headers.mChannels = reader.channels;
    headers.mColourTransform = reader.colourTransform;
    headers.mReversible = reader.reversible;
    headers.mCodedAlike = reader.codedAlike;
    headers.mCounts = reader.counts;
    return headers;
}

uint32_t Jp2Headers::widthAt(uint32_t reduction) const
{
    return static_cast<uint32_t>(ceilShift(int64_t(mX0) + mWidth, reduction) - ceilShift(mX0, reduction));
}

uint32_t Jp2Headers::heightAt(uint32_t reduction) const
{
    return static_cast<uint32_t>(ceilShift(int64_t(mY0) + mHeight, reduction) - ceilShift(mY0, reduction));
}

uint32_t Jp2Headers::chooseReduction(uint32_t minWidth, uint32_t minHeight, uint64_t heldBytesPerPixel) const
{
    uint32_t reduction = 0;
    while (reduction + 1 < mLevels && widthAt(reduction + 1) >= minWidth && heightAt(reduction + 1) >= minHeight)
    {
        ++reduction;
    }
    const auto held = [&](uint32_t r) { return uint64_t(widthAt(r)) * heightAt(r) * heldBytesPerPixel; };
    while (held(reduction) > kMaxHeldSampleBytes && reduction + 1 < mLevels)
    {
        ++reduction;
    }
    if (held(reduction) > kMaxHeldSampleBytes)
    {
        refuse(std::to_string(held(reduction) >> 20) + " MiB of samples at its lowest level, more than " +
               std::to_string(kMaxHeldSampleBytes >> 20) + " MiB");
    }
    return reduction;
}

}  // namespace pravix
