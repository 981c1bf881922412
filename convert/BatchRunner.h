#pragma once

#include "ConvertEntry.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pravix
{

// One ticked entry as the worker sees it: value copies of its paths and the id by which its outcome
// is handed back. The worker never touches the list itself.
struct BatchItem
{
    uint64_t id = 0;
    EntryPaths paths;
};

// What the worker reports. Every callback runs on the worker thread, so it must hand its work to the
// thread that owns the list (post it, never wait for that thread). Per item: entryStarted, then
// entryFinished. The worker's last act is exactly one of finished (every item done; the count of
// converted items) or stopped (a stop was honoured before an item; no count).
struct BatchCallbacks
{
    std::function<void(uint64_t id)> entryStarted;
    std::function<void(uint64_t id, const EntryOutcome& outcome)> entryFinished;
    std::function<void(uint32_t successCount)> finished;
    std::function<void()> stopped;
};

// Converts a batch on one worker thread, one item after another: before every item it pauses (one
// second; shorter only in tests and benchmarks), then honours a stop request, then converts the item.
// A stop is therefore honoured only between items: the item being converted is always finished.
//
// start(), join() and the destructor belong to one controlling thread; requestStop() may come from
// any thread. The destructor requests a stop and joins the worker.
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
    // Waits for the worker to return; at once when none runs.
    void join();
    // True from start() until the worker is about to make its last report.
    bool isRunning() const { return mRunning.load(); }

private:
    void PravixJpg(std::vector<BatchItem> items, ConversionOptions options, BatchCallbacks callbacks);
    // The pause before an item; true when a stop has been requested.
    bool pauseThenCheckStop();

    const std::chrono::milliseconds mPause;
    const ExifHooks mExif;
    std::thread mWorker;
    std::atomic<bool> mRunning{false};
    std::atomic<bool> mStop{false};
    std::mutex mMutex;
    std::condition_variable mWake;
};

}  // namespace pravix
