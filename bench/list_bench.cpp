// Times the conversion list at 10,000 entries: the reload and repaint of the visible rows that the
// batch's 1-second timer causes, and adding 10,000 paths through the list's add function. Runs on
// the offscreen platform unless another is chosen.
//
//     build/release/bench/list_bench [--entries N] [--repeats N]

#include "ConversionListModel.h"
#include "ConversionTableView.h"
#include "NSLanguage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <sstream>
#include <vector>

using namespace pravix;

namespace
{

struct Figures
{
    double median = 0;
    double worst = 0;
};

Figures timeRepeated(int repeats, const std::function<void()>& work)
{
    std::vector<double> ms;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

double timeOnce(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int entries = 10000;
    int repeats = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--entries")) {
            entries = std::max(1, std::atoi(argv[i + 1]));
        } else if (!std::strcmp(argv[i], "--repeats")) {
            repeats = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList paths;
    for (int i = 0; i < entries; ++i) {
        const QString path = dir.path() + QString::asprintf("/IMG_%05d.heic", i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(1000 + i, 'h')) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        paths << path;
    }

    std::vector<NSPravixData> list;
    ConversionListModel model(list);
    ConversionTableView table(&model);
    table.resize(900, 640);
    table.show();
    QApplication::processEvents();

    const double addAll = timeOnce([&] { model.AddHeicPaths(paths); });
    // Every one a duplicate; the 10,000 log lines go to a buffer, not the terminal.
    std::stringstream log;
    std::streambuf* out = std::cout.rdbuf(log.rdbuf());
    const double addAgain = timeOnce([&] { model.AddHeicPaths(paths); });
    std::cout.rdbuf(out);
    QApplication::processEvents();

    std::vector<NSPravixData> oneByOneList;
    ConversionListModel oneByOne(oneByOneList);
    ConversionTableView oneByOneTable(&oneByOne);
    oneByOneTable.resize(900, 640);
    oneByOneTable.show();
    QApplication::processEvents();
    const double addSingles = timeOnce([&] {
        for (const QString& path : paths) {
            oneByOne.AddHeicPath(path);
        }
    });
    oneByOneTable.hide();

    // A batch in the middle of the list: results above, the row converting, waiting rows below.
    table.scrollTo(model.index(entries / 2, 0), QAbstractItemView::PositionAtCenter);
    for (int i = 0; i < entries / 2; ++i) {
        list[size_t(i)].ToPath = "/out/x.jpg";
    }
    int tick = 0;
    const Figures reload = timeRepeated(repeats, [&] {
        list[size_t(entries / 2)].ToTitle = std::string("Converting") + std::string(size_t(1 + tick++ % 3), '.');
        table.reloadData();
        table.viewport()->repaint();
    });
    const Figures reset = timeRepeated(repeats, [&] {
        model.resetList();
        table.viewport()->repaint();
    });
    // Every visible row failed with a long text: the state cells fit their fonts on each paint.
    for (NSPravixData& entry : list) {
        entry.ToErrInfo = "FolderReadOnly";
    }
    const Figures errors = timeRepeated(repeats, [&] {
        table.reloadData();
        table.viewport()->repaint();
    });

    std::printf("entries: %d, visible rows: %d, repeats: %d, platform: %s\n", entries,
                table.viewport()->height() / 32, repeats, qPrintable(QGuiApplication::platformName()));
    std::printf("add %d paths (AddHeicPaths, one insertion):  %8.1f ms\n", entries, addAll);
    std::printf("add the same %d again (all duplicates):      %8.1f ms\n", entries, addAgain);
    std::printf("add %d paths one AddHeicPath at a time:      %8.1f ms\n", entries, addSingles);
    std::printf("reload + repaint (timer tick):     median %6.2f ms, worst %6.2f ms\n", reload.median, reload.worst);
    std::printf("reset + repaint:                   median %6.2f ms, worst %6.2f ms\n", reset.median, reset.worst);
    std::printf("reload + repaint, all error texts: median %6.2f ms, worst %6.2f ms\n", errors.median, errors.worst);
    return 0;
}
