// Image sequences made by tools outside the project. Expected values were read with ffprobe
// (packet pts, dts, size and pos) when the tests were written; ffprobe shows times shifted by
// the edit list's media time, which the tests add back.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "BitStream.h"
#include "DecodePts.h"
#include "HevcSampleEntry.h"
#include "MovieBox.h"

namespace
{
using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool corpusPresent()
{
    std::ifstream in(std::string(PRAVIX_CORPUS_DIR) + "/gen_sequence_msf1.heics");
    return in.good();
}

/// Parses the file's top-level 'moov'.
std::unique_ptr<MovieBox> parseMovie(const Bytes& file)
{
    BitStream stream(file);
    while (stream.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = stream.readChildBox(type);
        if (type == FourCCInt("moov"))
        {
            auto movie = std::make_unique<MovieBox>();
            movie->parseBox(child);
            return movie;
        }
    }
    return nullptr;
}

/// File offset of every sample: a sample that starts a chunk is at the chunk's offset, the
/// others follow the previous sample.
std::vector<std::uint64_t> sampleOffsets(const SampleTableBox& stbl)
{
    const auto chunks = stbl.getChunkOffsetBox().getChunkOffsets();
    const auto sizes = stbl.getSampleSizeBox().getEntrySizes();
    const auto& stsc = stbl.getSampleToChunkBox();
    std::vector<std::uint64_t> offsets;
    for (std::uint32_t i = 0; i < sizes.size(); ++i)
    {
        const std::uint32_t chunk = stsc.getSampleChunkIndex(i);
        if (i == 0 || stsc.getSampleChunkIndex(i - 1) != chunk)
        {
            offsets.push_back(chunks.at(chunk - 1));
        }
        else
        {
            offsets.push_back(offsets.back() + sizes[i - 1]);
        }
    }
    return offsets;
}

/// Boxes the library does not keep (sdtp, udta, ...) are dropped on writing; what is kept
/// writes the same bytes again after a second parse.
void expectStableRewrite(MovieBox& movie)
{
    BitStream first;
    movie.writeBox(first);
    testing::internal::CaptureStdout();
    MovieBox again;
    BitStream in(first.getStorage());
    again.parseBox(in);
    testing::internal::GetCapturedStdout();
    BitStream second;
    again.writeBox(second);
    EXPECT_EQ(first.getStorage(), second.getStorage());
}

struct Expected
{
    std::uint32_t trackId;
    std::uint16_t width;  // of the sample entry; 0 when it is not one this library reads
    std::uint16_t height;
    std::vector<std::uint32_t> sizes;
    std::vector<std::uint64_t> positions;
    std::vector<std::int64_t> ffprobePts;  // in media timescale units
    std::int64_t editMediaTime;            // what ffprobe subtracted
};

/// Checks the one picture track of the file against ffprobe and returns its times.
DecodePts checkTrack(const MovieBox& movie, const Expected& expected)
{
    const auto tracks = movie.getTrackBoxes();
    EXPECT_EQ(tracks.size(), 1u);
    const TrackBox& track = *tracks.at(0);
    EXPECT_EQ(track.getTrackHeaderBox().getTrackID(), expected.trackId);
    const SampleTableBox& stbl = track.getMediaBox().getMediaInformationBox().getSampleTableBox();
    EXPECT_EQ(stbl.getSampleSizeBox().getEntrySizes(), expected.sizes);
    EXPECT_EQ(stbl.getSampleToChunkBox().getDecodedSampleCount(), expected.sizes.size());
    EXPECT_EQ(sampleOffsets(stbl), expected.positions);
    if (expected.width != 0)
    {
        const auto* entry = dynamic_cast<const HevcSampleEntry*>(stbl.getSampleDescriptionBox().getSampleEntry(1));
        EXPECT_NE(entry, nullptr);
        if (entry != nullptr)
        {
            EXPECT_EQ(entry->getWidth(), expected.width);
            EXPECT_EQ(entry->getHeight(), expected.height);
            // VPS, SPS and PPS at least.
            EXPECT_GE(entry->getHevcConfigurationBox().getConfiguration().getNumOfArrays(), 3);
        }
    }

    DecodePts pts;
    pts.setTimeToSampleBox(&stbl.getTimeToSampleBox());
    pts.setCompositionOffsetBox(stbl.getCompositionOffsetBox().get());
    const auto edits = track.getEditBox();
    pts.setEditListBox(edits ? edits->getEditListBox().get() : nullptr);
    pts.computePresentationTimes();

    DecodePts::PresentationTimeMap composition;
    for (std::size_t i = 0; i < expected.ffprobePts.size(); ++i)
    {
        composition.emplace(expected.ffprobePts[i] + expected.editMediaTime, i);
    }
    EXPECT_EQ(pts.getMediaTimes(), composition);
    return pts;
}
}  // namespace

TEST(MovieCorpus, FfmpegSequenceWithBFrames)
{
    if (!corpusPresent())
    {
        GTEST_SKIP() << "corpus folder absent";
    }
    testing::internal::CaptureStdout();
    const auto movie = parseMovie(readFile(std::string(PRAVIX_CORPUS_DIR) + "/gen_sequence_msf1.heics"));
    testing::internal::GetCapturedStdout();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->getMovieHeaderBox().getTimeScale(), 1000u);
    const DecodePts pts = checkTrack(*movie, {1,
                                              640,
                                              480,
                                              {9277, 8318, 3659, 8196, 10856, 3612, 8079, 3829, 6935, 3686},
                                              {3387, 12664, 20982, 24641, 32837, 43693, 47305, 55384, 59213, 66148},
                                              {0, 2048, 1024, 3072, 5120, 4096, 7168, 6144, 9216, 8192},
                                              2048});
    // The edit's duration (1000, in the movie timescale) is applied in media units, as the
    // tables are never rescaled: the edit covers media times 2048 to 3048, sample 0 alone.
    EXPECT_EQ(pts.getPresentationTimes(), (DecodePts::PresentationTimeMap{{0, 0}}));
    EXPECT_EQ(pts.getSpan(), 1000u);
    expectStableRewrite(*movie);
}

TEST(MovieCorpus, MinimalSequenceWithUncompressedEntry)
{
    if (!corpusPresent())
    {
        GTEST_SKIP() << "corpus folder absent";
    }
    testing::internal::CaptureStdout();
    const auto movie = parseMovie(readFile(std::string(PRAVIX_CORPUS_DIR) + "/libheif_seq_seed.heif"));
    const std::string log = testing::internal::GetCapturedStdout();
    ASSERT_NE(movie, nullptr);
    EXPECT_NE(log.find("Skipping unknown SampleDescriptionBox entry of type 'uncv'"), std::string::npos);
    EXPECT_EQ(movie->getMovieHeaderBox().getTimeScale(), 30u);
    const DecodePts pts = checkTrack(*movie, {1, 0, 0, {384}, {680}, {0}, 0});
    EXPECT_EQ(pts.getPresentationTimesMs(30), (DecodePts::PresentationTimeMap{{0, 0}}));
    EXPECT_EQ(pts.getSpan(), 0u);
    const auto& stsd =
        movie->getTrackBoxes()[0]->getMediaBox().getMediaInformationBox().getSampleTableBox().getSampleDescriptionBox();
    EXPECT_THROW(stsd.getSampleEntry(1), std::runtime_error);
}

TEST(MovieCorpus, ShippedSequenceWithBFrames)
{
    testing::internal::CaptureStdout();
    const auto movie =
        parseMovie(readFile(std::string(PRAVIX_SOURCE_DIR) + "/container/tests/data/sequence_bframes.heics"));
    testing::internal::GetCapturedStdout();
    ASSERT_NE(movie, nullptr);
    const DecodePts pts = checkTrack(*movie, {1,
                                              64,
                                              64,
                                              {913, 222, 65, 40, 155, 80, 41, 36},
                                              {44, 957, 1179, 1244, 1284, 1439, 1519, 1560},
                                              {0, 1536, 1024, 512, 3584, 2560, 2048, 3072},
                                              1024});
    // Edit: media time 1024, duration 320 taken in media units (see above).
    EXPECT_EQ(pts.getPresentationTimes(), (DecodePts::PresentationTimeMap{{0, 0}}));
    EXPECT_EQ(pts.getSpan(), 320u);

    // Without its edit list the track shows every sample in composition order.
    const SampleTableBox& stbl = movie->getTrackBoxes()[0]->getMediaBox().getMediaInformationBox().getSampleTableBox();
    DecodePts plain;
    plain.setTimeToSampleBox(&stbl.getTimeToSampleBox());
    plain.setCompositionOffsetBox(stbl.getCompositionOffsetBox().get());
    plain.computePresentationTimes();
    EXPECT_EQ(plain.getPresentationTimesMs(12800),
              (DecodePts::PresentationTimeMap{
                  {80, 0}, {120, 3}, {160, 2}, {200, 1}, {240, 6}, {280, 5}, {320, 7}, {360, 4}}));
    expectStableRewrite(*movie);
}
