#include "ExifParser.h"
#include "HeicExif.h"
#include "ImageEncoders.h"
#include "NSViewColor.h"
#include "PictureLoading.h"
#include "PreviewImageLoader.h"
#include "ViewController.h"
#include "ZLViewImage.h"

#include "IsolatedUserFolders.h"

#include <QColorSpace>
#include <QDateTime>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <cstdlib>

using namespace pravix;

namespace
{

// A 40 x 30 view: red, with a blue 10 x 10 square at (30, 20).
class PaintedView : public QWidget
{
public:
    PaintedView()
    {
        resize(40, 30);
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(QRect(0, 0, 40, 30), Qt::red);
        painter.fillRect(QRect(30, 20, 10, 10), Qt::blue);
    }
};

QColor pixel(const Bitmap& bitmap, uint32_t x, uint32_t y)
{
    const uint8_t* p = bitmap.row(y) + x * bitmap.channels;
    return QColor(p[0], p[1], p[2], bitmap.channels == 4 ? p[3] : 255);
}

// A 64 x 48 picture: a horizontal grey ramp, so scaling and compression have something to keep.
Bitmap ramp()
{
    Bitmap bitmap;
    bitmap.allocate(64, 48, 3);
    for (uint32_t y = 0; y < 48; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            uint8_t* p = bitmap.row(y) + x * 3;
            p[0] = p[1] = p[2] = static_cast<uint8_t>(x * 4);
        }
    }
    return bitmap;
}

}  // namespace

// The image helpers that need a window, on a screen of twice the pixel density: pictures of a
// view, and the controller's JPEG and zoom helpers.
class ViewImagesTest : public QObject
{
    Q_OBJECT

private slots:
    void imageFromViewIsTheScreensPixels();
    void imageWithNSViewIsTheViewsOwnSize();
    void noViewGivesNoImage();
    void bitmapFromImageKeepsAlpha();
    void compressedImageDataIsAJpegOfThePicture();
    void imageZoomDrawsAtTheNewSize();
    void imageZoomRefusesEmptyAndHugeSizes();
    void bitmapAndQImageBothWays();
    void copyThroughIdentityTransform();
    void rotateImageHoldsTheWholeTurnedPicture();
    void addExifToTheControllersJpeg();
    void nowTimeTimestampIsMilliseconds();

private:
    test::IsolatedUserFolders folders_;
};

void ViewImagesTest::imageFromViewIsTheScreensPixels()
{
    PaintedView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.devicePixelRatioF(), 2.0);
    const std::optional<Bitmap> image = ZLViewImage::imageFromView(&view);
    QVERIFY(image);
    QCOMPARE(image->width, 80u);
    QCOMPARE(image->height, 60u);
    QCOMPARE(pixel(*image, 4, 4), QColor(Qt::red));
    QCOMPARE(pixel(*image, 75, 55), QColor(Qt::blue));
}

void ViewImagesTest::imageWithNSViewIsTheViewsOwnSize()
{
    // Also for a view never shown, and transparent where it draws nothing.
    NSViewColor view;
    view.resize(40, 30);
    view.setBackgroundColor(Qt::green);
    view.setCornerRadius(10);
    const std::optional<Bitmap> image = ZLViewImage::imageWithNSView(&view);
    QVERIFY(image);
    QCOMPARE(image->width, 40u);
    QCOMPARE(image->height, 30u);
    QCOMPARE(image->channels, 4u);
    QCOMPARE(pixel(*image, 20, 15), QColor(Qt::green));
    QCOMPARE(pixel(*image, 0, 0).alpha(), 0);
}

void ViewImagesTest::noViewGivesNoImage()
{
    QVERIFY(!ZLViewImage::imageFromView(nullptr));
    QVERIFY(!ZLViewImage::imageWithNSView(nullptr));
    QWidget empty;
    empty.resize(0, 10);
    QVERIFY(!ZLViewImage::imageFromView(&empty));
    QVERIFY(!ZLViewImage::imageWithNSView(&empty));
    QVERIFY(!bitmapFromImage(QImage()));
}

void ViewImagesTest::bitmapFromImageKeepsAlpha()
{
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(QColor(10, 20, 30, 128));
    image.setPixelColor(2, 1, QColor(200, 100, 50, 255));
    const std::optional<Bitmap> rgba = bitmapFromImage(image);
    QVERIFY(rgba);
    QCOMPARE(rgba->channels, 4u);
    QCOMPARE(rgba->pixels.size(), size_t(3 * 2 * 4));
    QCOMPARE(pixel(*rgba, 0, 0), QColor(10, 20, 30, 128));
    QCOMPARE(pixel(*rgba, 2, 1), QColor(200, 100, 50));
    // Opaque images come as packed RGB (QImage pads its rows; the bitmap does not).
    const std::optional<Bitmap> rgb = bitmapFromImage(image.convertToFormat(QImage::Format_RGB32));
    QCOMPARE(rgb->channels, 3u);
    QCOMPARE(rgb->pixels.size(), size_t(3 * 2 * 3));
    QCOMPARE(pixel(*rgb, 2, 1), QColor(200, 100, 50));
    QCOMPARE(imageFromBitmap(*rgb).pixelColor(2, 1), QColor(200, 100, 50));
}

void ViewImagesTest::compressedImageDataIsAJpegOfThePicture()
{
    const Bitmap picture = ramp();
    const std::vector<uint8_t> best = ViewController::compressedImageDataWithImg(picture, 1.0f);
    const std::vector<uint8_t> worst = ViewController::compressedImageDataWithImg(picture, 0.1f);
    QVERIFY(best.size() > 4);
    QCOMPARE(identifyPictureFormat(best.data(), best.size()), PictureFormat::Jpeg);
    QVERIFY(worst.size() < best.size());
    const std::optional<Bitmap> decoded = decodeImage(best.data(), best.size());
    QVERIFY(decoded);
    QCOMPARE(decoded->width, 64u);
    QCOMPARE(decoded->height, 48u);
    QVERIFY(std::abs(pixel(*decoded, 40, 20).red() - 160) <= 4);
    QVERIFY(ViewController::compressedImageDataWithImg(Bitmap(), 0.7f).empty());
}

void ViewImagesTest::imageZoomDrawsAtTheNewSize()
{
    const std::optional<Bitmap> half = ViewController::ImageZoom(ramp(), ImageSize{32.4, 23.6});
    QVERIFY(half);
    QCOMPARE(half->width, 32u);
    QCOMPARE(half->height, 24u);
    QCOMPARE(half->channels, 3u);
    // The ramp survives the drawing: left dark, right light, rising in between.
    QVERIFY(pixel(*half, 1, 12).red() < 20);
    QVERIFY(pixel(*half, 30, 12).red() > 230);
    QVERIFY(pixel(*half, 10, 12).red() < pixel(*half, 20, 12).red());

    Bitmap transparent;
    transparent.allocate(4, 4, 4);
    const std::optional<Bitmap> grown = ViewController::ImageZoom(transparent, ImageSize{8, 8});
    QVERIFY(grown);
    QCOMPARE(grown->channels, 4u);
    QCOMPARE(pixel(*grown, 4, 4).alpha(), 0);
}

void ViewImagesTest::imageZoomRefusesEmptyAndHugeSizes()
{
    QVERIFY(!ViewController::ImageZoom(Bitmap(), ImageSize{10, 10}));
    QVERIFY(!ViewController::ImageZoom(ramp(), ImageSize{0, 10}));
    QVERIFY(!ViewController::ImageZoom(ramp(), ImageSize{10, -3}));
    QVERIFY(!ViewController::ImageZoom(ramp(), ImageSize{std::nan(""), 10}));
    QVERIFY(!ViewController::ImageZoom(ramp(), ImageSize{1e9, 10}));
    QVERIFY(!ViewController::ImageZoom(ramp(), ImageSize{30000, 30000}));
}

// QImage to bitmap copies (the bitmap owns its buffer); bitmap to QImage takes the bitmap's own
// pixels over; both carry the colour profile, and a round trip gives the pixels back.
void ViewImagesTest::bitmapAndQImageBothWays()
{
    Bitmap picture = ramp();
    picture.row(5)[7 * 3] = 255;
    picture.row(5)[7 * 3 + 1] = 0;
    const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    picture.iccProfile.assign(p3.begin(), p3.end());
    QVERIFY(!picture.iccProfile.empty());
    const Bitmap original = picture;
    const uint8_t* buffer = picture.pixels.data();
    const QImage image = ZLViewImage::getNSImageWithCGImageRef(std::move(picture));
    QVERIFY(!image.isNull());
    QCOMPARE(image.constBits(), buffer);
    QCOMPARE(image.size(), QSize(64, 48));
    QCOMPARE(image.pixelColor(7, 5), QColor(255, 0, 28));
    QCOMPARE(image.colorSpace(), QColorSpace(QColorSpace::DisplayP3));

    const std::optional<Bitmap> back = ZLViewImage::getCGImageRefFromNSImage(image);
    QVERIFY(back);
    QCOMPARE(back->channels, 3u);
    QVERIFY(back->pixels == original.pixels);
    QVERIFY(QColorSpace::fromIccProfile(QByteArray(reinterpret_cast<const char*>(back->iccProfile.data()),
                                                   static_cast<qsizetype>(back->iccProfile.size()))) ==
            QColorSpace(QColorSpace::DisplayP3));

    Bitmap translucent;
    translucent.allocate(2, 2, 4);
    translucent.pixels[3] = 77;
    const QImage rgba = ZLViewImage::getNSImageWithCGImageRef(translucent);
    QCOMPARE(rgba.format(), QImage::Format_RGBA8888);
    QCOMPARE(rgba.pixelColor(0, 0).alpha(), 77);
    QVERIFY(!rgba.colorSpace().isValid());

    QVERIFY(ZLViewImage::getNSImageWithCGImageRef(Bitmap()).isNull());
    Bitmap inconsistent = ramp();
    inconsistent.pixels.resize(10);
    QVERIFY(ZLViewImage::getNSImageWithCGImageRef(std::move(inconsistent)).isNull());
    QVERIFY(!ZLViewImage::getCGImageRefFromNSImage(QImage()));
}

void ViewImagesTest::copyThroughIdentityTransform()
{
    QImage image(5, 3, QImage::Format_ARGB32);
    image.fill(QColor(10, 20, 30, 40));
    image.setPixelColor(4, 2, Qt::red);
    QImage copy = ZLViewImage::getCIImageWithNSImage(image);
    QCOMPARE(copy, image);
    // A copy: drawing on it leaves the original as it was.
    copy.setPixelColor(0, 0, Qt::blue);
    QCOMPARE(image.pixelColor(0, 0), QColor(10, 20, 30, 40));
    QVERIFY(ZLViewImage::getCIImageWithNSImage(QImage()).isNull());
}

// Anticlockwise, as the desktop turns: a quarter turn takes the top-right corner to the top left
// and swaps the sides; other angles grow the canvas to hold the corners.
void ViewImagesTest::rotateImageHoldsTheWholeTurnedPicture()
{
    Bitmap picture;
    picture.allocate(3, 2, 3);
    std::fill(picture.pixels.begin(), picture.pixels.end(), uint8_t(255));
    picture.row(0)[2 * 3] = 0;  // top right: cyan
    picture.row(1)[0 * 3 + 1] = 0;  // bottom left: magenta
    for (const double degrees : {90.0, 450.0, -270.0}) {
        const std::optional<Bitmap> turned = ViewController::RotateImage(picture, degrees);
        QVERIFY(turned);
        QCOMPARE(turned->width, 2u);
        QCOMPARE(turned->height, 3u);
        QCOMPARE(pixel(*turned, 0, 0), QColor(0, 255, 255));
        QCOMPARE(pixel(*turned, 1, 2), QColor(255, 0, 255));
        QCOMPARE(pixel(*turned, 1, 0), QColor(Qt::white));
    }
    const std::optional<Bitmap> upsideDown = ViewController::RotateImage(picture, 180);
    QVERIFY(upsideDown);
    QCOMPARE(upsideDown->width, 3u);
    QCOMPARE(pixel(*upsideDown, 0, 1), QColor(0, 255, 255));
    const std::optional<Bitmap> same = ViewController::RotateImage(picture, 0);
    QVERIFY(same);
    QCOMPARE(pixel(*same, 2, 0), QColor(0, 255, 255));

    const std::optional<Bitmap> tilted = ViewController::RotateImage(ramp(), 45);
    QVERIFY(tilted);
    const uint32_t side = static_cast<uint32_t>(std::ceil((64 + 48) / std::sqrt(2.0) - 1e-6));
    QCOMPARE(tilted->width, side);
    QCOMPARE(tilted->height, side);
    QCOMPARE(pixel(*tilted, 0, 0).alpha(), 0);
    QCOMPARE(pixel(*tilted, side / 2, side / 2).alpha(), 255);

    QVERIFY(!ViewController::RotateImage(Bitmap(), 90));
    QVERIFY(!ViewController::RotateImage(picture, std::nan("")));
    QVERIFY(!ViewController::RotateImage(picture, INFINITY));
    Bitmap wide;
    wide.allocate(30000, 2, 3);
    QVERIFY(ViewController::RotateImage(wide, 90));
    QVERIFY(!ViewController::RotateImage(wide, 45));  // 21215 x 21215 is past the pixel bound
}

// The controller's own JPEG takes a copy of an Exif block; the parser reads it back with the
// JPEG's size. Data that is no JPEG gives nothing.
void ViewImagesTest::addExifToTheControllersJpeg()
{
    ParsedExif camera;
    camera.make = "Pravix";
    camera.pixelXDimension = 4032;
    const ExifDataPtr tree = CreateExifDataFromParsed(camera);
    QVERIFY(tree);
    unsigned char* raw = nullptr;
    unsigned int size = 0;
    exif_data_save_data(tree.get(), &raw, &size);
    const std::vector<uint8_t> metadata(raw, raw + size);
    std::free(raw);

    const std::vector<uint8_t> jpeg = ViewController::compressedImageDataWithImg(ramp(), 0.8f);
    const std::vector<uint8_t> tagged = ViewController::AddExif(metadata, jpeg);
    QVERIFY(tagged.size() > jpeg.size());
    const ParsedExif back = ParseExifBlock(FindExifBlock(tagged));
    QVERIFY(back.success);
    QCOMPARE(back.make, std::string("Pravix"));
    QCOMPARE(back.pixelXDimension, 64u);
    QCOMPARE(back.pixelYDimension, 48u);
    QVERIFY(decodeImage(tagged.data(), tagged.size()));
    QVERIFY(ViewController::AddExif(metadata, ViewController::compressedImageDataWithImg(Bitmap(), 0.8f)).empty());
    QVERIFY(ViewController::AddExif({}, jpeg).empty());
}

void ViewImagesTest::nowTimeTimestampIsMilliseconds()
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const QString stamp = ViewController::getNowTimeTimestamp();
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    bool number = false;
    const qint64 value = stamp.toLongLong(&number);
    QVERIFY(number);
    QCOMPARE(stamp, QString::number(value));  // plain digits, no sign, point or padding
    QVERIFY(before <= value && value <= after);
}

int main(int argc, char** argv)
{
    // Every view here lives on a 2x screen, so the two pictures of a view differ.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ViewImagesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ViewImagesTest.moc"
