#include "ConvertEntry.h"

#include "AtomicFileWriter.h"
#include "FolderPermissionChecker.h"
#include "HeicExif.h"
#include "ImageCodecs.h"
#include "ImageSource.h"
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
// program never share it. Why it could not be made goes into `error`.
std::optional<std::string> makeTemporaryPath(const std::string& folder, std::string& error)
{
    if (folder.empty())
    {
        error = "no folder";
        return std::nullopt;
    }
    if (!createDirectory(folder))
    {
        error = "the folder cannot be made";
        return std::nullopt;
    }
    std::string pattern = folder + "/temp-XXXXXX.hevc";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = mkstemps(buffer.data(), 5);
    if (fd < 0)
    {
        error = std::strerror(errno);
        return std::nullopt;
    }
    close(fd);
    return std::string(buffer.data());
}

// Writes the JPEG waiting for its Exif splice into a temporary file: in the cache folder, or, when
// that cannot take it (never set, removed, read-only, full), beside the output, so the Exif block is
// not lost to an unusable cache folder. None when neither place takes it.
std::optional<std::string> writeTemporaryJpeg(const std::string& cachePath, const std::string& outputFolder,
                                              const std::vector<uint8_t>& jpeg)
{
    for (const std::string* folder : {&cachePath, &outputFolder})
    {
        std::string error;
        std::optional<std::string> temporary = makeTemporaryPath(*folder, error);
        // Read back at once and removed: no need to wait for the disk.
        AtomicFileWriter scratch(temporary.value_or(std::string()), false);
        if (temporary && !(scratch.open() && scratch.write(jpeg.data(), jpeg.size()) && scratch.commit()))
        {
            error = scratch.error();
            std::error_code ec;
            fs::remove(*temporary, ec);
            temporary.reset();
        }
        if (temporary)
        {
            return temporary;
        }
        if (folder == &cachePath)
        {
            std::cout << "【日志】缓存文件夹不可用[" << cachePath << "]: " << error << "，临时文件放在输出文件夹"
                      << std::endl;
        }
        else
        {
            std::cout << "【日志】无法写临时文件[" << outputFolder << "]: " << error << "，不带 Exif 写入" << std::endl;
        }
    }
    return std::nullopt;
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
    hooks.createFromBlock = [](const std::vector<uint8_t>& block) { return CreateExifDataFromBlock(block).release(); };
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
    AtomicFileWriter writer(path);
    if (writer.open() && writer.write(data.data(), data.size()) && writer.commit())
    {
        return true;
    }
    error = writer.error();
    return false;
}

EntryOutcome convertEntry(const EntryPaths& entry, const ConversionOptions& options, const ExifHooks& exif)
{
    // The file is read as the picture its bytes are, whatever its name says. One parse of a HEIF file
    // serves the Exif module and the decoder; its items are read as they are needed.
    std::unique_ptr<ImageSource> source = ImageSource::createWithFile(entry.heicPath);
    if (!source)
    {
        return failed(kConversionFailure);
    }
    std::cout << "【日志】使用OSXAPI 进行转换" << std::endl;
    const PictureFormat format = source->format();
    if (format != PictureFormat::Heif && format != PictureFormat::Unknown)
    {
        std::cout << "【日志】文件内容为 " << pictureFormatName(format) << "，不是 HEIC[" << entry.heicPath << "]"
                  << std::endl;
    }

    const ImageFileType finalType = finalTypeFor(options.saveSuff);
    // The tree only ever goes into JPEG output; for other types it would be made and dropped unused.
    ExifPtr exifTree;
    if (options.bExif && finalType == ImageFileType::Jpeg)
    {
        if (source->reader() != nullptr)
        {
            if (exif.create)
            {
                exifTree.reset(exif.create(*source->reader()));
            }
        }
        else if (const std::vector<uint8_t> block = source->exifBlock(); !block.empty())
        {
            if (exif.createFromBlock)
            {
                exifTree.reset(exif.createFromBlock(block));
            }
        }
        else if (format != PictureFormat::Heif && source->count() > 0)
        {
            // Only HEIF Exif items and a JPEG's Exif segment are carried over.
            std::cout << "【日志】" << pictureFormatName(format) << " 文件没有可保留的 Exif，不带 Exif 写入["
                      << entry.heicPath << "]" << std::endl;
        }
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

    // The picture the final encode reads: the first JPEG decoded again, scaled when asked. Unscaled, the
    // JPEG goes to the output type straight away, a PNG band by band without the picture held whole.
    std::vector<uint8_t> outData;
    if (options.imageZooming < 1.0f)
    {
        std::optional<Bitmap> picture = decodeJpegParallel(jpeg.data(), jpeg.size());
        jpeg = {};
        if (picture)
        {
            const double zoom = static_cast<double>(options.imageZooming);
            picture = ZLImage::resizeImage(*picture, ImageSize{picture->width * zoom, picture->height * zoom});
        }
        if (picture)
        {
            outData = encodeImage(*picture, finalType, EncodeProperties{});
        }
    }
    else
    {
        outData = transcodeJpeg(jpeg.data(), jpeg.size(), finalType, EncodeProperties{});
    }
    jpeg = {};

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
    // An empty final encoding fails below; it never reaches the temporary file.
    if (exifTree && exif.splice && !outData.empty())
    {
        const std::optional<std::string> temporary = writeTemporaryJpeg(options.cachePath, *folder, outData);
        if (temporary && exif.splice(temporary->c_str(), outputPath.c_str(), exifTree.get()) != 0)
        {
            written = true;
        }
        else
        {
            if (temporary)
            {
                // The picture is still written, without Exif, over whatever a failed splice left.
                std::cout << "【日志】添加dExif失败" << std::endl;
            }
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
