#include "BatchConversion.h"

namespace pravix
{

BatchConversion::BatchConversion(std::vector<NSPravixData>& list, BatchView& view, PostToListThread post,
                                 std::chrono::milliseconds pause, ExifHooks exif)
    : mList(list),
      mView(view),
      mPost(std::move(post)),
      mSelf(std::make_shared<BatchConversion*>(this)),
      mRunner(pause, std::move(exif))
{
}

BatchConversion::~BatchConversion()
{
    // quit(), not a stop and a join: the worker may be waiting for a tick that only this thread,
    // now waiting here, could give.
    mRunner.quit();
    mSelf.reset();
}

BatchConversion::ButtonResult BatchConversion::PravixBtEvent(const ConversionOptions& options)
{
    if (mList.empty())
    {
        return ButtonResult::OpenPanel;
    }
    if (mPhase == BatchPhase::Converting)
    {
        mRunner.requestStop();
        mPhase = BatchPhase::Stopping;
        mView.setPravixButton(buttonLook(mPhase));
        return ButtonResult::StopRequested;
    }
    if (mPhase == BatchPhase::Stopping)
    {
        // The worker still converts its entry: a second batch would walk the same entries.
        return ButtonResult::Ignored;
    }

    // Every entry goes to the worker, which asks for its tick when it gets there; the list itself
    // cannot change while the batch runs.
    std::vector<BatchItem> items;
    items.reserve(mList.size());
    size_t ticked = 0;
    for (NSPravixData& entry : mList)
    {
        if (entry.isSelect)
        {
            entry.ToErrInfo.clear();
            entry.ToPath.clear();
            entry.ToTitle.clear();
            ++ticked;
        }
        items.push_back(BatchItem{entry.entryId, EntryPaths{entry.HeicPath, entry.OriginalFilePath, entry.FileName}});
    }
    if (ticked == 0)
    {
        mView.showAlert(nothingTickedAlert());
        return ButtonResult::NothingTicked;
    }
    mPhase = BatchPhase::Converting;
    mView.setPravixButton(buttonLook(mPhase));
    mView.reloadTable();
    mView.ToBtState(false);
    if (!mRunner.start(std::move(items), options, postedCallbacks()))
    {
        // Only when a worker outlived its last report applied here; never in practice. Stay usable.
        batchEnded(std::nullopt);
        return ButtonResult::Ignored;
    }
    return ButtonResult::Started;
}

void BatchConversion::UpdateStateTimerEvent(const std::string& converText)
{
    if (!mCurrent)
    {
        mProgressCounter = 0;
        return;
    }
    mProgressCounter = nextProgressCounter(mProgressCounter);
    NSPravixData* entry = entryWithId(*mCurrent);
    if (entry == nullptr)
    {
        return;
    }
    if (!entry->ToPath.empty())
    {
        entry->ToTitle.clear();
    }
    else
    {
        entry->ToTitle = progressTitle(converText, mProgressCounter);
    }
    mView.reloadTable();
}

NSPravixData* BatchConversion::entryWithId(uint64_t id)
{
    for (NSPravixData& entry : mList)
    {
        if (entry.entryId == id)
        {
            return &entry;
        }
    }
    return nullptr;
}

BatchCallbacks BatchConversion::postedCallbacks()
{
    // Each report is applied on the list's thread, and only while this object lives.
    const std::weak_ptr<BatchConversion*> self = mSelf;
    PostToListThread post = mPost;
    auto deliver = [self, post](std::function<void(BatchConversion&)> apply)
    {
        post(
            [self, apply]()
            {
                if (const std::shared_ptr<BatchConversion*> alive = self.lock())
                {
                    apply(**alive);
                }
            });
    };
    BatchCallbacks callbacks;
    // An answer that is never given (this object is gone) leaves the worker to quit().
    callbacks.askTicked = [deliver](uint64_t id, std::function<void(bool)> reply)
    { deliver([id, reply](BatchConversion& b) { reply(b.isTicked(id)); }); };
    callbacks.entryStarted = [deliver](uint64_t id) { deliver([id](BatchConversion& b) { b.entryStarted(id); }); };
    callbacks.entryFinished = [deliver](uint64_t id, const EntryOutcome& outcome)
    { deliver([id, outcome](BatchConversion& b) { b.entryFinished(id, outcome); }); };
    callbacks.finished = [deliver](uint32_t count) { deliver([count](BatchConversion& b) { b.batchEnded(count); }); };
    callbacks.stopped = [deliver]() { deliver([](BatchConversion& b) { b.batchEnded(std::nullopt); }); };
    return callbacks;
}

bool BatchConversion::isTicked(uint64_t id)
{
    const NSPravixData* entry = entryWithId(id);
    return entry != nullptr && entry->isSelect;
}

void BatchConversion::entryStarted(uint64_t id)
{
    mCurrent = id;
    // A row ticked during the batch still shows its last run's result: it goes now, as the results
    // of the rows ticked at Start went then.
    NSPravixData* entry = entryWithId(id);
    if (entry != nullptr && !(entry->ToPath.empty() && entry->ToErrInfo.empty() && entry->ToTitle.empty()))
    {
        entry->ToPath.clear();
        entry->ToErrInfo.clear();
        entry->ToTitle.clear();
        mView.reloadTable();
    }
}

void BatchConversion::entryFinished(uint64_t id, const EntryOutcome& outcome)
{
    NSPravixData* entry = entryWithId(id);
    if (entry != nullptr)
    {
        if (outcome.converted)
        {
            entry->ToPath = outcome.toPath;
            entry->ToTitle.clear();
            entry->ToErrInfo.clear();
        }
        else
        {
            entry->ToErrInfo = outcome.errorKey;
        }
    }
    // A failed entry stays current, its dots running, until the next one starts.
    if (outcome.converted && mCurrent == id)
    {
        mCurrent.reset();
    }
    mView.reloadTable();
}

void BatchConversion::batchEnded(std::optional<uint32_t> successCount)
{
    mPhase = BatchPhase::Idle;
    // The next batch must not animate a row of this one (perhaps deleted by then).
    mCurrent.reset();
    mView.setPravixButton(buttonLook(mPhase));
    mView.ToBtState(true);
    if (successCount)
    {
        mView.showAlert(summaryAlert(*successCount));
    }
}

}  // namespace pravix
