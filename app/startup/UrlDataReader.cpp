#include "UrlDataReader.h"

#include "SafeHEICLoader.h"

#include <iostream>

namespace pravix
{

void installUrlDataReader(std::chrono::milliseconds timeout)
{
    SafeHEICLoader::setUrlDataReader([timeout](const std::string& url, uint64_t maxBytes) {
        std::string whyNot;
        std::optional<std::vector<uint8_t>> data = UrlDataFetcher(timeout).fetch(url, maxBytes, &whyNot);
        if (!data) {
            std::cout << "【日志】下载失败[" << url << "]: " << whyNot << std::endl;
        }
        return data;
    });
}

}  // namespace pravix
