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

// What the tracks of one movie may build, against the file's size. A sample takes some hundreds
// of bytes of records and a presentation time some tens; these keep both to a small multiple of
// the file, while real sequences (a sample is hundreds of bytes of coded data at least, and a
// loop repeats a few times) stay well inside.
constexpr std::uint64_t kMinTrackRecords = 4096;
constexpr std::uint64_t kFileBytesPerTrackRecord = 64;
constexpr std::uint64_t kMinTimestamps = 65536;
constexpr std::uint64_t kFileBytesPerTimestamp = 16;

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
    // The first sample of each entry, from the runs (a run of no samples maps none).
    const auto& runs = grouping.sbgp->getEntries();
    const auto& starts = grouping.sbgp->getRunStarts();
    for (std::size_t run = 0; run < runs.size(); ++run)
    {
        if (runs[run].mSampleCount != 0 && starts[run] <= 0xFFFFFFFFu)
        {
            grouping.firstSampleOfEntry.emplace(runs[run].mGroupDescriptionIndex, std::uint32_t(starts[run]));
        }
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

struct HevcImageFileReader::MovieBudget
{
    /// Per-sample records (samples, their sample group entries and decode dependencies) all the
    /// tracks of the movie may still build, and presentation times they may still list: a small
    /// multiple of the file's size, with a floor that small real sequences never reach.
    std::uint64_t recordsLeft = 0;
    std::uint64_t timestampsLeft = 0;

    MovieBudget(std::uint64_t fileSize)
        : recordsLeft(std::max<std::uint64_t>(kMinTrackRecords, fileSize / kFileBytesPerTrackRecord)),
          timestampsLeft(std::max<std::uint64_t>(kMinTimestamps, fileSize / kFileBytesPerTimestamp))
    {
    }

    void takeRecords(std::uint64_t count)
    {
        if (count > recordsLeft)
        {
            throw std::runtime_error("more sample records than the file's size allows");
        }
        recordsLeft -= count;
    }
};

void HevcImageFileReader::extractTrackInfo(const MovieBox& movieBox)
{
    const std::uint32_t movieTimeScale = movieBox.getMovieHeaderBox().getTimeScale();
    const auto tracks = movieBox.getTrackBoxes();
    MovieBudget budget(mStreamEnd);

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

        // A damaged or oversized track is left out alone: the file's images and metadata stay
        // readable, and nothing of the track is kept.
        TrackInformation information;
        TrackContextInfo contextInfo;
        try
        {
            if (!buildTrack(trackBox, movieTimeScale, budget, information, contextInfo))
            {
                continue;
            }
        }
        catch (const std::exception& e)
        {
            logWarning() << "Skipping track " << trackId << ": " << e.what() << std::endl;
            continue;
        }
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
        mStagingFileInformation.trackInformation[trackId] = std::move(information);

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

bool HevcImageFileReader::buildTrack(const TrackBox& trackBox, std::uint32_t movieTimeScale, MovieBudget& budget,
                                     TrackInformation& information, TrackContextInfo& contextInfo) const
{
    const SampleTableBox& stbl = trackBox.getMediaBox().getMediaInformationBox().getSampleTableBox();
    const std::uint32_t sampleCount = stbl.getSampleSizeBox().getSampleCount();
    if (stbl.getSampleToChunkBox().getDecodedSampleCount() < sampleCount)
    {
        throw std::runtime_error("the sample-to-chunk table covers fewer samples than the size table");
    }
    // Everything per sample is counted before any of it is built: the samples, the entries of
    // their sample groups (a box maps the track's samples at most) and, later, their dependencies.
    std::uint64_t groupEntries = 0;
    for (const auto& sbgp : stbl.getSampleToGroupBoxes())
    {
        groupEntries += std::min<std::uint64_t>(sbgp.getNumberOfSamples(), sampleCount);
    }
    budget.takeRecords(sampleCount);
    budget.takeRecords(groupEntries);

    // Times before records: a duration that repeats the samples too often ends here.
    const DecodePts::PresentationTimeMap times = extractTrackTiming(trackBox, movieTimeScale, budget, contextInfo);
    if (!extractSampleInformation(trackBox, information))
    {
        return false;
    }
    extractSampleRecords(trackBox, times, information, budget, contextInfo);
    return true;
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
    const std::uint32_t sampleCount = stbl.getSampleSizeBox().getSampleCount();
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
        information.samplePropertiesMap.emplace_hint(information.samplePropertiesMap.end(), sample, std::move(info));
    }

    // The samples each sample-to-group box maps to a group, from its runs (among the track's samples).
    for (const auto& sbgp : stbl.getSampleToGroupBoxes())
    {
        if (sbgp.getGroupingType().size() != 4)
        {
            continue;
        }
        std::vector<std::uint32_t> members;
        const auto& runs = sbgp.getEntries();
        const auto& starts = sbgp.getRunStarts();
        for (std::size_t run = 0; run < runs.size() && starts[run] < sampleCount; ++run)
        {
            if (runs[run].mGroupDescriptionIndex == 0)
            {
                continue;
            }
            const std::uint64_t end = std::min<std::uint64_t>(starts[run] + runs[run].mSampleCount, sampleCount);
            for (std::uint64_t sample = starts[run]; sample < end; ++sample)
            {
                members.push_back(std::uint32_t(sample));
            }
        }
        information.sampleGroupMembers[FourCCInt(sbgp.getGroupingType())] = std::move(members);
    }
    return true;
}

DecodePts::PresentationTimeMap HevcImageFileReader::extractTrackTiming(const TrackBox& trackBox,
                                                                       std::uint32_t movieTimeScale,
                                                                       MovieBudget& budget,
                                                                       TrackContextInfo& info) const
{
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

    // Sample times count in the media timescale and edit durations in the movie timescale: the
    // edits are brought to the media timescale so that both add up. The times may take what is
    // left of the movie's allowance, no more.
    DecodePts decodePts;
    decodePts.setRecordLimit(budget.timestampsLeft);
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
        times = decodePts.getLoopedPresentationTimesMs(mediaTimeScale, DecodePts::toLoopEndMs(info.durationInSecs));
    }
    budget.timestampsLeft -= std::min<std::uint64_t>(times.size(), budget.timestampsLeft);
    return times;
}

void HevcImageFileReader::extractSampleRecords(const TrackBox& trackBox, const DecodePts::PresentationTimeMap& times,
                                               const TrackInformation& information, MovieBudget& budget,
                                               TrackContextInfo& info) const
{
    const SampleTableBox& stbl = trackBox.getMediaBox().getMediaInformationBox().getSampleTableBox();
    const SampleSizeBox& stsz = stbl.getSampleSizeBox();
    const std::vector<std::uint64_t> chunkOffsets = stbl.getChunkOffsetBox().getChunkOffsets();
    const SampleToChunkBox& stsc = stbl.getSampleToChunkBox();
    const SampleDescriptionBox& stsd = stbl.getSampleDescriptionBox();
    const std::uint32_t sampleCount = stsz.getSampleCount();
    info.samples.resize(sampleCount);
    for (std::uint32_t sample = 0; sample < sampleCount; ++sample)
    {
        SampleInfo& record = info.samples[sample];
        record.sampleId = sample;
        record.dataLength = stsz.getEntrySize(sample);
        record.sampleDescriptionIndex = stsc.getSampleDescriptionIndex(sample);
        if (sample == 0 || stsc.isFirstSampleOfChunk(sample))
        {
            const std::uint32_t chunk = stsc.getSampleChunkIndex(sample);
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
            const std::vector<std::uint32_t> referenced = entry->getDirectReferenceSampleIds();
            budget.takeRecords(referenced.size());
            for (const std::uint32_t id : referenced)
            {
                const auto index = refs.entryOfSampleId.find(id);
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
        // hev1 differs from hvc1 only in where parameter sets may also appear; both decode alike.
        if (isHevcEntry(entry))
        {
            const auto& record =
                static_cast<const HevcSampleEntry*>(entry)->getHevcConfigurationBox().getConfiguration();
            mParameterSets[configuration] = hevcParameterSets(record);
            mNalLengthSizes[configuration] = record.getLengthSizeMinus1() + 1u;
            contextInfo.codeTypes[index] = "hvc1";
        }
        else if (isAvcEntry(entry))
        {
            const auto& record = static_cast<const AvcSampleEntry*>(entry)->getAvcConfigurationBox().getConfiguration();
            mParameterSets[configuration] = avcParameterSets(record);
            mNalLengthSizes[configuration] = record.getLengthSizeMinus1() + 1u;
            contextInfo.codeTypes[index] = "avc1";
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
}
