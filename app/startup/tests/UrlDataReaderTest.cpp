#include "UrlDataReader.h"

#include "ImageEncoders.h"
#include "SafeHEICLoader.h"

#include "CapturedOutput.h"
#include "IsolatedUserFolders.h"
#include "LocalHttpServer.h"

#include <QtTest>

#include <atomic>
#include <iostream>
#include <sstream>
#include <thread>

using namespace pravix;
using testsupport::LocalHttpServer;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(LocalHttpServer::Reply)

namespace
{

using testsupport::CapturedOutput;

// A 24 x 16 picture with something in it, so no encoder takes it for grey.
Bitmap picture()
{
    Bitmap bitmap;
    bitmap.allocate(24, 16, 3);
    for (size_t i = 0; i < bitmap.pixels.size(); ++i) {
        bitmap.pixels[i] = static_cast<uint8_t>(i * 13);
    }
    return bitmap;
}

QByteArray bytesOf(const std::vector<uint8_t>& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
}

}  // namespace

// The loader's web addresses through the reader the application installs: fetched from the local
// test server, decoded as a file's bytes, every failure nothing with a line in the log.
class UrlDataReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void jpegAndPngFromTheServerLoad();
    void failuresGiveNothingAndALogLine_data();
    void failuresGiveNothingAndALogLine();
    void serverThatNeverAnswersGivesNothing();
    void bodyPastTheByteLimitGivesNothing();
    void batchThreadLoadsWhileTheGuiThreadServes();

private:
    std::optional<Bitmap> load(const QString& path, std::string* log = nullptr);

    test::IsolatedUserFolders folders_;
    std::unique_ptr<LocalHttpServer> server_;
};

void UrlDataReaderTest::init()
{
    server_ = std::make_unique<LocalHttpServer>();
    QVERIFY(server_->isListening());
    // A second, not thirty, for the server that never answers.
    installUrlDataReader(1s);
}

void UrlDataReaderTest::cleanup()
{
    SafeHEICLoader::setUrlDataReader(nullptr);
    SafeHEICLoader::setUrlByteLimit(SafeHEICLoader::kMaxPictureBytes);
    server_.reset();
}

std::optional<Bitmap> UrlDataReaderTest::load(const QString& path, std::string* log)
{
    CapturedOutput output;
    std::optional<Bitmap> image = SafeHEICLoader::loadHEICImageFromURL(server_->url(path).toString().toStdString());
    if (log != nullptr) {
        *log = output.text();
    }
    return image;
}

void UrlDataReaderTest::jpegAndPngFromTheServerLoad()
{
    server_->setReplyForPath("/photo.jpg", LocalHttpServer::Reply::answer(200, bytesOf(encodeJpeg(picture(), 90))));
    server_->setReplyForPath("/photo.png", LocalHttpServer::Reply::answer(200, bytesOf(encodePng(picture()))));
    const std::optional<Bitmap> jpeg = load("/photo.jpg");
    QVERIFY(jpeg);
    QCOMPARE(jpeg->width, 24u);
    QCOMPARE(jpeg->height, 16u);
    const std::optional<Bitmap> png = load("/photo.png");
    QVERIFY(png);
    QCOMPARE(png->width, 24u);
    QVERIFY(png->pixels == picture().pixels);  // lossless: the very pixels
    QCOMPARE(server_->requestCount(), 2);
    QCOMPARE(server_->requests()[0].method, QByteArray("GET"));
}

void UrlDataReaderTest::failuresGiveNothingAndALogLine_data()
{
    QTest::addColumn<LocalHttpServer::Reply>("reply");
    QTest::addColumn<QString>("said");
    QTest::newRow("404") << LocalHttpServer::Reply::answer(404, "no such photo") << QStringLiteral("下载失败");
    QTest::newRow("500") << LocalHttpServer::Reply::answer(500, bytesOf(encodePng(picture()))) << QStringLiteral("下载失败");
    QTest::newRow("garbage") << LocalHttpServer::Reply::answer(200, QByteArray(3000, 'g')) << QStringLiteral("不是图片");
    QByteArray cut = bytesOf(encodeJpeg(picture(), 90));
    cut.truncate(cut.size() / 3);
    QTest::newRow("cut JPEG") << LocalHttpServer::Reply::answer(200, cut) << QStringLiteral("不是图片");
}

void UrlDataReaderTest::failuresGiveNothingAndALogLine()
{
    QFETCH(LocalHttpServer::Reply, reply);
    QFETCH(QString, said);
    server_->enqueue(reply);
    std::string log;
    QVERIFY(!load("/photo.png", &log));
    QVERIFY2(QString::fromStdString(log).contains(said), log.c_str());
    QVERIFY2(log.find("/photo.png") != std::string::npos, log.c_str());
}

void UrlDataReaderTest::serverThatNeverAnswersGivesNothing()
{
    server_->enqueue(LocalHttpServer::Reply::neverAnswer());
    std::string log;
    QVERIFY(!load("/slow.png", &log));
    QVERIFY2(log.find("no answer within 1000 ms") != std::string::npos, log.c_str());
    QCOMPARE(server_->requestCount(), 1);
}

void UrlDataReaderTest::bodyPastTheByteLimitGivesNothing()
{
    const QByteArray png = bytesOf(encodePng(picture()));
    server_->setReplyForPath("/photo.png", LocalHttpServer::Reply::answer(200, png));
    SafeHEICLoader::setUrlByteLimit(uint64_t(png.size()));
    QVERIFY(load("/photo.png"));
    SafeHEICLoader::setUrlByteLimit(uint64_t(png.size() - 1));
    std::string log;
    QVERIFY(!load("/photo.png", &log));
    QVERIFY2(log.find("longer than " + std::to_string(png.size() - 1) + " bytes") != std::string::npos, log.c_str());
}

// The batch loads on its own plain thread; the server lives on the GUI thread, which keeps serving.
void UrlDataReaderTest::batchThreadLoadsWhileTheGuiThreadServes()
{
    server_->enqueue(LocalHttpServer::Reply::answer(200, bytesOf(encodePng(picture()))));
    const std::string url = server_->url("/batch.png").toString().toStdString();
    std::optional<Bitmap> image;
    std::atomic<bool> finished{false};
    std::thread batch([&] {
        image = SafeHEICLoader::loadHEICImageFromURL(url);
        finished = true;
    });
    const bool done = testsupport::spinUntil([&] { return finished.load(); }, 10000);
    batch.join();
    QVERIFY(done);
    QVERIFY(image);
    QCOMPARE(image->height, 16u);
}

QTEST_MAIN(UrlDataReaderTest)
#include "UrlDataReaderTest.moc"
