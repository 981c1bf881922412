#include "AppImages.h"

#include "IsolatedUserFolders.h"

#include <QtTest>

using namespace pravix;

class AppImagesTest : public QObject
{
    Q_OBJECT

private slots:
    void everyWindowImageRenders_data();
    void everyWindowImageRenders();
    void unknownImageIsNull();

private:
    test::IsolatedUserFolders folders_;
};

void AppImagesTest::everyWindowImageRenders_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("ToBt") << "ToBt" << QSize(20, 20);
    QTest::newRow("StopToBt") << "StopToBt" << QSize(20, 20);
    QTest::newRow("OpenPathBt") << "OpenPathBt" << QSize(18, 18);
    QTest::newRow("HeadLogo") << "HeadLogo" << QSize(68, 15);
    QTest::newRow("Logo64") << "Logo64" << QSize(64, 64);
    QTest::newRow("ToComplete") << "ToComplete" << QSize(18, 18);
    QTest::newRow("NoTo") << "NoTo" << QSize(18, 18);
    QTest::newRow("PreBt") << "PreBt" << QSize(18, 18);
    QTest::newRow("DeleteBt") << "DeleteBt" << QSize(18, 18);
    QTest::newRow("Check_NO") << "Check_NO" << QSize(16, 16);
    QTest::newRow("Check_YES") << "Check_YES" << QSize(16, 16);
    QTest::newRow("Check") << "Check" << QSize(16, 16);
    QTest::newRow("AppIcon") << "AppIcon" << QSize(256, 256);
}

void AppImagesTest::everyWindowImageRenders()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QCOMPARE(appImageSize(name), size);
    for (const qreal ratio : {1.0, 2.0}) {
        const QPixmap pixmap = appPixmap(name, QSize(), ratio);
        QCOMPARE(pixmap.size(), size * ratio);
        QCOMPARE(pixmap.devicePixelRatio(), ratio);
        // Something is drawn: not every pixel is transparent.
        const QImage image = pixmap.toImage();
        bool ink = false;
        for (int y = 0; y < image.height() && !ink; ++y) {
            for (int x = 0; x < image.width() && !ink; ++x) {
                ink = qAlpha(image.pixel(x, y)) > 0;
            }
        }
        QVERIFY(ink);
    }
    QCOMPARE(appPixmap(name, QSize(40, 30)).size(), QSize(40, 30));
    QVERIFY(!appIcon(name).isNull());
}

void AppImagesTest::unknownImageIsNull()
{
    QVERIFY(appImageSize("NoSuchImage").isEmpty());
    QVERIFY(appPixmap("NoSuchImage").isNull());
    QVERIFY(appIcon("NoSuchImage").isNull());
    QVERIFY(appPixmap("../strings/en").isNull());
}

QTEST_MAIN(AppImagesTest)
#include "AppImagesTest.moc"
