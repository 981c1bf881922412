#include "ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace pravix
{
namespace
{

std::atomic<unsigned> gWorkerLimit{0};

// Threads kept for parallelFor from its first use to the end of the process: starting threads for every
// band of every picture costs more than some bands take. One piece of work runs on them at a time; a
// parallelFor called while they are busy (from inside another) runs on its caller's thread.
class WorkerPool
{
public:
    static WorkerPool& instance()
    {
        static WorkerPool* pool = new WorkerPool();  // never destroyed: its threads may outlive static objects
        return *pool;
    }

    // False when the pool is busy; else runs chunks [0, chunks) of `run` on up to `helpers` pool threads
    // and the caller, and returns when all are done.
    bool tryRun(size_t chunks, unsigned helpers, const std::function<void(size_t chunk)>& run)
    {
        std::unique_lock<std::mutex> busy(mBusy, std::try_to_lock);
        if (!busy.owns_lock())
        {
            return false;
        }
        Job job{&run, chunks};
        {
            std::lock_guard<std::mutex> lock(mLock);
            while (mThreads.size() < helpers)
            {
                mThreads.emplace_back([this] { serve(); });
            }
            mJob = &job;
            mHelpersWanted = helpers;
        }
        mWake.notify_all();
        job.work();
        std::unique_lock<std::mutex> lock(mLock);
        // Threads that joined finish their chunks; threads that did not join yet no longer can.
        mJob = nullptr;
        mDone.wait(lock, [&] { return job.active == 0; });
        return true;
    }

private:
    // One piece of work; it lives on its caller's stack, and threads join it only while it is posted.
    struct Job
    {
        const std::function<void(size_t)>* run;
        size_t chunks;
        std::atomic<size_t> next{0};
        unsigned active = 0;  // threads working on it, under mLock

        void work()
        {
            for (size_t chunk = next++; chunk < chunks; chunk = next++)
            {
                (*run)(chunk);
            }
        }
    };

    WorkerPool() = default;

    void serve()
    {
        std::unique_lock<std::mutex> lock(mLock);
        while (true)
        {
            mWake.wait(lock, [this] { return mJob != nullptr && mHelpersWanted > 0; });
            Job* job = mJob;
            --mHelpersWanted;
            ++job->active;
            lock.unlock();
            job->work();
            lock.lock();
            --job->active;
            mDone.notify_all();
        }
    }

    std::mutex mBusy;
    std::mutex mLock;
    std::condition_variable mWake;
    std::condition_variable mDone;
    std::vector<std::thread> mThreads;
    Job* mJob = nullptr;
    unsigned mHelpersWanted = 0;
};

}  // namespace

unsigned workerCount()
{
    // Counted once: a sandboxed helper process cannot read the system files the count comes from.
    static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned limit = gWorkerLimit;
    return limit == 0 ? cores : std::min(cores, limit);
}

void limitWorkers(unsigned count)
{
    gWorkerLimit = count;
}

unsigned workerLimit()
{
    return gWorkerLimit;
}

void parallelFor(size_t count, size_t minChunk, const std::function<void(size_t begin, size_t end)>& body)
{
    if (count == 0)
    {
        return;
    }
    const size_t chunks = std::min<size_t>(workerCount(), std::max<size_t>(1, count / std::max<size_t>(1, minChunk)));
    const size_t step = (count + chunks - 1) / chunks;
    std::exception_ptr failure;
    std::mutex failureLock;
    const std::function<void(size_t)> run = [&](size_t chunk)
    {
        const size_t begin = chunk * step;
        if (begin >= count)
        {
            return;
        }
        try
        {
            body(begin, std::min(count, begin + step));
        }
        catch (...)
        {
            std::lock_guard<std::mutex> lock(failureLock);
            if (!failure)
            {
                failure = std::current_exception();
            }
        }
    };
    if (chunks == 1 || !WorkerPool::instance().tryRun(chunks, static_cast<unsigned>(chunks - 1), run))
    {
        for (size_t chunk = 0; chunk < chunks; ++chunk)
        {
            run(chunk);
        }
    }
    if (failure)
    {
        std::rethrow_exception(failure);
    }
}

}  // namespace pravix
