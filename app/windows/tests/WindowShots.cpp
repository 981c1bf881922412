// Developer tool, not a test: draws the About and update-check windows in English, Arabic and
// German, the update window in each of its states against a local HTTP server, and writes a PNG of
// each into the folder given as the argument. Run it under a display, for instance
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/release/app/window_shots /tmp/shots
// and look at the pictures. Settings and folders live in a temporary folder.

#include "LLButton.h"
#include "NSLanguage.h"
#include "NSWindowControllerCheckUpdateApp.h"
#include "NSWindowsAbout.h"

#include "IsolatedUserFolders.h"
#include "LocalHttpServer.h"

#include <QApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QTest>

#include <iostream>

using namespace pravix;
using testsupport::LocalHttpServer;

namespace
{

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QTest::qWait(30);
    }
}

bool save(QWidget& window, const QString& folder, const QString& name)
{
    settle();
    const QString path = folder + "/" + name + ".png";
    const bool ok = window.grab().save(path);
    std::cout << (ok ? "wrote " : "could not write ") << path.toStdString() << std::endl;
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    pravix::test::IsolatedUserFolders folders;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pravix"));
    QApplication::setApplicationVersion(QStringLiteral(PRAVIX_VERSION));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("window-shots");
    QDir().mkpath(folder);

    LocalHttpServer server;
    const QString release = QStringLiteral(
        "Pravix 1.2.0\n"
        "• Converts Live Photos' still image as well.\n"
        "• Keeps the GPS position in the Exif block of JPG output.\n"
        "• Faster previews of large JPEG 2000 files.\n"
        "<b>Markup from the server is shown as it is</b>\n"
        "• Fixes a crash when the output folder is removed during a conversion.");
    const QByteArray newer = QJsonDocument(QJsonObject{{"version", "1.2.0"},
                                                       {"info", release},
                                                       {"download", "https://download.example.org/pravix.deb"}})
                                 .toJson();

    int failures = 0;
    for (const auto& [code, tag] : {std::pair{0, "en"}, std::pair{7, "ar"}, std::pair{5, "de"}}) {
        NSLanguage::shareInstance().setLanguage(code);
        const QString suffix = QString::fromLatin1(tag);

        NSWindowsAbout about([] {
            AboutSources sources;
            sources.appName = QApplication::applicationName();
            sources.version = QApplication::applicationVersion();
            sources.websiteHost = QStringLiteral("www.pravix.example.org");
            return sources;
        });
        about.Show();
        failures += !save(about, folder, "about-" + suffix);
        QTest::keyClick(&about, Qt::Key_Tab);
        failures += !save(about, folder, "about-focus-" + suffix);
        about.close();

        UpdateCheckerSources sources;
        sources.server = server.url().toString();
        sources.runningVersion = QApplication::applicationVersion();
        sources.timeout = std::chrono::milliseconds(400);
        NSWindowControllerCheckUpdateApp update(sources);

        server.enqueue(LocalHttpServer::Reply::neverAnswer());
        update.Show();
        failures += !save(update, folder, "update-checking-" + suffix);

        server.enqueue(LocalHttpServer::Reply::answer(200, newer));
        update.CheckUpdate();
        testsupport::spinUntil([&] { return update.state() != NSWindowControllerCheckUpdateApp::State::Checking; });
        failures += !save(update, folder, "update-newer-" + suffix);

        server.enqueue(LocalHttpServer::Reply::answer(200, R"({"version":"1.0.0"})"));
        update.CheckUpdate();
        testsupport::spinUntil([&] { return update.state() != NSWindowControllerCheckUpdateApp::State::Checking; });
        failures += !save(update, folder, "update-current-" + suffix);

        server.enqueue(LocalHttpServer::Reply::answer(200, "<html>no record</html>"));
        update.CheckUpdate();
        testsupport::spinUntil([&] { return update.state() != NSWindowControllerCheckUpdateApp::State::Checking; });
        failures += !save(update, folder, "update-failure-" + suffix);
        update.close();
    }

    NSLanguage::shareInstance().setLanguage(1);
    NSWindowsAbout chinaEdition([] {
        AboutSources sources;
        sources.appName = QApplication::applicationName();
        sources.version = QApplication::applicationVersion();
        sources.international = false;
        return sources;
    });
    chinaEdition.Show();
    failures += !save(chinaEdition, folder, "about-china-cn");
    return failures == 0 ? 0 : 1;
}
