#pragma once

#include "BatchRunner.h"
#include "BatchTexts.h"
#include "BatchView.h"
#include "NSPravixData.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pravix
{

// Hands a piece of work to the thread that owns the list, to run there later and in order (for a
// Qt window: QMetaObject::invokeMethod(window, work, Qt::QueuedConnection)). Called from the worker.
using PostToListThread = std::function<void(std::function<void()> work)>;

// The batch as the main window drives it: the Start/Stop button, the state Idle / Converting /
// Stopping, the worker's reports applied to the list, the progress text and the summary.
//
// Everything here runs on the thread that owns the list; the worker works on value copies of the
// entries' paths, and its questions (is this entry ticked now?) and reports come back through
// `post`. It walks the whole list in order and reads each tick when it gets there: unticking a
// pending row skips it, ticking a later row adds it, a row it has passed stays as it is. A batch
// counts as running from Start until its worker's last report has been applied, also while
// stopping: until then Start is ignored, and the window must refuse list edits (isBatchRunning()).
class BatchConversion
{
public:
    enum class ButtonResult
    {
        OpenPanel,      // the list is empty: the window offers its open panel
        NothingTicked,  // the alert was shown; nothing started
        Started,
        StopRequested,
        Ignored,        // already stopping: the worker has not returned yet
    };

    BatchConversion(std::vector<NSPravixData>& list, BatchView& view, PostToListThread post,
                    std::chrono::milliseconds pause = BatchRunner::kPause, ExifHooks exif = defaultExifHooks());
    // Quitting: stops the worker and waits for it; it finishes the entry it is writing. Reports and
    // questions still waiting in the window's queue are dropped, not applied.
    ~BatchConversion();
    BatchConversion(const BatchConversion&) = delete;
    BatchConversion& operator=(const BatchConversion&) = delete;

    // The Start/Stop button. `options` are read only when a batch starts.
    ButtonResult PravixBtEvent(const ConversionOptions& options);
    // The 1-second timer: the progress dots of the entry being converted. `converText` is the
    // looked-up text of the key "conver".
    void UpdateStateTimerEvent(const std::string& converText);

    BatchPhase phase() const { return mPhase; }
    // YES while idle and once a stop has been asked, as the button reads it.
    bool isStopTo() const { return mPhase != BatchPhase::Converting; }
    bool isBatchRunning() const { return mPhase != BatchPhase::Idle; }
    // The entry being converted (CurrPravixData); none between batches.
    std::optional<uint64_t> currentEntryId() const { return mCurrent; }

private:
    NSPravixData* entryWithId(uint64_t id);
    BatchCallbacks postedCallbacks();
    bool isTicked(uint64_t id);
    void entryStarted(uint64_t id);
    void entryFinished(uint64_t id, const EntryOutcome& outcome);
    void batchEnded(std::optional<uint32_t> successCount);

    std::vector<NSPravixData>& mList;
    BatchView& mView;
    PostToListThread mPost;
    BatchPhase mPhase = BatchPhase::Idle;
    std::optional<uint64_t> mCurrent;
    uint32_t mProgressCounter = 0;
    // Reports carry a weak copy: those that arrive after this object is gone do nothing.
    std::shared_ptr<BatchConversion*> mSelf;
    // Last, so the worker is joined before the rest goes.
    BatchRunner mRunner;
};

}  // namespace pravix
