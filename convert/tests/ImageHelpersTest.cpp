// The loader's and the resizer's members that nothing calls yet: a round trip, a size and a refusal each.
#include "FolderPermissionChecker.h"
#include "HeicExif.h"
#include "ImageEncoders.h"
#include "MemoryFile.h"
#include "PictureLoading.h"
#include "SafeHEICLoader.h"
#include "TempFolder.h"
#include "ZLImage.h"

#include "SmallIccProfile.h"

#include <gtest/gtest.h>

#include <libexif/exif-utils.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

using namespace pravix;
using namespace converttest;
namespace fs = std::filesystem;

namespace
{

std::optional<Bitmap> quietly(const std::function<std::optional<Bitmap>()>& load, std::string* log = nullptr)
{
    testing::internal::CaptureStdout();
    std::optional<Bitmap> image = load();
    const std::string text = testing::internal::GetCapturedStdout();
    if (log != nullptr)
    {
        *log = text;
    }
    return image;
}

Bitmap solid(uint32_t width, uint32_t height, uint8_t value, uint32_t channels = 3)
{
    Bitmap b;
    b.allocate(width, height, channels);
    std::fill(b.pixels.begin(), b.pixels.end(), value);
    return b;
}


// The JPEG with an Exif APP1 segment holding only IFD0's Orientation, right after the start of image.
std::vector<uint8_t> withExifOrientation(const std::vector<uint8_t>& jpeg, uint16_t orientation)
{
    const ExifDataPtr exif(exif_data_new());
    exif_data_set_byte_order(exif.get(), EXIF_BYTE_ORDER_MOTOROLA);
    ExifEntry* entry = InitExifEntryTag(exif.get(), EXIF_IFD_0, EXIF_TAG_ORIENTATION);
    EXPECT_NE(entry, nullptr);
    if (entry != nullptr)
    {
        exif_set_short(entry->data, EXIF_BYTE_ORDER_MOTOROLA, orientation);
    }
    unsigned char* raw = nullptr;
    unsigned int size = 0;
    exif_data_save_data(exif.get(), &raw, &size);
    const uint8_t head[] = {0xFF, 0xD8, 0xFF, 0xE1, uint8_t((size + 2) >> 8), uint8_t((size + 2) & 0xFF)};
    std::string out(reinterpret_cast<const char*>(head), sizeof head);
    out.append(reinterpret_cast<const char*>(raw), size);
    std::free(raw);
    out.append(reinterpret_cast<const char*>(jpeg.data()) + 2, jpeg.size() - 2);
    return std::vector<uint8_t>(out.begin(), out.end());
}

}  // namespace

// Any image the codecs read comes as it is; a HEIC comes upright through the ImageIO loader.
TEST(ImageHelpersTest, LoadHEICImageFromPath)
{
    const auto turned = quietly([] { return SafeHEICLoader::loadHEICImageFromPath(platformFixture("rotate270.heic")); });
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->width, 96u);
    EXPECT_EQ(turned->height, 128u);
    const auto viaLoader = quietly([] { return SafeHEICLoader::loadHEICWithImageIOFromPath(platformFixture("rotate270.heic")); });
    ASSERT_TRUE(viaLoader);
    EXPECT_EQ(turned->pixels, viaLoader->pixels);

    const auto png = SafeHEICLoader::loadHEICImageFromPath(platformFixture("source_128x96.png"));
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 128u);
    EXPECT_EQ(png->height, 96u);

    for (const std::string& bad : {platformFixture("missing.heic"), platformFixture("hostile_truncated_file.heic"),
                                   platformFixture("README.md"), platformFixture(""), std::string()})
    {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(quietly([&] { return SafeHEICLoader::loadHEICImageFromPath(bad); }));
    }
}

// A file URL by its path, percent escapes decoded; a broken file URL or another scheme is refused.
TEST(ImageHelpersTest, LoadHEICImageFromURL)
{
    TempFolder folder;
    fs::copy_file(platformFixture("single.heic"), folder.path() / "a photo#1.heic");
    const std::string path = folder / "a photo#1.heic";
    std::string escaped;
    for (char c : path)
    {
        escaped += c == ' ' ? std::string("%20") : c == '#' ? std::string("%23") : std::string(1, c);
    }
    for (const std::string& url : {"file://" + escaped, "FILE://localhost" + escaped, "file:" + escaped,
                                   "file://" + escaped + "?version=2"})
    {
        SCOPED_TRACE(url);
        const auto image = quietly([&] { return SafeHEICLoader::loadHEICImageFromURL(url); });
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, 128u);
    }
    for (const std::string& url :
         {std::string("ftp://127.0.0.1/single.heic"), "file://example.org" + escaped, path, std::string("http:/x.heic"),
          std::string("file:relative.heic"), "file://" + escaped + "%00", "file://" + escaped + "%2",
          "file://" + escaped + "%zz", std::string("file://"), std::string()})
    {
        SCOPED_TRACE(url);
        std::string log;
        EXPECT_FALSE(quietly([&] { return SafeHEICLoader::loadHEICImageFromURL(url); }, &log));
        EXPECT_NE(log.find("不是本地文件 URL"), std::string::npos) << log;
    }
}

namespace
{
// Installs a reader of web addresses for one test and takes it away after.
class InstalledUrlReader
{
public:
    explicit InstalledUrlReader(SafeHEICLoader::UrlDataReader reader)
    {
        SafeHEICLoader::setUrlDataReader(std::move(reader));
    }
    ~InstalledUrlReader()
    {
        SafeHEICLoader::setUrlDataReader(nullptr);
        SafeHEICLoader::setUrlByteLimit(SafeHEICLoader::kMaxPictureBytes);
    }
};
}  // namespace

// An http or https URL through the installed reader, with a file's byte limit; its bytes decoded as a
// file's: any picture the codecs read, or a HEIC through the ImageIO loader, upright.
TEST(ImageHelpersTest, LoadHEICImageFromWebURL)
{
    std::vector<std::pair<std::string, uint64_t>> asked;
    std::map<std::string, std::vector<uint8_t>> served = {
        {"http://photos.test/a.png", encodePng(solid(12, 9, 50))},
        {"HTTPS://photos.test/turned.heic", readBytes(platformFixture("rotate270.heic"))},
        {"http://photos.test/text.heic", std::vector<uint8_t>(300, 'x')},
        {"http://photos.test/cut.png", {}}};
    served["http://photos.test/cut.png"] = served["http://photos.test/a.png"];
    served["http://photos.test/cut.png"].resize(40);
    InstalledUrlReader installed(
        [&](const std::string& url, uint64_t maxBytes) -> std::unique_ptr<std::streambuf>
        {
            asked.emplace_back(url, maxBytes);
            const auto found = served.find(url);
            if (found == served.end())
            {
                return nullptr;
            }
            // Kept where they arrive, as the application's reader keeps them.
            std::optional<MemoryFile> file = MemoryFile::create();
            return file && file->append(found->second.data(), found->second.size()) ? file->reader() : nullptr;
        });

    const auto png = quietly([] { return SafeHEICLoader::loadHEICImageFromURL("http://photos.test/a.png"); });
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 12u);
    EXPECT_EQ(png->height, 9u);
    const auto heic = quietly([] { return SafeHEICLoader::loadHEICImageFromURL("HTTPS://photos.test/turned.heic"); });
    ASSERT_TRUE(heic);
    EXPECT_EQ(heic->width, 96u);
    EXPECT_EQ(heic->height, 128u);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], std::make_pair(std::string("http://photos.test/a.png"), SafeHEICLoader::kMaxPictureBytes));

    // Not a picture, a damaged one, and a failed fetch: nothing, and a line that says so.
    for (const std::string url :
         {"http://photos.test/text.heic", "http://photos.test/cut.png", "http://photos.test/404"})
    {
        SCOPED_TRACE(url);
        std::string log;
        EXPECT_FALSE(quietly([&] { return SafeHEICLoader::loadHEICImageFromURL(url); }, &log));
        EXPECT_NE(log.find("无法从 URL 加载图片[" + url + "]"), std::string::npos) << log;
    }

    // The reader is asked for no more than the limit, and more than it asked for is not taken.
    const uint64_t pngSize = served["http://photos.test/a.png"].size();
    SafeHEICLoader::setUrlByteLimit(pngSize - 1);
    std::string log;
    EXPECT_FALSE(quietly([] { return SafeHEICLoader::loadHEICImageFromURL("http://photos.test/a.png"); }, &log));
    EXPECT_EQ(asked.back().second, pngSize - 1);
    EXPECT_NE(log.find("超过 " + std::to_string(pngSize - 1) + " 字节"), std::string::npos) << log;
    SafeHEICLoader::setUrlByteLimit(pngSize);
    EXPECT_TRUE(quietly([] { return SafeHEICLoader::loadHEICImageFromURL("http://photos.test/a.png"); }));
}

TEST(ImageHelpersTest, LoadHEICImageFromWebURLWithoutReader)
{
    SafeHEICLoader::setUrlDataReader(nullptr);
    std::string log;
    EXPECT_FALSE(quietly([] { return SafeHEICLoader::loadHEICImageFromURL("http://127.0.0.1/single.heic"); }, &log));
    EXPECT_NE(log.find("没有网络读取器"), std::string::npos) << log;
    // A reader that throws is a failure like any other.
    InstalledUrlReader installed([](const std::string&, uint64_t) -> std::unique_ptr<std::streambuf>
                                 { throw std::runtime_error("network gone"); });
    EXPECT_FALSE(quietly([] { return SafeHEICLoader::loadHEICImageFromURL("http://127.0.0.1/single.heic"); }, &log));
    EXPECT_NE(log.find("network gone"), std::string::npos) << log;
}

TEST(ImageHelpersTest, GetHEICMetadataFromPath)
{
    testing::internal::CaptureStdout();
    const auto tagged = SafeHEICLoader::getHEICMetadataFromPath(platformFixture("exif.heic"));
    const auto turned = SafeHEICLoader::getHEICMetadataFromPath(platformFixture("rotate270.heic"));
    const auto mirrored = SafeHEICLoader::getHEICMetadataFromPath(platformFixture("transforms.heic"));
    const auto missing = SafeHEICLoader::getHEICMetadataFromPath(platformFixture("missing.heic"));
    const auto truncated = SafeHEICLoader::getHEICMetadataFromPath(platformFixture("hostile_truncated_file.heic"));
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(tagged && turned && mirrored);
    EXPECT_EQ(tagged->pixelWidth, 128u);
    EXPECT_EQ(tagged->pixelHeight, 96u);
    EXPECT_EQ(tagged->orientation, 1u);
    EXPECT_TRUE(tagged->hasExif);
    EXPECT_FALSE(tagged->hasIccProfile);
    EXPECT_EQ(turned->pixelWidth, 96u);
    EXPECT_EQ(turned->pixelHeight, 128u);
    EXPECT_EQ(turned->orientation, 6u);
    EXPECT_FALSE(turned->hasExif);
    EXPECT_EQ(mirrored->orientation, 5u);
    EXPECT_FALSE(missing);
    EXPECT_FALSE(truncated);
}

// Image 0 of every picture the loader reads, whatever the file is named: size as shown, orientation,
// profile and Exif from the picture's own header. A file that is no picture gives nothing.
TEST(ImageHelpersTest, GetMetadataOfEveryPictureFormat)
{
    TempFolder folder;
    Bitmap picture = solid(40, 30, 120);
    for (size_t i = 0; i < picture.pixels.size(); i += 3)
    {
        picture.pixels[i] = 200;  // coloured: an RGB profile stays with an RGB picture
    }
    picture.iccProfile = ::testsupport::smallIccProfile();
    const std::vector<uint8_t> jpeg = encodeJpeg(picture, 90);
    writeBytes(folder / "turned.jpg", withExifOrientation(jpeg, 6));
    writeBytes(folder / "plain.jpg", jpeg);
    writeBytes(folder / "picture.png", encodePng(picture));
    writeBytes(folder / "picture.tiff", encodeTiff(picture));
    writeBytes(folder / "picture.bmp", encodeBmp(picture));
    writeBytes(folder / "picture.jp2", encodeJp2(picture));
    writeBytes(folder / "png named.heic", encodePng(solid(7, 5, 1)));
    writeBytes(folder / "text.heic", std::vector<uint8_t>(200, 'x'));

    struct Case
    {
        const char* name;
        uint32_t width;
        uint32_t height;
        uint32_t orientation;
        std::optional<bool> icc;  // unset: the image layer's header of that type does not tell a profile
        bool exif;
    };
    const std::optional<bool> untold;
    for (const Case& c : {Case{"turned.jpg", 30, 40, 6, true, true}, Case{"plain.jpg", 40, 30, 1, true, false},
                          Case{"picture.png", 40, 30, 1, untold, false}, Case{"picture.tiff", 40, 30, 1, true, false},
                          Case{"picture.bmp", 40, 30, 1, false, false}, Case{"picture.jp2", 40, 30, 1, untold, false},
                          Case{"png named.heic", 7, 5, 1, false, false}})
    {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        const auto metadata = SafeHEICLoader::getHEICMetadataFromPath(folder / c.name);
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(metadata);
        EXPECT_EQ(metadata->pixelWidth, c.width);
        EXPECT_EQ(metadata->pixelHeight, c.height);
        EXPECT_EQ(metadata->orientation, c.orientation);
        if (c.icc)
        {
            EXPECT_EQ(metadata->hasIccProfile, *c.icc);
        }
        EXPECT_EQ(metadata->hasExif, c.exif);
    }
    testing::internal::CaptureStdout();
    const auto text = SafeHEICLoader::getHEICMetadataFromPath(folder / "text.heic");
    const auto directory = SafeHEICLoader::getHEICMetadataFromPath(folder.path().string());
    // The reference PNG of the HEIF fixtures and a HEIF file read alike.
    const auto png = SafeHEICLoader::getHEICMetadataFromPath(platformFixture("source_128x96.png"));
    const auto heif = SafeHEICLoader::getHEICMetadataFromPath(platformFixture("single.heic"));
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(text);
    EXPECT_FALSE(directory);
    ASSERT_TRUE(png && heif);
    EXPECT_EQ(png->pixelWidth, heif->pixelWidth);
    EXPECT_EQ(png->pixelHeight, heif->pixelHeight);
    EXPECT_EQ(png->orientation, 1u);
}

// A phone photo with an ICC profile and Exif (from the shared corpus; skipped where it is absent).
TEST(ImageHelpersTest, GetHEICMetadataOfAPhonePhoto)
{
    const std::string photo = std::string(PRAVIX_CORPUS_DIR) + "/pillowheif_arrow.heic";
    if (!fs::exists(photo))
    {
        GTEST_SKIP() << "no corpus at " << PRAVIX_CORPUS_DIR;
    }
    testing::internal::CaptureStdout();
    const auto metadata = SafeHEICLoader::getHEICMetadataFromPath(photo);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->pixelWidth, 3024u);
    EXPECT_EQ(metadata->pixelHeight, 4032u);
    EXPECT_TRUE(metadata->hasIccProfile);
    EXPECT_TRUE(metadata->hasExif);
}

TEST(ImageHelpersTest, SaveImage)
{
    TempFolder folder;
    const Bitmap image = *SafeHEICLoader::loadHEICImageFromPath(platformFixture("source_128x96.png"));
    struct Case
    {
        const char* name;
        ImageFileType type;
    };
    for (const Case& c : {Case{"out.jpg", ImageFileType::Jpeg}, Case{"OUT2.JPG", ImageFileType::Jpeg},
                          Case{"out.png", ImageFileType::Png}, Case{"out.tiff", ImageFileType::Png},
                          Case{"noextension", ImageFileType::Png}})
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ZLImage::saveImage(image, folder / c.name));
        const std::vector<uint8_t> bytes = readBytes(folder / c.name);
        EXPECT_EQ(identifyPictureFormat(bytes.data(), bytes.size()), pictureFormatOf(c.type));
        const std::optional<Bitmap> back = decodeImage(bytes.data(), bytes.size());
        ASSERT_TRUE(back);
        EXPECT_EQ(back->width, 128u);
        EXPECT_EQ(back->height, 96u);
        if (c.type == ImageFileType::Png)
        {
            EXPECT_EQ(back->pixels, image.pixels);
        }
    }
    EXPECT_FALSE(ZLImage::saveImage(Bitmap{}, folder / "empty.png"));
    EXPECT_FALSE(ZLImage::saveImage(image, "/proc/self/pravix.png"));
    EXPECT_FALSE(ZLImage::saveImage(image, ""));
    EXPECT_EQ(namesIn(folder.path()).size(), 5u);
}

TEST(ImageHelpersTest, CompressedImageDataWithImg)
{
    const Bitmap image = *SafeHEICLoader::loadHEICImageFromPath(platformFixture("source_256x192.png"));
    const std::vector<uint8_t> low = ZLImage::compressedImageDataWithImg(image, 0.1f);
    const std::vector<uint8_t> high = ZLImage::compressedImageDataWithImg(image, 1.0f);
    ASSERT_FALSE(low.empty());
    EXPECT_EQ(identifyPictureFormat(low.data(), low.size()), PictureFormat::Jpeg);
    EXPECT_LT(low.size(), high.size());
    const std::optional<Bitmap> back = decodeImage(low.data(), low.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 256u);
    EXPECT_TRUE(ZLImage::compressedImageDataWithImg(Bitmap{}, 0.5f).empty());
}

// The factor aim / length lands near the aim for a moderate reduction of a photo.
TEST(ImageHelpersTest, CompressImgDataNearItsAim)
{
    const std::string photo = std::string(PRAVIX_CORPUS_DIR) + "/photoprism_iphone_7.heic";
    if (!fs::exists(photo))
    {
        GTEST_SKIP() << "no corpus at " << PRAVIX_CORPUS_DIR;
    }
    const auto image = quietly([&] { return SafeHEICLoader::loadHEICImageFromPath(photo); });
    ASSERT_TRUE(image);
    const std::vector<uint8_t> original = ZLImage::compressedImageDataWithImg(*image, 0.9f);
    for (const double part : {0.5, 0.7})
    {
        const int64_t aim = static_cast<int64_t>(original.size() * part / 1000);
        SCOPED_TRACE(aim);
        testing::internal::CaptureStdout();
        const std::vector<uint8_t> smaller = ZLImage::compressImgData(original, aim);
        const std::string log = testing::internal::GetCapturedStdout();
        ASSERT_FALSE(smaller.empty());
        EXPECT_GT(smaller.size(), aim * 1000 * 0.7);
        EXPECT_LT(smaller.size(), aim * 1000 * 1.3);
        EXPECT_NE(log.find("数据最终大小：" + std::to_string(smaller.size() / 1000)), std::string::npos) << log;
        EXPECT_NE(log.find("压缩比率：0."), std::string::npos) << log;
        // The twin says nothing and gives the same bytes.
        testing::internal::CaptureStdout();
        EXPECT_EQ(ImageExpansion::CompressImgData(original, aim), smaller);
        EXPECT_TRUE(testing::internal::GetCapturedStdout().empty());
    }
}

TEST(ImageHelpersTest, CompressImgDataEdges)
{
    const Bitmap image = *SafeHEICLoader::loadHEICImageFromPath(platformFixture("source_256x192.png"));
    const std::vector<uint8_t> jpeg = ZLImage::compressedImageDataWithImg(image, 0.9f);
    testing::internal::CaptureStdout();
    // Already within the aim: unchanged, never re-encoded larger.
    EXPECT_EQ(ZLImage::compressImgData(jpeg, static_cast<int64_t>(jpeg.size() / 1000 + 1)), jpeg);
    EXPECT_TRUE(ZLImage::compressImgData(jpeg, 0).empty());
    EXPECT_TRUE(ZLImage::compressImgData({}, 10).empty());
    EXPECT_TRUE(ZLImage::compressImgData(std::vector<uint8_t>(5000, 7), 1).empty());  // not an image
    testing::internal::GetCapturedStdout();
}

TEST(ImageHelpersTest, ResizeVariants)
{
    const Bitmap image = solid(128, 96, 90);
    const auto rounded = ZLImage::resizeImage1(image, ImageSize{38.6, 28.8});
    const auto truncated = ZLImage::resizeImage2(image, ImageSize{38.6, 28.8});
    ASSERT_TRUE(rounded && truncated);
    EXPECT_EQ(rounded->width, 39u);
    EXPECT_EQ(rounded->height, 29u);
    EXPECT_EQ(truncated->width, 38u);
    EXPECT_EQ(truncated->height, 28u);
    EXPECT_EQ(truncated->pixels[0], 90);
    const auto same = ZLImage::resizeImage2(image, ImageSize{128, 96});
    ASSERT_TRUE(same);
    EXPECT_EQ(same->pixels, image.pixels);
    EXPECT_FALSE(ZLImage::resizeImage1(image, ImageSize{0, 10}));
    EXPECT_FALSE(ZLImage::resizeImage2(image, ImageSize{0.5, 10}));
    EXPECT_FALSE(ZLImage::resizeImage2(image, ImageSize{1e9, 10}));
    EXPECT_FALSE(ZLImage::resizeImage1(Bitmap{}, ImageSize{10, 10}));
}

// Side by side on the bottom edge: the summed width by the largest height, clear above the shorter.
TEST(ImageHelpersTest, JointedImageWithImages)
{
    Bitmap translucent = solid(3, 2, 40, 4);
    translucent.pixels[3] = 128;
    const auto joined = ZLImage::jointedImageWithImages({solid(4, 5, 200), Bitmap{}, translucent, solid(2, 3, 10)});
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->width, 9u);
    EXPECT_EQ(joined->height, 5u);
    EXPECT_EQ(joined->channels, 4u);
    auto pixel = [&](uint32_t x, uint32_t y) { return joined->row(y) + x * 4; };
    EXPECT_EQ(pixel(0, 0)[0], 200);
    EXPECT_EQ(pixel(3, 4)[3], 255);
    EXPECT_EQ(pixel(4, 2)[3], 0);  // above the two-row picture
    EXPECT_EQ(pixel(4, 3)[0], 40);
    EXPECT_EQ(pixel(4, 3)[3], 128);
    EXPECT_EQ(pixel(5, 4)[3], 40);  // its own alpha
    EXPECT_EQ(pixel(7, 1)[3], 0);
    EXPECT_EQ(pixel(8, 2)[0], 10);

    EXPECT_FALSE(ZLImage::jointedImageWithImages({}));
    EXPECT_FALSE(ZLImage::jointedImageWithImages({Bitmap{}}));
    Bitmap inconsistent = solid(4, 4, 1);
    inconsistent.pixels.resize(10);
    EXPECT_FALSE(ZLImage::jointedImageWithImages({solid(2, 2, 1), inconsistent}));
    Bitmap wide;
    wide.width = kMaxBitmapSide;
    wide.height = 1;
    wide.pixels.assign(static_cast<size_t>(kMaxBitmapSide) * 3, 0);
    EXPECT_FALSE(ZLImage::jointedImageWithImages({wide, solid(1, 1, 0)}));
}

TEST(ImageHelpersTest, WithColor)
{
    const auto image = ImageExpansion::WithColor(RgbaColor{110, 57, 192, 128}, ImageSize{5.4, 2.6});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 5u);
    EXPECT_EQ(image->height, 3u);
    EXPECT_EQ(image->channels, 4u);
    for (size_t i = 0; i < image->pixels.size(); i += 4)
    {
        ASSERT_EQ(std::vector<uint8_t>(image->pixels.begin() + i, image->pixels.begin() + i + 4),
                  (std::vector<uint8_t>{110, 57, 192, 128}))
            << i;
    }
    const auto tiny = ImageExpansion::WithColor(RgbaColor{}, ImageSize{0.2, 1});
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->width, 1u);
    EXPECT_EQ(tiny->pixels[3], 255);  // opaque unless asked
    for (const ImageSize size : {ImageSize{0, 0}, ImageSize{-1, 4}, ImageSize{4, std::nan("")},
                                 ImageSize{kMaxBitmapSide + 1.0, 1}, ImageSize{30000, 30000}})
    {
        EXPECT_FALSE(ImageExpansion::WithColor(RgbaColor{}, size)) << size.width << " x " << size.height;
    }
}

// The user's rights as the system grants them; a missing path is an error, not an exception.
TEST(ImageHelpersTest, GetFolderPermissionsAtPath)
{
    TempFolder folder;
    const FolderPermissions own = FolderPermissionChecker::getFolderPermissionsAtPath(folder.path().string());
    EXPECT_TRUE(own.isReadable && own.isWritable && own.isExecutable);
    EXPECT_EQ(own.error, "");

    // A plain file without execute bits: no one may run it, root included.
    const std::string file = folder / "photo.heic";
    std::ofstream(file) << "x";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    const FolderPermissions plain = FolderPermissionChecker::getFolderPermissionsAtPath(file);
    EXPECT_TRUE(plain.isReadable);
    EXPECT_FALSE(plain.isExecutable);
    EXPECT_EQ(plain.error, "");

    // /proc/self may be read and searched; only root may write into it.
    const FolderPermissions proc = FolderPermissionChecker::getFolderPermissionsAtPath("/proc/self");
    EXPECT_TRUE(proc.isReadable && proc.isExecutable);
    if (::geteuid() != 0)
    {
        EXPECT_FALSE(proc.isWritable);
    }

    for (const std::string& missing : {folder / "nothing", folder / "photo.heic/inside", std::string()})
    {
        SCOPED_TRACE(missing);
        const FolderPermissions none = FolderPermissionChecker::getFolderPermissionsAtPath(missing);
        EXPECT_FALSE(none.isReadable || none.isWritable || none.isExecutable);
        EXPECT_FALSE(none.error.empty());
    }
    EXPECT_FALSE(FolderPermissionChecker::attemptToFixPermissionsAtPath(folder.path().string()));
    EXPECT_FALSE(FolderPermissionChecker::attemptToFixPermissionsAtPath(folder / "nothing"));
}
