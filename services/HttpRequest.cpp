#include "HttpRequest.h"

namespace pravix
{

HttpRequest HttpRequest::get(const QUrl& url, std::chrono::milliseconds timeout)
{
    HttpRequest request;
    request.url = url;
    request.timeout = timeout;
    return request;
}

HttpRequest HttpRequest::post(const QUrl& url, const QByteArray& body, std::chrono::milliseconds timeout)
{
    HttpRequest request = get(url, timeout);
    request.method = "POST";
    request.body = body;
    return request;
}

} // namespace pravix
