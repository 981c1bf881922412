#include "UpdateChecker.h"

#include <QCoreApplication>

#include "DeploymentConfig.h"
#include "HttpClient.h"

namespace pravix
{

UpdateCheckerSources UpdateCheckerSources::thisCopy()
{
    UpdateCheckerSources sources;
    sources.server = DeploymentConfig::build().updateServer;
    sources.runningVersion = QCoreApplication::applicationVersion();
    return sources;
}

UpdateChecker::UpdateChecker(UpdateCheckerSources sources, QObject* parent)
    : QObject(parent)
    , mSources(std::move(sources))
{
}

QString UpdateChecker::recordAddress(const QString& server)
{
    return serverAddress(server, QStringLiteral("/heic/mac/newversionex.htm"));
}

quint64 UpdateChecker::check()
{
    const quint64 tag = ++mTag;
    mChecking = true;
    emit checkStarted(tag);

    if (!serverConfigured(mSources.server, QStringLiteral("Update check"))) {
        UpdateCheckResult result;
        // Nothing was tried, so nothing failed: not a network failure.
        result.outcome = UpdateOutcome::NoUpdateServer;
        result.detail = QStringLiteral("no update server configured");
        QMetaObject::invokeMethod(this, [this, tag, result] { finish(tag, result); }, Qt::QueuedConnection);
        return tag;
    }

    const HttpRequest request = HttpRequest::get(QUrl(recordAddress(mSources.server)), mSources.timeout);
    HttpClient::shareInstance().send(
        request,
        [this, tag](const HttpReply& reply) { finish(tag, readVersionRecord(reply, mSources.runningVersion)); },
        this);
    return tag;
}

void UpdateChecker::finish(quint64 tag, const UpdateCheckResult& result)
{
    if (tag != mTag) {
        return;  // superseded by a later check
    }
    mChecking = false;
    mLastResult = result;
    if (result.outcome == UpdateOutcome::NewerVersion) {
        mDownloadUrl = result.download;
    }
    emit checkFinished(tag, result);
}

}  // namespace pravix
