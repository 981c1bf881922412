#pragma once

#include <cstdint>
#include <streambuf>
#include <vector>

namespace pravix
{

// The headers of a JPEG 2000 file (a .jp2 or a bare codestream), read before OpenJPEG sees it: the boxes
// of a .jp2's header, the codestream's main header and every tile-part header (SIZ, COD, COC, POC and
// the tile-parts' lengths; their data skipped, never read). What no memory or time limit could take is
// refused at once: sizes beyond the decode limits, lying or impossible counts, tile-parts naming more
// bytes than the file holds, layouts the decoder does not take. What is left to bound is OpenJPEG's own
// work, which the picture decoder helper's kernel limits bound; the counts here only refuse early what
// would pass those limits at any cost per unit, and choose the resolution level to decode at.
class Jp2Headers
{
public:
    // OpenJPEG keeps a structure of tens of bytes for each code-block and precinct of every resolution
    // level, and walks every packet (layers x precincts) of every tile: past these counts a file cannot
    // be decoded within the helper's memory and time whatever the bytes a unit cost.
    static constexpr uint64_t kMaxCodeBlocks = uint64_t(1) << 22;
    static constexpr uint64_t kMaxPrecincts = uint64_t(1) << 22;
    static constexpr uint64_t kMaxPackets = uint64_t(1) << 26;
    static constexpr uint32_t kMaxTileParts = 16384;
    // Coded data OpenJPEG holds at once (every tile-part of the tiles it has not decoded yet).
    static constexpr uint64_t kMaxHeldCodedBytes = uint64_t(320) << 20;
    // Samples held at once as OpenJPEG's 32-bit values, with the rows put together beside the output:
    // a picture whose level would need more is decoded at a lower one.
    static constexpr uint64_t kMaxHeldSampleBytes = uint64_t(320) << 20;

    // Throws PictureDecodeError ("JPEG 2000: ...") for what is refused.
    static Jp2Headers read(std::streambuf& file, uint64_t size);

    struct ByteSpan
    {
        uint64_t offset = 0;
        uint64_t length = 0;
    };
    struct Component
    {
        uint32_t precision = 8;  // bits
        bool isSigned = false;
        uint64_t sizeByteOffset = 0;  // where its Ssiz byte lies in the file
    };
    // A .jp2's channel definition (cdef): the component, its type (0 colour, 1 opacity, 2 premultiplied
    // opacity) and what it goes with (1 to 3: the colour's place; 0 the whole picture).
    struct Channel
    {
        uint32_t component = 0;
        uint32_t type = 0;
        uint32_t association = 0;
    };
    struct Counts
    {
        uint64_t codeBlocks = 0;  // every resolution level of every tile with data
        uint64_t precincts = 0;
        uint64_t packets = 0;  // walked, progression order changes included
        uint32_t tileParts = 0;
        uint64_t codedBytes = 0;
        uint64_t heldCodedBytes = 0;
        uint32_t tilesDecoded = 0;
    };

    bool bareCodestream() const { return mBare; }
    // The ICC bytes of a .jp2's first colour box (method 2 or 3); length 0 when there is none.
    ByteSpan colourProfile() const { return mColourProfile; }
    uint32_t width() const { return mWidth; }
    uint32_t height() const { return mHeight; }
    const std::vector<Component>& components() const { return mComponents; }
    // Resolution levels every component of every tile has: the reductions 0 to levels() - 1.
    uint32_t levels() const { return mLevels; }
    uint32_t paletteColumns() const { return mPaletteColumns; }
    const std::vector<Channel>& channels() const { return mChannels; }
    // Whether every tile codes its first three components through the colour transform, and with which
    // wavelet (reversible or not); only when all tiles agree on both.
    bool colourTransform() const { return mColourTransform; }
    bool reversible() const { return mReversible; }
    bool codedAlike() const { return mCodedAlike; }
    const Counts& counts() const { return mCounts; }

    // Width and height at a reduction.
    uint32_t widthAt(uint32_t reduction) const;
    uint32_t heightAt(uint32_t reduction) const;
    // The reduction to decode at: the most that still gives at least minWidth x minHeight, more while a
    // pixel's `heldBytesPerPixel` at that level would pass kMaxHeldSampleBytes. Throws PictureDecodeError
    // when even the lowest level would.
    uint32_t chooseReduction(uint32_t minWidth, uint32_t minHeight, uint64_t heldBytesPerPixel) const;

private:
    friend class Jp2HeaderReader;
    Jp2Headers() = default;

    bool mBare = true;
    ByteSpan mColourProfile;
    uint32_t mX0 = 0;
    uint32_t mY0 = 0;
    uint32_t mWidth = 0;
    uint32_t mHeight = 0;
    std::vector<Component> mComponents;
    uint32_t mLevels = 1;
    uint32_t mPaletteColumns = 0;
    std::vector<Channel> mChannels;
    bool mColourTransform = false;
    bool mReversible = false;
    bool mCodedAlike = true;
    Counts mCounts;
};

}  // namespace pravix
