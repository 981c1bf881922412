#include "HevcImageFileReader.h"

#include <algorithm>
#include <iostream>
#include <limits>
#include <stdexcept>

#include "BitStream.h"
#include "LogStream.h"
#include "MetaBox.h"
#include "ReaderUtils.h"
#include "UniqueId.h"

using namespace readerutils;

namespace
{
/// Reads count big-endian bytes one at a time; any failure is a read failure of the file.
std::uint64_t readBytesBigEndian(std::istream& stream, unsigned count)
{
    std::uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i)
    {
        const int byte = stream.get();
        if (byte == std::char_traits<char>::eof() || !stream)
        {
            throw ImageFileReaderInterface::FileReaderException(ImageFileReaderInterface::StreamReadFailed);
        }
        value = (value << 8) | static_cast<std::uint8_t>(byte);
    }
    return value;
}

void addBrandLines(const std::vector<std::string>& brands, const std::string& family,
                   const std::vector<std::pair<std::string, std::string>>& members, std::set<std::string>& report)
{
    for (const auto& member : members)
    {
        if (std::find(brands.begin(), brands.end(), member.first) != brands.end())
        {
            report.insert("[" + family + "/" + member.first + "] " + member.second);
        }
    }
}
}  // namespace

std::unique_ptr<ImageFileReaderInterface> createImageFileReader(const std::string& fileName)
{
    std::unique_ptr<ImageFileReaderInterface> reader(new HevcImageFileReader());
    reader->initialize(fileName);
    return reader;
}

std::unique_ptr<ImageFileReaderInterface> createImageFileReader(std::istream* stream)
{
    std::unique_ptr<ImageFileReaderInterface> reader(new HevcImageFileReader());
    reader->initialize(stream);
    return reader;
}

HevcImageFileReader::HevcImageFileReader() = default;

HevcImageFileReader::~HevcImageFileReader()
{
    if (mFile.is_open())
    {
        mFile.close();
    }
}

void HevcImageFileReader::initialize(const std::string& fileName)
{
    if (mFile.is_open())
    {
        mFile.close();
    }
    mFile.clear();
    mFile.open(fileName, std::ios::in | std::ios::binary);
    if (!mFile.is_open())
    {
        throw FileReaderException(FileOpenFailed, "Unable to open input file '" + fileName + "'");
    }
    mInputStream = &mFile;
    readStream();
}

void HevcImageFileReader::initialize(std::istream* stream)
{
    if (stream == nullptr)
    {
        throw FileReaderException(StreamReadFailed);
    }
    mInputStream = stream;
    readStream();
}

void HevcImageFileReader::close()
{
    if (mFile.is_open())
    {
        mFile.close();
    }
    mState = State::Uninitialized;
}

void HevcImageFileReader::checkInitialized() const
{
    if (mState != State::Initializing && mState != State::Ready)
    {
        throw FileReaderException(NotInitialized);
    }
}

// ---------------------------------------------------------------------------------------------
// Parse

void HevcImageFileReader::readStream()
{
    mState = State::Initializing;

    // A reader used again starts from empty tables.
    mFileTypeBox = FileTypeBox();
    mMatrix.clear();
    mContextInfo.clear();
    mMetaBoxes.clear();
    mReferenceIndexes.clear();
    mMetaContextInfo.clear();
    mTrackContextInfo.clear();
    mParameterSets.clear();
    mNalLengthSizes.clear();
    mStagingFileInformation = FileInformation();

    std::istream& stream = *mInputStream;
    stream.clear();
    const std::istream::pos_type start = stream.tellg();
    stream.seekg(0, std::ios::end);
    const std::istream::pos_type end = stream.tellg();
    stream.seekg(start);
    if (start < 0 || end < 0 || !stream)
    {
        throw FileReaderException(StreamReadFailed);
    }
    mStreamEnd = static_cast<std::uint64_t>(end);

    bool ftypFound = false;
    bool metaFound = false;
    bool moovFound = false;
    unsigned boxCount = 0;
    while (true)
    {
        stream.clear();
        if (stream.peek() == std::char_traits<char>::eof() || boxCount > 1024)
        {
            break;
        }

        FourCCInt type;
        BitStream bitstream;
        readBox(type, bitstream);

        if (type == FourCCInt("ftyp"))
        {
            if (ftypFound || !handleFileType(bitstream))
            {
                return;
            }
            ftypFound = true;
        }
        else if (type == FourCCInt("meta"))
        {
            if (metaFound)
            {
                return;
            }
            handleMeta(bitstream);
            metaFound = true;
        }
        else if (type == FourCCInt("moov"))
        {
            if (moovFound)
            {
                return;
            }
            handleMovie(bitstream);
            moovFound = true;
        }
        else if (type == FourCCInt("free"))
        {
            std::cout << "Exif free " << std::endl;
        }
        else if (type != FourCCInt("mdat"))
        {
            logWarning() << "Skipping root level box of unknown type '" << type << "'" << std::endl;
        }
        ++boxCount;
    }

    stream.clear();
    mStagingFileInformation.contextId = static_cast<ContextId>(getNextUniqueId(0));
    extractFileFeatures(mStagingFileInformation);
    mFileInformation = std::move(mStagingFileInformation);
    mStagingFileInformation = FileInformation();
    mState = State::Ready;
}

void HevcImageFileReader::readBox(FourCCInt& type, BitStream& bitstream)
{
    std::istream& stream = *mInputStream;
    stream.clear();
    const std::istream::pos_type startPos = stream.tellg();
    if (startPos < 0)
    {
        throw FileReaderException(StreamReadFailed);
    }
    const std::uint64_t start = static_cast<std::uint64_t>(startPos);

    std::uint64_t size = readBytesBigEndian(stream, 4);
    type = FourCCInt(static_cast<std::uint32_t>(readBytesBigEndian(stream, 4)));
    std::uint64_t headerSize = type == FourCCInt("uuid") ? 24 : 8;
    if (size == 1)
    {
        size = readBytesBigEndian(stream, 8);
        headerSize += 8;
    }
    // A box smaller than its own header would make the next header be read from inside this
    // one. (Size 0 keeps its meaning here: the same header is read again until the box limit.)
    if (size != 0 && size < headerSize)
    {
        throw FileReaderException(StreamReadFailed,
                                  "Damaged file: the root box '" + type.getString() + "' is smaller than its header.");
    }

    stream.seekg(startPos);
    bitstream.clear();

    const std::uint64_t left = mStreamEnd > start ? mStreamEnd - start : 0;
    // Boxes the reader does not parse are only stepped over: their size may run past the end
    // of a cut-short file, and nothing of them is held in memory.
    auto skipTo = [&](std::uint64_t boxSize)
    {
        const std::uint64_t target = boxSize > left ? mStreamEnd : start + boxSize;
        stream.seekg(static_cast<std::streamoff>(target));
        if (!stream)
        {
            throw FileReaderException(StreamReadFailed);
        }
    };

    if (type == FourCCInt("mdat"))
    {
        if (size > 15)
        {
            std::vector<std::uint8_t> head(16);
            stream.read(reinterpret_cast<char*>(head.data()), 16);
            if (stream.gcount() != 16)
            {
                throw FileReaderException(StreamReadFailed);
            }
            bitstream = BitStream(std::move(head));
        }
        skipTo(size);
        return;
    }

    if (type == FourCCInt("ftyp") || type == FourCCInt("meta") || type == FourCCInt("moov"))
    {
        // Parsed boxes are read whole; their size must be backed by bytes in the file, so a
        // hostile header cannot size a huge buffer and a cut-short box is not parsed from zeros.
        if (size > left || size > std::numeric_limits<std::uint32_t>::max())
        {
            throw FileReaderException(StreamReadFailed);
        }
        std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
        if (size > 0)
        {
            stream.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size));
            if (static_cast<std::uint64_t>(stream.gcount()) != size)
            {
                throw FileReaderException(StreamReadFailed);
            }
        }
        bitstream = BitStream(std::move(data));
        return;
    }

    skipTo(size);
}

bool HevcImageFileReader::handleFileType(BitStream& bitstream)
{
    FileTypeBox fileTypeBox;
    fileTypeBox.parseBox(bitstream);
    const std::vector<std::string> brands = fileTypeBox.getCompatibleBrands();

    std::set<std::string> report;
    if (fileTypeBox.checkCompatibleBrand("msf1"))
    {
        addBrandLines(brands, "msf1",
                      {{"hevc", "HEVC image sequence"},
                       {"hevm", "L-HEVC image sequence"},
                       {"hevs", "L-HEVC image sequence"},
                       {"avcs", "AVC image sequence"}},
                      report);
    }
    if (fileTypeBox.checkCompatibleBrand("mif1"))
    {
        addBrandLines(brands, "mif1",
                      {{"heic", "HEVC image and image collection"},
                       {"heix", "HEVC image and image collection"},
                       {"heim", "L-HEVC image and image collection"},
                       {"heis", "L-HEVC image and image collection"},
                       {"avic", "AVC image and image collection"}},
                      report);
    }
    if (report.empty())
    {
        return false;
    }

    logInfo() << "Compatible brands found:" << std::endl;
    for (const auto& line : report)
    {
        logInfo() << " " << line << std::endl;
    }
    mFileTypeBox = fileTypeBox;
    return true;
}

void HevcImageFileReader::handleMeta(BitStream& bitstream)
{
    // Track ids are chosen by the file: a track read before this box may already hold the id
    // drawn, and two contexts must never share one. (A track read after it is left out instead.)
    ContextId contextId = static_cast<ContextId>(getNextUniqueId(1000));
    while (mContextInfo.count(contextId) != 0)
    {
        contextId = static_cast<ContextId>(getNextUniqueId(1000));
    }
    auto metaBox = std::make_shared<MetaBox>();
    mMetaBoxes[contextId] = metaBox;
    metaBox->parseBox(bitstream);
    mReferenceIndexes[contextId] = ItemReferenceIndex(metaBox->getItemReferenceBox());

    mStagingFileInformation.rootMetaBoxInformation = extractMetaBoxInformation(*metaBox, contextId);

    ContextInfo contextInfo;
    contextInfo.contextType = ContextType::Meta;
    for (const auto& image : mStagingFileInformation.rootMetaBoxInformation.imageFeaturesMap)
    {
        if (image.second.count(ImageFeature::IsCoverImage) || image.second.count(ImageFeature::IsPrimaryImage))
        {
            contextInfo.hasCoverImage = true;
            contextInfo.coverItemId = image.first;
            break;
        }
    }
    mContextInfo[contextId] = contextInfo;

    mMetaContextInfo[contextId] = extractItemTables(contextId);
    processDecoderConfigProperties(contextId);
    setImageTypesAndSizes(contextId);
}

void HevcImageFileReader::extractFileFeatures(FileInformation& fileInformation) const
{
    const ContextId rootId = fileInformation.rootMetaBoxInformation.contextId;
    if (rootId != 0 && mContextInfo.count(rootId))
    {
        fileInformation.features.insert(FileFeature::HasRootLevelMetaBox);
        if (fileInformation.rootMetaBoxInformation.features.count(MetaBoxFeature::HasCoverImage))
        {
            fileInformation.features.insert(FileFeature::HasCoverImage);
        }
        IdVector masters;
        getItemListByType(rootId, "master", masters);
        if (masters.size() == 1)
        {
            fileInformation.features.insert(FileFeature::IsSingleImage);
        }
        else if (masters.size() > 1)
        {
            fileInformation.features.insert(FileFeature::IsImageCollection);
        }
    }
    for (const auto& track : fileInformation.trackInformation)
    {
        if (track.second.features.count(TrackFeature::IsMasterImageSequence))
        {
            fileInformation.features.insert(FileFeature::IsImageSequence);
        }
        if (track.second.features.count(TrackFeature::HasAlternatives))
        {
            fileInformation.features.insert(FileFeature::HasAlternateTracks);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Look-ups

HevcImageFileReader::ContextType HevcImageFileReader::getContextType(ContextId contextId) const
{
    return getContextInfo(contextId).contextType;
}

const HevcImageFileReader::ContextInfo& HevcImageFileReader::getContextInfo(ContextId contextId) const
{
    return findOrThrow(mContextInfo, contextId, InvalidContextId);
}

const MetaBox& HevcImageFileReader::getMetaBox(ContextId contextId) const
{
    const auto it = mMetaBoxes.find(contextId);
    if (it == mMetaBoxes.end() || !it->second)
    {
        throw FileReaderException(InvalidContextId);
    }
    return *it->second;
}

const ItemReferenceIndex& HevcImageFileReader::getReferenceIndex(ContextId contextId) const
{
    return findOrThrow(mReferenceIndexes, contextId, InvalidContextId);
}

const HevcImageFileReader::MetaContextInfo& HevcImageFileReader::getMetaContextInfo(ContextId contextId) const
{
    return findOrThrow(mMetaContextInfo, contextId, InvalidContextId);
}

const HevcImageFileReader::TrackContextInfo& HevcImageFileReader::getTrackContextInfo(ContextId contextId) const
{
    return findOrThrow(mTrackContextInfo, contextId, InvalidContextId);
}

HevcImageFileReader::ContextType HevcImageFileReader::requireMetaOrTrack(ContextId contextId) const
{
    const ContextType type = getContextType(contextId);
    if (type != ContextType::Meta && type != ContextType::Track)
    {
        throw FileReaderException(InvalidContextId);
    }
    return type;
}

void HevcImageFileReader::requireMeta(ContextId contextId) const
{
    if (getContextType(contextId) != ContextType::Meta)
    {
        throw FileReaderException(InvalidContextId);
    }
}

bool HevcImageFileReader::isProtected(ContextId contextId, std::uint32_t itemId) const
{
    // Any failure of this test, an unknown context included, answers for the item.
    const auto meta = mMetaBoxes.find(contextId);
    const ItemInfoEntry* entry =
        meta == mMetaBoxes.end() || !meta->second ? nullptr : meta->second->getItemInfoBox().findItemById(itemId);
    if (entry == nullptr)
    {
        throw FileReaderException(InvalidItemId);
    }
    return entry->getItemProtectionIndex() != 0;
}

// ---------------------------------------------------------------------------------------------
// File-level queries

std::string HevcImageFileReader::getMajorBrand() const
{
    checkInitialized();
    return mFileTypeBox.getMajorBrand();
}

std::uint32_t HevcImageFileReader::getMinorVersion() const
{
    checkInitialized();
    return mFileTypeBox.getMinorVersion();
}

std::vector<std::string> HevcImageFileReader::getCompatibleBrands() const
{
    checkInitialized();
    return mFileTypeBox.getCompatibleBrands();
}

std::vector<std::int32_t> HevcImageFileReader::getMatrix() const
{
    return mMatrix;
}

void HevcImageFileReader::setForcedLoopPlayback(ContextId contextId, bool forceLoopPlayback)
{
    checkInitialized();
    const auto it = mContextInfo.find(contextId);
    if (it == mContextInfo.end())
    {
        throw FileReaderException(InvalidContextId, "setForcedLoopPlayback");
    }
    it->second.forcedLoopPlayback = forceLoopPlayback;
}

std::uint32_t HevcImageFileReader::getCoverImageItemId(ContextId contextId) const
{
    checkInitialized();
    const auto it = mContextInfo.find(contextId);
    if (it == mContextInfo.end() || it->second.contextType != ContextType::Meta || !it->second.hasCoverImage)
    {
        throw FileReaderException(InvalidContextId);
    }
    return it->second.coverItemId;
}
