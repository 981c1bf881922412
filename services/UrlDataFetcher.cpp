#include "UrlDataFetcher.h"

#include "BoundedReply.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <algorithm>
#include <cstdint>

namespace pravix
{

UrlDataFetcher::UrlDataFetcher(std::chrono::milliseconds timeout) : mTimeout(timeout)
{
}

bool UrlDataFetcher::fetchInto(const std::string& url, uint64_t maxBytes, const Keep& keep, std::string* whyNot) const
{
    const auto fail = [whyNot](const QString& reason) {
        if (whyNot != nullptr)
            *whyNot = reason.toStdString();
        return false;
    };
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = address.scheme();
    if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        address.host().isEmpty())
        return fail(QStringLiteral("not an http or https address"));
    if (QCoreApplication::instance() == nullptr)
        return fail(QStringLiteral("no application object to run the network"));

    // The loop before the manager: the reply, which the manager owns and deletes, quits it.
    QEventLoop loop;
    QNetworkAccessManager manager;
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = manager.get(request);
    const std::shared_ptr<BoundedReply> transfer =
        BoundedReply::watch(reply, qint64(std::min<uint64_t>(maxBytes, INT64_MAX - 1)), mTimeout,
                            [&keep](const char* bytes, qint64 count) {
                                return keep(reinterpret_cast<const uint8_t*>(bytes), size_t(count));
                            });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    transfer->drain();

    if (transfer->timedOut())
        return fail(QStringLiteral("no answer within %1 ms").arg(mTimeout.count()));
    if (transfer->tooLarge())
        return fail(QStringLiteral("body longer than %1 bytes").arg(maxBytes));
    if (transfer->notKept())
        return fail(QStringLiteral("the body cannot be kept"));
    if (reply->error() != QNetworkReply::NoError)
        return fail(reply->errorString());
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        return fail(QStringLiteral("HTTP status %1").arg(status));
    return true;
}

} // namespace pravix
