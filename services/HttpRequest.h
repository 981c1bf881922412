#pragma once

// One HTTP request as the services send it through HttpClient.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <chrono>

namespace pravix
{

struct HttpRequest
{
    QByteArray method = "GET";
    QUrl url;
    // Sent as given. A request with a body and no Content-Type is sent as a form
    // ("application/x-www-form-urlencoded"); Content-Length always follows the body.
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // The whole exchange, from sending to the last byte of the reply.
    std::chrono::milliseconds timeout{60000};

    static HttpRequest get(const QUrl& url, std::chrono::milliseconds timeout);
    static HttpRequest post(const QUrl& url, const QByteArray& body, std::chrono::milliseconds timeout);
};

} // namespace pravix
