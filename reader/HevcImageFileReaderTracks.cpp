// Track contexts: the queries, answered from the tables built at parse time.

#include <algorithm>

#include "BitStream.h"
#include "HevcImageFileReader.h"
#include "LogStream.h"
#include "ReaderUtils.h"

using namespace readerutils;

namespace
{
/// (time, sample id) for every time one of the kept samples is shown, in presentation order
/// (samples shown at the same time in sample order).
template <typename Samples, typename Keep>
std::vector<std::pair<std::int64_t, std::uint32_t>> presentationOrder(const Samples& samples, Keep keep)
{
    std::vector<std::pair<std::int64_t, std::uint32_t>> shown;
    for (const auto& sample : samples)
    {
        if (keep(sample))
        {
            for (const std::int64_t time : sample.timestamps)
            {
                shown.emplace_back(time, sample.sampleId);
            }
        }
    }
    std::sort(shown.begin(), shown.end());
    return shown;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Track queries

const HevcImageFileReader::SampleInfo& HevcImageFileReader::getSample(ContextId contextId, std::uint32_t sampleId) const
{
    const TrackContextInfo& track = getTrackContextInfo(contextId);
    if (sampleId >= track.samples.size())
    {
        throwVectorOutOfRange();
    }
    return track.samples[sampleId];
}

void HevcImageFileReader::readSample(ContextId contextId, std::uint32_t sampleId, std::vector<std::uint8_t>& data) const
{
    const TrackContextInfo& track = getTrackContextInfo(contextId);
    if (sampleId >= track.samples.size())
    {
        throw FileReaderException(InvalidArgument, "Requested frame out of index");
    }
    const SampleInfo& sample = track.samples[sampleId];
    if (sample.dataOffset > mStreamEnd || sample.dataLength > mStreamEnd - sample.dataOffset)
    {
        throw FileReaderException(StreamReadFailed);
    }
    data.assign(sample.dataLength, 0);
    readFromStream(sample.dataOffset, sample.dataLength, data.data(), std::string());
}

void HevcImageFileReader::getTrackItemListByType(ContextId contextId, const std::string& itemType,
                                                 IdVector& itemIds) const
{
    const TrackContextInfo& track = getTrackContextInfo(contextId);
    if (itemType == "samples")
    {
        for (const auto& sample : track.samples)
        {
            itemIds.push_back(sample.sampleId);
        }
    }
    else if (itemType == "out_ref" || itemType == "non_out_ref" || itemType == "out_non_ref")
    {
        const SampleType wanted = itemType == "out_ref"       ? SampleType::OutputReferenceFrame
                                  : itemType == "non_out_ref" ? SampleType::NonOutputReferenceFrame
                                                              : SampleType::OutputNonReferenceFrame;
        for (const auto& sample : track.samples)
        {
            if (sample.sampleType == wanted)
            {
                itemIds.push_back(sample.sampleId);
            }
        }
    }
    else if (itemType == "display")
    {
        const auto shown = presentationOrder(track.samples,
                                             [](const SampleInfo& sample)
                                             {
                                                 return sample.sampleType == SampleType::OutputNonReferenceFrame ||
                                                        sample.sampleType == SampleType::OutputReferenceFrame;
                                             });
        for (const auto& entry : shown)
        {
            itemIds.push_back(entry.second);
        }
    }
    else
    {
        throw FileReaderException(InvalidArgument);
    }
}

std::string HevcImageFileReader::getTrackItemType(ContextId contextId, std::uint32_t sampleId) const
{
    return getSample(contextId, sampleId).sampleEntryType;
}

std::uint32_t HevcImageFileReader::getDisplayWidth(ContextId contextId) const
{
    checkInitialized();
    if (getContextType(contextId) != ContextType::Track)
    {
        throw FileReaderException(InvalidContextId);
    }
    return getTrackContextInfo(contextId).displayWidth;
}

std::uint32_t HevcImageFileReader::getDisplayHeight(ContextId contextId) const
{
    checkInitialized();
    if (getContextType(contextId) != ContextType::Track)
    {
        throw FileReaderException(InvalidContextId);
    }
    return getTrackContextInfo(contextId).displayHeight;
}

std::uint32_t HevcImageFileReader::getWidth(ContextId contextId, std::uint32_t itemId) const
{
    checkInitialized();
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        return getSample(contextId, itemId).width;
    }
    return mapAt(getMetaContextInfo(contextId).imageInfoMap, itemId).width;
}

std::uint32_t HevcImageFileReader::getHeight(ContextId contextId, std::uint32_t itemId) const
{
    checkInitialized();
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        return getSample(contextId, itemId).height;
    }
    return mapAt(getMetaContextInfo(contextId).imageInfoMap, itemId).height;
}

float HevcImageFileReader::getPlaybackDurationInSecs(ContextId contextId) const
{
    checkInitialized();
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        return static_cast<float>(getTrackContextInfo(contextId).durationInSecs);
    }
    const MetaContextInfo& info = getMetaContextInfo(contextId);
    if (!info.isForcedFps)
    {
        logWarning() << "getPlaybackDurationInSecs() called for meta context, but forced FPS was not set" << std::endl;
        return 0;
    }
    return static_cast<float>(info.masterImageCount) / info.forcedFps;
}

void HevcImageFileReader::getItemTimestamps(ContextId contextId, TimestampMap& timestamps) const
{
    checkInitialized();
    timestamps.clear();
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        for (const auto& sample : getTrackContextInfo(contextId).samples)
        {
            for (const std::int64_t time : sample.timestamps)
            {
                timestamps[static_cast<std::uint32_t>(time)] = sample.sampleId;
            }
        }
        return;
    }
    const MetaContextInfo& info = getMetaContextInfo(contextId);
    if (!info.isForcedFps)
    {
        throw FileReaderException(InvalidContextId, "getItemTimestamps: Forced FPS not set for meta context");
    }
    for (const auto& image : info.imageInfoMap)
    {
        if (image.second.type == "master")
        {
            timestamps[static_cast<std::uint32_t>(image.second.displayTime)] = image.first;
        }
    }
}

void HevcImageFileReader::getTimestampsOfItem(ContextId contextId, std::uint32_t itemId, IdVector& timestamps) const
{
    checkInitialized();
    timestamps.clear();
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        for (const std::int64_t time : getSample(contextId, itemId).timestamps)
        {
            timestamps.push_back(static_cast<std::uint32_t>(time));
        }
        return;
    }
    const MetaContextInfo& info = getMetaContextInfo(contextId);
    if (!info.isForcedFps)
    {
        throw FileReaderException(InvalidContextId, "getTimestampsOfItem: Forced FPS not set for meta context");
    }
    timestamps.push_back(static_cast<std::uint32_t>(mapAt(info.imageInfoMap, itemId).displayTime));
}

void HevcImageFileReader::getItemsInDecodingOrder(ContextId contextId, DecodingOrderVector& itemDecodingOrder) const
{
    checkInitialized();
    itemDecodingOrder.clear();
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        const auto shown =
            presentationOrder(getTrackContextInfo(contextId).samples, [](const SampleInfo&) { return true; });
        for (const auto& entry : shown)
        {
            IdVector dependencies;
            getItemDecodeDependencies(contextId, entry.second, dependencies);
            if (!(dependencies.size() == 1 && dependencies[0] == entry.second))
            {
                for (const std::uint32_t dependency : dependencies)
                {
                    itemDecodingOrder.emplace_back(dependency, 0xFFFFFFFF);
                }
            }
            itemDecodingOrder.emplace_back(entry.second, static_cast<std::uint32_t>(entry.first));
        }
        return;
    }
    const MetaContextInfo& info = getMetaContextInfo(contextId);
    if (!info.isForcedFps)
    {
        throw FileReaderException(InvalidContextId, "getItemsInDecodingOrder: Forced FPS not set for meta context");
    }
    for (const auto& image : info.imageInfoMap)
    {
        itemDecodingOrder.emplace_back(image.first, static_cast<std::uint32_t>(image.second.displayTime));
    }
}

void HevcImageFileReader::getItemDecodeDependencies(ContextId contextId, std::uint32_t itemId,
                                                    IdVector& dependencies) const
{
    checkInitialized();
    dependencies.clear();
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        dependencies = getSample(contextId, itemId).decodeDependencies;
    }
    if (dependencies.empty())
    {
        dependencies.push_back(itemId);
    }
}
