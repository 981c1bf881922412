#include "LocalHttpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace testsupport
{
namespace
{

constexpr const char* kBufferProperty = "pravixRequestBytes";

QByteArray reasonPhrase(int status)
{
    switch (status)
    {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

QByteArray LocalHttpServer::Request::path() const
{
    const qsizetype mark = target.indexOf('?');
    return mark < 0 ? target : target.left(mark);
}

QByteArray LocalHttpServer::Request::query() const
{
    const qsizetype mark = target.indexOf('?');
    return mark < 0 ? QByteArray() : target.mid(mark + 1);
}

QByteArray LocalHttpServer::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers)
    {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool LocalHttpServer::Request::hasHeader(const QByteArray& name) const
{
    for (const auto& header : headers)
    {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

LocalHttpServer::Reply LocalHttpServer::Reply::answer(int status, const QByteArray& body)
{
    Reply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

LocalHttpServer::Reply LocalHttpServer::Reply::answerAfter(int delayMs, int status, const QByteArray& body)
{
    Reply reply = answer(status, body);
    reply.delayMs = delayMs;
    return reply;
}

LocalHttpServer::Reply LocalHttpServer::Reply::neverAnswer()
{
    Reply reply;
    reply.action = Action::NeverAnswer;
    return reply;
}

LocalHttpServer::Reply LocalHttpServer::Reply::close()
{
    Reply reply;
    reply.action = Action::Close;
    return reply;
}

LocalHttpServer::Reply LocalHttpServer::Reply::raw(const QByteArray& bytes)
{
    Reply reply;
    reply.action = Action::Raw;
    reply.body = bytes;
    return reply;
}

LocalHttpServer::LocalHttpServer(QObject* parent) : QObject(parent), mServer(new QTcpServer(this))
{
    connect(mServer, &QTcpServer::newConnection, this, &LocalHttpServer::onNewConnection);
    mServer->listen(QHostAddress::LocalHost, 0);
}

LocalHttpServer::~LocalHttpServer() = default;

bool LocalHttpServer::isListening() const
{
    return mServer->isListening();
}

void LocalHttpServer::stopListening()
{
    mServer->close();
}

quint16 LocalHttpServer::port() const
{
    return mServer->serverPort();
}

QString LocalHttpServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

QUrl LocalHttpServer::url(const QString& pathAndQuery) const
{
    return QUrl(QStringLiteral("http://") + hostAndPort() + pathAndQuery);
}

void LocalHttpServer::enqueue(const Reply& reply)
{
    mScript.push_back(reply);
}

void LocalHttpServer::setDefaultReply(const Reply& reply)
{
    mDefault = reply;
}

void LocalHttpServer::setReplyForPath(const QByteArray& path, const Reply& reply)
{
    for (auto& [known, stored] : mPathReplies)
    {
        if (known == path)
        {
            stored = reply;
            return;
        }
    }
    mPathReplies.append({path, reply});
}

bool LocalHttpServer::waitForRequests(int count, int timeoutMs)
{
    return spinUntil([this, count] { return requestCount() >= count; }, timeoutMs);
}

void LocalHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = mServer->nextPendingConnection())
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LocalHttpServer::onReadyRead(QTcpSocket* socket)
{
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    socket->setProperty(kBufferProperty, buffer);
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;

    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    request.requestLine = lines.value(0).trimmed();
    const QList<QByteArray> parts = request.requestLine.split(' ');
    request.method = parts.value(0);
    request.target = parts.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i)
    {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    const qsizetype bodyLength = request.header("Content-Length").toLongLong();
    if (buffer.size() < headerEnd + 4 + bodyLength)
        return;
    request.body = buffer.mid(headerEnd + 4, bodyLength);
    socket->setProperty(kBufferProperty, QByteArray());
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);

    mRequests.append(request);
    Reply reply = mDefault;
    const auto routed = std::find_if(mPathReplies.cbegin(), mPathReplies.cend(),
                                     [&request](const auto& entry) { return entry.first == request.path(); });
    if (routed != mPathReplies.cend())
        reply = routed->second;
    else if (!mScript.empty())
    {
        reply = mScript.front();
        mScript.pop_front();
    }
    respond(socket, reply);
    emit requestReceived();
}

void LocalHttpServer::respond(QTcpSocket* socket, const Reply& reply)
{
    if (reply.delayMs > 0 && (reply.action == Action::Answer || reply.action == Action::Raw))
    {
        Reply now = reply;
        now.delayMs = 0;
        // The timer belongs to the socket: a connection the client gives up meanwhile takes it along.
        QTimer::singleShot(reply.delayMs, socket, [this, socket, now] { respond(socket, now); });
        return;
    }
    switch (reply.action)
    {
    case Action::NeverAnswer:
        return;
    case Action::Close:
        socket->abort();
        socket->deleteLater();
        return;
    case Action::Raw:
        socket->write(reply.body);
        break;
    case Action::Answer:
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
        for (const auto& [name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
        socket->write(head + reply.body);
        break;
    }
    }
    socket->disconnectFromHost();
}

bool spinUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    // Wakes the wait below now and then, so the deadline is seen even when nothing else happens.
    QTimer wake;
    wake.start(10);
    while (!condition())
    {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

} // namespace testsupport
