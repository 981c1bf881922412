#pragma once

// The whole body of an http or https address for a caller that waits for it, as the image loader
// needs for a picture named by a web address. Everything happens on the calling thread: a network
// access manager of its own and a local event loop that ends at the answer, at the time limit or
// past the byte limit. So it serves the GUI thread and the batch's worker thread alike (a plain
// thread is adopted by Qt) while the application object exists.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace pravix
{

class UrlDataFetcher
{
public:
    // Long enough for a photo of some megabytes on a slow line; a server that never answers costs
    // no more than this.
    static constexpr std::chrono::milliseconds kDefaultTimeout{30000};

    explicit UrlDataFetcher(std::chrono::milliseconds timeout = kDefaultTimeout);

    std::chrono::milliseconds timeout() const { return mTimeout; }

    // Hands `keep` the body of a 2xx answer (redirects followed, never from https to http) of at most
    // maxBytes bytes, piece by piece as it arrives, so that the body is kept once, where the caller
    // keeps it; true once it is whole. False, with the reason in `whyNot`, for an address that is not
    // http or https, no application object, a connection error, an error status, no whole answer
    // within the time limit, a longer body (told by its Content-Length or as it arrives; the transfer
    // is aborted then, so no more than maxBytes are ever taken) or a piece `keep` could not keep.
    using Keep = std::function<bool(const uint8_t* bytes, size_t count)>;
    bool fetchInto(const std::string& url, uint64_t maxBytes, const Keep& keep, std::string* whyNot = nullptr) const;

private:
    std::chrono::milliseconds mTimeout;
};

} // namespace pravix
