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

using namespace pravix;

namespace
{

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

// How the window puts files into the list and takes them out: the open panel, drops, the
// select-all header and the three removal actions with their questions. (The add function's name
// and type rules are the list model's, tested with it.)
class ConversionListActionsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
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
    controller_ = std::make_unique<ViewController>(test::windowEnvironment(dialogs_, std::chrono::milliseconds(10)));
    controller_->resize(900, 600);
    controller_->show();
    QVERIFY(QTest::qWaitForWindowExposed(controller_.get()));
}

void ConversionListActionsTest::cleanup()
{
    controller_.reset();
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
