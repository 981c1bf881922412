#pragma once

#include <cstdint>
#include <streambuf>
#include <string>
#include <vector>

namespace pravix
{

// What OpenJPEG 2.5 (Debian 12's libopenjp2 2.5.0) will allocate and do to decode a JPEG 2000 file,
// counted from the file's own headers before OpenJPEG reads a byte of it.
//
// OpenJPEG sizes its work from the headers alone: for every tile it decodes it allocates the structures
// of every resolution level, band, precinct and code-block (and two tag trees per precinct) that the
// tile's coding style names, whatever reduction is asked (a reduction only spares the samples and the
// wavelet and code-block decoding of the levels dropped); it walks every packet (layers x precincts) of
// the tile, present or not; it holds the coded data of the tiles whose tile-parts it has read and not
// yet decoded; and it holds the picture's samples as 32-bit numbers at the decoded resolution. A
// codestream of a hundred bytes can so ask for gigabytes and minutes. This reads the boxes of a .jp2, the
// codestream's main header and every tile-part header (SIZ, COD, COC, POC, PPM, PPT and the tile-parts'
// lengths, skipping their data), the way OpenJPEG reads them, and counts OpenJPEG's allocations with the
// sizes of its own structures, and its work, so that the decoder picks a resolution level within the
// limits or refuses the file before OpenJPEG starts.
class Jp2CodestreamLimits
{
public:
    // Estimated peak bytes that OpenJPEG's structures, coded data, packet tables and samples, with the
    // decoded rows' destination, may take; at most the codec budget kDecoderMemoryBudget, lower so that
    // one whole conversion stays below 600 MB of resident memory.
    static constexpr double kMemoryCap = 440.0 * 1024 * 1024;
    // Estimated time OpenJPEG may take on this kind of machine (8 cores), in seconds; one conversion has
    // to end within 5 s with the encoding of the result.
    static constexpr double kTimeCap = 4.0;
    // Tile-parts walked; a picture has at most 4096 tiles.
    static constexpr uint32_t kMaxTileParts = 16384;

    // Reads the headers of the file (`size` bytes) from its start. Throws PictureDecodeError
    // ("JPEG 2000: ...") for headers OpenJPEG would refuse as well, layouts the decoder does not take
    // (subsampled components, more than 4 components or palette columns, more than 4096 tiles, sides
    // beyond the decode limits), and files that no reduction brings within the limits.
    // `workers`: the threads the decoder may use.
    static Jp2CodestreamLimits read(std::streambuf& file, uint64_t size, uint32_t workers);

    // The file is a bare codestream rather than a .jp2.
    bool bareCodestream() const { return mBare; }
    // Where a .jp2's colour profile lies: the ICC bytes of its header's first colour box (method 2 or 3),
    // which OpenJPEG hands out only with the decoded picture; length 0 when there is none.
    struct ByteSpan
    {
        uint64_t offset = 0;
        uint64_t length = 0;
    };
    ByteSpan colourProfile() const { return mColourProfile; }
    uint32_t width() const { return mWidth; }
    uint32_t height() const { return mHeight; }
    // Resolution levels that every component of every tile has: OpenJPEG takes the reductions 0 to
    // levels() - 1.
    uint32_t levels() const { return mLevels; }
    // The threads to give OpenJPEG (before it reads the header): the workers for a picture of a few tiles,
    // none (the caller's thread alone) for one of many.
    uint32_t threads() const { return mThreads; }

    // Estimated peak bytes at a reduction (resolution levels dropped), rows handed to a destination of
    // at most destWidth x destHeight RGB pixels (0: the decoded size).
    double memoryAt(uint32_t reduction, uint32_t destWidth = 0, uint32_t destHeight = 0) const;
    // Estimated seconds of OpenJPEG's work at a reduction.
    double timeAt(uint32_t reduction) const;

    // The reduction to decode at: the most that still gives at least minWidth x minHeight, more while
    // the memory or the time is over the limits. Throws PictureDecodeError when even the most is over.
    uint32_t chooseReduction(uint32_t minWidth, uint32_t minHeight) const;

    // The counts behind the estimates, over the tiles OpenJPEG will decode.
    struct Counts
    {
        double codeBlocks = 0;  // allocated, every resolution level
        double precincts = 0;
        double packets = 0;           // walked by the packet iterator
        double positions = 0;         // steps of a position-driven progression's iterator
        double structureBytes = 0;    // resolutions, bands, precincts, code-blocks, tag trees, kept across tiles
        double codedBytes = 0;        // all tile-parts' data
        double heldCodedBytes = 0;    // the most coded data held at once
        double packetTableBytes = 0;  // the largest tile's packet-inclusion table
        double segments = 0;          // code-block segments the packet headers may name
        double contributions = 0;     // code-blocks' parts in packets
        uint32_t tilesDecoded = 0;
        double tileComponents = 0;
    };
    const Counts& counts() const { return mCounts; }

private:
    Jp2CodestreamLimits() = default;
    // Why the file cannot be decoded within the limits at a reduction; empty when it can.
    std::string overLimits(uint32_t reduction, uint32_t destWidth, uint32_t destHeight) const;

    bool mBare = true;
    ByteSpan mColourProfile;
    uint32_t mWidth = 0;
    uint32_t mHeight = 0;
    uint32_t mLevels = 1;
    uint32_t mThreads = 0;
    Counts mCounts;
    // Bytes that do not depend on the reduction.
    double mFixedBytes = 0;
    // Per reduction: OpenJPEG's sample bytes (picture, tile buffer, palette planes), the decoded picture's
    // size, and the seconds of the whole decoding with the threads chosen.
    std::vector<double> mSampleBytes;
    std::vector<double> mSeconds;
    std::vector<uint32_t> mDecodedWidth;
    std::vector<uint32_t> mDecodedHeight;
};

}  // namespace pravix
