#pragma once

#include "ConvertEntry.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace pravix
{

// One entry of the list as the worker sees it: value copies of its paths and the id by which it asks
// for the entry's tick and hands back its outcome. The worker never touches the list itself.
struct BatchItem
{
    uint64_t id = 0;
    EntryPaths paths;
};

// What the worker asks and reports. Every callback runs on the worker thread, so it must hand its
// work to the thread that owns the list (post it, never wait for that thread). Per converted item:
// entryStarted, then entryFinished. The worker's last act is exactly one of finished (the walk is
// done; the count of converted items) or stopped (a stop was honoured before an item; no count).
struct BatchCallbacks
{
    // Is the entry ticked now? The list's thread answers through `reply` (once, from any thread,
    // also after the runner is gone); the worker waits for the answer. None: every item is ticked.
    std::function<void(uint64_t id, std::function<void(bool ticked)> reply)> askTicked;
    std::function<void(uint64_t id)> entryStarted;
    std::function<void(uint64_t id, const EntryOutcome& outcome)> entryFinished;
    std::function<void(uint32_t successCount)> finished;
    std::function<void()> stopped;
};

// Converts a batch on one worker thread, walking the items in order. It reads each item's tick when
// it reaches the item: an unticked item is passed over at once; before a ticked one it pauses (one
// second; shorter only in tests and benchmarks), then honours a stop request, then reads the tick
// again (the user may have cleared it during the pause) and converts the item. A stop is therefore
// honoured only between items: the item being converted is always finished, and a stop asked
// during the last ticked item still ends with the count.
//
// start(), join(), quit() and the destructor belong to one controlling thread; requestStop() may
// come from any thread. The destructor quits.
class BatchRunner
{
public:
    static constexpr std::chrono::milliseconds kPause{1000};

    explicit BatchRunner(std::chrono::milliseconds pause = kPause, ExifHooks exif = defaultExifHooks());
    ~BatchRunner();
    BatchRunner(const BatchRunner&) = delete;
    BatchRunner& operator=(const BatchRunner&) = delete;

    // Starts the worker on the items; false (nothing started) while an earlier batch has not yet
    // made its last report, or when called from a callback.
    bool start(std::vector<BatchItem> items, ConversionOptions options, BatchCallbacks callbacks);
    // The worker ends before its next item, or ends its pause at once to do so.
    void requestStop();
    // Waits for the worker to return; at once when none runs. Not from the thread that answers
    // askTicked while a batch runs: the worker may be waiting for that answer.
    void join();
    // A stop that also gives up a tick question still open (its answer may never come: the thread
    // that would answer is the one quitting), then join(). The worker ends as stopped.
    void quit();
    // True from start() until the worker is about to make its last report.
    bool isRunning() const { return mRunning.load(); }

private:
    // What the worker waits on, shared with the replies to its tick questions, which may come
    // after the runner is gone.
    struct Signals
    {
        std::mutex mutex;
        std::condition_variable wake;
        bool stop = false;
        bool quit = false;
        uint64_t question = 0;  // the number of the open tick question
        std::optional<bool> answer;
    };

    void PravixJpg(std::vector<BatchItem> items, ConversionOptions options, BatchCallbacks callbacks);
    // The pause before an item; true when a stop has been requested.
    bool pauseThenCheckStop();
    // The entry's tick now; none when the runner quits before the answer comes.
    std::optional<bool> isTicked(const BatchCallbacks& callbacks, uint64_t id);

    const std::chrono::milliseconds mPause;
    const ExifHooks mExif;
    std::thread mWorker;
    std::atomic<bool> mRunning{false};
    const std::shared_ptr<Signals> mSignals = std::make_shared<Signals>();
};

}  // namespace pravix
