// Track references, alternate groups and direct-reference sample groups, on variants of the
// ffmpeg-made sequence rebuilt box by box.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "BoxTree.h"
#include "HeifBuilder.h"
#include "ReaderTestSupport.h"

using namespace readertest;
using Reader = ImageFileReaderInterface;

namespace
{
/// tkhd fields, counted from the start of the box: track id at 20, alternate group at 42.
Node makeTrack(const Node& track, std::uint32_t id, std::uint16_t alternateGroup, const Bytes& tref)
{
    Node copy = track;
    Node* tkhd = copy.find("tkhd");
    setU32(tkhd->bytes, 20, id);
    tkhd->bytes[42] = static_cast<std::uint8_t>(alternateGroup >> 8);
    tkhd->bytes[43] = static_cast<std::uint8_t>(alternateGroup);
    if (!tref.empty())
    {
        Node reference;
        reference.type = "tref";
        reference.bytes = tref;
        copy.children.insert(copy.children.begin() + 1, reference);
    }
    return copy;
}

Bytes trackReference(const std::string& type, std::vector<std::uint32_t> ids)
{
    ByteBuilder payload;
    for (const auto id : ids)
    {
        payload.u32(id);
    }
    return makeBox("tref", makeBox(type, payload));
}
}  // namespace

TEST(TrackFeatures, ReferencesAndAlternateGroups)
{
    const Bytes bytes = editSequence(
        [](Node& moov)
        {
            const Node track = *moov.find("trak");
            moov.children.erase(moov.children.begin() + 1, moov.children.end());  // keep mvhd
            moov.children.push_back(makeTrack(track, 1, 5, {}));
            moov.children.push_back(makeTrack(track, 2, 5, trackReference("thmb", {1})));
            moov.children.push_back(makeTrack(track, 3, 0, trackReference("auxl", {1})));
        });
    auto file = openBytes(bytes);
    const auto& tracks = file->getFileInformation().trackInformation;
    ASSERT_EQ(tracks.size(), 3u);
    const auto& one = tracks.at(1);
    const auto& two = tracks.at(2);
    const auto& three = tracks.at(3);
    EXPECT_TRUE(one.features.count(Reader::TrackFeature::IsMasterImageSequence));
    EXPECT_TRUE(one.features.count(Reader::TrackFeature::HasLinkedThumbnailTracks));
    EXPECT_TRUE(one.features.count(Reader::TrackFeature::HasLinkedAuxiliaryTracks));
    EXPECT_TRUE(one.features.count(Reader::TrackFeature::HasAlternatives));
    EXPECT_FALSE(two.features.count(Reader::TrackFeature::IsMasterImageSequence));
    EXPECT_TRUE(two.features.count(Reader::TrackFeature::IsThumbnailImageSequence));
    EXPECT_TRUE(three.features.count(Reader::TrackFeature::IsAuxiliaryImageSequence));
    EXPECT_FALSE(three.features.count(Reader::TrackFeature::HasAlternatives));
    EXPECT_EQ(one.alternateTrackIds, std::vector<std::uint32_t>{2});
    EXPECT_EQ(two.alternateTrackIds, std::vector<std::uint32_t>{1});
    EXPECT_TRUE(three.alternateTrackIds.empty());
    EXPECT_EQ(two.alternateGroup, 5u);
    EXPECT_EQ(two.referenceTrackIds.at("thmb"), std::vector<std::uint32_t>{1});
    EXPECT_TRUE(file->getFileInformation().features.count(Reader::FileFeature::HasAlternateTracks));
    EXPECT_TRUE(file->getFileInformation().features.count(Reader::FileFeature::IsImageSequence));
}

TEST(TrackFeatures, DirectReferenceSampleGroups)
{
    // refs entries: 1 = {sample ID 1, no references}, 2 = {sample ID 2, refs 1},
    // 3 = {sample ID 0 (not referenced), refs 1 and 2}; samples 0, 1, 2 map to 1, 2, 3.
    ByteBuilder sgpd;
    sgpd.fullHeader(1, 0).str("refs").u32(0).u32(3);
    sgpd.u32(5).u32(1).u8(0);
    sgpd.u32(9).u32(2).u8(1).u32(1);
    sgpd.u32(13).u32(0).u8(2).u32(1).u32(2);
    ByteBuilder sbgp;
    sbgp.fullHeader(0, 0).str("refs").u32(4).u32(1).u32(1).u32(1).u32(2).u32(1).u32(3).u32(3).u32(0);
    const Bytes bytes = editSequence(
        [&](Node& moov)
        {
            Node* stbl = moov.find("trak")->find("mdia")->find("minf")->find("stbl");
            Node description;
            description.type = "sgpd";
            description.bytes = makeBox("sgpd", sgpd);
            Node mapping;
            mapping.type = "sbgp";
            mapping.bytes = makeBox("sbgp", sbgp);
            stbl->children.push_back(description);
            stbl->children.push_back(mapping);
        });
    auto file = openBytes(bytes);
    const Reader::ContextId track = 1;
    const auto& info = file->getFileInformation().trackInformation.at(track);
    EXPECT_TRUE(info.features.count(Reader::TrackFeature::HasSampleGroups));
    EXPECT_EQ(info.sampleGroupMembers.at(FourCCInt("refs")), (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(info.samplePropertiesMap.at(2).sampleGroupDescriptionIndex.at(FourCCInt("refs")), 3u);

    std::vector<std::uint32_t> ids;
    file->getItemListByType(track, "out_non_ref", ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{2});
    file->getItemListByType(track, "out_ref", ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 1, 3, 4, 5}));
    file->getItemListByType(track, "display", ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 2, 1, 5, 4, 3}));

    file->getItemDecodeDependencies(track, 2, ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 1}));
    file->getItemDecodeDependencies(track, 0, ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{0});
    Reader::DecodingOrderVector order;
    file->getItemsInDecodingOrder(track, order);
    const std::uint32_t hidden = 0xFFFFFFFF;
    EXPECT_EQ(order,
              (Reader::DecodingOrderVector{
                  {0, 0}, {0, hidden}, {1, hidden}, {2, 100}, {0, hidden}, {1, 200}, {5, 300}, {4, 400}, {3, 500}}));
}
