#include "VersionRecord.h"

#include "JsonReply.h"
#include "VersionComparison.h"

#include <QJsonObject>

#include <optional>

namespace pravix
{
namespace
{

// A member as text, or empty when it is missing or of another kind.
QString textMember(const QJsonObject& record, const QString& key)
{
    const QJsonValue value = record.value(key);
    return value.isString() ? value.toString() : QString();
}

}  // namespace

QUrl downloadAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty()) {
        return {};
    }
    return url;
}

UpdateCheckResult readVersionRecord(const HttpReply& reply, const QString& runningVersion)
{
    UpdateCheckResult result;
    if (!reply.succeeded()) {
        result.outcome = UpdateOutcome::NoReply;
        result.detail = reply.answered() ? QStringLiteral("status %1").arg(reply.status) : reply.errorText;
        return result;
    }
    const std::optional<QJsonObject> record = jsonObjectOf(reply.body);
    if (!record) {
        result.outcome = UpdateOutcome::NotARecord;
        result.detail = QStringLiteral("not a version record: ") + reply.bodyExcerpt();
        return result;
    }
    const QJsonValue version = record->value(QStringLiteral("version"));
    if (!version.isString() || !isVersionBiggerThanVersion(version.toString(), runningVersion)) {
        result.outcome = UpdateOutcome::CurrentVersion;
        result.version = version.toString();
        return result;
    }
    result.outcome = UpdateOutcome::NewerVersion;
    result.version = version.toString();
    result.notes = textMember(*record, QStringLiteral("info"));
    result.download = downloadAddress(textMember(*record, QStringLiteral("download")));
    return result;
}

}  // namespace pravix
