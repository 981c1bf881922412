#include "ConvertEntry.h"

#include "FolderPermissionChecker.h"
#include "HeicExif.h"
#include "ImageCodecs.h"
#include "SafeHEICLoader.h"
#include "ZLImage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

#include <libexif/exif-data.h>

namespace fs = std::filesystem;

namespace pravix
{
namespace
{

const char* const kConversionFailure = "ConversionFailure";
const char* const kFileNotThere = "FileNotThereTitle";
const char* const kFolderReadOnly = "FolderReadOnly";

ImageFileType finalTypeFor(const std::string& suffix)
{
    if (suffix == "PNG")
    {
        return ImageFileType::Png;
    }
    if (suffix == "BMP")
    {
        return ImageFileType::Bmp;
    }
    if (suffix == "JPEG")
    {
        return ImageFileType::Jpeg2000;
    }
    if (suffix == "TIFF")
    {
        return ImageFileType::Tiff;
    }
    return ImageFileType::Jpeg;
}

struct ExifRelease
{
    void operator()(ExifData* d) const
    {
        if (d != nullptr)
        {
            exif_data_unref(d);
        }
    }
};
using ExifPtr = std::unique_ptr<ExifData, ExifRelease>;

// A fresh file name in `folder` for the JPEG waiting for its Exif splice; two running copies of the
// program never share it.
std::optional<std::string> makeTemporaryPath(const std::string& folder)
{
    if (!createDirectory(folder))
    {
        return std::nullopt;
    }
    std::string pattern = folder + "/temp-XXXXXX.hevc";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = mkstemps(buffer.data(), 5);
    if (fd < 0)
    {
        return std::nullopt;
    }
    close(fd);
    return std::string(buffer.data());
}

EntryOutcome failed(const char* key)
{
    EntryOutcome outcome;
    outcome.errorKey = key;
    return outcome;
}

}  // namespace

ExifHooks defaultExifHooks()
{
    ExifHooks hooks;
    hooks.create = [](const ImageFileReaderInterface& reader) { return CreateExifDataFromReader(reader).release(); };
    hooks.splice = JpgAddExif;
    return hooks;
}

std::optional<std::string> createDirectory(const std::string& path)
{
    if (path.empty())
    {
        return std::nullopt;
    }
    std::error_code ec;
    if (fs::exists(path, ec))
    {
        return path;
    }
    fs::create_directories(path, ec);
    if (ec || !fs::exists(path, ec))
    {
        return std::nullopt;
    }
    return path;
}

std::string freeOutputPath(const std::string& folder, const std::string& name, const std::string& suffix)
{
    std::error_code ec;
    std::string candidate = folder + "/" + name + "." + suffix;
    for (int n = 1; fs::exists(fs::symlink_status(candidate, ec)); ++n)
    {
        candidate = folder + "/" + name + "(" + std::to_string(n) + ")." + suffix;
    }
    return candidate;
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& data, std::string& error)
{
    if (data.empty())
    {
        error = "no data to write";
        return false;
    }
    std::string pattern = path + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0)
    {
        error = std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < data.size())
    {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            break;
        }
        done += static_cast<size_t>(n);
    }
    const int writeErrno = errno;
    fchmod(fd, 0644);
    const bool closed = close(fd) == 0;
    if (done != data.size() || !closed || std::rename(buffer.data(), path.c_str()) != 0)
    {
        error = std::strerror(done != data.size() ? writeErrno : errno);
        unlink(buffer.data());
        return false;
    }
    return true;
}

EntryOutcome convertEntry(const EntryPaths& entry, const ConversionOptions& options, const ExifHooks& exif)
{
    // One parse of the file serves the Exif module and the decoder; its items are read as they are needed.
    std::unique_ptr<HeicImageSource> source = HeicImageSource::createWithFile(entry.heicPath);
    if (!source)
    {
        return failed(kConversionFailure);
    }
    std::cout << "【日志】使用OSXAPI 进行转换" << std::endl;

    const ImageFileType finalType = finalTypeFor(options.saveSuff);
    // The tree only ever goes into JPEG output; for other types it would be made and dropped unused.
    ExifPtr exifTree;
    if (options.bExif && finalType == ImageFileType::Jpeg && exif.create && source->reader() != nullptr)
    {
        exifTree.reset(exif.create(*source->reader()));
    }

    std::optional<Bitmap> decoded = SafeHEICLoader::loadHEICWithImageIOFromSource(source.get(), entry.heicPath);
    source.reset();
    if (!decoded)
    {
        return failed(kConversionFailure);
    }
    EncodeProperties first;
    first.compressionFactor = static_cast<float>(options.nQuality) / 100.0f;
    std::vector<uint8_t> jpeg = encodeImage(*decoded, ImageFileType::Jpeg, first);
    decoded.reset();
    if (jpeg.empty())
    {
        return failed(kConversionFailure);
    }

    // The picture the final encode reads: the first JPEG decoded again, scaled when asked.
    std::optional<Bitmap> picture = decodeJpegParallel(jpeg.data(), jpeg.size());
    jpeg = {};
    if (picture && options.imageZooming < 1.0f)
    {
        const double zoom = static_cast<double>(options.imageZooming);
        picture = ZLImage::resizeImage(*picture, ImageSize{picture->width * zoom, picture->height * zoom});
    }
    std::vector<uint8_t> outData;
    if (picture)
    {
        outData = encodeImage(*picture, finalType, EncodeProperties{});
    }
    picture.reset();

    const std::string wantedFolder = options.savePath ? *options.savePath : entry.originalFilePath;
    const std::optional<std::string> folder = createDirectory(wantedFolder);
    if (!folder)
    {
        return failed(kFileNotThere);
    }
    const std::string outputPath = freeOutputPath(*folder, entry.fileName, options.saveSuff);
    if (FolderPermissionChecker::isFolderReadOnlyAtPath(*folder))
    {
        return failed(kFolderReadOnly);
    }

    std::string error;
    bool written = false;
    if (exifTree && exif.splice)
    {
        const std::optional<std::string> temporary = makeTemporaryPath(options.cachePath);
        if (temporary && writeFileAtomically(*temporary, outData, error))
        {
            if (exif.splice(temporary->c_str(), outputPath.c_str(), exifTree.get()) != 0)
            {
                written = true;
            }
            else
            {
                // A half-written output must not be reported as converted: write the picture without Exif.
                std::cout << "【日志】添加dExif失败" << std::endl;
                std::error_code ec;
                fs::remove(outputPath, ec);
                written = writeFileAtomically(outputPath, outData, error);
            }
        }
        else
        {
            written = writeFileAtomically(outputPath, outData, error);
        }
        if (temporary)
        {
            std::error_code ec;
            fs::remove(*temporary, ec);
        }
    }
    else
    {
        written = writeFileAtomically(outputPath, outData, error);
    }
    if (!error.empty() && !written)
    {
        std::cout << "【日志】writeToFile[" << error << "]" << std::endl;
    }
    if (!written)
    {
        return failed(kConversionFailure);
    }
    EntryOutcome outcome;
    outcome.converted = true;
    outcome.toPath = outputPath;
    return outcome;
}

}  // namespace pravix
