#pragma once

// The window's side of the batch, without a window: a queue that stands for the GUI thread's event
// loop, a view that records what the batch asked of the window, and an Exif hook that can hold the
// worker inside an entry.

#include "BatchConversion.h"
#include "HeicExif.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace converttest
{

// Work posted from any thread, run by the test's own thread when it drains the queue.
class GuiQueue
{
public:
    void post(std::function<void()> work)
    {
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mWork.push_back(std::move(work));
            ++mPosted;
        }
        mArrived.notify_all();
    }
    pravix::PostToListThread poster()
    {
        return [this](std::function<void()> work) { post(std::move(work)); };
    }
    // Runs posted work until `done` holds, looking at `done` again at least every 10 ms also when
    // nothing arrives (it may wait on the worker); false when it did not hold within the time.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(60))
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done())
        {
            std::function<void()> work;
            {
                std::unique_lock<std::mutex> lock(mMutex);
                const auto now = std::chrono::steady_clock::now();
                if (now >= deadline)
                {
                    return false;
                }
                const auto until = std::min(deadline, now + std::chrono::milliseconds(10));
                if (!mArrived.wait_until(lock, until, [this] { return !mWork.empty(); }))
                {
                    continue;
                }
                work = std::move(mWork.front());
                mWork.pop_front();
            }
            work();
        }
        return true;
    }
    // Waits (without running anything) until `count` pieces of work have been posted in all.
    bool waitForPosted(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(60))
    {
        std::unique_lock<std::mutex> lock(mMutex);
        return mArrived.wait_for(lock, limit, [&] { return mPosted >= count; });
    }
    size_t pending()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mWork.size();
    }
    size_t posted()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mPosted;
    }

private:
    std::mutex mMutex;
    std::condition_variable mArrived;
    std::deque<std::function<void()>> mWork;
    size_t mPosted = 0;
};

// Records every request of the batch and checks that each comes on the test's (the GUI's) thread.
class RecordingView : public pravix::BatchView
{
public:
    void reloadTable() override
    {
        onOwnThread();
        ++reloads;
    }
    void setPravixButton(const pravix::ButtonLook& look) override
    {
        onOwnThread();
        buttons.push_back(look.titleKey);
    }
    void ToBtState(bool idle) override
    {
        onOwnThread();
        states.push_back(idle);
    }
    void showAlert(const pravix::BatchAlert& alert) override
    {
        onOwnThread();
        alerts.push_back(alert);
    }

    int reloads = 0;
    std::vector<std::string> buttons;
    std::vector<bool> states;
    std::vector<pravix::BatchAlert> alerts;

private:
    void onOwnThread() { EXPECT_EQ(std::this_thread::get_id(), mOwner); }
    std::thread::id mOwner = std::this_thread::get_id();
};

// Holds the worker inside the Exif step of chosen entries (counted from 1) until released.
class EntryGate
{
public:
    explicit EntryGate(std::vector<int> heldEntries) : mHeld(std::move(heldEntries)) {}

    pravix::ExifHooks hooks()
    {
        pravix::ExifHooks hooks = pravix::defaultExifHooks();
        auto create = hooks.create;
        hooks.create = [this, create](const ImageFileReaderInterface& reader)
        {
            std::unique_lock<std::mutex> lock(mMutex);
            const int call = ++mCalls;
            if (std::find(mHeld.begin(), mHeld.end(), call) != mHeld.end())
            {
                mWaiting = call;
                mChanged.notify_all();
                mChanged.wait(lock, [&] { return mReleased >= call; });
                mWaiting = 0;
            }
            lock.unlock();
            return create(reader);
        };
        return hooks;
    }
    // The worker is held in entry n now. (It asks the list's thread for ticks on its way there:
    // wait with GuiQueue::runUntil.)
    bool isHeld(int n)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mWaiting == n;
    }
    void release(int n)
    {
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mReleased = std::max(mReleased, n);
        }
        mChanged.notify_all();
    }
    int calls()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mCalls;
    }

private:
    std::vector<int> mHeld;
    std::mutex mMutex;
    std::condition_variable mChanged;
    int mCalls = 0;
    int mWaiting = 0;
    int mReleased = 0;
};

}  // namespace converttest
