#include "ConvertEntry.h"

#include "AtomicFileWriter.h"
#include "FolderPermissionChecker.h"
#include "HeicExif.h"
#include "ImageEncoders.h"
#include "ImageSources.h"
#include "RenameWithoutReplacing.h"
#include "SafeHEICLoader.h"
#include "ZLImage.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

// How many names a finished file tries when the free one chosen is taken meanwhile, again and again.
constexpr int kNameAttempts = 100;

// Where an output goes: "folder/name.suffix", or "folder/name(n).suffix" while that is taken.
struct OutputName
{
    std::string folder;
    std::string name;
    std::string suffix;
};

struct WriteFailure
{
    int number = 0;  // errno value, 0 when none applies
    std::string text;
};

void logDiskFull(const std::string& folder, const std::string& reason)
{
    std::cout << "【日志】磁盘已满，无法写入[" << folder << "]: " << reason << std::endl;
}

// False, with a log line, when the file name of `path` is longer than the output folder takes.
bool nameFits(const OutputName& output, const std::string& path)
{
    const long longest = pathconf(output.folder.c_str(), _PC_NAME_MAX);
    const size_t limit = longest > 0 ? static_cast<size_t>(longest) : NAME_MAX;
    const size_t length = path.size() - output.folder.size() - 1;
    if (length <= limit)
    {
        return true;
    }
    std::cout << "【日志】输出文件名太长[" << path << "]: " << length << " bytes, the folder takes at most " << limit
              << std::endl;
    return false;
}

// Gives a finished file the free output name chosen earlier, never replacing a file: when that name
// was taken meanwhile (another copy of the program, a sync client), the next free one. `place` answers
// 0, EEXIST for a taken name, or another errno value. The name the file got; none with `failure` set.
std::optional<std::string> placeUnderFreeName(const OutputName& output, std::string target,
                                              const std::function<int(const std::string&)>& place,
                                              WriteFailure& failure)
{
    for (int attempt = 1;; ++attempt)
    {
        const int result = place(target);
        if (result == 0)
        {
            return target;
        }
        if (result != EEXIST)
        {
            failure = WriteFailure{result, std::strerror(result)};
            return std::nullopt;
        }
        if (attempt == kNameAttempts)
        {
            failure = WriteFailure{EEXIST, "every free name was taken while writing"};
            return std::nullopt;
        }
        target = freeOutputPath(output.folder, output.name, output.suffix);
        if (!nameFits(output, target))
        {
            failure = WriteFailure{ENAMETOOLONG, std::strerror(ENAMETOOLONG)};
            return std::nullopt;
        }
    }
}

// The output without Exif: written whole beside its name, flushed, then given a free name.
std::optional<std::string> writeUnderFreeName(const std::vector<uint8_t>& data, const OutputName& output,
                                              const std::string& first, WriteFailure& failure)
{
    if (data.empty())
    {
        failure = WriteFailure{0, "no data to write"};
        return std::nullopt;
    }
    AtomicFileWriter writer(first, true, AtomicFileWriter::Existing::Keep);
    if (!(writer.open() && writer.write(data.data(), data.size())))
    {
        failure = WriteFailure{writer.errorNumber(), writer.error()};
        return std::nullopt;
    }
    return placeUnderFreeName(
        output, first, [&writer](const std::string& target) { return writer.commitAs(target) ? 0 : writer.errorNumber(); },
        failure);
}

// The output with its Exif block: the splice writes a file of ours in the output folder, which then
// takes a free name the same way. None when the splice answered 0 (`spliceFailed`, nothing left
// behind) or the spliced file could not be given a name (`failure`).
std::optional<std::string> spliceUnderFreeName(const ExifHooks& exif, const std::string& jpeg, ExifData* tree,
                                               const OutputName& output, const std::string& first,
                                               bool& spliceFailed, WriteFailure& failure)
{
    std::string spliced;
    for (int attempt = 0; attempt < 100 && spliced.empty(); ++attempt)
    {
        // Created as any new file is, so the umask applies to what the splice leaves there.
        std::string candidate = AtomicFileWriter::scratchPathIn(output.folder);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
        {
            close(fd);
            spliced = std::move(candidate);
        }
        else if (errno != EEXIST)
        {
            failure = WriteFailure{errno, std::strerror(errno)};
            return std::nullopt;
        }
    }
    if (spliced.empty())
    {
        failure = WriteFailure{EEXIST, "no free temporary name"};
        return std::nullopt;
    }
    if (exif.splice(jpeg.c_str(), spliced.c_str(), tree) == 0)
    {
        spliceFailed = true;
        ::unlink(spliced.c_str());
        return std::nullopt;
    }
    std::optional<std::string> placed = placeUnderFreeName(
        output, first, [&spliced](const std::string& target) { return renameWithoutReplacing(spliced, target); },
        failure);
    if (!placed)
    {
        ::unlink(spliced.c_str());
    }
    return placed;
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
    std::string whyNot;
    std::unique_ptr<ImageSource> source = createImageSourceWithFile(entry.heicPath, &whyNot);
    if (!source)
    {
        std::cout << "【日志】无法读取源文件[" << entry.heicPath << "]: " << whyNot << std::endl;
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
    const OutputName output{*folder, entry.fileName, options.saveSuff};
    const std::string outputPath = freeOutputPath(*folder, entry.fileName, options.saveSuff);
    if (!nameFits(output, outputPath))
    {
        return failed(kConversionFailure);
    }
    const FolderWriteProbe probe = FolderPermissionChecker::probeFolderAtPath(*folder);
    if (probe.verdict == FolderWriteProbe::Verdict::ReadOnly)
    {
        return failed(kFolderReadOnly);
    }
    if (probe.verdict == FolderWriteProbe::Verdict::Full)
    {
        logDiskFull(*folder, probe.reason);
        return failed(kConversionFailure);
    }

    WriteFailure failure;
    std::optional<std::string> written;
    // Without Exif when none is carried, when the JPEG for the splice found no place or the splice failed.
    bool writePlain = true;
    // An empty final encoding fails below; it never reaches the temporary file.
    if (exifTree && exif.splice && !outData.empty())
    {
        const std::optional<std::string> temporary = writeTemporaryJpeg(options.cachePath, *folder, outData);
        if (temporary)
        {
            bool spliceFailed = false;
            written = spliceUnderFreeName(exif, *temporary, exifTree.get(), output, outputPath, spliceFailed, failure);
            if (spliceFailed)
            {
                // The picture is still written, without Exif.
                std::cout << "【日志】添加dExif失败" << std::endl;
            }
            // A spliced file that could not be given a name leaves no name for the plain one either.
            writePlain = spliceFailed;
            std::error_code ec;
            fs::remove(*temporary, ec);
        }
    }
    if (!written && writePlain)
    {
        written = writeUnderFreeName(outData, output, outputPath, failure);
    }
    if (!written)
    {
        std::cout << "【日志】writeToFile[" << failure.text << "]" << std::endl;
        if (failure.number == ENOSPC || failure.number == EDQUOT)
        {
            logDiskFull(*folder, failure.text);
        }
        return failed(kConversionFailure);
    }
    EntryOutcome outcome;
    outcome.converted = true;
    outcome.toPath = *written;
    return outcome;
}

}  // namespace pravix
