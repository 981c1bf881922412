#include "ConversionListDelegate.h"
#include "ConversionListModel.h"
#include "ConversionTableView.h"
#include "ListCells.h"
#include "NSLanguage.h"
#include "NSTableCellDeleteViewDelegate.h"
#include "NSTableHeaderWhiteView.h"
#include "StateTextFit.h"
#include "WidgetExtensions.h"

#include "IsolatedUserFolders.h"

#include <QSignalSpy>
#include <QtTest>

using namespace pravix;

namespace
{

// Records the calls of the cells, with the path of the entry each was about.
class RecordingDelegate final : public NSTableCellDeleteViewDelegate
{
public:
    void DeleteEvent(NSPravixData& data) override { calls << "delete " + QString::fromStdString(data.HeicPath); }
    void PreViewEvent(NSPravixData& data) override { calls << "preview " + QString::fromStdString(data.HeicPath); }
    void SelectEvent() override { calls << "select"; }
    QStringList calls;
};

}  // namespace

class ConversionTableViewTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void clicksReachTheRightRow();
    void hiddenPreviewButtonDoesNothing();
    void releaseOutsideTheButtonDoesNothing();
    void tickBoxWithoutDelegate();
    void selectAllThroughTheHeader();
    void mixedHeaderBoxShowsCheckAndClears();
    void deleteHeaderAsksForAllDelete();
    void checkAllSelectFollowsTheTicks();
    void keyboardActsOnTheCurrentRow();
    void rightToLeftReversesTheColumns();
    void selectedRowIsFilledC3d2dd();
    void headerColourFollowsWindowActivity();
    void cellRectanglesFollowTheFormulas();
    void stateTextThatFitsKeepsTwelve();
    void longStateTextShrinksOneSizeAtATime();
    void stateTextStopsAtItsFloorAndElides();

private:
    QPoint buttonCentre(int row, int column) const;
    void click(int row, int column);

    test::IsolatedUserFolders folders_;
    std::vector<NSPravixData> list_;
    std::unique_ptr<ConversionListModel> model_;
    std::unique_ptr<ConversionTableView> table_;
    RecordingDelegate delegate_;
};

void ConversionTableViewTest::init()
{
    NSLanguage::shareInstance().setLanguage(0);
    list_.clear();
    model_ = std::make_unique<ConversionListModel>(list_);
    model_->AddHeicPaths({"/p/0.heic", "/p/1.heic", "/p/2.heic", "/p/3.heic"});
    list_[1].ToPath = "/out/1.jpg";
    list_[3].ToPath = "/out/3.jpg";
    model_->reloadData();
    table_ = std::make_unique<ConversionTableView>(model_.get());
    table_->resize(800, 300);
    table_->setCellDelegate(&delegate_);
    table_->show();
    QVERIFY(QTest::qWaitForWindowExposed(table_.get()));
    delegate_.calls.clear();
}

void ConversionTableViewTest::cleanup()
{
    table_.reset();
    model_.reset();
}

QPoint ConversionTableViewTest::buttonCentre(int row, int column) const
{
    const QModelIndex index = model_->index(row, column);
    return ConversionListDelegate::buttonRect(index, table_->visualRect(index), table_->layoutDirection()).center();
}

void ConversionTableViewTest::click(int row, int column)
{
    QTest::mouseClick(table_->viewport(), Qt::LeftButton, Qt::NoModifier, buttonCentre(row, column));
}

void ConversionTableViewTest::clicksReachTheRightRow()
{
    click(3, PreviewColumn);
    click(2, DeleteColumn);
    click(1, SelectColumn);
    QCOMPARE(delegate_.calls, QStringList({"preview /p/3.heic", "delete /p/2.heic", "select"}));
    QVERIFY(!list_[1].isSelect);
    QVERIFY(list_[0].isSelect && list_[2].isSelect);
    click(1, SelectColumn);
    QVERIFY(list_[1].isSelect);
}

void ConversionTableViewTest::hiddenPreviewButtonDoesNothing()
{
    const QModelIndex index = model_->index(2, PreviewColumn);
    QVERIFY(ConversionListDelegate::buttonRect(index, table_->visualRect(index), Qt::LeftToRight).isEmpty());
    QTest::mouseClick(table_->viewport(), Qt::LeftButton, Qt::NoModifier, table_->visualRect(index).center());
    QVERIFY(delegate_.calls.isEmpty());
}

void ConversionTableViewTest::releaseOutsideTheButtonDoesNothing()
{
    const QPoint inside = buttonCentre(0, DeleteColumn);
    const QRect cell = table_->visualRect(model_->index(0, DeleteColumn));
    QTest::mousePress(table_->viewport(), Qt::LeftButton, Qt::NoModifier, inside);
    QTest::mouseRelease(table_->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(cell.left() + 2, cell.top() + 2));
    // A press elsewhere and a release on the button is no click either.
    QTest::mousePress(table_->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(cell.left() + 2, inside.y()));
    QTest::mouseRelease(table_->viewport(), Qt::LeftButton, Qt::NoModifier, inside);
    QVERIFY(delegate_.calls.isEmpty());
}

void ConversionTableViewTest::tickBoxWithoutDelegate()
{
    table_->setCellDelegate(nullptr);
    click(0, SelectColumn);
    click(1, PreviewColumn);
    click(1, DeleteColumn);
    QVERIFY(!list_[0].isSelect);
    QVERIFY(delegate_.calls.isEmpty());
    QCOMPARE(list_.size(), size_t(4));
}

void ConversionTableViewTest::selectAllThroughTheHeader()
{
    NSTableHeaderWhiteView* header = table_->headerView();
    const QPoint selectSection(header->sectionViewportPosition(SelectColumn) + header->sectionSize(SelectColumn) / 2,
                               header->height() / 2);
    QCOMPARE(header->FileSelect().Select(), 1);  // every new entry is ticked
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, selectSection);
    QCOMPARE(header->FileSelect().Select(), 0);
    QCOMPARE(header->FileSelect().SelectImage(), QString("Check_NO"));
    for (const NSPravixData& entry : list_) {
        QVERIFY(!entry.isSelect);
    }
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, selectSection);
    QCOMPARE(header->FileSelect().Select(), 1);
    QCOMPARE(header->FileSelect().SelectImage(), QString("Check_YES"));
    for (const NSPravixData& entry : list_) {
        QVERIFY(entry.isSelect);
    }
    QCOMPARE(model_->index(2, SelectColumn).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
}

void ConversionTableViewTest::mixedHeaderBoxShowsCheckAndClears()
{
    NSSelectTableHeaderCell& cell = table_->headerView()->FileSelect();
    cell.setSelect(2);
    QCOMPARE(cell.SelectImage(), QString("Check"));
    NSTableHeaderWhiteView* header = table_->headerView();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(SelectColumn) + 5, header->height() / 2));
    QCOMPARE(cell.Select(), 0);
    QVERIFY(!model_->allSelected());
    cell.DefaultSelect();
    QVERIFY(cell.SelectHidden());
    QCOMPARE(cell.Select(), 0);
}

void ConversionTableViewTest::deleteHeaderAsksForAllDelete()
{
    QSignalSpy allDelete(table_.get(), &ConversionTableView::allDeleteClicked);
    NSTableHeaderWhiteView* header = table_->headerView();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(DeleteColumn) + 10, header->height() / 2));
    QCOMPARE(allDelete.count(), 1);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(NameColumn) + 10, header->height() / 2));
    QCOMPARE(allDelete.count(), 1);
    QCOMPARE(list_.size(), size_t(4));
}

void ConversionTableViewTest::checkAllSelectFollowsTheTicks()
{
    NSSelectTableHeaderCell& cell = table_->headerView()->FileSelect();
    click(0, SelectColumn);  // the main window answers SelectEvent with CheckAllSelect
    table_->CheckAllSelect();
    QCOMPARE(cell.Select(), 0);
    click(0, SelectColumn);
    table_->CheckAllSelect();
    QCOMPARE(cell.Select(), 1);
    list_[2].isSelect = false;
    table_->reloadData();  // a non-empty list brings the box into line on reload
    QCOMPARE(cell.Select(), 0);
    model_->removeAll();
    table_->CheckAllSelect();
    QCOMPARE(cell.Select(), 1);  // an empty list shows the box ticked
}

void ConversionTableViewTest::keyboardActsOnTheCurrentRow()
{
    table_->setFocus();
    table_->setCurrentIndex(model_->index(1, NameColumn));
    QTest::keyClick(table_.get(), Qt::Key_Space);
    QVERIFY(!list_[1].isSelect);
    QTest::keyClick(table_.get(), Qt::Key_Return);
    QTest::keyClick(table_.get(), Qt::Key_Delete);
    table_->setCurrentIndex(model_->index(2, NameColumn));
    QTest::keyClick(table_.get(), Qt::Key_Enter, Qt::KeypadModifier);  // no output yet: no preview
    QCOMPARE(delegate_.calls, QStringList({"select", "preview /p/1.heic", "delete /p/1.heic"}));
}

void ConversionTableViewTest::rightToLeftReversesTheColumns()
{
    NSTableHeaderWhiteView* header = table_->headerView();
    QVERIFY(header->sectionViewportPosition(SelectColumn) < header->sectionViewportPosition(DeleteColumn));
    table_->applyDirection(1);
    for (int column = SelectColumn; column < DeleteColumn; ++column) {
        QVERIFY(header->sectionViewportPosition(column + 1) < header->sectionViewportPosition(column));
    }
    // The buttons move with their columns and still reach their rows.
    click(3, PreviewColumn);
    click(0, SelectColumn);
    QCOMPARE(delegate_.calls, QStringList({"preview /p/3.heic", "select"}));
    QVERIFY(!list_[0].isSelect);
    table_->applyDirection(0);
    QVERIFY(header->sectionViewportPosition(SelectColumn) < header->sectionViewportPosition(DeleteColumn));
}

void ConversionTableViewTest::selectedRowIsFilledC3d2dd()
{
    table_->selectRow(2);
    const QRect cell = table_->visualRect(model_->index(2, NameColumn));
    const QImage shot = table_->viewport()->grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    const QColor fill = shot.pixelColor(QPoint(cell.left() + 2, cell.top() + 2) * ratio);
    QCOMPARE(fill.name(), ColorHex("c3d2dd").name());
    QCOMPARE(BDTableRowView::selectionColor().name(), QString("#c3d2dd"));
}

void ConversionTableViewTest::headerColourFollowsWindowActivity()
{
    QVERIFY(headerCellHighlighted(nullptr));
    QWidget other;
    other.show();
    NSExtendTableHeaderCell& cell = table_->headerView()->headerCell(NameColumn);
    cell.setWindow(table_.get());
    table_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(table_.get()));
    QVERIFY(!cell.isHighlighted());
    QImage shot = table_->headerView()->viewport()->grab().toImage();
    const int x = table_->headerView()->sectionViewportPosition(NameColumn) + 3;
    QCOMPARE(shot.pixelColor(QPoint(x, 3) * shot.devicePixelRatio()).name(), QString("#ffffff"));
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(cell.isHighlighted());
    shot = table_->headerView()->viewport()->grab().toImage();
    QCOMPARE(shot.pixelColor(QPoint(x, 3) * shot.devicePixelRatio()).name(), QString("#f5f5f5"));
}

void ConversionTableViewTest::cellRectanglesFollowTheFormulas()
{
    const QRect cell(100, 40, 60, 32);
    QCOMPARE(NSTableCellFileSelect::SelectBtRect(cell, Qt::LeftToRight), QRect(108, 40, 48, 32));
    QCOMPARE(NSTableCellFileSelect::SelectBtRect(cell, Qt::RightToLeft), QRect(104, 40, 48, 32));
    QCOMPARE(NSTableCellFileName::FileNameRect(cell, 16), QRect(105, 48, 50, 16));
    QCOMPARE(NSTableCellStateView::StateTextRect(cell), QRect(105, 40, 50, 32));
    QCOMPARE(NSTableCellStateView::StateIcoRect(cell), QRect(121, 47, 18, 18));
    QCOMPARE(NSTableCellPreview::PreButtonRect(cell), QRect(121, 47, 18, 18));
    QCOMPARE(NSTableCellDeleteView::DeleteButtonRect(cell), QRect(121, 47, 18, 18));
    QCOMPARE(NSExtendTableHeaderCell::titleRect(QRect(0, 0, 80, 30)), QRect(0, 7, 80, 15));
    QCOMPARE(NSSelectTableHeaderCell::boxRect(QRect(10, 0, 44, 30), QSize(16, 16)), QRect(24, 7, 16, 16));
}

void ConversionTableViewTest::stateTextThatFitsKeepsTwelve()
{
    const StateTextFit fit = fitStateText("Converting...", QSizeF(126, 32));
    QCOMPARE(fit.fontSize, 12.0);
    QCOMPARE(fit.lines, QStringList({"Converting..."}));
    QVERIFY(!fit.elided);
    QCOMPARE(fitStateText("", QSizeF(126, 32)).lines.size(), 0);
}

void ConversionTableViewTest::longStateTextShrinksOneSizeAtATime()
{
    const QString text = "The output folder could not be written because the disk is read-only";
    const QSizeF box(126, 32);
    QVERIFY(wrappedTextHeight(text, 12, box.width()) > box.height());
    const StateTextFit fit = fitStateText(text, box);
    QVERIFY(fit.fontSize < 12.0);
    QVERIFY(fit.fontSize >= kStateTextSmallestFontSize);
    QVERIFY(!fit.elided);
    QVERIFY(wrappedTextHeight(text, fit.fontSize, box.width()) <= box.height());
    QVERIFY(wrappedTextHeight(text, fit.fontSize + 1, box.width()) > box.height());
    QCOMPARE(fit.lines.join(' ').simplified(), text);
}

void ConversionTableViewTest::stateTextStopsAtItsFloorAndElides()
{
    QString text;
    for (int i = 0; i < 60; ++i) {
        text += QString("word%1 ").arg(i);
    }
    const QSizeF box(126, 32);
    const StateTextFit fit = fitStateText(text, box);
    QCOMPARE(fit.fontSize, kStateTextSmallestFontSize);
    QVERIFY(fit.elided);
    QVERIFY(fit.lines.last().endsWith(QChar(0x2026)));
    QVERIFY(fit.lineHeight * fit.lines.size() <= box.height());
    QVERIFY(fit.lines.size() >= 1);
    // A box too low for even one line still shows one elided line instead of shrinking on.
    const StateTextFit tiny = fitStateText(text, QSizeF(126, 2));
    QCOMPARE(tiny.fontSize, kStateTextSmallestFontSize);
    QCOMPARE(tiny.lines.size(), 1);
    // A box of no usable height (negative, or not a number) holds one elided line too, never a
    // line past the last.
    for (const qreal height : {-40.0, std::numeric_limits<qreal>::quiet_NaN()}) {
        const StateTextFit none = fitStateText(text, QSizeF(126, height));
        QCOMPARE(none.lines.size(), 1);
        QVERIFY(none.elided);
        QVERIFY(none.lines.first().endsWith(QChar(0x2026)));
    }
}

QTEST_MAIN(ConversionTableViewTest)
#include "ConversionTableViewTest.moc"
