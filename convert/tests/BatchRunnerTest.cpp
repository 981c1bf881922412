// The worker alone: its reports, its stop, its end, and the start refused while a batch runs.
#include "BatchRunner.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace pravix;
using namespace converttest;
namespace fs = std::filesystem;

namespace
{

// Everything the worker reported, in order, as text.
class Reports
{
public:
    BatchCallbacks callbacks()
    {
        BatchCallbacks c;
        c.entryStarted = [this](uint64_t id) { add("start " + std::to_string(id)); };
        c.entryFinished = [this](uint64_t id, const EntryOutcome& o)
        { add("done " + std::to_string(id) + " " + (o.converted ? "ok" : o.errorKey)); };
        c.finished = [this](uint32_t count) { add("finished " + std::to_string(count)); };
        c.stopped = [this] { add("stopped"); };
        return c;
    }
    std::vector<std::string> lines()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mLines;
    }

private:
    void add(std::string line)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mLines.push_back(std::move(line));
    }
    std::mutex mMutex;
    std::vector<std::string> mLines;
};

std::vector<BatchItem> items(const TempFolder& folder, std::initializer_list<const char*> fixtures)
{
    std::vector<BatchItem> result;
    uint64_t id = 10;
    for (const char* fixture : fixtures)
    {
        const std::string name = "item" + std::to_string(id);
        fs::copy_file(platformFixture(fixture), folder.path() / (name + ".heic"));
        result.push_back(BatchItem{id++, EntryPaths{folder / (name + ".heic"), folder.path().string(), name}});
    }
    return result;
}

ConversionOptions jpg(const TempFolder& folder)
{
    ConversionOptions options;
    options.cachePath = folder / "cache";
    return options;
}

}  // namespace

TEST(BatchRunnerTest, ReportsEveryItemThenTheCount)
{
    TempFolder folder;
    Reports reports;
    BatchRunner runner(std::chrono::milliseconds(0));
    ASSERT_TRUE(runner.start(items(folder, {"single.heic", "hostile_truncated_file.heic", "rotate270.heic"}),
                             jpg(folder), reports.callbacks()));
    runner.join();
    EXPECT_FALSE(runner.isRunning());
    EXPECT_EQ(reports.lines(), (std::vector<std::string>{"start 10", "done 10 ok", "start 11", "done 11 ConversionFailure",
                                                         "start 12", "done 12 ok", "finished 2"}));
    EXPECT_TRUE(fs::exists(folder.path() / "item12.JPG"));
}

// A stop ends the pause at once; without that a stop (or quitting) would wait out the whole pause.
TEST(BatchRunnerTest, StopEndsThePause)
{
    TempFolder folder;
    Reports reports;
    const auto begun = std::chrono::steady_clock::now();
    {
        BatchRunner runner(std::chrono::hours(1));
        ASSERT_TRUE(runner.start(items(folder, {"single.heic"}), jpg(folder), reports.callbacks()));
        EXPECT_TRUE(runner.isRunning());
        runner.requestStop();
        runner.join();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::minutes(30));
    EXPECT_EQ(reports.lines(), std::vector<std::string>{"stopped"});
    EXPECT_FALSE(fs::exists(folder.path() / "item10.JPG"));
}

// The destructor is a quit: it stops and joins.
TEST(BatchRunnerTest, DestructorStopsAndJoins)
{
    TempFolder folder;
    Reports reports;
    {
        BatchRunner runner(std::chrono::hours(1));
        ASSERT_TRUE(runner.start(items(folder, {"single.heic"}), jpg(folder), reports.callbacks()));
    }
    EXPECT_EQ(reports.lines(), std::vector<std::string>{"stopped"});
}

// One batch at a time; a callback cannot start another (it would wait for itself).
TEST(BatchRunnerTest, OneBatchAtATime)
{
    TempFolder folder;
    Reports reports;
    BatchRunner runner(std::chrono::hours(1));
    ASSERT_TRUE(runner.start(items(folder, {"single.heic"}), jpg(folder), reports.callbacks()));
    EXPECT_FALSE(runner.start({}, jpg(folder), reports.callbacks()));
    runner.requestStop();
    runner.join();

    std::atomic<int> refusedFromCallback{0};
    BatchRunner quick(std::chrono::milliseconds(0));
    BatchCallbacks nested;
    nested.finished = [&](uint32_t)
    {
        if (!quick.start({}, jpg(folder), {}))
        {
            ++refusedFromCallback;
        }
    };
    ASSERT_TRUE(quick.start({}, jpg(folder), nested));
    quick.join();
    EXPECT_EQ(refusedFromCallback.load(), 1);
    // After its last report a new batch starts on the same runner.
    ASSERT_TRUE(quick.start({}, jpg(folder), reports.callbacks()));
    quick.join();
    EXPECT_EQ(reports.lines().back(), "finished 0");
}

// An exception inside one entry (out of memory on a huge photo, say) fails that entry only.
TEST(BatchRunnerTest, ExceptionFailsOneEntry)
{
    TempFolder folder;
    Reports reports;
    ExifHooks hooks = defaultExifHooks();
    int calls = 0;
    hooks.create = [&calls](const ImageFileReaderInterface&) -> ExifData*
    {
        if (++calls == 1)
        {
            throw std::bad_alloc();
        }
        return nullptr;
    };
    BatchRunner runner(std::chrono::milliseconds(0), hooks);
    ConversionOptions options = jpg(folder);
    options.bExif = true;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(runner.start(items(folder, {"single.heic", "single.heic"}), options, reports.callbacks()));
    runner.join();
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(reports.lines(), (std::vector<std::string>{"start 10", "done 10 ConversionFailure", "start 11",
                                                         "done 11 ok", "finished 1"}));
    EXPECT_NE(log.find("【日志】转换异常["), std::string::npos);
}

// Ticks are asked for when the walk gets to an item: an unticked item is passed over without its
// pause (an hour here), a ticked one is asked again after the pause and skipped if cleared by then.
TEST(BatchRunnerTest, TicksAreAskedBeforeAndAfterThePause)
{
    TempFolder folder;
    Reports reports;
    std::mutex mutex;
    std::vector<uint64_t> asked;
    BatchCallbacks callbacks = reports.callbacks();
    callbacks.askTicked = [&](uint64_t id, std::function<void(bool)> reply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        asked.push_back(id);
        reply(false);
    };
    {
        BatchRunner runner(std::chrono::hours(1));
        ASSERT_TRUE(runner.start(items(folder, {"single.heic", "single.heic"}), jpg(folder), callbacks));
        runner.join();
    }
    EXPECT_EQ(reports.lines(), std::vector<std::string>{"finished 0"});
    EXPECT_EQ(asked, (std::vector<uint64_t>{10, 11}));

    // Item 10 is cleared during its pause; 11 stays ticked. Answers come from another thread.
    TempFolder second;
    Reports secondReports;
    asked.clear();
    std::vector<std::thread> answerers;
    callbacks = secondReports.callbacks();
    callbacks.askTicked = [&](uint64_t id, std::function<void(bool)> reply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        asked.push_back(id);
        const bool ticked = !(id == 10 && std::count(asked.begin(), asked.end(), 10) == 2);
        answerers.emplace_back([reply, ticked] { reply(ticked); });
    };
    BatchRunner runner(std::chrono::milliseconds(0));
    ASSERT_TRUE(runner.start(items(second, {"single.heic", "single.heic"}), jpg(second), callbacks));
    runner.join();
    for (std::thread& answerer : answerers)
    {
        answerer.join();
    }
    EXPECT_EQ(asked, (std::vector<uint64_t>{10, 10, 11, 11}));
    EXPECT_EQ(secondReports.lines(), (std::vector<std::string>{"start 11", "done 11 ok", "finished 1"}));
    EXPECT_FALSE(fs::exists(second.path() / "item10.JPG"));
}

// A stop does not cut a tick question short (whether the batch ends with its count depends on the
// answer); quitting does, since the thread that would answer may be the one quitting. An answer
// that comes after that, even after the runner is gone, changes nothing.
TEST(BatchRunnerTest, QuitGivesUpAnOpenTickQuestion)
{
    TempFolder folder;
    std::mutex mutex;
    std::condition_variable askedChanged;
    std::vector<std::function<void(bool)>> replies;
    auto waitForQuestions = [&](size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return askedChanged.wait_for(lock, std::chrono::seconds(60), [&] { return replies.size() >= count; });
    };
    auto callbacksOf = [&](Reports& reports)
    {
        BatchCallbacks callbacks = reports.callbacks();
        callbacks.askTicked = [&](uint64_t, std::function<void(bool)> reply)
        {
            std::lock_guard<std::mutex> lock(mutex);
            replies.push_back(std::move(reply));
            askedChanged.notify_all();
        };
        return callbacks;
    };

    Reports stoppedReports;
    BatchRunner runner(std::chrono::milliseconds(0));
    ASSERT_TRUE(runner.start(items(folder, {"single.heic"}), jpg(folder), callbacksOf(stoppedReports)));
    ASSERT_TRUE(waitForQuestions(1));
    runner.requestStop();
    replies[0](false);
    runner.join();
    EXPECT_EQ(stoppedReports.lines(), std::vector<std::string>{"finished 0"});

    TempFolder quitFolder;
    Reports quitReports;
    {
        BatchRunner quitting(std::chrono::milliseconds(0));
        ASSERT_TRUE(quitting.start(items(quitFolder, {"single.heic"}), jpg(quitFolder), callbacksOf(quitReports)));
        ASSERT_TRUE(waitForQuestions(2));
        quitting.quit();
        EXPECT_FALSE(quitting.isRunning());
        replies[1](true);
    }
    replies[1](true);
    EXPECT_EQ(quitReports.lines(), std::vector<std::string>{"stopped"});
    EXPECT_FALSE(fs::exists(quitFolder.path() / "item10.JPG"));
}
