// Pravix, the HEIC photo converter: the program a user starts.

#include "AppDelegate.h"
#include "AppImages.h"
#include "AppResources.h"
#include "NSMianWindow.h"
#include "QtLogFilter.h"
#include "TerminationSignals.h"
#include "UrlDataReader.h"

#include <QApplication>

#include <iostream>

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Pravix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PRAVIX_VERSION));
    // The installed pravix.desktop: its icon and name stand for the window in the desktop's task bar.
    QGuiApplication::setDesktopFileName(QStringLiteral("pravix"));
    // Before the log exists: it is the user's, not a record of a screen reader's questions.
    pravix::QtLogFilter logFilter;
    QApplication application(argc, argv);
    pravix::initAppResources();
    QApplication::setWindowIcon(pravix::appIcon(QStringLiteral("AppIcon")));
    pravix::TerminationSignals terminationSignals;
    // The image loader reads pictures named by web addresses through the services' network.
    pravix::installUrlDataReader();

    // The main window first, then its menu and start-up; both are gone before the application.
    pravix::NSMianWindow window;
    pravix::AppDelegate delegate(window);
    window.show();
    delegate.applicationDidFinishLaunching();
    std::cout << "【日志】" << QCoreApplication::applicationName().toStdString() << ' '
              << QCoreApplication::applicationVersion().toStdString() << " started" << std::endl;
    return application.exec();
}
