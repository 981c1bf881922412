#include "HttpClient.h"

#include "BoundedReply.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>

#include <memory>

namespace pravix
{
namespace
{

HttpReply replyOf(QNetworkReply* reply, const BoundedReply& transfer)
{
    HttpReply result;
    result.timedOut = transfer.timedOut();
    result.tooLarge = transfer.tooLarge();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // Errors below 200 are of the connection (refused, closed, timed out, cancelled, proxy); above,
    // the server answered with an error status and its body stands.
    const bool whole = error == QNetworkReply::NoError || int(error) >= 200;
    if (transfer.timedOut())
        result.errorText = QStringLiteral("no answer within the time limit");
    else if (transfer.tooLarge())
        result.errorText = QStringLiteral("reply longer than %1 bytes").arg(kHttpReplyLimit);
    else if (!whole || !status.isValid())
        result.errorText = reply->errorString();
    else
    {
        result.status = status.toInt();
        result.body = transfer.body();
    }
    return result;
}

} // namespace

HttpClient::HttpClient(QObject* parent) : QObject(parent), mManager(new QNetworkAccessManager(this))
{
}

HttpClient::~HttpClient() = default;

namespace
{

QPointer<HttpClient> sharedClient;

void releaseSharedClient()
{
    delete sharedClient.data();
}

} // namespace

HttpClient& HttpClient::shareInstance()
{
    if (sharedClient.isNull())
    {
        sharedClient = new HttpClient(QCoreApplication::instance());
        // Gone at the start of the application object's shut-down, while Qt's network thread can
        // still wind down; as a plain child it would go only after that.
        qAddPostRoutine(releaseSharedClient);
    }
    return *sharedClient;
}

std::chrono::milliseconds HttpClient::effectiveTimeout(std::chrono::milliseconds asked) const
{
    if (mTimeoutLimit.count() > 0 && (asked.count() <= 0 || asked > mTimeoutLimit))
        return mTimeoutLimit;
    return asked;
}

void HttpClient::send(const HttpRequest& request, Completion done, const QObject* context)
{
    Q_ASSERT(QThread::currentThread() == thread());
    const bool guarded = context != nullptr;
    auto finish = [done = std::move(done), guard = QPointer<const QObject>(context), guarded](const HttpReply& r) {
        if (done && (!guarded || !guard.isNull()))
            done(r);
    };

    const QString scheme = request.url.scheme();
    if (!request.url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        request.url.host().isEmpty())
    {
        HttpReply invalid;
        invalid.errorText = QStringLiteral("not an http address: %1").arg(request.url.toDisplayString());
        QMetaObject::invokeMethod(this, [finish, invalid] { finish(invalid); }, Qt::QueuedConnection);
        return;
    }

    QNetworkRequest networkRequest(request.url);
    bool hasContentType = false;
    for (const auto& [name, value] : request.headers)
    {
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            continue;
        hasContentType = hasContentType || name.compare("Content-Type", Qt::CaseInsensitive) == 0;
        networkRequest.setRawHeader(name, value);
    }
    const bool sendsBody = !request.body.isEmpty() || request.method == "POST" || request.method == "PUT";
    if (sendsBody)
    {
        if (!hasContentType)
            networkRequest.setHeader(QNetworkRequest::ContentTypeHeader,
                                     QByteArrayLiteral("application/x-www-form-urlencoded"));
        networkRequest.setHeader(QNetworkRequest::ContentLengthHeader, request.body.size());
    }

    QNetworkReply* reply = sendsBody ? mManager->sendCustomRequest(networkRequest, request.method, request.body)
                                     : mManager->sendCustomRequest(networkRequest, request.method);
    const std::shared_ptr<BoundedReply> transfer =
        BoundedReply::watch(reply, kHttpReplyLimit, effectiveTimeout(request.timeout));
    ++mPending;

    connect(reply, &QNetworkReply::finished, this, [this, reply, transfer, finish] {
        --mPending;
        transfer->drain();
        const HttpReply result = replyOf(reply, *transfer);
        reply->deleteLater();
        finish(result);
    });
}

HttpReply HttpClient::sendAndWait(const HttpRequest& request)
{
    QEventLoop loop;
    HttpReply result;
    bool done = false;
    send(
        request,
        [&](const HttpReply& reply) {
            result = reply;
            done = true;
            loop.quit();
        },
        &loop);
    if (!done)
        loop.exec();
    return result;
}

} // namespace pravix
