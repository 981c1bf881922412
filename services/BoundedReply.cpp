#include "BoundedReply.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>

namespace pravix
{

std::shared_ptr<BoundedReply> BoundedReply::watch(QNetworkReply* reply, qint64 maxBytes,
                                                  std::chrono::milliseconds timeout, BodySink sink)
{
    std::shared_ptr<BoundedReply> watcher(new BoundedReply(reply, maxBytes, std::move(sink)));
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, reply, [watcher] {
        watcher->mTimedOut = true;
        watcher->mReply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [watcher] {
        QNetworkReply* r = watcher->mReply;
        const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
        const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // A redirect's own length says nothing of the answer's.
        if (length.isValid() && (status < 300 || status > 399) && length.toULongLong() > quint64(watcher->mMaxBytes) &&
            !watcher->mTooLarge)
            watcher->refuseLonger();
    });
    QObject::connect(reply, &QIODevice::readyRead, reply, [watcher] { watcher->drain(); });
    timer->start(timeout);
    return watcher;
}

void BoundedReply::drain()
{
    // In pieces of at most one byte past the limit, so a body past it is never held whole.
    while (!mTooLarge && !mNotKept && mReply->bytesAvailable() > 0)
    {
        const QByteArray piece = mReply->read(std::min<qint64>(64 * 1024, mMaxBytes + 1 - mReceived));
        if (piece.isEmpty())
            break;
        mReceived += piece.size();
        if (mReceived > mMaxBytes) {
            refuseLonger();
        } else if (!mSink) {
            mBody += piece;
        } else if (!mSink(piece.constData(), piece.size())) {
            mNotKept = true;
            mReply->abort();
        }
    }
}

void BoundedReply::refuseLonger()
{
    mTooLarge = true;
    mBody.clear();
    mReply->abort();
}

} // namespace pravix
