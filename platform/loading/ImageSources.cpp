#include "ImageSources.h"

#include "CodecImageSource.h"
#include "FileReadBuffer.h"
#include "HeicImageSource.h"
#include "PictureStreamDecoder.h"

namespace pravix
{

std::unique_ptr<ImageSource> createImageSourceWithFile(const std::string& path, std::string* whyNot)
{
    std::unique_ptr<FileReadBuffer> file = FileReadBuffer::open(path, whyNot);
    if (!file)
    {
        return nullptr;
    }
    return createImageSourceWithStream(std::move(file));
}

std::unique_ptr<ImageSource> createImageSourceWithStream(std::unique_ptr<std::streambuf> file)
{
    if (!file)
    {
        return nullptr;
    }
    uint8_t head[kPictureFormatHeadBytes];
    stream::seek(*file, 0);
    const PictureFormat format = identifyPictureFormat(head, stream::read(*file, head, sizeof head));
    if (format == PictureFormat::Heif)
    {
        return HeicImageSource::createWithStream(std::move(file));
    }
    return CodecImageSource::create(std::move(file), format);
}

}  // namespace pravix
