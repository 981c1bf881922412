#include "UrlDataFetcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace pravix
{

UrlDataFetcher::UrlDataFetcher(std::chrono::milliseconds timeout) : mTimeout(timeout)
{
}

std::optional<std::vector<uint8_t>> UrlDataFetcher::fetch(const std::string& url, uint64_t maxBytes,
                                                          std::string* whyNot) const
{
    const auto fail = [whyNot](const QString& reason) -> std::optional<std::vector<uint8_t>> {
        if (whyNot != nullptr)
            *whyNot = reason.toStdString();
        return std::nullopt;
    };
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = address.scheme();
    if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        address.host().isEmpty())
        return fail(QStringLiteral("not an http or https address"));
    if (QCoreApplication::instance() == nullptr)
        return fail(QStringLiteral("no application object to run the network"));

    // Declared before the manager: the reply, which the manager owns and deletes, refers to them.
    std::vector<uint8_t> body;
    bool timedOut = false;
    bool tooLarge = false;
    QEventLoop loop;
    QNetworkAccessManager manager;
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = manager.get(request);

    const auto refuseLonger = [&] {
        tooLarge = true;
        reply->abort();
    };
    // Reads what has arrived, in pieces, so a body past the limit is never held whole.
    const auto drain = [&] {
        while (!tooLarge && reply->bytesAvailable() > 0)
        {
            const QByteArray piece = reply->read(64 * 1024);
            if (piece.isEmpty())
                break;
            if (uint64_t(piece.size()) > maxBytes - body.size())
            {
                refuseLonger();
                break;
            }
            body.insert(body.end(), piece.begin(), piece.end());
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // A redirect's own length says nothing of the picture's.
        if (length.isValid() && (status < 300 || status > 399) && length.toULongLong() > maxBytes && !tooLarge)
            refuseLonger();
    });
    QObject::connect(reply, &QIODevice::readyRead, reply, drain);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, reply, [&] {
        timedOut = true;
        reply->abort();
    });
    timer.start(mTimeout);
    if (!reply->isFinished())
        loop.exec();
    timer.stop();
    drain();

    if (timedOut)
        return fail(QStringLiteral("no answer within %1 ms").arg(mTimeout.count()));
    if (tooLarge)
        return fail(QStringLiteral("body longer than %1 bytes").arg(maxBytes));
    if (reply->error() != QNetworkReply::NoError)
        return fail(reply->errorString());
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        return fail(QStringLiteral("HTTP status %1").arg(status));
    return body;
}

} // namespace pravix
