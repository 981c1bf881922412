// Item and sample bytes, NAL unit rewriting and decoder parameter sets.

#include <limits>
#include <map>
#include <set>
#include <stdexcept>

#include "AvcConfigurationBox.h"
#include "BitStream.h"
#include "DataEntryBox.h"
#include "HevcConfigurationBox.h"
#include "HevcImageFileReader.h"
#include "LayeredHevcConfigurationItemProperty.h"
#include "MetaBox.h"
#include "ReaderUtils.h"

using namespace readerutils;

namespace
{
// Construction methods of 'iloc'.
constexpr std::uint32_t kFileOffset = 0;
constexpr std::uint32_t kIdatOffset = 1;
constexpr std::uint32_t kItemOffset = 2;

// Items built from other items nest at most this deep; real files use one level.
constexpr std::size_t kMaxItemNesting = 32;

const std::uint8_t kStartCode4[] = {0, 0, 0, 1};
const std::uint8_t kStartCode3[] = {0, 0, 1};

[[noreturn]] void throwReadFailed(const std::string& message = std::string())
{
    throw ImageFileReaderInterface::FileReaderException(ImageFileReaderInterface::StreamReadFailed, message);
}

/// a + b, or a failure when it does not fit 64 bits.
std::uint64_t checkedAdd(std::uint64_t a, std::uint64_t b, const std::string& message)
{
    if (b > std::numeric_limits<std::uint64_t>::max() - a)
    {
        throwReadFailed(message);
    }
    return a + b;
}

/// Data reference 0 is this file; another names an entry of the meta box's 'dref', which only
/// a 'url ' entry flagged as self-contained makes this file too. Data that lies elsewhere is not
/// read: the offsets would be taken from some other file.
void requireLocalData(const MetaBox& metaBox, std::uint16_t dataReferenceIndex)
{
    if (dataReferenceIndex == 0)
    {
        return;
    }
    const auto& entries = metaBox.getDataInformationBox().getDataReferenceBox().getEntries();
    if (dataReferenceIndex > entries.size())
    {
        throwReadFailed("The data reference of an item names no entry of 'dref'.");
    }
    const DataEntryBox& entry = *entries[dataReferenceIndex - 1u];
    if (entry.getType() != FourCCInt("url ") || (entry.getFlags() & 1) == 0)
    {
        throwReadFailed("Item data lies in another file, which is not read.");
    }
}

const std::string kFaultyOffset = "Error while reading item data. Faulty offset in iloc, or damaged file?";
const std::string kTooLarge = "Item data larger than the file: damaged file?";

/// The extents' total length, after checking that each lies inside [0, size) from the base and
/// that together they are no more than size.
std::uint64_t checkExtents(const std::vector<ItemLocationExtent>& extents, std::uint64_t base, std::uint64_t size)
{
    std::uint64_t total = 0;
    for (const auto& extent : extents)
    {
        const std::uint64_t start = checkedAdd(base, extent.mExtentOffset, kFaultyOffset);
        const std::uint64_t end = checkedAdd(start, extent.mExtentLength, kFaultyOffset);
        total = checkedAdd(total, extent.mExtentLength, kFaultyOffset);
        if (end > size || total > size)
        {
            throwReadFailed(kFaultyOffset);
        }
    }
    return total;
}

/// VPS, SPS and PPS units of an H.265 record; the single- and multi-layer records list them alike.
template <typename Record>
ImageFileReaderInterface::ParameterSetMap h265ParameterSets(const Record& record)
{
    ImageFileReaderInterface::ParameterSetMap sets;
    record.appendParameterSets(sets["VPS"], 32);
    record.appendParameterSets(sets["SPS"], 33);
    record.appendParameterSets(sets["PPS"], 34);
    return sets;
}

}  // namespace

namespace readerutils
{
ImageFileReaderInterface::ParameterSetMap hevcParameterSets(const HevcDecoderConfigRecord& record)
{
    return h265ParameterSets(record);
}

ImageFileReaderInterface::ParameterSetMap layeredParameterSets(const LayeredHevcDecoderConfigRecord& record)
{
    return h265ParameterSets(record);
}

ImageFileReaderInterface::ParameterSetMap avcParameterSets(const AvcDecoderConfigRecord& record)
{
    ImageFileReaderInterface::ParameterSetMap sets;
    record.appendParameterSets(sets["SPS"], 7);
    record.appendParameterSets(sets["PPS"], 8);
    return sets;
}
}  // namespace readerutils

// ---------------------------------------------------------------------------------------------
// Decoder configurations of meta items

std::string HevcImageFileReader::metaItemConfiguration(ContextId contextId, std::uint32_t itemId,
                                                       std::uint32_t& index) const
{
    // The first configuration property in the order hvcC, lhvC, avcC decides; one whose record
    // could not be read counts as none.
    using Type = ItemPropertiesBox::PropertyType;
    const ItemPropertiesBox& iprp = getMetaBox(contextId).getItemPropertiesBox();
    for (const auto& kind :
         {std::make_pair(Type::HVCC, "hvc1"), std::make_pair(Type::LHVC, "lhv1"), std::make_pair(Type::AVCC, "avc1")})
    {
        index = iprp.findPropertyIndex(kind.first, itemId);
        if (index != 0)
        {
            return mParameterSets.count(Id(contextId, index)) != 0 ? kind.second : "not supported";
        }
    }
    return "not supported";
}

void HevcImageFileReader::processDecoderConfigProperties(ContextId contextId)
{
    // Items share their configurations (every tile of a grid, as a rule): each is read once.
    const ItemPropertiesBox& iprp = getMetaBox(contextId).getItemPropertiesBox();
    for (const auto& image : mStagingFileInformation.rootMetaBoxInformation.imageFeaturesMap)
    {
        std::uint32_t index = 0;
        metaItemConfiguration(contextId, image.first, index);
        const Id configuration(contextId, index);
        if (index == 0 || mParameterSets.count(configuration) != 0)
        {
            continue;
        }
        const auto property = iprp.getItemPropertyContainer().getProperty(index - 1);
        if (const auto hvcc = std::dynamic_pointer_cast<const HevcConfigurationBox>(property))
        {
            mParameterSets[configuration] = hevcParameterSets(hvcc->getConfiguration());
            mNalLengthSizes[configuration] = hvcc->getConfiguration().getLengthSizeMinus1() + 1u;
        }
        else if (const auto lhvc = std::dynamic_pointer_cast<const LayeredHevcConfigurationItemProperty>(property))
        {
            const LayeredHevcDecoderConfigRecord record = lhvc->getConfiguration();
            mParameterSets[configuration] = layeredParameterSets(record);
            mNalLengthSizes[configuration] = record.getLengthSizeMinus1() + 1u;
        }
        else if (const auto avcc = std::dynamic_pointer_cast<const AvcConfigurationBox>(property))
        {
            mParameterSets[configuration] = avcParameterSets(avcc->getConfiguration());
            mNalLengthSizes[configuration] = avcc->getConfiguration().getLengthSizeMinus1() + 1u;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Reading bytes

void HevcImageFileReader::readFromStream(std::uint64_t offset, std::uint64_t length, std::uint8_t* destination,
                                         const std::string& message) const
{
    if (length == 0)
    {
        return;
    }
    std::istream& stream = *mInputStream;
    // A failure of an earlier read must not fail this one.
    stream.clear();
    stream.seekg(static_cast<std::streamoff>(offset));
    if (!stream)
    {
        stream.clear();
        throwReadFailed(message);
    }
    stream.read(reinterpret_cast<char*>(destination), static_cast<std::streamsize>(length));
    if (static_cast<std::uint64_t>(stream.gcount()) != length)
    {
        stream.clear();
        throwReadFailed(message.empty() ? message : "Error while reading item data.");
    }
}

struct HevcImageFileReader::ItemRead
{
    /// Items read on the way, by id, so that one named by many extents is read once.
    std::map<std::uint32_t, std::vector<std::uint8_t>> sources;
    std::set<std::uint32_t> inProgress;
    /// Bytes the items of the read may still take: an item is at most the file's size, and one
    /// read holds at most twice that (the item and the bytes it is cut from). Since every item is
    /// read once, the extents visited are at most those of the meta box.
    std::uint64_t bytesLeft = 0;

    void takeBytes(std::uint64_t count)
    {
        if (count > bytesLeft)
        {
            throwReadFailed(kTooLarge);
        }
        bytesLeft -= count;
    }
};

void HevcImageFileReader::readItem(ContextId contextId, std::uint32_t itemId, std::vector<std::uint8_t>& data) const
{
    ItemRead read;
    read.bytesLeft = 2 * mStreamEnd;
    readItem(contextId, itemId, data, read);
}

void HevcImageFileReader::readItem(ContextId contextId, std::uint32_t itemId, std::vector<std::uint8_t>& data,
                                   ItemRead& read) const
{
    const MetaBox& metaBox = getMetaBox(contextId);
    const ItemLocationBox& iloc = metaBox.getItemLocationBox();
    const ItemLocation& location = iloc.getItemLocationForID(itemId);
    const std::vector<ItemLocationExtent>& extents = location.getExtentList();
    if (extents.empty())
    {
        throwReadFailed("No extents given for an item.");
    }

    const unsigned version = iloc.getVersion();
    const std::uint32_t method = location.getConstructionMethod();
    const std::uint64_t base = location.getBaseOffset();
    data.clear();

    // Version 2 differs from version 1 only in 32-bit item ids and counts, so it reads the same
    // construction methods (else none of its items could be read, nor the items built from them).
    if (version == 0 || ((version == 1 || version == 2) && method == kFileOffset))
    {
        requireLocalData(metaBox, location.getDataReferenceIndex());
        // Every extent must lie inside the stream before anything is sized from the lengths.
        const std::uint64_t total = checkExtents(extents, base, mStreamEnd);
        read.takeBytes(total);
        data.resize(static_cast<std::size_t>(total));
        std::size_t position = 0;
        for (const auto& extent : extents)
        {
            readFromStream(base + extent.mExtentOffset, extent.mExtentLength, data.data() + position, kFaultyOffset);
            position += static_cast<std::size_t>(extent.mExtentLength);
        }
    }
    else if ((version == 1 || version == 2) && method == kIdatOffset)
    {
        const ItemDataBox& idat = metaBox.getItemDataBox();
        read.takeBytes(checkExtents(extents, base, idat.getData().size()));
        for (const auto& extent : extents)
        {
            idat.read(data, base + extent.mExtentOffset, extent.mExtentLength);
        }
    }
    else if ((version == 1 || version == 2) && method == kItemOffset)
    {
        assembleItem(contextId, itemId, location, data, read);
    }
    else
    {
        throwReadFailed("Unknown ItemLocationBox version and/or construction method.");
    }
}

void HevcImageFileReader::assembleItem(ContextId contextId, std::uint32_t itemId, const ItemLocation& location,
                                       std::vector<std::uint8_t>& data, ItemRead& read) const
{
    // An item made of its own bytes, directly or through others, has no end.
    if (read.inProgress.count(itemId) || read.inProgress.size() >= kMaxItemNesting)
    {
        throwReadFailed("Item data refers to itself.");
    }
    const std::vector<std::uint32_t>* sources = getReferenceIndex(contextId).firstFrom(FourCCInt("iloc"), itemId);
    if (sources == nullptr)
    {
        throwReadFailed("No 'iloc' item reference for an item built from other items.");
    }

    read.inProgress.insert(itemId);
    const bool indexed = getMetaBox(contextId).getItemLocationBox().getIndexSize() != 0;
    for (const auto& extent : location.getExtentList())
    {
        const std::uint64_t position = indexed ? extent.mExtentIndex - 1 : 0;
        if (position >= sources->size())
        {
            throwVectorOutOfRange();
        }
        const std::uint32_t sourceId = (*sources)[static_cast<std::size_t>(position)];
        auto source = read.sources.find(sourceId);
        if (source == read.sources.end())
        {
            std::vector<std::uint8_t> bytes;
            readItem(contextId, sourceId, bytes, read);
            source = read.sources.emplace(sourceId, std::move(bytes)).first;
        }
        const std::vector<std::uint8_t>& bytes = source->second;
        const std::uint64_t offset = extent.mExtentOffset;
        if (offset > bytes.size())
        {
            throwReadFailed(kFaultyOffset);
        }
        const std::uint64_t length = extent.mExtentLength == 0 ? bytes.size() - offset : extent.mExtentLength;
        if (length > bytes.size() - offset)
        {
            throwReadFailed(kFaultyOffset);
        }
        // Checked before the bytes are copied, so a repeated source cannot grow the item first.
        if (data.size() + length > mStreamEnd)
        {
            throwReadFailed(kTooLarge);
        }
        read.takeBytes(length);
        data.insert(data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                    bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }
    read.inProgress.erase(itemId);
}

bool HevcImageFileReader::findConfiguration(ContextId contextId, std::uint32_t itemId, Id& configuration) const
{
    const auto track = mTrackContextInfo.find(contextId);
    if (track == mTrackContextInfo.end())
    {
        // Image items have configurations; other items and unknown ids none.
        const auto meta = mMetaContextInfo.find(contextId);
        std::uint32_t index = 0;
        if (meta == mMetaContextInfo.end() || meta->second.imageInfoMap.count(itemId) == 0 ||
            metaItemConfiguration(contextId, itemId, index) == "not supported")
        {
            return false;
        }
        configuration = Id(contextId, index);
        return true;
    }
    // A sample's configuration is its sample entry's, found through its sample description index.
    if (itemId >= track->second.samples.size())
    {
        return false;
    }
    const std::uint32_t index = track->second.samples[itemId].sampleDescriptionIndex;
    if (track->second.codeTypes.count(index) == 0)
    {
        return false;
    }
    configuration = Id(contextId, index);
    return true;
}

unsigned HevcImageFileReader::getNalLengthSize(ContextId contextId, std::uint32_t itemId) const
{
    Id configuration;
    if (!findConfiguration(contextId, itemId, configuration))
    {
        return 4;
    }
    const auto size = mNalLengthSizes.find(configuration);
    return size == mNalLengthSizes.end() ? 4 : size->second;
}

void HevcImageFileReader::convertToByteStream(ContextId contextId, std::uint32_t itemId,
                                              const std::vector<std::uint8_t>& source,
                                              std::vector<std::uint8_t>& destination, bool isAvc) const
{
    const unsigned lengthSize = getNalLengthSize(contextId, itemId);
    std::size_t position = 0;
    while (position < source.size())
    {
        if (source.size() - position < lengthSize)
        {
            throwVectorOutOfRange();
        }
        std::uint64_t length = 0;
        for (unsigned i = 0; i < lengthSize; ++i)
        {
            length = (length << 8) | source[position++];
        }
        if (length == 0 || length > source.size() - position)
        {
            throwVectorOutOfRange();
        }
        const std::uint8_t header = source[position];
        const bool parameterSet = isAvc ? ((header & 0x1F) == 7 || (header & 0x1F) == 8)
                                        : ((header & 0x7C) == 0x40 || (header & 0x7E) == 0x44);
        if (destination.empty() || parameterSet)
        {
            destination.insert(destination.end(), std::begin(kStartCode4), std::end(kStartCode4));
        }
        else
        {
            destination.insert(destination.end(), std::begin(kStartCode3), std::end(kStartCode3));
        }
        destination.insert(destination.end(), source.begin() + static_cast<std::ptrdiff_t>(position),
                           source.begin() + static_cast<std::ptrdiff_t>(position + length));
        position += static_cast<std::size_t>(length);
    }
}

// ---------------------------------------------------------------------------------------------
// Queries

void HevcImageFileReader::getItemData(ContextId contextId, std::uint32_t itemId,
                                      std::vector<std::uint8_t>& itemData) const
{
    checkInitialized();
    itemData.clear();
    std::vector<std::uint8_t> raw;
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        readSample(contextId, itemId, raw);
    }
    else
    {
        readItem(contextId, itemId, raw);
        const ItemInfoEntry entry = getMetaBox(contextId).getItemInfoBox().getItemById(itemId);
        const std::string& type = entry.getItemType();
        if (entry.getItemProtectionIndex() != 0 || (type != "hvc1" && type != "avc1" && type != "lhv1"))
        {
            itemData = std::move(raw);
            return;
        }
    }

    const std::string codeType = getDecoderCodeType(contextId, itemId);
    if (codeType == "avc1")
    {
        convertToByteStream(contextId, itemId, raw, itemData, true);
    }
    else if (codeType == "hvc1" || codeType == "lhv1")
    {
        convertToByteStream(contextId, itemId, raw, itemData, false);
    }
    else
    {
        throw FileReaderException(UnsupportedCodeType);
    }
}

std::string HevcImageFileReader::getDecoderCodeType(ContextId contextId, std::uint32_t itemId) const
{
    checkInitialized();
    if (getContextType(contextId) != ContextType::Track)
    {
        // Image items have a coding type; other items and unknown ids none.
        findOrThrow(getMetaContextInfo(contextId).imageInfoMap, itemId, InvalidItemId);
        std::uint32_t index = 0;
        return metaItemConfiguration(contextId, itemId, index);
    }
    const TrackContextInfo& track = getTrackContextInfo(contextId);
    if (itemId >= track.samples.size())
    {
        throw FileReaderException(InvalidItemId);
    }
    const auto type = track.codeTypes.find(track.samples[itemId].sampleDescriptionIndex);
    return type == track.codeTypes.end() ? "not supported" : type->second;
}

void HevcImageFileReader::getDecoderParameterSets(ContextId contextId, std::uint32_t itemId,
                                                  ParameterSetMap& decoderParameterSets) const
{
    checkInitialized();
    Id configuration;
    if (!findConfiguration(contextId, itemId, configuration))
    {
        throw std::out_of_range("map::at:  key not found");
    }
    decoderParameterSets = findOrThrow(mParameterSets, configuration, InvalidItemId);
}

void HevcImageFileReader::getItemDataWithDecoderParameters(ContextId contextId, std::uint32_t itemId,
                                                           std::vector<std::uint8_t>& data) const
{
    checkInitialized();
    if (getContextType(contextId) == ContextType::Meta && isProtected(contextId, itemId))
    {
        throw FileReaderException(ProtectedItem);
    }
    data.clear();
    const std::string codeType = getDecoderCodeType(contextId, itemId);
    ParameterSetMap sets;
    getDecoderParameterSets(contextId, itemId, sets);

    if (codeType == "hvc1" || codeType == "lhv1")
    {
        const auto& vps = mapAt(sets, std::string("VPS"));
        data.insert(data.end(), vps.begin(), vps.end());
    }
    else if (codeType != "avc1")
    {
        throw FileReaderException(UnsupportedCodeType);
    }
    const auto& sps = mapAt(sets, std::string("SPS"));
    data.insert(data.end(), sps.begin(), sps.end());
    const auto& pps = mapAt(sets, std::string("PPS"));
    data.insert(data.end(), pps.begin(), pps.end());

    // The item's first unit carries a 4-byte start code; its first 0 is dropped so that the
    // units after the parameter sets continue with 00 00 01.
    std::vector<std::uint8_t> itemData;
    getItemData(contextId, itemId, itemData);
    if (!itemData.empty())
    {
        data.insert(data.end(), itemData.begin() + 1, itemData.end());
    }
}
