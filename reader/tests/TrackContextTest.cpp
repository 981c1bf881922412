// Track contexts, on an image sequence that ffmpeg/x265 wrote (I, P and B frames; see data/README.md).
// Expected sample positions and times were read with ffprobe -show_entries packet=pts,dts,size,pos.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "CurrentTestFolder.h"
#include "HeifBuilder.h"
#include "ReaderTestSupport.h"
#include "UniqueId.h"

using namespace readertest;
using Reader = ImageFileReaderInterface;

namespace
{
OpenedFile openSequence()
{
    return openBytes(readFile(dataPath("sequence.heics")));
}

Reader::ContextId onlyTrack(const OpenedFile& file)
{
    const auto& tracks = file->getFileInformation().trackInformation;
    EXPECT_EQ(tracks.size(), 1u);
    return tracks.empty() ? 0 : tracks.begin()->first;
}
}  // namespace

TEST(TrackContext, SequenceTables)
{
    auto file = openSequence();
    EXPECT_EQ(file->getState(), 2);
    const auto track = onlyTrack(file);
    EXPECT_EQ(track, 1u);
    EXPECT_EQ(file->getContextType(track), Reader::ContextType::Track);
    const auto& info = file->getFileInformation();
    EXPECT_TRUE(info.features.count(Reader::FileFeature::IsImageSequence));
    EXPECT_FALSE(info.features.count(Reader::FileFeature::HasRootLevelMetaBox));
    const auto& trackInfo = info.trackInformation.at(track);
    EXPECT_TRUE(trackInfo.features.count(Reader::TrackFeature::IsMasterImageSequence));
    EXPECT_TRUE(trackInfo.features.count(Reader::TrackFeature::HasCodingConstraints));
    EXPECT_TRUE(trackInfo.features.count(Reader::TrackFeature::HasEditList));
    EXPECT_TRUE(trackInfo.features.count(Reader::TrackFeature::IsEnabled));
    ASSERT_EQ(trackInfo.samplePropertiesMap.size(), 6u);
    const auto& first = trackInfo.samplePropertiesMap.at(0);
    EXPECT_EQ(first.sampleEntryType, "hvc1");
    EXPECT_EQ(first.sampleDescriptionIndex, 1u);
    EXPECT_TRUE(first.codingConstraints.count(Reader::SampleCodingConstraint::IntraPredUsed));
    EXPECT_FALSE(first.codingConstraints.count(Reader::SampleCodingConstraint::AllRefPicsIntra));

    EXPECT_EQ(file->getDisplayWidth(track), 64u);
    EXPECT_EQ(file->getDisplayHeight(track), 48u);
    EXPECT_EQ(file->getWidth(track, 5), 64u);
    EXPECT_EQ(file->getHeight(track, 0), 48u);
    EXPECT_THROW(file->getWidth(track, 6), std::out_of_range);
    EXPECT_NEAR(file->getPlaybackDurationInSecs(track), 0.6f, 1e-6);
    EXPECT_EQ(file->getItemType(track, 2), "hvc1");
    EXPECT_EQ(file->getDecoderCodeType(track, 2), "hvc1");
    EXPECT_READER_ERROR(file->getDisplayWidth(file->getFileInformation().contextId), Reader::InvalidContextId);
    EXPECT_READER_ERROR(file->getCoverImageItemId(track), Reader::InvalidContextId);
    EXPECT_READER_ERROR(file->getItemGrid(track, 0), Reader::InvalidContextId);
    EXPECT_READER_ERROR(file->getPropertyClap(track, 1), Reader::MissingCleanAperture);
    EXPECT_EQ(file->getMatrix().size(), 9u);
}

TEST(TrackContext, SampleOrderAndTimes)
{
    auto file = openSequence();
    const auto track = onlyTrack(file);
    std::vector<std::uint32_t> ids;
    file->getItemListByType(track, "samples", ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5}));
    file->getItemListByType(track, "out_ref", ids);
    EXPECT_EQ(ids.size(), 6u);
    file->getItemListByType(track, "non_out_ref", ids);
    EXPECT_TRUE(ids.empty());
    // Presentation order of I P B B P B in decoding order 0..5 (pts 0, 2048, 1024, 5120, 4096, 3072).
    file->getItemListByType(track, "display", ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 2, 1, 5, 4, 3}));
    EXPECT_READER_ERROR(file->getItemListByType(track, "master", ids), Reader::InvalidArgument);

    Reader::TimestampMap times;
    file->getItemTimestamps(track, times);
    EXPECT_EQ(times, (Reader::TimestampMap{{0, 0}, {100, 2}, {200, 1}, {300, 5}, {400, 4}, {500, 3}}));
    file->getTimestampsOfItem(track, 3, ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{500});
    Reader::DecodingOrderVector order;
    file->getItemsInDecodingOrder(track, order);
    EXPECT_EQ(order, (Reader::DecodingOrderVector{{0, 0}, {2, 100}, {1, 200}, {5, 300}, {4, 400}, {3, 500}}));
    file->getItemDecodeDependencies(track, 4, ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{4});
}

TEST(TrackContext, SampleBytes)
{
    auto file = openSequence();
    const auto track = onlyTrack(file);
    const std::uint32_t sizes[] = {842, 76, 36, 33, 21, 16};
    std::vector<std::uint8_t> data;
    Reader::ParameterSetMap sets;
    file->getDecoderParameterSets(track, 0, sets);
    const std::size_t setBytes = sets.at("VPS").size() + sets.at("SPS").size() + sets.at("PPS").size();
    EXPECT_GT(setBytes, 12u);
    for (std::uint32_t sample = 0; sample < 6; ++sample)
    {
        file->getItemData(track, sample, data);
        // Each 4-byte length became a start code: the first one 4 bytes, later slices 3 bytes.
        EXPECT_GE(data.size(), sizes[sample]) << sample;
        EXPECT_TRUE(data.size() >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1);
        std::vector<std::uint8_t> withSets;
        file->getItemDataWithDecoderParameters(track, sample, withSets);
        EXPECT_EQ(withSets.size(), setBytes + data.size() - 1);
    }
    try
    {
        file->getItemData(track, 6, data);
        FAIL();
    }
    catch (const Reader::FileReaderException& e)
    {
        EXPECT_EQ(e.getStatusCode(), Reader::InvalidArgument);
        EXPECT_STREQ(e.what(), "Requested frame out of index");
    }
}

namespace
{
/// The sequence with a 32-bit field of a box replaced; offset counts from the box type.
Bytes patchSequence(const char* box, std::size_t offset, std::uint32_t value)
{
    Bytes bytes = readFile(dataPath("sequence.heics"));
    const std::string text(bytes.begin(), bytes.end());
    setU32(bytes, text.find(box) + offset, value);
    return bytes;
}
}  // namespace

// A timescale of 0 divided by zero; a huge duration looped the samples into billions of entries.
TEST(TrackContextRegression, TimingIsChecked)
{
    OpenedFile file;
    EXPECT_THROW(tryOpen(patchSequence("mvhd", 16, 0), file), std::exception);  // refused by the box itself
    EXPECT_THROW(tryOpen(patchSequence("mdhd", 16, 0), file), std::exception);
    // A duration that repeats the samples past what the file's size allows leaves the track out.
    testing::internal::CaptureStdout();
    EXPECT_EQ(tryOpen(patchSequence("tkhd", 24, 0xFFFFFFF0u), file), -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Skipping track 1: DecodePts looping: more than"),
              std::string::npos);
    EXPECT_TRUE(file->getFileInformation().trackInformation.empty());
    EXPECT_READER_ERROR(file->getDisplayWidth(1), Reader::InvalidContextId);

    // An unknown duration plays the samples once: the last time plus one average step.
    auto unknown = openBytes(patchSequence("tkhd", 24, 0xFFFFFFFFu));
    const auto track = onlyTrack(unknown);
    EXPECT_NEAR(unknown->getPlaybackDurationInSecs(track), 0.6f, 1e-6);
    // A longer duration repeats the samples back to back.
    auto looped = openBytes(patchSequence("tkhd", 24, 1800));
    Reader::TimestampMap times;
    looped->getItemTimestamps(onlyTrack(looped), times);
    EXPECT_EQ(times.size(), 18u);
    std::vector<std::uint32_t> ids;
    looped->getTimestampsOfItem(onlyTrack(looped), 0, ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 600, 1200}));
}

// A sample entry without coding constraints failed the whole parse, Exif included.
TEST(TrackContextRegression, TrackWithoutCodingConstraintsIsSkipped)
{
    Bytes bytes = readFile(dataPath("sequence.heics"));
    const std::string text(bytes.begin(), bytes.end());
    const auto at = text.find("ccst");
    ASSERT_NE(at, std::string::npos);
    // Renamed, the box is an unknown child of the sample entry.
    bytes[at] = 'x';
    OpenedFile file;
    EXPECT_EQ(tryOpen(bytes, file), -1);
    EXPECT_EQ(file->getState(), 2);
    EXPECT_TRUE(file->getFileInformation().trackInformation.empty());
    EXPECT_READER_ERROR(file->getDisplayWidth(1), Reader::InvalidContextId);
}

namespace
{
/// The sequence with its track id set, and a meta box holding one Exif item in front of the movie
/// box or after everything else, with the chunk offsets moved to match.
Bytes sequenceWithMeta(std::uint32_t trackId, bool metaFirst)
{
    Bytes sequence = readFile(dataPath("sequence.heics"));
    const std::string text(sequence.begin(), sequence.end());
    // tkhd: type, version/flags (4), creation (4), modification (4), then the track id.
    setU32(sequence, text.find("tkhd") + 16, trackId);
    HeifBuilder heif;
    heif.addItem(1, "Exif", ByteBuilder().str("exif bytes")).method = 1;
    heif.brands = {"mif1", "heic", "msf1", "hevc"};
    const Bytes ftyp = heif.makeFtyp();
    const Bytes meta = heif.makeMeta(0);
    const Bytes rest(sequence.begin() + 28, sequence.end());  // the sequence without its ftyp
    const Bytes file = metaFirst ? concat({ftyp, meta, rest}) : concat({ftyp, rest, meta});
    const std::int64_t shift = static_cast<std::int64_t>(ftyp.size() + (metaFirst ? meta.size() : 0)) - 28;
    Bytes shifted = file;
    const auto stco = std::string(file.begin(), file.end()).find("stco");
    const std::uint32_t count =
        (file[stco + 8] << 24) | (file[stco + 9] << 16) | (file[stco + 10] << 8) | file[stco + 11];
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const std::size_t at = stco + 12 + 4 * i;
        const std::uint32_t offset = (file[at] << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
        setU32(shifted, at, static_cast<std::uint32_t>(offset + shift));
    }
    return shifted;
}

/// The id the next meta context will draw: the counter's next value plus 1000.
std::uint32_t nextMetaContextId()
{
    return static_cast<std::uint32_t>(getNextUniqueId(0) + 1 + 1000);
}
}  // namespace

// A track could take over a meta context's registration by carrying its id, in either order of
// the two boxes: the file information then listed the track while getContextType said meta.
TEST(TrackContextRegression, TrackIdOfAMetaContext)
{
    // Meta box first: the track that comes with the meta context's id is left out.
    std::uint32_t metaId = nextMetaContextId();
    testing::internal::CaptureStdout();
    auto metaFirst = openBytes(sequenceWithMeta(metaId, true));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Skipping track " + std::to_string(metaId)),
              std::string::npos);
    ASSERT_EQ(metaFirst.meta(), metaId);
    EXPECT_EQ(metaFirst->getContextType(metaId), Reader::ContextType::Meta);
    std::vector<std::uint8_t> data;
    metaFirst->getItemData(metaId, 1, data);
    EXPECT_EQ(data, ByteBuilder().str("exif bytes").bytes());
    EXPECT_TRUE(metaFirst->getFileInformation().trackInformation.empty());

    // Movie box first: the meta context takes another id, and both contexts answer as what the
    // file information says they are.
    metaId = nextMetaContextId();
    auto trackFirst = openBytes(sequenceWithMeta(metaId, false));
    const auto& information = trackFirst->getFileInformation();
    ASSERT_EQ(information.trackInformation.size(), 1u);
    EXPECT_EQ(information.trackInformation.begin()->first, metaId);
    EXPECT_EQ(trackFirst->getContextType(metaId), Reader::ContextType::Track);
    EXPECT_EQ(trackFirst->getDisplayWidth(metaId), 64u);
    trackFirst->getItemData(metaId, 0, data);
    EXPECT_GT(data.size(), 800u);  // the first sample, an I frame
    const auto renumbered = trackFirst.meta();
    EXPECT_NE(renumbered, metaId);
    EXPECT_EQ(trackFirst->getContextType(renumbered), Reader::ContextType::Meta);
    trackFirst->getItemData(renumbered, 1, data);
    EXPECT_EQ(data, ByteBuilder().str("exif bytes").bytes());
    EXPECT_TRUE(information.features.count(Reader::FileFeature::IsImageSequence));
    EXPECT_TRUE(information.features.count(Reader::FileFeature::HasRootLevelMetaBox));
}

// hev1 samples were refused as an unsupported coding type.
TEST(TrackContextRegression, Hev1SamplesReadLikeHvc1)
{
    Bytes bytes = readFile(dataPath("sequence.heics"));
    const std::string text(bytes.begin(), bytes.end());
    const auto entry = text.find("hvc1", text.find("stsd"));
    ASSERT_NE(entry, std::string::npos);
    bytes[entry + 1] = 'e';  // "hev1"
    bytes[entry + 2] = 'v';
    auto file = openBytes(bytes);
    const auto track = onlyTrack(file);
    EXPECT_EQ(file->getItemType(track, 0), "hev1");
    EXPECT_EQ(file->getDecoderCodeType(track, 0), "hvc1");
    std::vector<std::uint8_t> data;
    file->getItemDataWithDecoderParameters(track, 0, data);
    EXPECT_TRUE(data.size() > 4 && data[4] == 0x40);  // the VPS first
    file->getItemData(track, 1, data);
    EXPECT_TRUE(data.size() > 4 && data[3] == 1);
}

// Sample offsets and sizes are checked against the stream before the buffer is sized.
TEST(TrackContextRegression, SamplesPastTheEndOfTheFile)
{
    Bytes bytes = readFile(dataPath("sequence.heics"));
    const std::string text(bytes.begin(), bytes.end());
    const auto stco = text.find("stco");
    ASSERT_NE(stco, std::string::npos);
    setU32(bytes, stco + 12, 0xFFFFFF00u);  // the first (only) chunk offset
    auto file = openBytes(bytes);
    const auto track = onlyTrack(file);
    std::vector<std::uint8_t> data;
    EXPECT_READER_ERROR(file->getItemData(track, 0, data), Reader::StreamReadFailed);
    EXPECT_READER_ERROR(file->getItemData(track, 5, data), Reader::StreamReadFailed);

    const auto stsz = text.find("stsz");
    Bytes huge = readFile(dataPath("sequence.heics"));
    setU32(huge, stsz + 16, 0xFFFFFFF0u);  // the first sample's size
    auto hugeFile = openBytes(huge);
    EXPECT_READER_ERROR(hugeFile->getItemData(onlyTrack(hugeFile), 0, data), Reader::StreamReadFailed);
}

// The samples as the reader hands them out, in decoding order, decode as one H.265 stream.
TEST(TrackContext, SamplesDecodeWithFfmpeg)
{
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0)
    {
        GTEST_SKIP() << "ffmpeg not installed";
    }
    auto file = openSequence();
    const auto track = onlyTrack(file);
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> data;
    file->getItemDataWithDecoderParameters(track, 0, stream);
    for (std::uint32_t sample = 1; sample < 6; ++sample)
    {
        file->getItemData(track, sample, data);
        stream.insert(stream.end(), data.begin(), data.end());
    }
    const std::string input = testsupport::CurrentTestFolder::path("sequence.hevc");
    const std::string output = testsupport::CurrentTestFolder::path("sequence.yuv");
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    std::remove(output.c_str());
    const std::string command = "ffmpeg -loglevel error -y -f hevc -i " + input + " -f rawvideo -pix_fmt yuv420p " +
                                output + " > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(output).size(), std::size_t(6 * 64 * 48 * 3 / 2));
}
