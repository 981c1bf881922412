#pragma once

// The update check without its window: fetches the version record from the update server, reads
// it against the running version and reports one of the four outcomes. The update-check window
// starts checks and shows what checkFinished hands it; it holds no rule of its own.
//
// Every check has a tag. Starting a check supersedes any earlier one still running: the earlier
// reply, whenever it comes, is ignored, so a stale answer never overwrites a newer check's result.
// Lives on the GUI thread.

#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

#include "VersionRecord.h"

namespace pravix
{

struct UpdateCheckerSources
{
    QString server;          // the update server with its scheme; empty: every check ends NoUpdateServer
    QString runningVersion;  // the version this program is
    std::chrono::milliseconds timeout{60000};

    // The build's update server and the application object's version.
    static UpdateCheckerSources thisCopy();
};

class UpdateChecker : public QObject
{
    Q_OBJECT
public:
    explicit UpdateChecker(UpdateCheckerSources sources = UpdateCheckerSources::thisCopy(), QObject* parent = nullptr);

    // GET "/heic/mac/newversionex.htm" on the update server. Returns the new check's tag (1, 2,
    // ...); checkStarted is emitted at once, checkFinished later from the event loop, never from
    // within this call.
    quint64 check();

    // A check is running (its reply has not come).
    bool isChecking() const { return mChecking; }
    // The tag of the latest check; 0 before the first.
    quint64 currentTag() const { return mTag; }
    // The result of the latest finished check that was not superseded.
    const std::optional<UpdateCheckResult>& lastResult() const { return mLastResult; }
    // The download address of the last result that found a newer version, kept across later checks
    // that find none; empty when there was none or it was refused. The update button opens it.
    const QUrl& downloadUrl() const { return mDownloadUrl; }
    const QString& runningVersion() const { return mSources.runningVersion; }

    // The address of the version record on `server`.
    static QString recordAddress(const QString& server);

signals:
    void checkStarted(quint64 tag);
    void checkFinished(quint64 tag, const pravix::UpdateCheckResult& result);

private:
    void finish(quint64 tag, const UpdateCheckResult& result);

    UpdateCheckerSources mSources;
    quint64 mTag = 0;
    bool mChecking = false;
    std::optional<UpdateCheckResult> mLastResult;
    QUrl mDownloadUrl;
};

}  // namespace pravix
