#pragma once

// The whole body of an http or https address for a caller that waits for it, as the image loader
// needs for a picture named by a web address. Everything happens on the calling thread: a network
// access manager of its own and a local event loop that ends at the answer, at the time limit or
// past the byte limit. So it serves the GUI thread and the batch's worker thread alike (a plain
// thread is adopted by Qt) while the application object exists.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

    // The body of a 2xx answer (redirects followed, never from https to http) of at most maxBytes
    // bytes. Nothing, with the reason in `whyNot`, for an address that is not http or https, no
    // application object, a connection error, an error status, no whole answer within the time
    // limit, or a longer body (told by its Content-Length or as it arrives; the transfer is aborted
    // then, so no more than maxBytes are ever held).
    std::optional<std::vector<uint8_t>> fetch(const std::string& url, uint64_t maxBytes,
                                              std::string* whyNot = nullptr) const;

private:
    std::chrono::milliseconds mTimeout;
};

} // namespace pravix
