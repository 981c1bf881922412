// Track contexts: the tables built from the movie box at parse time.

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "AvcSampleEntry.h"
#include "BitStream.h"
#include "DecodePts.h"
#include "DirectReferenceSampleListEntry.h"
#include "EditBox.h"
#include "EditListBox.h"
#include "HevcImageFileReader.h"
#include "HevcSampleEntry.h"
#include "LogStream.h"
#include "MovieBox.h"
#include "ReaderUtils.h"
#include "SampleDescriptionBox.h"
#include "SampleTableBox.h"
#include "TrackBox.h"

using namespace readerutils;

namespace
{
constexpr std::uint32_t kUnknownDuration = 0xFFFFFFFF;

// A looping track repeats its samples until its duration is filled; more timestamps than this
// come only from hostile durations and would exhaust memory.
constexpr std::uint64_t kMaxTimestamps = 1u << 20;

const VisualSampleEntryBox* findSampleEntry(const SampleDescriptionBox& stsd, std::uint32_t index)
{
    if (index == 0 || index > stsd.getSampleEntryCount())
    {
        return nullptr;
    }
    return dynamic_cast<const VisualSampleEntryBox*>(stsd.getSampleEntries()[index - 1].get());
}

std::string sampleEntryType(const VisualSampleEntryBox* entry)
{
    return entry ? entry->getType().getString() : std::string();
}

bool isHevcEntry(const VisualSampleEntryBox* entry)
{
    return entry && (entry->getType() == FourCCInt("hvc1") || entry->getType() == FourCCInt("hev1"));
}

bool isAvcEntry(const VisualSampleEntryBox* entry)
{
    return entry && entry->getType() == FourCCInt("avc1");
}

/// The edit list with its segment durations moved from the movie to the media timescale.
EditListBox scaleEditList(const EditListBox& edits, std::uint32_t mediaTimeScale, std::uint32_t movieTimeScale)
{
    EditListBox scaled;
    scaled.setVersion(1);
    scaled.setFlags(edits.getFlags());
    const auto scale = [&](std::uint64_t duration)
    {
        const long double value = static_cast<long double>(duration) * mediaTimeScale / movieTimeScale;
        const long double limit = static_cast<long double>(std::numeric_limits<std::int64_t>::max());
        return static_cast<std::uint64_t>(value > limit ? limit : value);
    };
    const std::uint32_t count = edits.numberOfEntries();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        EditListBox::EntryVersion1 entry;
        if (edits.getVersion() == 0)
        {
            const auto& old = edits.getEntryVersion0(i);
            entry.mSegmentDuration = scale(old.mSegmentDuration);
            entry.mMediaTime = old.mMediaTime;
            entry.mMediaRateInteger = old.mMediaRateInteger;
            entry.mMediaRateFraction = old.mMediaRateFraction;
        }
        else
        {
            entry = edits.getEntryVersion1(i);
            entry.mSegmentDuration = scale(entry.mSegmentDuration);
        }
        scaled.addEntry(entry);
    }
    return scaled;
}

/// Everything of the "refs" sample grouping that the tables need, looked up in constant time.
struct ReferenceGrouping
{
    const SampleToGroupBox* sbgp = nullptr;
    const SampleGroupDescriptionBox* sgpd = nullptr;
    std::map<std::uint32_t, std::uint32_t> firstSampleOfEntry;  // 1-based entry index to sample
    std::map<std::uint32_t, std::uint32_t> entryOfSampleId;     // refs sample ID to entry index

    const DirectReferenceSampleListEntry* entry(std::uint32_t index) const
    {
        if (sgpd == nullptr || index == 0 || index > sgpd->getEntryCount())
        {
            return nullptr;
        }
        return dynamic_cast<const DirectReferenceSampleListEntry*>(sgpd->getEntry(index));
    }
};

ReferenceGrouping findReferenceGrouping(const SampleTableBox& stbl)
{
    ReferenceGrouping grouping;
    for (const auto& sbgp : stbl.getSampleToGroupBoxes())
    {
        if (sbgp.getGroupingType() == "refs")
        {
            grouping.sbgp = &sbgp;
        }
    }
    if (grouping.sbgp == nullptr)
    {
        return grouping;
    }
    try
    {
        grouping.sgpd = &stbl.getSampleGroupDescriptionBox("refs");
    }
    catch (const std::runtime_error&)
    {
        grouping.sgpd = nullptr;
    }
    for (std::uint32_t sample = 0; sample < grouping.sbgp->getNumberOfSamples(); ++sample)
    {
        grouping.firstSampleOfEntry.emplace(grouping.sbgp->getSampleGroupDescriptionIndex(sample), sample);
    }
    if (grouping.sgpd != nullptr)
    {
        for (std::uint32_t index = 1; index <= grouping.sgpd->getEntryCount(); ++index)
        {
            if (const auto* refs = grouping.entry(index))
            {
                grouping.entryOfSampleId.emplace(refs->getSampleId(), index);
            }
        }
    }
    return grouping;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Building the track tables

void HevcImageFileReader::handleMovie(BitStream& bitstream)
{
    MovieBox movieBox;
    movieBox.parseBox(bitstream);
    mStagingFileInformation.movieInformation = MovieInformation();
    extractTrackInfo(movieBox);
    mMatrix = movieBox.getMovieHeaderBox().getMatrix();
}

void HevcImageFileReader::extractTrackInfo(const MovieBox& movieBox)
{
    const std::uint32_t movieTimeScale = movieBox.getMovieHeaderBox().getTimeScale();
    const auto tracks = movieBox.getTrackBoxes();

    for (const TrackBox* track : tracks)
    {
        const TrackBox& trackBox = *track;
        const ContextId trackId = trackBox.getTrackHeaderBox().getTrackID();
        const auto existing = mContextInfo.find(trackId);
        if (existing != mContextInfo.end() && existing->second.contextType != ContextType::Track)
        {
            // Track ids are chosen by the file, meta context ids by the reader: a clash must not
            // take the meta box's items away.
            logWarning() << "Skipping track " << trackId << ": its id is taken by a meta context" << std::endl;
            continue;
        }

        TrackInformation information;
        if (!extractSampleInformation(trackBox, information))
        {
            continue;
        }
        TrackContextInfo contextInfo = extractTrackContextInfo(trackBox, movieTimeScale, information);
        extractTrackDecoderConfigurations(trackBox, trackId, contextInfo);
        mTrackContextInfo[trackId] = std::move(contextInfo);

        information.features = extractTrackFeatures(trackBox);
        information.trackId = trackId;
        information.alternateGroup = trackBox.getTrackHeaderBox().getAlternateGroup();
        if (trackBox.getHasTrackReferences())
        {
            for (const auto& reference : trackBox.getTrackReferenceBox().getReferenceTypeBoxes())
            {
                information.referenceTrackIds[reference.getType().getString()] = reference.getTrackIds();
            }
        }
        const SampleTableBox& stbl = trackBox.getMediaBox().getMediaInformationBox().getSampleTableBox();
        for (const auto& sbgp : stbl.getSampleToGroupBoxes())
        {
            if (sbgp.getGroupingType().size() != 4)
            {
                continue;
            }
            std::vector<std::uint32_t> members;
            for (std::uint32_t sample = 0; sample < sbgp.getNumberOfSamples(); ++sample)
            {
                if (sbgp.getSampleGroupDescriptionIndex(sample) != 0)
                {
                    members.push_back(sample);
                }
            }
            information.sampleGroupMembers[FourCCInt(sbgp.getGroupingType())] = members;
        }
        if (information.alternateGroup != 0)
        {
            for (const TrackBox* other : tracks)
            {
                const auto& header = other->getTrackHeaderBox();
                if (other != track && header.getAlternateGroup() == information.alternateGroup)
                {
                    information.alternateTrackIds.push_back(header.getTrackID());
                }
            }
        }
        mStagingFileInformation.trackInformation[trackId] = information;

        ContextInfo context;
        context.contextType = ContextType::Track;
        mContextInfo[trackId] = context;
    }

    // Tracks that others name as their thumbnails or auxiliary images.
    auto& trackInformation = mStagingFileInformation.trackInformation;
    for (auto& track : trackInformation)
    {
        for (const auto& other : trackInformation)
        {
            const auto& references = other.second.referenceTrackIds;
            for (const auto& link : {std::make_pair("thmb", TrackFeature::HasLinkedThumbnailTracks),
                                     std::make_pair("auxl", TrackFeature::HasLinkedAuxiliaryTracks)})
            {
                const auto named = references.find(link.first);
                if (named != references.end() &&
                    std::find(named->second.begin(), named->second.end(), track.first) != named->second.end())
                {
                    track.second.features.insert(link.second);
                }
            }
        }
    }
}

HevcImageFileReader::TrackFeatureSet HevcImageFileReader::extractTrackFeatures(const TrackBox& trackBox) const
{
    TrackFeatureSet features;
    const TrackHeaderBox& tkhd = trackBox.getTrackHeaderBox();
    if (trackBox.getMediaBox().getHandlerBox().getHandlerType() != "pict")
    {
        return features;
    }
    if (!trackBox.getHasTrackReferences())
    {
        features.insert(TrackFeature::IsMasterImageSequence);
    }
    else
    {
        const TrackReferenceBox& tref = trackBox.getTrackReferenceBox();
        if (tref.isReferenceTypePresent(FourCCInt("thmb")))
        {
            features.insert(TrackFeature::IsThumbnailImageSequence);
        }
        if (tref.isReferenceTypePresent(FourCCInt("auxl")))
        {
            features.insert(TrackFeature::IsAuxiliaryImageSequence);
        }
    }
    if (tkhd.getFlags() & 1)
    {
        features.insert(TrackFeature::IsEnabled);
    }
    if (tkhd.getFlags() & 2)
    {
        features.insert(TrackFeature::IsInMovie);
    }
    if (tkhd.getFlags() & 4)
    {
        features.insert(TrackFeature::IsInPreview);
    }
    if (tkhd.getAlternateGroup() != 0)
    {
        features.insert(TrackFeature::HasAlternatives);
    }

    const SampleTableBox& stbl = trackBox.getMediaBox().getMediaInformationBox().getSampleTableBox();
    const SampleDescriptionBox& stsd = stbl.getSampleDescriptionBox();
    for (std::uint32_t index = 1; index <= stsd.getSampleEntryCount(); ++index)
    {
        const VisualSampleEntryBox* entry = findSampleEntry(stsd, index);
        if (entry && entry->getCodingConstraintsBox())
        {
            features.insert(TrackFeature::HasCodingConstraints);
        }
    }
    if (!stbl.getSampleToGroupBoxes().empty())
    {
        features.insert(TrackFeature::HasSampleGroups);
    }
    const auto editBox = trackBox.getEditBox();
    if (editBox && editBox->getEditListBox())
    {
        features.insert(TrackFeature::HasEditList);
        if (editBox->getEditListBox()->getFlags() == 1 && tkhd.getDuration() == kUnknownDuration)
        {
            features.insert(TrackFeature::HasInfiniteLoopPlayback);
        }
    }
    return features;
}

bool HevcImageFileReader::extractSampleInformation(const TrackBox& trackBox, TrackInformation& information) const
{
    const SampleTableBox& stbl = trackBox.getMediaBox().getMediaInformationBox().getSampleTableBox();
    const SampleDescriptionBox& stsd = stbl.getSampleDescriptionBox();
    const SampleToChunkBox& stsc = stbl.getSampleToChunkBox();
    const std::uint32_t sampleCount = static_cast<std::uint32_t>(stbl.getSampleSizeBox().getEntrySizes().size());
    const ReferenceGrouping refs = findReferenceGrouping(stbl);

    for (std::uint32_t sample = 0; sample < sampleCount; ++sample)
    {
        SampleInformation info;
        info.sampleId = sample;
        info.sampleDescriptionIndex = stsc.getSampleDescriptionIndex(sample);
        const VisualSampleEntryBox* entry = findSampleEntry(stsd, info.sampleDescriptionIndex);
        info.sampleEntryType = sampleEntryType(entry);

        for (const auto& sbgp : stbl.getSampleToGroupBoxes())
        {
            const std::uint32_t index = sbgp.getSampleGroupDescriptionIndex(sample);
            if (index != 0 && sbgp.getGroupingType().size() == 4)
            {
                info.sampleGroupDescriptionIndex[FourCCInt(sbgp.getGroupingType())] = index;
            }
        }
        if (refs.sbgp != nullptr)
        {
            const auto* refsEntry = refs.entry(refs.sbgp->getSampleGroupDescriptionIndex(sample));
            if (refsEntry && refsEntry->getSampleId() == 0)
            {
                info.sampleType = SampleType::OutputNonReferenceFrame;
            }
        }

        if (entry)
        {
            const auto ccst = entry->getCodingConstraintsBox();
            if (!ccst)
            {
                // One sequence without its coding constraints must not make the file's images
                // and metadata unreadable: the track alone is left out.
                logWarning() << "Failed to read coding constraints from '" << info.sampleEntryType
                             << "' sample entry type box. Skipping the track." << std::endl;
                return false;
            }
            if (ccst->getAllRefPicsIntra())
            {
                info.codingConstraints.insert(SampleCodingConstraint::AllRefPicsIntra);
            }
            if (ccst->getIntraPredUsed())
            {
                info.codingConstraints.insert(SampleCodingConstraint::IntraPredUsed);
            }
            info.hasClap = entry->getClap() != nullptr;
        }
        information.samplePropertiesMap[sample] = info;
    }
    return true;
}

HevcImageFileReader::TrackContextInfo
HevcImageFileReader::extractTrackContextInfo(const TrackBox& trackBox, std::uint32_t movieTimeScale,
                                             const TrackInformation& information) const
{
    TrackContextInfo info;
    const TrackHeaderBox& tkhd = trackBox.getTrackHeaderBox();
    info.displayWidth = tkhd.getWidth() >> 16;
    info.displayHeight = tkhd.getHeight() >> 16;

    const SampleTableBox& stbl = trackBox.getMediaBox().getMediaInformationBox().getSampleTableBox();
    const std::uint32_t mediaTimeScale = trackBox.getMediaBox().getMediaHeaderBox().getTimeScale();
    if (movieTimeScale == 0 || mediaTimeScale == 0)
    {
        // Every time of the track is divided by these.
        throw FileReaderException(StreamReadFailed, "Timescale 0 in a track.");
    }

    // Timing. Sample times count in the media timescale and edit durations in the movie
    // timescale: the edits are brought to the media timescale so that both add up.
    DecodePts decodePts;
    decodePts.setTimeToSampleBox(&stbl.getTimeToSampleBox());
    decodePts.setCompositionOffsetBox(stbl.getCompositionOffsetBox().get());
    const auto editBox = trackBox.getEditBox();
    const std::shared_ptr<const EditListBox> editList = editBox ? editBox->getEditListBox() : nullptr;
    EditListBox scaledEdits;
    if (editList)
    {
        scaledEdits = scaleEditList(*editList, mediaTimeScale, movieTimeScale);
        decodePts.setEditListBox(&scaledEdits);
    }
    decodePts.computePresentationTimes();

    DecodePts::PresentationTimeMap times;
    if (tkhd.getDuration() == kUnknownDuration)
    {
        times = decodePts.getPresentationTimesMs(mediaTimeScale);
        const double last = times.empty() ? 0.0 : static_cast<double>(times.rbegin()->first) / 1000.0;
        const std::size_t count = times.size();
        info.durationInSecs = count > 1 ? last + last / static_cast<double>(count - 1) : last + 1;
    }
    else
    {
        info.durationInSecs = static_cast<double>(tkhd.getDuration()) / movieTimeScale;
        const std::uint64_t end = DecodePts::toLoopEndMs(info.durationInSecs);
        const std::uint64_t period = std::uint64_t(decodePts.getSpan()) * 1000 / mediaTimeScale;
        const std::uint64_t copies = period == 0 ? 1 : end / period + 1;
        if (copies > kMaxTimestamps || copies * decodePts.getPresentationTimes().size() > kMaxTimestamps)
        {
            throw FileReaderException(StreamReadFailed, "Track duration needs too many repetitions.");
        }
        times = decodePts.getLoopedPresentationTimesMs(mediaTimeScale, end);
    }

    // Samples.
    const std::vector<std::uint32_t> sizes = stbl.getSampleSizeBox().getEntrySizes();
    const std::vector<std::uint64_t> chunkOffsets = stbl.getChunkOffsetBox().getChunkOffsets();
    const SampleToChunkBox& stsc = stbl.getSampleToChunkBox();
    const SampleDescriptionBox& stsd = stbl.getSampleDescriptionBox();
    info.samples.resize(sizes.size());
    std::uint32_t previousChunk = 0;
    for (std::uint32_t sample = 0; sample < sizes.size(); ++sample)
    {
        SampleInfo& record = info.samples[sample];
        record.sampleId = sample;
        record.dataLength = sizes[sample];
        record.sampleDescriptionIndex = stsc.getSampleDescriptionIndex(sample);
        const std::uint32_t chunk = stsc.getSampleChunkIndex(sample);
        if (sample == 0 || chunk != previousChunk)
        {
            if (chunk == 0 || chunk > chunkOffsets.size())
            {
                throwVectorOutOfRange();
            }
            record.dataOffset = chunkOffsets[chunk - 1];
        }
        else
        {
            const SampleInfo& previous = info.samples[sample - 1];
            record.dataOffset = previous.dataOffset + previous.dataLength;
        }
        previousChunk = chunk;

        const VisualSampleEntryBox* entry = findSampleEntry(stsd, record.sampleDescriptionIndex);
        if (entry)
        {
            record.width = entry->getWidth();
            record.height = entry->getHeight();
        }
        const auto& sampleInformation = mapAt(information.samplePropertiesMap, sample);
        record.sampleEntryType = sampleInformation.sampleEntryType;
        record.sampleType = sampleInformation.sampleType;
    }
    for (const auto& time : times)
    {
        if (time.second < info.samples.size())
        {
            info.samples[static_cast<std::size_t>(time.second)].timestamps.push_back(time.first);
        }
    }

    // Decode dependencies through the "refs" sample grouping.
    const ReferenceGrouping refs = findReferenceGrouping(stbl);
    if (refs.sbgp != nullptr)
    {
        for (std::uint32_t sample = 0; sample < info.samples.size(); ++sample)
        {
            const auto* entry = refs.entry(refs.sbgp->getSampleGroupDescriptionIndex(sample));
            if (entry == nullptr)
            {
                continue;
            }
            for (const std::uint32_t referenced : entry->getDirectReferenceSampleIds())
            {
                const auto index = refs.entryOfSampleId.find(referenced);
                if (index == refs.entryOfSampleId.end())
                {
                    throw std::runtime_error(
                        "SampleGroupDescriptionBox::getEntryIndexOfSampleId: no entry for sampleId found.");
                }
                const auto dependency = refs.firstSampleOfEntry.find(index->second);
                if (dependency == refs.firstSampleOfEntry.end())
                {
                    throw std::runtime_error("SampleToGroupBox::getSampleId: no entry for requested sample id");
                }
                info.samples[sample].decodeDependencies.push_back(dependency->second);
            }
        }
    }
    return info;
}

void HevcImageFileReader::extractTrackDecoderConfigurations(const TrackBox& trackBox, ContextId contextId,
                                                            TrackContextInfo& contextInfo)
{
    const SampleTableBox& stbl = trackBox.getMediaBox().getMediaInformationBox().getSampleTableBox();
    const SampleDescriptionBox& stsd = stbl.getSampleDescriptionBox();
    for (std::uint32_t index = 1; index <= stsd.getSampleEntryCount(); ++index)
    {
        const VisualSampleEntryBox* entry = findSampleEntry(stsd, index);
        const Id configuration(contextId, index);
        if (isHevcEntry(entry))
        {
            const auto& record =
                static_cast<const HevcSampleEntry*>(entry)->getHevcConfigurationBox().getConfiguration();
            mParameterSets[configuration] = hevcParameterSets(record);
            mNalLengthSizes[configuration] = record.getLengthSizeMinus1() + 1u;
        }
        else if (isAvcEntry(entry))
        {
            const auto& record = static_cast<const AvcSampleEntry*>(entry)->getAvcConfigurationBox().getConfiguration();
            mParameterSets[configuration] = avcParameterSets(record);
            mNalLengthSizes[configuration] = record.getLengthSizeMinus1() + 1u;
        }
        else
        {
            continue;
        }
        if (entry->getClap())
        {
            contextInfo.clapProperties[index] = toClapProperty(*entry->getClap());
        }
    }

    for (const SampleInfo& sample : contextInfo.samples)
    {
        const Id item(contextId, sample.sampleId);
        const VisualSampleEntryBox* entry = findSampleEntry(stsd, sample.sampleDescriptionIndex);
        // hev1 differs from hvc1 only in where parameter sets may also appear; both decode alike.
        if (isHevcEntry(entry))
        {
            mDecoderCodeTypes[item] = "hvc1";
        }
        else if (isAvcEntry(entry))
        {
            mDecoderCodeTypes[item] = "avc1";
        }
        else
        {
            mDecoderCodeTypes[item] = "not supported";
            continue;
        }
        mConfigurationIndex[item] = Id(contextId, sample.sampleDescriptionIndex);
    }
}
