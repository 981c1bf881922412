#include "CodecImageSource.h"

#include "FileReadBuffer.h"
#include "PictureDecoderProcess.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

#include <openjpeg.h>

namespace pravix
{
namespace
{

// A shared-memory file holding the stream's bytes, for a helper to read; -1 with why when it cannot be
// made.
int copiedIntoSharedFile(std::streambuf& file, std::string& why)
{
    const int fd = memfd_create("pravix-picture", MFD_CLOEXEC);
    if (fd < 0)
    {
        why = std::string("cannot hold the picture: ") + std::strerror(errno);
        return -1;
    }
    stream::seek(file, 0);
    char buffer[64 * 1024];
    for (;;)
    {
        const size_t n = stream::read(file, buffer, sizeof buffer);
        if (n == 0)
        {
            return fd;
        }
        size_t done = 0;
        while (done < n)
        {
            const ssize_t w = ::write(fd, buffer + done, n - done);
            if (w < 0 && errno == EINTR)
            {
                continue;
            }
            if (w <= 0)
            {
                why = std::string("cannot hold the picture: ") + std::strerror(errno);
                ::close(fd);
                return -1;
            }
            done += static_cast<size_t>(w);
        }
    }
}

// OpenJPEG's version, in the log once, the first time a JPEG 2000 picture is read: what its decoding
// depends on.
void logOpenJpegVersion()
{
    static std::once_flag once;
    std::call_once(once, [] { std::cout << "【日志】OpenJPEG " << opj_version() << std::endl; });
}

}  // namespace

CodecImageSource::CodecImageSource(std::unique_ptr<std::streambuf> file, PictureFormat format)
    : mFile(std::move(file)), mFormat(format)
{
}

CodecImageSource::~CodecImageSource()
{
    if (mOwnsDescriptor)
    {
        ::close(mDescriptor);
    }
}

std::unique_ptr<CodecImageSource> CodecImageSource::create(std::unique_ptr<std::streambuf> file, PictureFormat format)
{
    if (!file)
    {
        return nullptr;
    }
    std::unique_ptr<CodecImageSource> source(new CodecImageSource(std::move(file), format));
    if (format == PictureFormat::Unknown || format == PictureFormat::Heif)
    {
        source->mError = "neither HEIF nor JPEG, PNG, TIFF, BMP or JPEG 2000";
        return source;
    }
    if (format == PictureFormat::Jpeg2000)
    {
        logOpenJpegVersion();
    }
    if (auto* opened = dynamic_cast<FileReadBuffer*>(source->mFile.get()))
    {
        source->mDescriptor = opened->descriptor();
    }
    else
    {
        source->mDescriptor = copiedIntoSharedFile(*source->mFile, source->mError);
        source->mOwnsDescriptor = source->mDescriptor >= 0;
        if (source->mDescriptor < 0)
        {
            return source;
        }
    }
    std::string whyNot;
    source->mHelper = PictureDecoderProcess::start(source->mDescriptor, format, whyNot);
    if (!source->mHelper)
    {
        source->mError = std::string(pictureFormatName(format)) + ": " + whyNot;
        return source;
    }
    // The header without its colour profile, which stays with the helper's until the picture takes it.
    const PictureHeader& header = source->mHelper->header();
    source->mHasIccProfile = !header.iccProfile.empty();
    source->mHeader = PictureHeader{header.width, header.height, header.orientation, header.bottomUp, {},
                                    header.exifBlock};
    return source;
}

std::optional<ImageProperties> CodecImageSource::propertiesAtIndex(size_t index) const
{
    if (index != 0 || !mHeader)
    {
        return std::nullopt;
    }
    ImageProperties properties;
    const bool swap = mHeader->orientation >= 5;
    properties.pixelWidth = swap ? mHeader->height : mHeader->width;
    properties.pixelHeight = swap ? mHeader->width : mHeader->height;
    properties.orientation = mHeader->orientation;
    properties.hasIccProfile = mHasIccProfile;
    return properties;
}

std::optional<Bitmap> CodecImageSource::imageAtIndex(size_t index) const
{
    if (index != 0)
    {
        return std::nullopt;
    }
    return decode(false, 0, false);
}

std::optional<Bitmap> CodecImageSource::thumbnailAtIndex(size_t index, const ThumbnailOptions& options) const
{
    if (index != 0)
    {
        return std::nullopt;
    }
    return decode(options.createWithTransform, options.maxPixelSize, options.keepAlpha);
}

std::vector<uint8_t> CodecImageSource::exifBlock() const
{
    return mHeader ? mHeader->exifBlock : std::vector<uint8_t>();
}

std::optional<Bitmap> CodecImageSource::decode(bool upright, uint32_t maxPixelSize, bool keepAlpha) const
{
    if (!mHeader || mDecodeFailed)
    {
        return std::nullopt;
    }
    ++mDecodeCount;
    std::string whyNot;
    // The helper that read the header decodes; a picture asked for again gets a fresh one.
    std::unique_ptr<PictureDecoderProcess> helper = std::move(mHelper);
    if (!helper)
    {
        helper = PictureDecoderProcess::start(mDescriptor, mFormat, whyNot);
    }
    std::optional<Bitmap> picture =
        helper ? helper->decode(DecodeRequest{upright, maxPixelSize, keepAlpha}, whyNot) : std::nullopt;
    if (!picture)
    {
        mError = std::string(pictureFormatName(mFormat)) + ": " + whyNot;
        mDecodeFailed = true;
        return std::nullopt;
    }
    // The profile as the helper read it: the one copy of it.
    picture->iccProfile = std::move(helper->header().iccProfile);
    return picture;
}

}  // namespace pravix
