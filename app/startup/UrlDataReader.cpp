#include "UrlDataReader.h"

#include "MemoryFile.h"
#include "SafeHEICLoader.h"

#include <iostream>

namespace pravix
{

void installUrlDataReader(std::chrono::milliseconds timeout)
{
    SafeHEICLoader::setUrlDataReader([timeout](const std::string& url, uint64_t maxBytes) {
        std::string whyNot = "no memory file";
        std::optional<MemoryFile> file = MemoryFile::create();
        const bool fetched =
            file && UrlDataFetcher(timeout).fetchInto(
                        url, maxBytes,
                        [&file](const uint8_t* bytes, size_t count) { return file->append(bytes, count); }, &whyNot);
        if (!fetched) {
            std::cout << "【日志】下载失败[" << url << "]: " << whyNot << std::endl;
            return std::unique_ptr<std::streambuf>();
        }
        return std::unique_ptr<std::streambuf>(file->reader());
    });
}

}  // namespace pravix
