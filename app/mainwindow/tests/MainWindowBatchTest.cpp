#include "ConversionListDelegate.h"
#include "ConversionTableView.h"
#include "NSImagePreView.h"
#include "NSLanguage.h"
#include "NSViewColor.h"
#include "PreviewImageLoader.h"
#include "ViewController.h"

#include "FakeWindowDialogs.h"
#include "IsolatedUserFolders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

using namespace pravix;

// The window driving real batches over small HEIC files: the Start/Stop button through its three
// states, the locked controls, the refusals while a batch runs, the summary sheet, the rows'
// results and the preview of a converted file.
class MainWindowBatchTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void batchConvertsEveryTickedRow();
    void optionsOfThePaneReachTheFiles();
    void listIsLockedWhileABatchRuns();
    void secondStartWhileStoppingStartsNothing();
    void ticksChangedDuringABatchCount();
    void previewShowsTheConvertedFile();

private:
    void makeController(std::chrono::milliseconds pause);
    // Copies the three fixtures into a fresh folder and drops them onto the window.
    QStringList dropPhotos();
    bool summaryShown() const;

    test::IsolatedUserFolders folders_;
    std::unique_ptr<QTemporaryDir> photos_;
    std::shared_ptr<test::FakeWindowDialogs> dialogs_;
    std::unique_ptr<ViewController> controller_;
};

void MainWindowBatchTest::init()
{
    test::IsolatedUserFolders::clearSettings();
    NSLanguage::shareInstance().setLanguage(0);
    photos_ = std::make_unique<QTemporaryDir>();
    makeController(std::chrono::milliseconds(10));
}

void MainWindowBatchTest::cleanup()
{
    controller_.reset();
    photos_.reset();
}

void MainWindowBatchTest::makeController(std::chrono::milliseconds pause)
{
    controller_.reset();
    dialogs_ = std::make_shared<test::FakeWindowDialogs>();
    controller_ = std::make_unique<ViewController>(test::windowEnvironment(dialogs_, pause));
    controller_->resize(900, 600);
    controller_->show();
    QVERIFY(QTest::qWaitForWindowExposed(controller_.get()));
}

QStringList MainWindowBatchTest::dropPhotos()
{
    const QStringList sources = {PRAVIX_SOURCE_DIR "/convert/tests/data/camera_mm.heic",
                                 PRAVIX_SOURCE_DIR "/convert/tests/data/camera_ii.heic",
                                 PRAVIX_SOURCE_DIR "/platform/tests/data/single.heic"};
    QStringList copies;
    for (const QString& source : sources) {
        const QString copy = photos_->path() + "/" + QFileInfo(source).fileName();
        if (!QFile::copy(source, copy)) {
            qWarning() << "cannot copy" << source;
        }
        copies << copy;
    }
    controller_->dragDropViewFileList(copies);
    return copies;
}

bool MainWindowBatchTest::summaryShown() const
{
    return dialogs_->calls.contains("sheet Notice|Conversion finished. Files converted successfully: 3|OK");
}

void MainWindowBatchTest::batchConvertsEveryTickedRow()
{
    ViewController& c = *controller_;
    const QStringList photos = dropPhotos();
    QCOMPARE(c.TablePathArr().size(), size_t(3));

    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    // Converting: the button says Stop, the options and the add button are locked, the timer runs.
    QVERIFY(!c.isStopTo());
    QCOMPARE(c.PravixBt()->text(), QString("Stop"));
    QVERIFY(!c.OutFileType()->isEnabled());
    QVERIFY(!c.SelectImageSize()->isEnabled());
    QVERIFY(!c.ImageQuality()->isEnabled());
    QVERIFY(!c.Exif()->isEnabled());
    QVERIFY(!c.AddFileBt()->isEnabled());
    QVERIFY(!c.SelectPathBt()->isEnabled());
    QVERIFY(c.isUpdateStateTimerRunning());

    QTRY_VERIFY_WITH_TIMEOUT(summaryShown(), 30000);
    QCOMPARE(dialogs_->calls.size(), 1);
    for (int row = 0; row < 3; ++row) {
        const NSPravixData& entry = c.TablePathArr()[static_cast<size_t>(row)];
        const QString expected = photos_->path() + "/" + QFileInfo(photos[row]).completeBaseName() + ".JPG";
        QCOMPARE(QString::fromStdString(entry.ToPath), expected);
        QVERIFY(QFileInfo(expected).size() > 0);
        QVERIFY(entry.ToErrInfo.empty());
        QVERIFY(entry.ToTitle.empty());
        const QModelIndex state = c.listModel()->index(row, StateColumn);
        QCOMPARE(state.data(ConversionListModel::StateIconRole).toString(), QString("ToComplete"));
        QVERIFY(c.listModel()->index(row, PreviewColumn).data(ConversionListModel::PreviewVisibleRole).toBool());
    }
    // Idle again: everything unlocked, the timer stopped; the choose button stays off while the
    // output goes beside the sources.
    QVERIFY(c.isStopTo());
    QCOMPARE(c.PravixBt()->text(), QString("Convert"));
    QVERIFY(c.OutFileType()->isEnabled());
    QVERIFY(c.SelectImageSize()->isEnabled());
    QVERIFY(c.ImageQuality()->isEnabled());
    QVERIFY(c.Exif()->isEnabled());
    QVERIFY(c.AddFileBt()->isEnabled());
    QVERIFY(!c.SelectPathBt()->isEnabled());
    QVERIFY(!c.isUpdateStateTimerRunning());

    // A second run converts again, to the next free names.
    dialogs_->calls.clear();
    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(summaryShown(), 30000);
    QCOMPARE(QString::fromStdString(c.TablePathArr()[0].ToPath), photos_->path() + "/camera_mm(1).JPG");
}

void MainWindowBatchTest::optionsOfThePaneReachTheFiles()
{
    ViewController& c = *controller_;
    dropPhotos();
    c.listModel()->TablePathArr()[1].isSelect = false;
    c.listModel()->TablePathArr()[2].isSelect = false;
    const QString out = photos_->path() + "/out/nested";
    QTest::mouseClick(c.SaveCustomPath(), Qt::LeftButton, {}, QPoint(8, c.SaveCustomPath()->height() / 2));
    dialogs_->folderAnswers.enqueue(out);
    QTest::mouseClick(c.SelectPathBt(), Qt::LeftButton);
    c.OutFileType()->setCurrentIndex(1);
    c.SelectImageSize()->setCurrentIndex(4);

    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(dialogs_->calls.contains("sheet Notice|Conversion finished. Files converted successfully: 1|OK"),
                             30000);
    const QString written = out + "/camera_mm.PNG";
    QCOMPARE(QString::fromStdString(c.TablePathArr()[0].ToPath), written);
    const QImage image = loadPreviewImage(written);
    QCOMPARE(image.size(), QSize(32, 24));
    // Unticked rows are left alone; the custom place keeps its choose button after the run.
    QVERIFY(c.TablePathArr()[1].ToPath.empty());
    QVERIFY(c.SelectPathBt()->isEnabled());
    // PNG keeps the Exif box off, also after the batch unlocked the pane.
    QVERIFY(!c.Exif()->isEnabled());
}

void MainWindowBatchTest::listIsLockedWhileABatchRuns()
{
    // A long pause holds the batch before its first entry.
    makeController(std::chrono::milliseconds(60000));
    ViewController& c = *controller_;
    dropPhotos();
    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    QVERIFY(c.batch().isBatchRunning());
    const QString busy = "alert Notice|A conversion is running. Please wait until it has finished.|OK";

    c.TableView()->listDelegate()->DeleteBtEvent(c.listModel(), 0);
    QCOMPARE(dialogs_->calls, QStringList{busy});
    c.AllDeleteBtEvent();
    QTest::mouseClick(c.RemoveAllBt(), Qt::LeftButton);
    QCOMPARE(dialogs_->calls, QStringList({busy, busy, busy}));
    // A drop is ignored without a word; the add buttons do nothing.
    const QString extra = photos_->path() + "/extra.heic";
    QFile::copy(PRAVIX_SOURCE_DIR "/convert/tests/data/camera_mm.heic", extra);
    c.dragDropViewFileList({extra});
    dialogs_->openAnswers.enqueue(QStringList{extra});
    c.AddHeicFileBtEvent();
    QCOMPARE(dialogs_->calls.size(), 3);
    QCOMPARE(c.TablePathArr().size(), size_t(3));

    // Stop: the worker leaves its pause at once; no summary.
    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!c.batch().isBatchRunning(), 10000);
    QCOMPARE(c.PravixBt()->text(), QString("Convert"));
    QCOMPARE(dialogs_->calls.size(), 3);
    for (const NSPravixData& entry : c.TablePathArr()) {
        QVERIFY(entry.ToPath.empty());
    }
    // Idle again, a drop is taken.
    c.dragDropViewFileList({extra});
    QCOMPARE(c.TablePathArr().size(), size_t(4));
}

void MainWindowBatchTest::secondStartWhileStoppingStartsNothing()
{
    makeController(std::chrono::milliseconds(60000));
    ViewController& c = *controller_;
    dropPhotos();
    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    QCOMPARE(c.batch().phase(), BatchPhase::Converting);
    // Stop and Start again before the worker's report has come back.
    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    QCOMPARE(c.batch().phase(), BatchPhase::Stopping);
    QCOMPARE(c.PravixBt()->text(), QString::fromUtf8("Stopping…"));
    QVERIFY(c.isStopTo());
    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    QCOMPARE(c.batch().phase(), BatchPhase::Stopping);
    QCOMPARE(c.PravixBt()->text(), QString::fromUtf8("Stopping…"));
    // While stopping the list is still locked.
    c.dragDropViewFileList({photos_->path() + "/late.heic"});
    QCOMPARE(c.TablePathArr().size(), size_t(3));
    QTRY_VERIFY_WITH_TIMEOUT(c.batch().phase() == BatchPhase::Idle, 10000);
    QVERIFY(!c.isUpdateStateTimerRunning());
    QVERIFY(dialogs_->calls.isEmpty());
    for (const NSPravixData& entry : c.TablePathArr()) {
        QVERIFY(entry.ToPath.empty() && entry.ToErrInfo.empty());
    }
}

// The batch reads each row's tick when it gets there, so the list's boxes and its select-all header
// still steer it while it runs.
void MainWindowBatchTest::ticksChangedDuringABatchCount()
{
    ViewController& c = *controller_;
    dropPhotos();
    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    QVERIFY(c.batch().isBatchRunning());
    // Space on the second row, as the keyboard clears it.
    c.TableView()->setFocus();
    c.TableView()->setCurrentIndex(c.listModel()->index(1, NameColumn));
    QTest::keyClick(c.TableView(), Qt::Key_Space);
    QVERIFY(!c.TablePathArr()[1].isSelect);
    QTRY_VERIFY_WITH_TIMEOUT(
        dialogs_->calls.contains("sheet Notice|Conversion finished. Files converted successfully: 2|OK"), 30000);
    QVERIFY(c.TablePathArr()[1].ToPath.empty());
    QVERIFY(!c.TablePathArr()[2].ToPath.empty());

    // The header ticks every row of a running batch.
    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    QVERIFY(c.batch().isBatchRunning());
    QHeaderView* header = c.TableView()->horizontalHeader();
    const int x = header->sectionViewportPosition(SelectColumn) + header->sectionSize(SelectColumn) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    QVERIFY(c.listModel()->allSelected());
    QTRY_VERIFY_WITH_TIMEOUT(summaryShown(), 30000);
    QCOMPARE(QString::fromStdString(c.TablePathArr()[1].ToPath), photos_->path() + "/camera_ii.JPG");
}

void MainWindowBatchTest::previewShowsTheConvertedFile()
{
    ViewController& c = *controller_;
    dropPhotos();
    QTest::mouseClick(c.PravixBt(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(summaryShown(), 30000);

    // The row's preview button, as the user clicks it.
    ConversionTableView* table = c.TableView();
    const QModelIndex preview = c.listModel()->index(2, PreviewColumn);
    const QRect button = ConversionListDelegate::buttonRect(preview, table->visualRect(preview), table->layoutDirection());
    QVERIFY(!button.isEmpty());
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, button.center());
    NSImagePreView* window = c.ImagePreView();
    QVERIFY(window != nullptr);
    QCOMPARE(window->imagePath(), QString::fromStdString(c.TablePathArr()[2].ToPath));
    QTRY_VERIFY_WITH_TIMEOUT(!window->isLoading(), 10000);
    QVERIFY(!window->image().isNull());
    QCOMPARE(window->image().size(), loadPreviewImage(window->imagePath()).size());
}

QTEST_MAIN(MainWindowBatchTest)
#include "MainWindowBatchTest.moc"
