#include "ConversionListDelegate.h"
#include "ConversionTableView.h"
#include "NSLanguage.h"
#include "NSViewColor.h"
#include "NSTableHeaderWhiteView.h"
#include "PanelPaths.h"
#include "ViewController.h"

#include "FakeWindowDialogs.h"
#include "IsolatedUserFolders.h"

#include <QComboBox>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <iostream>
#include <sstream>

using namespace pravix;

namespace
{

// Collects what is written to the standard output while it lives.
class CapturedOutput
{
public:
    CapturedOutput() : previous_(std::cout.rdbuf(buffer_.rdbuf())) {}
    ~CapturedOutput() { std::cout.rdbuf(previous_); }
    std::string text() const { return buffer_.str(); }

private:
    std::ostringstream buffer_;
    std::streambuf* previous_;
};

void writeFile(const QString& path, const QByteArray& bytes = "x")
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList heicPaths(const std::vector<NSPravixData>& list)
{
    QStringList paths;
    for (const NSPravixData& entry : list) {
        paths << QString::fromStdString(entry.HeicPath);
    }
    return paths;
}

}  // namespace

// How files get into the list and leave it: the add function's rules, the open panel, drops, the
// select-all header and the three removal actions with their questions.
class ConversionListActionsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void addHeicPathTakesHeicNamesInAnyCase();
    void addHeicPathNamesTheEntry();
    void duplicateIsLoggedAndKeptOnce();
    void sizeComesFromTheFileSystem();
    void panelAddsFilesAndFolderEntries();
    void cancelledPanelAddsNothing();
    void startOnAnEmptyListOffersThePanel();
    void dropAddsPathsWithoutOpeningFolders();
    void selectAllHeaderFollowsTheTicks();
    void nothingTickedShowsTheAlert();
    void removeAllAsksFirst();
    void deleteRemovesOneRow();
    void allDeleteRemovesTheTickedRows();

private:
    ViewController& c() { return *controller_; }

    test::IsolatedUserFolders folders_;
    QTemporaryDir dir_;
    std::shared_ptr<test::FakeWindowDialogs> dialogs_;
    std::unique_ptr<ViewController> controller_;
};

void ConversionListActionsTest::init()
{
    test::IsolatedUserFolders::clearSettings();
    NSLanguage::shareInstance().setLanguage(0);
    dialogs_ = std::make_shared<test::FakeWindowDialogs>();
    MainWindowEnvironment environment;
    environment.dialogs = dialogs_;
    environment.batchPause = std::chrono::milliseconds(10);
    environment.openUrl = [](const QUrl&) { return true; };
    controller_ = std::make_unique<ViewController>(environment);
    controller_->resize(900, 600);
    controller_->show();
    QVERIFY(QTest::qWaitForWindowExposed(controller_.get()));
}

void ConversionListActionsTest::cleanup()
{
    controller_.reset();
}

void ConversionListActionsTest::addHeicPathTakesHeicNamesInAnyCase()
{
    using Result = ConversionListModel::AddResult;
    const QString folder = dir_.path();
    QDir(folder).mkdir("Pictures");
    for (const char* name : {"IMG_0001.HEIC", "IMG_0001.heic", "photo.HeIc", "heic", "IMG.heic.jpg"}) {
        writeFile(folder + "/" + name);
    }
    QCOMPARE(c().AddHeicPath(folder + "/IMG_0001.HEIC"), Result::Added);
    QCOMPARE(c().AddHeicPath(folder + "/IMG_0001.heic"), Result::Added);
    QCOMPARE(c().AddHeicPath(folder + "/photo.HeIc"), Result::Added);
    QCOMPARE(c().AddHeicPath(folder + "/heic"), Result::NotHeic);
    QCOMPARE(c().AddHeicPath(folder + "/IMG.heic.jpg"), Result::NotHeic);
    QCOMPARE(c().AddHeicPath(folder + "/Pictures"), Result::NotHeic);
    QCOMPARE(c().TablePathArr().size(), size_t(3));
    QCOMPARE(c().listModel()->rowCount(), 3);
}

void ConversionListActionsTest::addHeicPathNamesTheEntry()
{
    QCOMPARE(c().AddHeicPath("/x/a.b.heic"), ConversionListModel::AddResult::Added);
    const NSPravixData& entry = c().TablePathArr().front();
    QCOMPARE(entry.FileName, std::string("a"));
    QCOMPARE(entry.OriginalFilePath, std::string("/x"));
    QCOMPARE(entry.HeicPath, std::string("/x/a.b.heic"));
    QVERIFY(entry.isSelect);
    QVERIFY(entry.ToPath.empty() && entry.ToTitle.empty() && entry.ToErrInfo.empty());
    // A file that cannot be read is listed with 0 bytes.
    QCOMPARE(entry.HeicFileSize, std::string("0.00 byte"));
}

void ConversionListActionsTest::duplicateIsLoggedAndKeptOnce()
{
    const QString path = dir_.path() + "/same.heic";
    writeFile(path);
    QCOMPARE(c().AddHeicPath(path), ConversionListModel::AddResult::Added);
    CapturedOutput output;
    QCOMPARE(c().AddHeicPath(path), ConversionListModel::AddResult::Duplicate);
    QCOMPARE(c().TablePathArr().size(), size_t(1));
    QVERIFY(output.text().find("找到重复：" + path.toStdString()) != std::string::npos);
    // Duplicates go by the exact text: another spelling of the same file is another entry.
    QCOMPARE(c().AddHeicPath(dir_.path() + "//same.heic"), ConversionListModel::AddResult::Added);
}

void ConversionListActionsTest::sizeComesFromTheFileSystem()
{
    // A sparse file of 3 GB: its size is read without reading the file (which would need 3 GB of
    // memory and minutes).
    const QString path = dir_.path() + "/huge.heic";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64(3) * 1000 * 1000 * 1000));
    file.close();
    writeFile(dir_.path() + "/small.heic", QByteArray(1500, 'h'));
    QCOMPARE(c().AddHeicPath(path), ConversionListModel::AddResult::Added);
    QCOMPARE(c().AddHeicPath(dir_.path() + "/small.heic"), ConversionListModel::AddResult::Added);
    QCOMPARE(c().TablePathArr()[0].HeicFileSize, std::string("3.00 GB"));
    QCOMPARE(c().TablePathArr()[1].HeicFileSize, std::string("1.50 KB"));
}

void ConversionListActionsTest::panelAddsFilesAndFolderEntries()
{
    const QString folder = dir_.path() + "/chosen";
    QDir().mkpath(folder + "/nested");
    QDir().mkpath(folder + "/odd.heic");
    writeFile(folder + "/b.heic");
    writeFile(folder + "/a.HEIC");
    writeFile(folder + "/.hidden.heic");
    writeFile(folder + "/notes.txt");
    writeFile(folder + "/nested/deep.heic");
    const QString single = dir_.path() + "/single.heic";
    writeFile(single);

    dialogs_->openAnswers.enqueue(QStringList{folder, dir_.path() + "/gone.heic", single});
    QTest::mouseClick(c().AddFileBt(), Qt::LeftButton);
    QCOMPARE(dialogs_->calls, QStringList{"open Add Files"});
    // The folder's direct entries, hidden ones and a folder with a HEIC name included; nothing of
    // the sub-folder; the path that went away skipped.
    QCOMPARE(heicPaths(c().TablePathArr()),
             QStringList({folder + "/.hidden.heic", folder + "/a.HEIC", folder + "/b.heic", folder + "/odd.heic", single}));
    QVERIFY(!c().AddHeicFileView()->isVisible());
    QVERIFY(c().TableView()->alternatingRowColors());

    // The panel's paths alone, for the root folder too: one "/" between folder and name.
    QVERIFY(pathsFromPanel({"/"}).contains("/tmp"));
    QVERIFY(!pathsFromPanel({"/"}).contains("//tmp"));
}

void ConversionListActionsTest::cancelledPanelAddsNothing()
{
    QTest::mouseClick(c().AddHeicFileBt(), Qt::LeftButton);
    QCOMPARE(dialogs_->calls, QStringList{"open Add Files"});
    QVERIFY(c().TablePathArr().empty());
    QVERIFY(c().AddHeicFileView()->isVisible());
    QVERIFY(!c().TableView()->alternatingRowColors());
}

void ConversionListActionsTest::startOnAnEmptyListOffersThePanel()
{
    const QString path = dir_.path() + "/one.heic";
    writeFile(path);
    dialogs_->openAnswers.enqueue(QStringList{path});
    QTest::mouseClick(c().PravixBt(), Qt::LeftButton);
    QCOMPARE(dialogs_->calls, QStringList{"open Add Files"});
    QCOMPARE(heicPaths(c().TablePathArr()), QStringList{path});
    // Nothing is converted: the button still says Convert and no batch runs.
    QVERIFY(c().isStopTo());
    QVERIFY(!c().batch().isBatchRunning());
    QCOMPARE(c().PravixBt()->text(), QString("Convert"));
    QVERIFY(c().TablePathArr()[0].ToPath.empty());
}

void ConversionListActionsTest::dropAddsPathsWithoutOpeningFolders()
{
    const QString folder = dir_.path() + "/Pictures";
    QDir().mkpath(folder);
    writeFile(folder + "/inside.heic");
    const QString heicFolder = dir_.path() + "/album.heic";
    QDir().mkpath(heicFolder);
    const QString file = dir_.path() + "/dropped.HEIC";
    writeFile(file);
    c().dragDropViewFileList({folder, heicFolder, file, dir_.path() + "/readme.md"});
    // A folder is taken by its own name only, never opened.
    QCOMPARE(heicPaths(c().TablePathArr()), QStringList({heicFolder, file}));
    QVERIFY(!c().AddHeicFileView()->isVisible());
    QCOMPARE(c().DropView()->delegate(), static_cast<DragDropViewDelegate*>(&c()));
}

void ConversionListActionsTest::selectAllHeaderFollowsTheTicks()
{
    NSSelectTableHeaderCell& box = c().TableView()->headerView()->FileSelect();
    // An empty list shows the box ticked.
    c().SelectEvent();
    QCOMPARE(box.Select(), 1);
    c().dragDropViewFileList({"/p/1.heic", "/p/2.heic", "/p/3.heic"});
    QCOMPARE(box.Select(), 1);

    ConversionListDelegate* cells = c().TableView()->listDelegate();
    cells->SelectEvent(c().listModel(), 1);
    QVERIFY(!c().TablePathArr()[1].isSelect);
    QCOMPARE(box.Select(), 0);
    cells->SelectEvent(c().listModel(), 1);
    QCOMPARE(box.Select(), 1);

    // A click on the header clears every tick, the next ticks them all.
    const QRect section(c().TableView()->headerView()->sectionViewportPosition(SelectColumn), 0,
                        c().TableView()->headerView()->sectionSize(SelectColumn), NSTableHeaderWhiteView::kHeight);
    QTest::mouseClick(c().TableView()->headerView()->viewport(), Qt::LeftButton, {}, section.center());
    QCOMPARE(box.Select(), 0);
    for (const NSPravixData& entry : c().TablePathArr()) {
        QVERIFY(!entry.isSelect);
    }
    QTest::mouseClick(c().TableView()->headerView()->viewport(), Qt::LeftButton, {}, section.center());
    QCOMPARE(box.Select(), 1);
    for (const NSPravixData& entry : c().TablePathArr()) {
        QVERIFY(entry.isSelect);
    }
}

void ConversionListActionsTest::nothingTickedShowsTheAlert()
{
    c().dragDropViewFileList({"/p/1.heic", "/p/2.heic"});
    c().listModel()->TablePathArr()[1].ToErrInfo = "ConversionFailure";
    c().listModel()->setAllSelected(false);
    QTest::mouseClick(c().PravixBt(), Qt::LeftButton);
    QCOMPARE(dialogs_->calls, QStringList{"alert Notice|Please tick at least one HEIC file to convert.|OK"});
    QVERIFY(!c().batch().isBatchRunning());
    QVERIFY(c().OutFileType()->isEnabled());
    // The results of the unticked entries are left as they were.
    QCOMPARE(c().TablePathArr()[1].ToErrInfo, std::string("ConversionFailure"));
}

void ConversionListActionsTest::removeAllAsksFirst()
{
    // An empty list: no question.
    QTest::mouseClick(c().RemoveAllBt(), Qt::LeftButton);
    QVERIFY(dialogs_->calls.isEmpty());

    c().dragDropViewFileList({"/p/1.heic", "/p/2.heic"});
    dialogs_->questionAnswers.enqueue(false);
    QTest::mouseClick(c().RemoveAllBt(), Qt::LeftButton);
    QCOMPARE(dialogs_->calls, QStringList{"question Notice|Remove all files from the list?|Remove All|Cancel"});
    QCOMPARE(c().TablePathArr().size(), size_t(2));
    QVERIFY(!c().AddHeicFileView()->isVisible());

    dialogs_->questionAnswers.enqueue(true);
    QTest::mouseClick(c().RemoveAllBt(), Qt::LeftButton);
    QVERIFY(c().TablePathArr().empty());
    QCOMPARE(c().listModel()->rowCount(), 0);
    QVERIFY(c().AddHeicFileView()->isVisible());
    QVERIFY(!c().TableView()->alternatingRowColors());
}

void ConversionListActionsTest::deleteRemovesOneRow()
{
    c().dragDropViewFileList({"/p/1.heic", "/p/2.heic", "/p/3.heic"});
    c().listModel()->TablePathArr()[0].isSelect = false;
    c().SelectEvent();
    NSSelectTableHeaderCell& box = c().TableView()->headerView()->FileSelect();
    QCOMPARE(box.Select(), 0);
    // The delete button of the first row, which was the only unticked one.
    c().TableView()->listDelegate()->DeleteBtEvent(c().listModel(), 0);
    QCOMPARE(heicPaths(c().TablePathArr()), QStringList({"/p/2.heic", "/p/3.heic"}));
    QCOMPARE(box.Select(), 1);
    QVERIFY(dialogs_->calls.isEmpty());
    c().TableView()->listDelegate()->DeleteBtEvent(c().listModel(), 1);
    c().TableView()->listDelegate()->DeleteBtEvent(c().listModel(), 0);
    QVERIFY(c().TablePathArr().empty());
    QVERIFY(c().AddHeicFileView()->isVisible());
}

void ConversionListActionsTest::allDeleteRemovesTheTickedRows()
{
    c().dragDropViewFileList({"/p/1.heic", "/p/2.heic", "/p/3.heic"});
    c().listModel()->TablePathArr()[1].isSelect = false;
    QSignalSpy clicked(c().TableView(), &ConversionTableView::allDeleteClicked);
    const QRect section(c().TableView()->headerView()->sectionViewportPosition(DeleteColumn), 0,
                        c().TableView()->headerView()->sectionSize(DeleteColumn), NSTableHeaderWhiteView::kHeight);
    QTest::mouseClick(c().TableView()->headerView()->viewport(), Qt::LeftButton, {}, section.center());
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(heicPaths(c().TablePathArr()), QStringList{"/p/2.heic"});
    QVERIFY(dialogs_->calls.isEmpty());
    c().listModel()->TablePathArr()[0].isSelect = true;
    c().AllDeleteBtEvent();
    QVERIFY(c().TablePathArr().empty());
    QVERIFY(c().AddHeicFileView()->isVisible());
}

QTEST_MAIN(ConversionListActionsTest)
#include "ConversionListActionsTest.moc"
