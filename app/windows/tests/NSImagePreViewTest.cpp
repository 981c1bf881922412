#include "Bitmap.h"
#include "ImageEncoders.h"
#include "NSImagePreView.h"
#include "NSLanguage.h"
#include "NSOCPreView.h"
#include "NSViewColor.h"
#include "PreviewImageLoader.h"
#include "PreviewImageView.h"
#include "TitleBarButton.h"

#include "IsolatedUserFolders.h"
#include "SpecialFiles.h"

#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

using namespace pravix;

namespace
{

Bitmap gradient(uint32_t width, uint32_t height)
{
    Bitmap bitmap;
    bitmap.allocate(width, height, 3);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* pixel = bitmap.row(y) + x * 3;
            pixel[0] = static_cast<uint8_t>(x * 255 / width);
            pixel[1] = static_cast<uint8_t>(y * 255 / height);
            pixel[2] = 90;
        }
    }
    return bitmap;
}

bool writeBytes(const QString& path, const std::vector<uint8_t>& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

}  // namespace

class NSImagePreViewTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyOutputTypeShowsItsPicture_data();
    void everyOutputTypeShowsItsPicture();
    void missingFileShowsNotFound();
    void damagedFileShowsNotFound();
    void specialFilesAreNoPicture();
    void loaderKeepsAlphaAndBoundsTheSize();
    void hostileHeadersAreNoPicture();
    void arabicTexts();
    void laterRequestWins();
    void closingAndReopening();
    void windowSetUp();
    void pictureIsScaledDownOnlyAndCentred();
    void quickLookToggles();

private:
    QString path(const QString& name) const { return folders_.path() + "/" + name; }
    // Shows the file and waits for the load; the result.
    bool showAndWait(NSImagePreView& view, const QString& file);

    test::IsolatedUserFolders folders_;
};

void NSImagePreViewTest::init()
{
    NSLanguage::shareInstance().setLanguage(0);
}

bool NSImagePreViewTest::showAndWait(NSImagePreView& view, const QString& file)
{
    QSignalSpy loaded(&view, &NSImagePreView::imageLoaded);
    view.ShowImagePath(file);
    if (!loaded.wait(20000)) {
        return false;
    }
    return loaded.first().first().toBool();
}

void NSImagePreViewTest::everyOutputTypeShowsItsPicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::newRow("JPG") << "a.JPG" << int(ImageFileType::Jpeg);
    QTest::newRow("JPEG 2000") << "a.JPEG" << int(ImageFileType::Jpeg2000);
    QTest::newRow("PNG") << "a.PNG" << int(ImageFileType::Png);
    QTest::newRow("BMP") << "a.BMP" << int(ImageFileType::Bmp);
    QTest::newRow("TIFF") << "a.TIFF" << int(ImageFileType::Tiff);
}

void NSImagePreViewTest::everyOutputTypeShowsItsPicture()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    const Bitmap bitmap = gradient(97, 61);
    QVERIFY(writeBytes(path(name), encodeImage(bitmap, static_cast<ImageFileType>(type))));
    NSImagePreView view;
    QSignalSpy loaded(&view, &NSImagePreView::imageLoaded);
    view.ShowImagePath(path(name));
    QVERIFY(view.isVisible());
    QVERIFY(view.isLoading());
    QCOMPARE(view.statusText(), QString("Loading…"));
    QVERIFY(loaded.wait(20000));
    QVERIFY(loaded.first().first().toBool());
    QVERIFY(!view.isLoading());
    QVERIFY(!view.image().isNull());
    QCOMPARE(view.image().size(), QSize(97, 61));
    // The picture's colours came through: left is dark red, right bright red.
    QVERIFY(view.image().pixelColor(90, 30).red() > view.image().pixelColor(5, 30).red() + 150);
}

void NSImagePreViewTest::missingFileShowsNotFound()
{
    NSImagePreView view;
    QVERIFY(!showAndWait(view, path("deleted.jpg")));
    QCOMPARE(view.statusText(), QString("Image file not found"));
    QVERIFY(view.image().isNull());
    QVERIFY(view.PreViewImage()->pictureRect().isEmpty());
    QVERIFY(loadPreviewImage(folders_.path()).isNull());  // a folder is no picture
}

// A FIFO, a socket or a device under the output's name is no picture, and is not waited on.
void NSImagePreViewTest::specialFilesAreNoPicture()
{
    const QString fifo = path("fifo.jpg");
    QVERIFY(testsupport::makeFifo(QFile::encodeName(fifo).toStdString()));
    QVERIFY(testsupport::makeSocket(QFile::encodeName(path("socket.jpg")).toStdString()));
    QVERIFY(QFile::link("/dev/zero", path("device.jpg")));
    for (const QString& name : {fifo, path("socket.jpg"), path("device.jpg")}) {
        bool isNull = false;
        QVERIFY(testsupport::returnsWithoutBlocking([&] { isNull = loadPreviewImage(name).isNull(); },
                                                    {QFile::encodeName(fifo).toStdString()}));
        QVERIFY(isNull);
    }
    NSImagePreView view;
    QVERIFY(!showAndWait(view, fifo));
    QCOMPARE(view.statusText(), QString("Image file not found"));
}

// The loader shares the conversion's decoders: alpha comes through, a long picture is reduced to 8192
// pixels while decoded, and the decoded pixels become the image without a copy.
void NSImagePreViewTest::loaderKeepsAlphaAndBoundsTheSize()
{
    Bitmap translucent;
    QVERIFY(translucent.allocate(30, 20, 4));
    for (size_t i = 0; i < translucent.pixels.size(); i += 4) {
        translucent.pixels[i] = 240;
        translucent.pixels[i + 3] = 100;
    }
    QVERIFY(writeBytes(path("alpha.png"), encodeImage(translucent, ImageFileType::Png)));
    const QImage withAlpha = loadPreviewImage(path("alpha.png"));
    QCOMPARE(withAlpha.format(), QImage::Format_RGBA8888);
    QCOMPARE(withAlpha.pixelColor(7, 9), QColor(240, 0, 0, 100));
    {
        // The loading text does not show through the picture's transparent parts, and is back for the
        // next file.
        NSImagePreView view;
        QVERIFY(showAndWait(view, path("alpha.png")));
        QVERIFY(!view.TitleInfo()->isVisible());
        view.ShowImagePath(path("no such file.png"));
        QVERIFY(view.TitleInfo()->isVisible());
    }

    QVERIFY(writeBytes(path("long.png"), encodeImage(gradient(9000, 18), ImageFileType::Png)));
    const QImage reduced = loadPreviewImage(path("long.png"));
    QCOMPARE(reduced.width(), 8192);
    QCOMPARE(reduced.height(), 16);

    Bitmap bitmap = gradient(12, 8);
    const uint8_t* pixels = bitmap.pixels.data();
    const QImage adopted = imageFromBitmap(std::move(bitmap));
    QCOMPARE(adopted.constBits(), pixels);
    QCOMPARE(adopted.pixelColor(11, 0), QColor(233, 0, 90));
    QVERIFY(imageFromBitmap(Bitmap()).isNull());
}

// Headers claiming pictures their bytes cannot hold are refused before anything is sized from them.
void NSImagePreViewTest::hostileHeadersAreNoPicture()
{
    std::vector<uint8_t> bmp = encodeImage(gradient(8, 8), ImageFileType::Bmp);
    const uint8_t side[4] = {0, 0x40, 0, 0};  // 16384, little-endian
    std::copy(side, side + 4, bmp.begin() + 18);
    std::copy(side, side + 4, bmp.begin() + 22);
    QVERIFY(writeBytes(path("claims.bmp"), bmp));
    QVERIFY(loadPreviewImage(path("claims.bmp")).isNull());
    NSImagePreView view;
    QVERIFY(!showAndWait(view, path("claims.bmp")));
    QCOMPARE(view.statusText(), QString("Image file not found"));
}

void NSImagePreViewTest::damagedFileShowsNotFound()
{
    const Bitmap bitmap = gradient(64, 64);
    std::vector<uint8_t> png = encodePng(bitmap);
    png.resize(png.size() / 2);
    QVERIFY(writeBytes(path("cut.png"), png));
    QVERIFY(writeBytes(path("noise.jpg"), std::vector<uint8_t>(3000, 0x5A)));
    QVERIFY(writeBytes(path("empty.jpg"), {}));
    NSImagePreView view;
    QVERIFY(!showAndWait(view, path("cut.png")));
    QVERIFY(!showAndWait(view, path("noise.jpg")));
    QVERIFY(!showAndWait(view, path("empty.jpg")));
    QCOMPARE(view.statusText(), QString("Image file not found"));
}

void NSImagePreViewTest::arabicTexts()
{
    NSLanguage::shareInstance().setLanguage(7);
    NSImagePreView view;
    QVERIFY(!showAndWait(view, path("none.png")));
    QCOMPARE(view.statusText(), QString("لم يتم العثور على ملف الصورة"));
    // The close button stands at the right end of the group, 66 from the right edge.
    QCOMPARE(view.titleButton(FramelessWindow::CloseButton)->x(), view.width() - 66 + 2 * (TitleBarButton::kSize + 6));
}

void NSImagePreViewTest::laterRequestWins()
{
    QVERIFY(writeBytes(path("big.png"), encodePng(gradient(300, 200))));
    QVERIFY(writeBytes(path("small.bmp"), encodeBmp(gradient(20, 10))));
    NSImagePreView view;
    QSignalSpy loaded(&view, &NSImagePreView::imageLoaded);
    view.ShowImagePath(path("big.png"));
    view.ShowImagePath(path("small.bmp"));
    QVERIFY(loaded.wait(20000));
    QTest::qWait(200);  // the first load's late answer, if any, is dropped
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(view.image().size(), QSize(20, 10));
    QCOMPARE(view.imagePath(), path("small.bmp"));
}

void NSImagePreViewTest::closingAndReopening()
{
    QVERIFY(writeBytes(path("c.jpg"), encodeJpeg(gradient(40, 30), 80)));
    auto view = std::make_unique<NSImagePreView>();
    QVERIFY(showAndWait(*view, path("c.jpg")));
    QTest::mouseClick(view->titleButton(FramelessWindow::CloseButton), Qt::LeftButton);
    QVERIFY(!view->isVisible());
    QVERIFY(showAndWait(*view, path("c.jpg")));
    QVERIFY(view->isVisible());
    QCOMPARE(view->image().size(), QSize(40, 30));
    // A window closed and deleted while its file still loads drops the late answer.
    view->ShowImagePath(path("c.jpg"));
    view.reset();
    QTest::qWait(300);
    auto second = std::make_unique<NSImagePreView>();
    QVERIFY(showAndWait(*second, path("c.jpg")));
    QTest::keyClick(second.get(), Qt::Key_Escape);
    QVERIFY(!second->isVisible());
}

void NSImagePreViewTest::windowSetUp()
{
    NSImagePreView view;
    view.show();
    view.resize(600, 400);
    QVERIFY(!view.titleButton(FramelessWindow::CloseButton)->isHidden());
    QVERIFY(view.titleButton(FramelessWindow::MiniaturizeButton)->isHidden());
    QVERIFY(view.titleButton(FramelessWindow::ZoomButton)->isHidden());
    QCOMPARE(view.windowBackgroundColor().name(), QString("#eef3f7"));
    QCOMPARE(view.ContentView()->backgroundColor()->name(), QString("#ffffff"));
    QCOMPARE(view.TitleInfo()->geometry(), QRect(20, (400 - 50) / 2, 600 - 40, 50));
    QCOMPARE(view.PreViewImage()->geometry(), QRect(0, 30, 600, 400 - 60));
    QCOMPARE(view.TitleInfo()->palette().color(QPalette::WindowText), QColor(128, 128, 128));
    QCOMPARE(view.TitleInfo()->alignment(), Qt::AlignCenter);
    QVERIFY(view.isResizable());
    QCOMPARE(view.titleButton(FramelessWindow::CloseButton)->pos(), QPoint(12, 5));
}

void NSImagePreViewTest::pictureIsScaledDownOnlyAndCentred()
{
    QCOMPARE(previewDisplaySize(QSize(100, 50), QSize(600, 340)), QSize(100, 50));
    QCOMPARE(previewDisplaySize(QSize(4000, 3000), QSize(600, 340)), QSize(453, 340));
    QCOMPARE(previewDisplaySize(QSize(4000, 1000), QSize(600, 340)), QSize(600, 150));
    QVERIFY(previewDisplaySize(QSize(), QSize(600, 340)).isEmpty());
    PreviewImageView view;
    view.resize(600, 340);
    QImage image(1200, 200, QImage::Format_RGB32);
    image.fill(Qt::blue);
    view.setImage(image);
    QCOMPARE(view.pictureRect(), QRect(0, 120, 600, 100));
    const QImage shot = view.grab().toImage();
    QCOMPARE(shot.pixelColor(QPoint(300, 170) * shot.devicePixelRatio()), QColor(Qt::blue));
}

void NSImagePreViewTest::quickLookToggles()
{
    QVERIFY(writeBytes(path("q.png"), encodePng(gradient(30, 20))));
    NSOCPreView& quickLook = NSOCPreView::shareInstance();
    QCOMPARE(&quickLook, &NSOCPreView::shareInstance());
    quickLook.PreViewFilePaht(path("q.png"));
    NSImagePreView* panel = QuickLookPanel::existingPanel();
    QVERIFY(panel);
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->imagePath(), path("q.png"));
    QTRY_VERIFY_WITH_TIMEOUT(!panel->isLoading(), 20000);
    QCOMPARE(panel->image().size(), QSize(30, 20));
    NSQuickLookPreView* first = quickLook.QuickLookPreView();
    QCOMPARE(first->numberOfPreviewItemsInPreviewPanel(), 1);
    QCOMPARE(first->previewItemAtIndex(0), QUrl::fromLocalFile(path("q.png")));
    QCOMPARE(first->previewItemAtIndex(5), QUrl::fromLocalFile(path("q.png")));
    // Visible: the next call hides it; then a file URL shows it again.
    quickLook.PreViewFilePaht(path("q.png"));
    QVERIFY(!panel->isVisible());
    quickLook.PreViewFilePaht(QUrl::fromLocalFile(path("q.png")).toString());
    QVERIFY(panel->isVisible());
    QCOMPARE(QuickLookPanel::existingPanel(), panel);
    QCOMPARE(panel->imagePath(), path("q.png"));
    panel->close();
}

QTEST_MAIN(NSImagePreViewTest)
#include "NSImagePreViewTest.moc"
