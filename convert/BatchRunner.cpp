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
    quit();
}

bool BatchRunner::start(std::vector<BatchItem> items, ConversionOptions options, BatchCallbacks callbacks)
{
    if (mRunning.load() || tWorkerOf == this)
    {
        return false;
    }
    // The earlier worker has made its last report and is returning.
    join();
    {
        std::lock_guard<std::mutex> lock(mSignals->mutex);
        mSignals->stop = false;
        mSignals->quit = false;
        mSignals->answer.reset();
    }
    mRunning.store(true);
    mWorker = std::thread(&BatchRunner::PravixJpg, this, std::move(items), std::move(options), std::move(callbacks));
    return true;
}

void BatchRunner::requestStop()
{
    {
        // Under the lock, so a worker about to wait cannot miss the wake-up.
        std::lock_guard<std::mutex> lock(mSignals->mutex);
        mSignals->stop = true;
    }
    mSignals->wake.notify_all();
}

void BatchRunner::join()
{
    if (mWorker.joinable() && tWorkerOf != this)
    {
        mWorker.join();
    }
}

void BatchRunner::quit()
{
    {
        std::lock_guard<std::mutex> lock(mSignals->mutex);
        mSignals->stop = true;
        mSignals->quit = true;
    }
    mSignals->wake.notify_all();
    join();
}

bool BatchRunner::pauseThenCheckStop()
{
    std::unique_lock<std::mutex> lock(mSignals->mutex);
    mSignals->wake.wait_for(lock, mPause, [this] { return mSignals->stop; });
    return mSignals->stop;
}

std::optional<bool> BatchRunner::isTicked(const BatchCallbacks& callbacks, uint64_t id)
{
    if (!callbacks.askTicked)
    {
        return true;
    }
    uint64_t question = 0;
    {
        std::lock_guard<std::mutex> lock(mSignals->mutex);
        question = ++mSignals->question;
        mSignals->answer.reset();
    }
    // The reply names the signals, not the runner, and only weakly: an answer that comes after the
    // runner is gone, or after its question was given up, changes nothing.
    const std::weak_ptr<Signals> weakSignals = mSignals;
    callbacks.askTicked(id,
                        [weakSignals, question](bool ticked)
                        {
                            const std::shared_ptr<Signals> signals = weakSignals.lock();
                            if (!signals)
                            {
                                return;
                            }
                            {
                                std::lock_guard<std::mutex> lock(signals->mutex);
                                if (signals->question != question || signals->answer)
                                {
                                    return;
                                }
                                signals->answer = ticked;
                            }
                            signals->wake.notify_all();
                        });
    std::unique_lock<std::mutex> lock(mSignals->mutex);
    // A plain stop does not end the wait: whether the batch ends with its count depends on whether
    // a ticked item is still ahead.
    mSignals->wake.wait(lock, [this] { return mSignals->answer.has_value() || mSignals->quit; });
    if (!mSignals->answer)
    {
        return std::nullopt;
    }
    return *mSignals->answer;
}

void BatchRunner::PravixJpg(std::vector<BatchItem> items, ConversionOptions options, BatchCallbacks callbacks)
{
    tWorkerOf = this;
    const auto endStopped = [this, &callbacks]
    {
        mRunning.store(false);
        if (callbacks.stopped)
        {
            callbacks.stopped();
        }
    };
    uint32_t successes = 0;
    for (const BatchItem& item : items)
    {
        std::optional<bool> ticked = isTicked(callbacks, item.id);
        if (!ticked)
        {
            endStopped();
            return;
        }
        if (!*ticked)
        {
            continue;
        }
        if (pauseThenCheckStop())
        {
            endStopped();
            return;
        }
        ticked = isTicked(callbacks, item.id);
        if (!ticked)
        {
            endStopped();
            return;
        }
        if (!*ticked)
        {
            continue;
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
