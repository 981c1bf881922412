#include "BatchRunner.h"

#include <exception>
#include <iostream>

namespace pravix
{
namespace
{
// The runner whose worker this thread is, so a callback that calls back into it is recognised
// without reading the thread object the controlling thread is still assigning.
thread_local const BatchRunner* tWorkerOf = nullptr;
}  // namespace

BatchRunner::BatchRunner(std::chrono::milliseconds pause, ExifHooks exif) : mPause(pause), mExif(std::move(exif)) {}

BatchRunner::~BatchRunner()
{
    requestStop();
    join();
}

bool BatchRunner::start(std::vector<BatchItem> items, ConversionOptions options, BatchCallbacks callbacks)
{
    if (mRunning.load() || tWorkerOf == this)
    {
        return false;
    }
    // The earlier worker has made its last report and is returning.
    join();
    mStop.store(false);
    mRunning.store(true);
    mWorker = std::thread(&BatchRunner::PravixJpg, this, std::move(items), std::move(options), std::move(callbacks));
    return true;
}

void BatchRunner::requestStop()
{
    {
        // Under the lock, so a worker about to wait cannot miss the wake-up.
        std::lock_guard<std::mutex> lock(mMutex);
        mStop.store(true);
    }
    mWake.notify_all();
}

void BatchRunner::join()
{
    if (mWorker.joinable() && tWorkerOf != this)
    {
        mWorker.join();
    }
}

bool BatchRunner::pauseThenCheckStop()
{
    std::unique_lock<std::mutex> lock(mMutex);
    mWake.wait_for(lock, mPause, [this] { return mStop.load(); });
    return mStop.load();
}

void BatchRunner::PravixJpg(std::vector<BatchItem> items, ConversionOptions options, BatchCallbacks callbacks)
{
    tWorkerOf = this;
    uint32_t successes = 0;
    for (const BatchItem& item : items)
    {
        if (pauseThenCheckStop())
        {
            mRunning.store(false);
            if (callbacks.stopped)
            {
                callbacks.stopped();
            }
            return;
        }
        if (callbacks.entryStarted)
        {
            callbacks.entryStarted(item.id);
        }
        EntryOutcome outcome;
        try
        {
            outcome = convertEntry(item.paths, options, mExif);
        }
        catch (const std::exception& e)
        {
            // Out of memory on a huge photo, say: that entry fails, the batch goes on.
            std::cout << "【日志】转换异常[" << e.what() << "]" << std::endl;
            outcome = EntryOutcome{};
            outcome.errorKey = "ConversionFailure";
        }
        if (outcome.converted)
        {
            ++successes;
        }
        if (callbacks.entryFinished)
        {
            callbacks.entryFinished(item.id, outcome);
        }
    }
    mRunning.store(false);
    if (callbacks.finished)
    {
        callbacks.finished(successes);
    }
}

}  // namespace pravix
