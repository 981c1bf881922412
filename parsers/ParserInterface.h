#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <istream>
#include <string>
#include <vector>

/// Common face of the H.264 and H.265 elementary-stream parsers. A parser reads an Annex B byte
/// stream from a file and hands it out one coded picture at a time, in decoding order, with the
/// picture's place in display order.
///
/// Calling order: construct, openFile, then parseNextPicture until it returns false.
///
/// The byte-stream scanning (readNalUnit), the display-order pre-scan (buildDisplayOrder) and the
/// header look-up (findNalUnitHeader) live here so that every parser shares one implementation.
class ParserInterface
{
public:
    /// One coded picture. Every NAL unit is kept exactly as it stood in the file: its own start
    /// code (as many zero bytes as the file had, then 0x01) followed by the unit's bytes,
    /// emulation-prevention bytes included.
    struct PictureData
    {
        std::vector<std::vector<std::uint8_t>> mVpsNalUnits;  ///< H.265 only
        std::vector<std::vector<std::uint8_t>> mSpsNalUnits;
        std::vector<std::vector<std::uint8_t>> mPpsNalUnits;
        /// Every other unit of the picture (slices, SEI, delimiters ...) in stream order.
        std::vector<std::vector<std::uint8_t>> mPictureNalUnits;
        /// Decode indices of reference list 0, then those of list 1 not already present, each once.
        std::vector<std::uint32_t> mRefPicIndices;
        std::int32_t mDecodeIndex = 0;
        std::int32_t mDisplayIndex = 0;
        std::int32_t mPoc = 0;
        std::uint32_t mPicWidth = 0;   ///< cropped, luma samples
        std::uint32_t mPicHeight = 0;  ///< cropped, luma samples
        bool mIsLayered = false;       ///< H.265 only
        bool mIsIntraOnly = false;
        bool mIsIdr = false;
        bool mIsCra = false;  ///< H.265 only
        bool mIsBla = false;  ///< H.265 only
        bool mPicOutputFlag = false;

        void clear() { *this = PictureData(); }
    };

    virtual ~ParserInterface() = default;

    /// Runs the display-order pre-scan on the file and opens it. False when the file cannot be
    /// opened. A second call starts over on the new file.
    virtual bool openFile(const char* fileName) = 0;
    virtual bool openFile(const std::string& fileName) { return openFile(fileName.c_str()); }

    /// Clears picture and fills it with the next coded picture. False at the end of the stream
    /// (picture left cleared), and on every call after that.
    virtual bool parseNextPicture(PictureData& picture) = 0;

    /// Number of pictures the pre-scan found; 0 before openFile.
    virtual unsigned int getPictureCount() = 0;

    /// Moves the next NAL unit of stream, start code included, into unit (which must be empty).
    /// Leaves unit empty at the end of the stream. The start code's zeros and any trailing zero
    /// bytes before the next start code are left in the stream for the next unit; zero bytes at
    /// the very end of the stream stay in the last unit. Throws std::runtime_error "No data in NAL
    /// unit after start code?" for a start code at the end of the stream or directly followed by
    /// another one.
    static void readNalUnit(std::istream& stream, std::vector<std::uint8_t>& unit);

    /// The display-order pre-scan: reads every picture of scanner (a parser of the same kind whose
    /// stream is open) and appends one display index per picture, in decoding order, to
    /// displayOrder. Display order is picture order count order within each run of pictures that
    /// starts at an IDR picture; the runs follow one another.
    static void buildDisplayOrder(ParserInterface& scanner, std::vector<std::uint32_t>& displayOrder);

    /// Display index of the picture with the given decode index: its entry in displayOrder, or 0
    /// when the table is shorter.
    static std::int32_t lookUpDisplayIndex(const std::vector<std::uint32_t>& displayOrder, std::int32_t decodeIndex);

    /// The most significant part of a picture order count that is sent as its low bits lsb (below
    /// maxLsb): the previous picture's part, stepped by maxLsb when lsb wrapped past half the range.
    static std::int64_t nextPicOrderCntMsb(std::int64_t prevMsb, std::int64_t prevLsb, std::int64_t lsb,
                                           std::int64_t maxLsb);
};

/// What the H.264 and H.265 parsers share in opening a file: the display-order pre-scan runs a
/// second parser of the same kind (Parser) over the whole file before the stream is opened for
/// reading. Parser supplies reset(), which forgets its own per-stream state.
template <typename Parser>
class ByteStreamParser : public ParserInterface
{
public:
    using ParserInterface::openFile;
    bool openFile(const char* fileName) override
    {
        // A second open starts over: nothing of the first stream carries into the second.
        if (mStream.is_open())
        {
            mStream.close();
        }
        mStream.clear();
        mDisplayOrder.clear();
        mDecodeCounter = 0;
        reset();
        {
            Parser scanner;
            if (!scanner.openStream(fileName))
            {
                return false;
            }
            buildDisplayOrder(scanner, mDisplayOrder);
        }
        return openStream(fileName);
    }

    unsigned int getPictureCount() override { return static_cast<unsigned int>(mDisplayOrder.size()); }

protected:
    /// Forgets what the parser learnt from the previous stream (parameter sets, reference state).
    virtual void reset() = 0;

    /// Ends parseNextPicture: a picture without coded units means the stream has ended (picture is
    /// cleared, false); otherwise the decode counter moves on to the next picture (true).
    bool finishPicture(PictureData& picture)
    {
        if (picture.mPictureNalUnits.empty())
        {
            picture.clear();
            return false;
        }
        ++mDecodeCounter;
        return true;
    }

    /// Adds decodeIndex to the picture's reference indices unless it is there already.
    static void addRefPicIndex(PictureData& picture, std::uint32_t decodeIndex)
    {
        if (std::find(picture.mRefPicIndices.begin(), picture.mRefPicIndices.end(), decodeIndex) ==
            picture.mRefPicIndices.end())
        {
            picture.mRefPicIndices.push_back(decodeIndex);
        }
    }

    /// Opens the stream without a pre-scan (the pre-scan's own parser uses this).
    bool openStream(const char* fileName)
    {
        mStream.open(fileName, std::ios::binary | std::ios::in);
        return mStream.is_open();
    }

    std::ifstream mStream;
    std::vector<std::uint32_t> mDisplayOrder;
    std::int32_t mDecodeCounter = 0;
};

/// Position of the NAL unit header in a unit in byte-stream form: leading zero bytes are skipped,
/// the next byte must be 0x01 and the header follows it. Throws std::runtime_error when the unit
/// does not begin with a start code or holds fewer than headerLength bytes after it.
std::size_t findNalUnitHeader(const std::vector<std::uint8_t>& nalUnit, std::size_t headerLength);

/// Appends to dest the two bytes that follow the first 00 00 01 of byteStream, then the rest of
/// that unit with its emulation-prevention bytes (the 0x03 of 00 00 03) removed: the NAL unit
/// header followed by its raw byte sequence payload. Throws std::runtime_error when the input
/// holds no start code followed by at least two bytes.
void convertByteStreamToRBSP(const std::vector<std::uint8_t>& byteStream, std::vector<std::uint8_t>& dest);
