// Developer tool, not part of the program: shows the main window with some photos in its list, in
// a chosen language, for looking at it; with --shots it converts them and saves screenshots of the
// window idle, during the batch and after it (summary sheet included) into a folder, then quits.
//
//   pravix_mainwindow_showcase [--lang CODE] [--market intl|cn] [--pause MS] [--shots DIR] FILE...
//
// The conversion writes beside the photos: pass copies. Run it under
//   xvfb-run -a -s "-screen 0 1600x1000x24"
// with HOME and the XDG folders pointing at a scratch folder, so your own settings stay untouched.

#include "AppDelegate.h"
#include "AppResources.h"
#include "NSLanguage.h"
#include "ConversionTableView.h"
#include "NSMianWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace pravix;

namespace
{

// What the screen shows where the window is: its own pixels and any sheet over it.
void saveShot(QWidget* window, const QString& path)
{
    QScreen* screen = window->screen();
    const QRect frame = window->frameGeometry();
    const QPixmap shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (!shot.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }
}

// Calls `then` once `condition` holds, checking every 50 ms.
void whenTrue(std::function<bool()> condition, std::function<void()> then)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, condition, then] {
        if (condition()) {
            timer->stop();
            timer->deleteLater();
            then();
        }
    });
    timer->start(50);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName("Pravix");
    QApplication app(argc, argv);
    initAppResources();
    QStringList arguments = app.arguments().mid(1);
    LanguageCode language = 0;
    std::optional<bool> international;
    int pauseMs = 1000;
    QString shots;
    QStringList files;
    while (!arguments.isEmpty()) {
        const QString argument = arguments.takeFirst();
        if (argument == "--lang" && !arguments.isEmpty()) {
            language = arguments.takeFirst().toInt();
        } else if (argument == "--market" && !arguments.isEmpty()) {
            international = arguments.takeFirst() != "cn";
        } else if (argument == "--pause" && !arguments.isEmpty()) {
            pauseMs = arguments.takeFirst().toInt();
        } else if (argument == "--shots" && !arguments.isEmpty()) {
            shots = arguments.takeFirst();
        } else {
            files << QFileInfo(argument).absoluteFilePath();
        }
    }

    NSLanguage::shareInstance().setLanguage(language);
    MainWindowEnvironment environment;
    environment.batchPause = std::chrono::milliseconds(pauseMs);
    environment.international = international;
    NSMianWindow window(environment);
    // The program's menu bar with the language ticked (no start-up: no log file, no reports).
    AppDelegate delegate(window);
    delegate.setLanguage(language);
    window.move(40, 40);
    window.show();
    ViewController* controller = window.contentViewController();
    controller->dragDropViewFileList(files);
    if (shots.isEmpty()) {
        return app.exec();
    }

    QDir().mkpath(shots);
    const QString prefix = shots + "/" + NSLanguage::shareInstance().LanguageStrings() + "-";
    QTimer::singleShot(800, [&] {
        saveShot(&window, prefix + (files.isEmpty() ? "empty.png" : "idle.png"));
        if (files.isEmpty()) {
            app.quit();
            return;
        }
        controller->PravixBtEvent();
        // During: a row done, another being converted; its progress dots drawn at once (as the
        // 1-second timer would) so that a quick conversion shows them too.
        whenTrue(
            [controller] {
                bool done = false;
                for (const NSPravixData& entry : controller->TablePathArr()) {
                    done = done || !entry.ToPath.empty();
                }
                const std::optional<uint64_t> current = controller->batch().currentEntryId();
                const int row = current ? controller->listModel()->rowOfEntryId(*current) : -1;
                if (!done || row < 0 || !controller->TablePathArr()[static_cast<size_t>(row)].ToPath.empty()) {
                    return false;
                }
                controller->UpdateStateTimerEvent();
                controller->TableView()->viewport()->repaint();
                return true;
            },
            [&] {
                saveShot(&window, prefix + "during.png");
                whenTrue([controller] { return !controller->batch().isBatchRunning(); },
                         [&] {
                             QTimer::singleShot(600, [&] {
                                 saveShot(&window, prefix + "after.png");
                                 app.quit();
                             });
                         });
            });
    });
    return app.exec();
}
