// The batch end to end without a window: the list, the Start/Stop button, the worker's reports
// applied on the test's thread (standing for the GUI thread), real files converted and written.
#include "BatchConversion.h"
#include "BatchTestSupport.h"
#include "ImageEncoders.h"
#include "PictureLoading.h"
#include "SpecialFiles.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <libexif/exif-data.h>

#include <fcntl.h>
#include <memory>
#include <thread>
#include <unistd.h>

using namespace pravix;
using namespace converttest;
namespace fs = std::filesystem;
using Button = BatchConversion::ButtonResult;

namespace
{

constexpr std::chrono::milliseconds kShortPause{10};

class BatchTest : public testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(folder.path() / "in");
        options.saveSuff = "JPG";
        options.imageZooming = 1.0f;
        options.nQuality = 70;
        options.bExif = true;
        options.cachePath = folder / "cache";
    }

    // An entry as the list makes it, for a copy of a fixture named `name`.heic.
    NSPravixData& add(const std::string& fixture, const std::string& name)
    {
        const std::string path = folder / ("in/" + name + ".heic");
        if (!fixture.empty())
        {
            fs::copy_file(fixture, path);
        }
        NSPravixData entry;
        entry.HeicPath = path;
        entry.OriginalFilePath = folder / "in";
        entry.FileName = name;
        list.push_back(entry);
        return list.back();
    }
    // Photos with Exif, one entry each.
    void addPhotos(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
        {
            add(platformFixture("exif.heic"), name);
        }
    }
    bool runToIdle(const BatchConversion& batch)
    {
        return gui.runUntil([&] { return !batch.isBatchRunning(); });
    }
    std::string makeOf(const std::string& jpegPath)
    {
        const std::vector<uint8_t> bytes = readBytes(jpegPath);
        ExifData* exif = exif_data_new_from_data(bytes.data(), static_cast<unsigned>(bytes.size()));
        if (exif == nullptr)
        {
            return {};
        }
        char text[64] = {};
        if (ExifEntry* make = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_MAKE))
        {
            exif_entry_get_value(make, text, sizeof text);
        }
        exif_data_unref(exif);
        return text;
    }

    TempFolder folder;
    std::vector<NSPravixData> list;
    RecordingView view;
    GuiQueue gui;
    ConversionOptions options;
};

}  // namespace

// Three good photos, a truncated one and a name that is not a file; JPG, 100 %, quality 70, Exif.
TEST_F(BatchTest, WholeBatchToJpgWithExif)
{
    add(convertFixture("camera_mm.heic"), "mm");
    add(convertFixture("camera_ii.heic"), "ii");
    add(platformFixture("exif.heic"), "tagged");
    add(platformFixture("hostile_truncated_file.heic"), "broken");
    fs::create_directories(folder.path() / "in" / "folder.heic");
    add("", "folder");
    writeBytes(folder / "in/mm.JPG", {'m', 'i', 'n', 'e'});

    BatchConversion batch(list, view, gui.poster(), kShortPause);
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    EXPECT_EQ(batch.phase(), BatchPhase::Converting);
    EXPECT_FALSE(batch.isStopTo());
    ASSERT_TRUE(runToIdle(batch));

    ASSERT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(view.alerts[0].informativeKey, "ConversionSuccessful");
    EXPECT_EQ(view.alerts[0].count, std::optional<uint32_t>(3));
    EXPECT_TRUE(view.alerts[0].sheet);
    EXPECT_EQ(view.buttons, (std::vector<std::string>{"Stop", "Conversion"}));
    EXPECT_EQ(view.states, (std::vector<bool>{false, true}));
    EXPECT_TRUE(batch.isStopTo());

    EXPECT_EQ(list[0].ToPath, folder / "in/mm(1).JPG");
    EXPECT_EQ(readBytes(folder / "in/mm.JPG").size(), 4u);
    EXPECT_EQ(list[1].ToPath, folder / "in/ii.JPG");
    EXPECT_EQ(list[2].ToPath, folder / "in/tagged.JPG");
    EXPECT_EQ(makeOf(list[0].ToPath), "Canon");
    EXPECT_EQ(makeOf(list[1].ToPath), "Canon");
    EXPECT_EQ(makeOf(list[2].ToPath), "PravixTest");
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_TRUE(list[i].ToErrInfo.empty());
        EXPECT_TRUE(list[i].ToTitle.empty());
    }
    EXPECT_EQ(list[3].ToErrInfo, "ConversionFailure");
    EXPECT_TRUE(list[3].ToPath.empty());
    EXPECT_EQ(list[4].ToErrInfo, "ConversionFailure");
    EXPECT_FALSE(fs::exists(folder.path() / "in" / "broken.JPG"));
    EXPECT_EQ(namesIn(folder.path() / "in"),
              (std::vector<std::string>{"broken.heic", "folder.heic", "ii.JPG", "ii.heic", "mm(1).JPG", "mm.JPG",
                                        "mm.heic", "tagged.JPG", "tagged.heic"}));
    EXPECT_TRUE(namesIn(folder.path() / "cache").empty());
    EXPECT_FALSE(batch.currentEntryId());
}

// A FIFO named like a photo in the middle of the list fails at once; the photos after it convert and
// the batch ends with its summary.
TEST_F(BatchTest, FifoInTheMiddleFailsAtOnce)
{
    add(platformFixture("single.heic"), "before");
    add("", "fifo");
    const std::string fifo = folder / "in/fifo.heic";
    ASSERT_TRUE(testsupport::makeFifo(fifo));
    add(platformFixture("exif.heic"), "after");
    add(platformFixture("single.heic"), "last");

    BatchConversion batch(list, view, gui.poster(), kShortPause);
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    const auto idle = [&] { return !batch.isBatchRunning(); };
    const bool ended = gui.runUntil(idle, std::chrono::seconds(30));
    EXPECT_TRUE(ended) << "the batch waits on the FIFO";
    // Let a worker blocked on the FIFO go on, so the batch can end.
    while (!ended && !gui.runUntil(idle, std::chrono::milliseconds(50)))
    {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
        {
            ::close(fd);
        }
    }

    EXPECT_EQ(list[0].ToPath, folder / "in/before.JPG");
    EXPECT_EQ(list[1].ToErrInfo, "ConversionFailure");
    EXPECT_TRUE(list[1].ToPath.empty());
    EXPECT_EQ(list[2].ToPath, folder / "in/after.JPG");
    EXPECT_EQ(makeOf(list[2].ToPath), "PravixTest");
    EXPECT_EQ(list[3].ToPath, folder / "in/last.JPG");
    ASSERT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(view.alerts[0].count, std::optional<uint32_t>(3));
    EXPECT_EQ(view.buttons, (std::vector<std::string>{"Stop", "Conversion"}));
}

// Every other output type by its signature, at half size.
TEST_F(BatchTest, OtherTypesAtHalfSize)
{
    add(platformFixture("single.heic"), "photo");  // 128 x 96
    BatchConversion batch(list, view, gui.poster(), kShortPause);
    options.imageZooming = 0.5f;
    const std::pair<const char*, ImageFileType> types[] = {{"PNG", ImageFileType::Png},
                                                           {"BMP", ImageFileType::Bmp},
                                                           {"TIFF", ImageFileType::Tiff},
                                                           {"JPEG", ImageFileType::Jpeg2000}};
    for (const auto& [suffix, type] : types)
    {
        SCOPED_TRACE(suffix);
        options.saveSuff = suffix;
        ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
        ASSERT_TRUE(runToIdle(batch));
        ASSERT_EQ(list[0].ToPath, folder / ("in/photo." + std::string(suffix)));
        const std::vector<uint8_t> bytes = readBytes(list[0].ToPath);
        EXPECT_EQ(identifyPictureFormat(bytes.data(), bytes.size()), pictureFormatOf(type));
        const std::optional<Bitmap> image = decodeImage(bytes.data(), bytes.size());
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, 64u);
        EXPECT_EQ(image->height, 48u);
        EXPECT_EQ(view.alerts.back().count, std::optional<uint32_t>(1));
    }
    EXPECT_TRUE(namesIn(folder.path() / "cache").empty());
}

// A stop during the first pause ends the batch before any entry is read, without a summary.
TEST_F(BatchTest, StopRightAfterStart)
{
    add(platformFixture("single.heic"), "one");
    add(platformFixture("single.heic"), "two");
    BatchConversion batch(list, view, gui.poster(), std::chrono::milliseconds(300));
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    ASSERT_EQ(batch.PravixBtEvent(options), Button::StopRequested);
    EXPECT_EQ(batch.phase(), BatchPhase::Stopping);
    EXPECT_TRUE(batch.isStopTo());
    EXPECT_TRUE(batch.isBatchRunning());
    ASSERT_TRUE(runToIdle(batch));
    EXPECT_TRUE(view.alerts.empty());
    EXPECT_EQ(view.buttons, (std::vector<std::string>{"Stop", "Stoping", "Conversion"}));
    EXPECT_EQ(view.states, (std::vector<bool>{false, true}));
    EXPECT_EQ(view.reloads, 1);  // the reload at the start, no entry reported
    EXPECT_EQ(namesIn(folder.path() / "in"), (std::vector<std::string>{"one.heic", "two.heic"}));
    EXPECT_TRUE(list[0].ToPath.empty() && list[0].ToErrInfo.empty());
}

// A stop asked while the last entry converts is never honoured: the batch ends with its summary.
TEST_F(BatchTest, StopDuringTheLastEntryStillGetsTheSummary)
{
    addPhotos({"one", "two"});
    EntryGate gate({2});
    BatchConversion batch(list, view, gui.poster(), kShortPause, gate.hooks());
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    ASSERT_TRUE(gui.runUntil([&] { return gate.isHeld(2); }));
    ASSERT_EQ(batch.PravixBtEvent(options), Button::StopRequested);
    gate.release(2);
    ASSERT_TRUE(runToIdle(batch));
    ASSERT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(view.alerts[0].count, std::optional<uint32_t>(2));
    EXPECT_FALSE(list[1].ToPath.empty());
}

// While stopping, the worker still converts its entry: Start does nothing until it has returned
// (before, a second batch ran over the same entries), and the batch still counts as running.
TEST_F(BatchTest, StartWhileStoppingStartsNothing)
{
    addPhotos({"one", "two", "three"});
    EntryGate gate({1});
    BatchConversion batch(list, view, gui.poster(), kShortPause, gate.hooks());
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    ASSERT_TRUE(gui.runUntil([&] { return gate.isHeld(1); }));
    ASSERT_EQ(batch.PravixBtEvent(options), Button::StopRequested);
    EXPECT_EQ(batch.PravixBtEvent(options), Button::Ignored);
    EXPECT_EQ(batch.PravixBtEvent(options), Button::Ignored);
    EXPECT_EQ(view.buttons, (std::vector<std::string>{"Stop", "Stoping"}));
    EXPECT_TRUE(batch.isBatchRunning());
    gate.release(1);
    ASSERT_TRUE(runToIdle(batch));
    EXPECT_TRUE(view.alerts.empty());
    EXPECT_EQ(gate.calls(), 1);
    EXPECT_EQ(namesIn(folder.path() / "in"),
              (std::vector<std::string>{"one.JPG", "one.heic", "three.heic", "two.heic"}));
    EXPECT_EQ(list[0].ToPath, folder / "in/one.JPG");

    // Once the worker has returned, Start runs a new batch over the ticked entries.
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    ASSERT_TRUE(runToIdle(batch));
    EXPECT_EQ(view.alerts.back().count, std::optional<uint32_t>(3));
    EXPECT_EQ(list[0].ToPath, folder / "in/one(1).JPG");
}

// A second run clears the results of the ticked entries only.
TEST_F(BatchTest, UntickedEntriesKeepTheirResults)
{
    add(platformFixture("single.heic"), "kept");
    add(platformFixture("hostile_truncated_file.heic"), "failed");
    add(platformFixture("single.heic"), "again");
    BatchConversion batch(list, view, gui.poster(), kShortPause);
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    ASSERT_TRUE(runToIdle(batch));
    const std::string keptPath = list[0].ToPath;
    ASSERT_FALSE(keptPath.empty());
    ASSERT_EQ(list[1].ToErrInfo, "ConversionFailure");

    list[0].isSelect = false;
    list[1].isSelect = false;
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    EXPECT_TRUE(list[2].ToPath.empty());  // cleared at the start
    ASSERT_TRUE(runToIdle(batch));
    EXPECT_EQ(list[0].ToPath, keptPath);
    EXPECT_EQ(list[1].ToErrInfo, "ConversionFailure");
    EXPECT_EQ(list[2].ToPath, folder / "in/again(1).JPG");
    EXPECT_EQ(view.alerts.back().count, std::optional<uint32_t>(1));
}

// The worker reads each row's tick when it gets there: unticking a pending row skips it, ticking a
// later row adds it, ticking a row it has passed does not bring it back; the summary counts what
// was converted.
TEST_F(BatchTest, TicksAreReadWhenTheBatchGetsThere)
{
    addPhotos({"above", "current", "untickedLater", "stays", "tickedLater"});
    list[0].isSelect = false;
    list[3].isSelect = false;
    list[4].isSelect = false;
    list[4].ToPath = "earlier.JPG";  // the result of an earlier run
    EntryGate gate({1, 2});
    BatchConversion batch(list, view, gui.poster(), kShortPause, gate.hooks());
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    // Held in the row's conversion, its start already reported.
    ASSERT_TRUE(gui.runUntil([&] { return gate.isHeld(1) && batch.currentEntryId() == list[1].entryId; }));

    list[0].isSelect = true;
    list[2].isSelect = false;
    list[4].isSelect = true;
    gate.release(1);
    ASSERT_TRUE(gui.runUntil([&] { return gate.isHeld(2) && batch.currentEntryId() == list[4].entryId; }));
    // The row ticked late converts now: its earlier result is gone, so its progress dots run.
    EXPECT_TRUE(list[4].ToPath.empty());
    batch.UpdateStateTimerEvent("conver");
    EXPECT_EQ(list[4].ToTitle, "conver..");
    gate.release(2);
    ASSERT_TRUE(runToIdle(batch));

    EXPECT_EQ(gate.calls(), 2);
    ASSERT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(view.alerts[0].count, std::optional<uint32_t>(2));
    EXPECT_EQ(list[1].ToPath, folder / "in/current.JPG");
    EXPECT_EQ(list[4].ToPath, folder / "in/tickedLater.JPG");
    for (size_t row : {0u, 2u, 3u})
    {
        EXPECT_TRUE(list[row].ToPath.empty() && list[row].ToErrInfo.empty()) << row;
    }
    EXPECT_EQ(namesIn(folder.path() / "in"),
              (std::vector<std::string>{"above.heic", "current.JPG", "current.heic", "stays.heic", "tickedLater.JPG",
                                        "tickedLater.heic", "untickedLater.heic"}));
}

// A row cleared during the pause before it is not converted either: the tick is read again after
// the pause. Clearing every row ends the batch with a count of none.
TEST_F(BatchTest, RowClearedDuringItsPauseIsSkipped)
{
    addPhotos({"one", "two"});
    BatchConversion batch(list, view, gui.poster(), std::chrono::milliseconds(300));
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    // The first question (before the pause) is answered: ticked.
    ASSERT_TRUE(gui.runUntil([&] { return gui.posted() >= 1 && gui.pending() == 0; }));
    list[0].isSelect = false;
    list[1].isSelect = false;
    ASSERT_TRUE(runToIdle(batch));
    ASSERT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(view.alerts[0].count, std::optional<uint32_t>(0));
    EXPECT_FALSE(batch.currentEntryId());
    EXPECT_EQ(namesIn(folder.path() / "in"), (std::vector<std::string>{"one.heic", "two.heic"}));
}

// A stop asked while the last ticked row converts is honoured only at a ticked row: unticked rows
// after it do not turn the end into a stop, so the summary still comes.
TEST_F(BatchTest, StopBeforeOnlyUntickedRowsStillGetsTheSummary)
{
    addPhotos({"one", "two", "three"});
    list[1].isSelect = false;
    list[2].isSelect = false;
    EntryGate gate({1});
    BatchConversion batch(list, view, gui.poster(), kShortPause, gate.hooks());
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    ASSERT_TRUE(gui.runUntil([&] { return gate.isHeld(1); }));
    ASSERT_EQ(batch.PravixBtEvent(options), Button::StopRequested);
    gate.release(1);
    ASSERT_TRUE(runToIdle(batch));
    ASSERT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(view.alerts[0].count, std::optional<uint32_t>(1));

    // With a ticked row still ahead the same stop ends the batch there, without a summary.
    list[2].isSelect = true;
    EntryGate second({1});
    BatchConversion stopped(list, view, gui.poster(), kShortPause, second.hooks());
    ASSERT_EQ(stopped.PravixBtEvent(options), Button::Started);
    ASSERT_TRUE(gui.runUntil([&] { return second.isHeld(1); }));
    ASSERT_EQ(stopped.PravixBtEvent(options), Button::StopRequested);
    second.release(1);
    ASSERT_TRUE(runToIdle(stopped));
    EXPECT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(second.calls(), 1);
    EXPECT_TRUE(list[2].ToPath.empty());
}

TEST_F(BatchTest, EmptyListOrNothingTicked)
{
    BatchConversion batch(list, view, gui.poster(), kShortPause);
    EXPECT_EQ(batch.PravixBtEvent(options), Button::OpenPanel);
    NSPravixData& entry = add(platformFixture("single.heic"), "photo");
    entry.isSelect = false;
    entry.ToPath = "earlier.JPG";
    entry.ToErrInfo = "FolderReadOnly";
    EXPECT_EQ(batch.PravixBtEvent(options), Button::NothingTicked);
    ASSERT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(view.alerts[0].informativeKey, "SelectHeicFileTitle");
    EXPECT_FALSE(view.alerts[0].sheet);
    EXPECT_EQ(batch.phase(), BatchPhase::Idle);
    EXPECT_EQ(list[0].ToPath, "earlier.JPG");
    EXPECT_EQ(list[0].ToErrInfo, "FolderReadOnly");
    EXPECT_TRUE(view.buttons.empty());
    EXPECT_EQ(gui.pending(), 0u);
}

// A folder that cannot be made or written is neither a conversion nor a failure.
TEST_F(BatchTest, OutputFolderProblemsAreNotCounted)
{
    add(platformFixture("single.heic"), "one");
    add(platformFixture("single.heic"), "two");
    BatchConversion batch(list, view, gui.poster(), kShortPause);
    options.savePath = "/proc/self";
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    ASSERT_TRUE(runToIdle(batch));
    EXPECT_EQ(list[0].ToErrInfo, "FolderReadOnly");
    EXPECT_EQ(view.alerts.back().count, std::optional<uint32_t>(0));
    options.savePath = "/proc/pravix-no-such-folder/out";
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    ASSERT_TRUE(runToIdle(batch));
    EXPECT_EQ(list[1].ToErrInfo, "FileNotThereTitle");
    EXPECT_EQ(view.alerts.back().count, std::optional<uint32_t>(0));
}

// The worker works on copies and never writes the list: nothing changes until the reports are
// applied on the list's thread, and edits of the list meanwhile do not reach the worker.
TEST_F(BatchTest, ReportsAreAppliedOnTheListThreadOnly)
{
    addPhotos({"one", "two"});
    EntryGate gate({2});
    BatchConversion batch(list, view, gui.poster(), kShortPause, gate.hooks());
    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    list[1].FileName = "renamed";
    list[1].HeicPath = folder / "in/missing.heic";
    ASSERT_TRUE(gui.runUntil([&] { return gate.isHeld(2); }));
    EXPECT_EQ(list[0].ToPath, folder / "in/one.JPG");
    // Held in the last entry, the worker has nothing more to ask; once released it reports the
    // entry and the end, which wait for this thread.
    const size_t posted = gui.posted();
    gate.release(2);
    ASSERT_TRUE(gui.waitForPosted(posted + 2));
    EXPECT_TRUE(list[1].ToPath.empty());
    EXPECT_TRUE(batch.isBatchRunning());
    ASSERT_TRUE(runToIdle(batch));
    EXPECT_EQ(list[1].ToPath, folder / "in/two.JPG");
    EXPECT_EQ(view.alerts.back().count, std::optional<uint32_t>(2));
}

// The progress dots follow the entry being converted; at the end and after a stop no entry is
// current, so the next batch's timer animates no stale (perhaps deleted) row.
TEST_F(BatchTest, ProgressTextAndCurrentEntry)
{
    add(platformFixture("exif.heic"), "one");
    add(platformFixture("hostile_truncated_file.heic"), "broken");
    EntryGate gate({1});
    BatchConversion batch(list, view, gui.poster(), kShortPause, gate.hooks());
    batch.UpdateStateTimerEvent("conver");
    EXPECT_EQ(view.reloads, 0);

    ASSERT_EQ(batch.PravixBtEvent(options), Button::Started);
    const uint64_t first = list[0].entryId;
    ASSERT_TRUE(gui.runUntil([&] { return batch.currentEntryId() == first; }));
    std::vector<std::string> titles;
    for (int tick = 0; tick < 5; ++tick)
    {
        batch.UpdateStateTimerEvent("conver");
        titles.push_back(list[0].ToTitle);
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"conver..", "conver...", "conver...", "conver.", "conver.."}));
    EXPECT_TRUE(list[1].ToTitle.empty());
    gate.release(1);

    // The failed last entry stays current until the end, then nothing is.
    const uint64_t broken = list[1].entryId;
    ASSERT_TRUE(gui.runUntil([&] { return !list[1].ToErrInfo.empty(); }));
    EXPECT_EQ(batch.currentEntryId(), std::optional<uint64_t>(broken));
    EXPECT_TRUE(list[0].ToTitle.empty());  // converted: its dots are gone
    ASSERT_TRUE(runToIdle(batch));
    EXPECT_FALSE(batch.currentEntryId());
    const int reloads = view.reloads;
    const std::string brokenTitle = list[1].ToTitle;
    batch.UpdateStateTimerEvent("conver");
    EXPECT_EQ(view.reloads, reloads);
    EXPECT_EQ(list[1].ToTitle, brokenTitle);

    // After a stop too.
    EntryGate second({1});
    BatchConversion stopped(list, view, gui.poster(), kShortPause, second.hooks());
    ASSERT_EQ(stopped.PravixBtEvent(options), Button::Started);
    ASSERT_TRUE(gui.runUntil([&] { return stopped.currentEntryId() == first; }));
    ASSERT_EQ(stopped.PravixBtEvent(options), Button::StopRequested);
    second.release(1);
    ASSERT_TRUE(runToIdle(stopped));
    EXPECT_FALSE(stopped.currentEntryId());
}

// Quitting during a batch stops it and waits for the worker: the entry being written is finished
// whole, no later entry is started, and reports still queued are not applied to the list.
TEST_F(BatchTest, QuittingJoinsTheWorker)
{
    addPhotos({"one", "two", "three"});
    EntryGate gate({1});
    auto batch = std::make_unique<BatchConversion>(list, view, gui.poster(), std::chrono::milliseconds(300),
                                                   gate.hooks());
    ASSERT_EQ(batch->PravixBtEvent(options), Button::Started);
    ASSERT_TRUE(gui.runUntil([&] { return gate.isHeld(1); }));
    std::thread releaser(
        [&gate]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            gate.release(1);
        });
    batch.reset();
    releaser.join();

    EXPECT_EQ(gate.calls(), 1);
    const std::vector<uint8_t> written = readBytes(folder / "in/one.JPG");
    EXPECT_TRUE(startsWithExifSegment(written));
    EXPECT_TRUE(decodeImage(written.data(), written.size()));
    EXPECT_EQ(namesIn(folder.path() / "in"),
              (std::vector<std::string>{"one.JPG", "one.heic", "three.heic", "two.heic"}));
    EXPECT_TRUE(namesIn(folder.path() / "cache").empty());

    const int reloads = view.reloads;
    const size_t buttons = view.buttons.size();
    ASSERT_GT(gui.pending(), 0u);
    gui.runUntil([&] { return gui.pending() == 0; }, std::chrono::milliseconds(0));
    EXPECT_EQ(view.reloads, reloads);
    EXPECT_EQ(view.buttons.size(), buttons);
    EXPECT_TRUE(list[0].ToPath.empty());
}
