#include "MainWindowLayout.h"
#include "AppImages.h"
#include "ConversionListModel.h"
#include "ConversionTableView.h"
#include "DragDropView.h"
#include "ListColumn.h"
#include "NSTableHeaderWhiteView.h"
#include "NSViewColor.h"
#include "OptionMenus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <vector>

using namespace pravix;

// The main window's widgets as its layout builds them into a bare content widget, the placement
// formulas of the header and the start button, and what the layout keeps placed as sizes change.
class MainWindowLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void headerPlacementCentresTheGroupClearOfTheEnds();
    void startButtonKeepsItsLeastWidth();
    void buildsTheNamedWidgetsInOneColumn();
    void optionMenusStartAtTheirDefaults();
    void tabRunsThroughTheWidgetsInReadingOrder();
    void headerGroupFollowsTheBandAndTheReservedEnds();
    void emptyListAreaCoversTheRowsAsTheyResize();
    void rightToLeftMirrorsThePaneAndTheColumns();
    void startButtonFitsItsWidestTitle();

private:
    void show(int width, int height);

    std::vector<NSPravixData> list_;
    std::unique_ptr<ConversionListModel> model_;
    std::unique_ptr<QWidget> content_;
    MainWindowLayout* layout_ = nullptr;
};

void MainWindowLayoutTest::init()
{
    list_.clear();
    model_ = std::make_unique<ConversionListModel>(list_);
    content_ = std::make_unique<QWidget>();
    layout_ = new MainWindowLayout(content_.get(), model_.get());
}

void MainWindowLayoutTest::cleanup()
{
    // The table goes before the model it shows.
    content_.reset();
    model_.reset();
}

void MainWindowLayoutTest::show(int width, int height)
{
    content_->resize(width, height);
    content_->show();
    QVERIFY(QTest::qWaitForWindowExposed(content_.get()));
}

void MainWindowLayoutTest::headerPlacementCentresTheGroupClearOfTheEnds()
{
    // International: the name from the logo's right edge, its box the text + 7 + 4.
    const HeaderPlacement intl = headerPlacement(headerLook(true), 50, 600);
    QCOMPARE(intl.logo, QRect(0, 16, 68, 15));
    QCOMPARE(intl.name, QRect(68, 12, 61, 22));
    QCOMPARE(intl.group, QRect((600 - 129) / 2, 0, 129, MainWindowLayout::kHeaderHeight));

    // Chinese market: the name 5 right of the smaller, taller logo.
    const HeaderPlacement cn = headerPlacement(headerLook(false), 50, 600);
    QCOMPARE(cn.logo, QRect(0, 5, 32, 32));
    QCOMPARE(cn.name, QRect(37, 12, 61, 22));
    QCOMPARE(cn.group, QRect(251, 0, 98, 46));

    // Reserved ends push the group aside; the left end wins when the band is too narrow.
    QCOMPARE(headerPlacement(headerLook(true), 50, 600, 300, 0).group.x(), 300);
    QCOMPARE(headerPlacement(headerLook(true), 50, 600, 0, 400).group.x(), 600 - 400 - 129);
    QCOMPARE(headerPlacement(headerLook(true), 50, 600, 250, 400).group.x(), 250);
}

void MainWindowLayoutTest::startButtonKeepsItsLeastWidth()
{
    QCOMPARE(startButtonMinimumWidth(40, 20), 150);
    QCOMPARE(startButtonMinimumWidth(66, 20), 150);
    QCOMPARE(startButtonMinimumWidth(67, 20), 151);
    QCOMPARE(startButtonMinimumWidth(100, 20), 184);
}

void MainWindowLayoutTest::buildsTheNamedWidgetsInOneColumn()
{
    const QList<QPair<QWidget*, QString>> named = {
        {layout_->navView, "NavView"},
        {layout_->addFileBt, "AddFileBt"},
        {layout_->removeAllBt, "RemoveAllBt"},
        {layout_->listFrame, "ListFrame"},
        {layout_->addHeicFileBt, "AddHeicFileBt"},
        {layout_->configView, "ConfigView"},
        {layout_->showPath, "ShowPath"},
        {layout_->selectPathBt, "SelectPathBt"},
        {layout_->openPathBt, "OpenPathBt"},
        {layout_->pravixBt, "PravixBt"},
    };
    for (const auto& [widget, name] : named)
    {
        QVERIFY2(widget != nullptr, qPrintable(name));
        QCOMPARE(widget->objectName(), name);
    }
    const QList<QWidget*> all = {layout_->navView,         layout_->logoGroup,       layout_->logoImage,
                                 layout_->appName,         layout_->listToolbar,     layout_->addFileBt,
                                 layout_->removeAllBt,     layout_->dropView,        layout_->listFrame,
                                 layout_->tableView,       layout_->addHeicFileView, layout_->addHeicFileBt,
                                 layout_->configLineView,  layout_->configView,      layout_->outputFormatText,
                                 layout_->imageSizeText,   layout_->jpgeQualityText, layout_->outFileType,
                                 layout_->selectImageSize, layout_->imageQuality,    layout_->exif,
                                 layout_->outputPath,      layout_->saveHEICPath,    layout_->saveCustomPath,
                                 layout_->showPath,        layout_->selectPathBt,    layout_->openPathBt,
                                 layout_->pravixBt};
    for (QWidget* widget : all)
    {
        QVERIFY(widget != nullptr);
        QVERIFY2(content_->isAncestorOf(widget), widget->metaObject()->className());
    }
    QCOMPARE(layout_->parent(), content_.get());
    QCOMPARE(layout_->tableView->model(), model_.get());
    QVERIFY(layout_->tableView->isAncestorOf(layout_->addHeicFileView) == false);
    QCOMPARE(layout_->addHeicFileView->parentWidget(), layout_->listFrame);
    QVERIFY(layout_->showPath->isReadOnly());
    QVERIFY(!content_->styleSheet().isEmpty());

    // Top to bottom: the header band, the toolbar, the list (taking the room to spare), the line
    // and the option pane.
    show(900, 640);
    const QList<QWidget*> column = {layout_->navView, layout_->listToolbar, layout_->dropView, layout_->configLineView,
                                    layout_->configView};
    int y = 0;
    for (QWidget* band : column)
    {
        QCOMPARE(band->parentWidget(), content_.get());
        QCOMPARE(band->y(), y);
        QCOMPARE(band->width(), 900);
        y += band->height();
    }
    QCOMPARE(y, 640);
    QCOMPARE(layout_->navView->height(), MainWindowLayout::kHeaderHeight);
    QCOMPARE(layout_->configLineView->height(), 1);
    content_->resize(900, 800);
    QTRY_COMPARE(layout_->configView->geometry().bottom(), 799);
    QCOMPARE(layout_->navView->height(), MainWindowLayout::kHeaderHeight);
}

void MainWindowLayoutTest::optionMenusStartAtTheirDefaults()
{
    QCOMPARE(layout_->outFileType->count(), outFileTypeTitles().size());
    QCOMPARE(layout_->outFileType->currentText(), QString("JPG"));
    QCOMPARE(layout_->selectImageSize->count(), 10);
    QCOMPARE(layout_->selectImageSize->currentText(), QString("100%"));
    QCOMPARE(layout_->imageQuality->count(), 10);
    QCOMPARE(layout_->imageQuality->currentText(), QString("70%"));
    // Each menu is named to screen readers by its label.
    QCOMPARE(layout_->outputFormatText->buddy(), layout_->outFileType);
    QCOMPARE(layout_->imageSizeText->buddy(), layout_->selectImageSize);
    QCOMPARE(layout_->jpgeQualityText->buddy(), layout_->imageQuality);
    for (QComboBox* menu : {layout_->outFileType, layout_->selectImageSize, layout_->imageQuality})
    {
        QCOMPARE(menu->focusPolicy(), Qt::StrongFocus);
    }
}

void MainWindowLayoutTest::tabRunsThroughTheWidgetsInReadingOrder()
{
    const QList<QWidget*> order = layout_->tabOrder();
    const QList<QWidget*> expected = {layout_->addFileBt,      layout_->removeAllBt, layout_->addHeicFileBt,
                                      layout_->tableView,      layout_->outFileType, layout_->selectImageSize,
                                      layout_->imageQuality,   layout_->exif,        layout_->saveHEICPath,
                                      layout_->saveCustomPath, layout_->showPath,    layout_->selectPathBt,
                                      layout_->openPathBt,     layout_->pravixBt};
    QCOMPARE(order, expected);

    // The focus chain meets them in that order.
    QList<QWidget*> met;
    QWidget* widget = order.first();
    for (int step = 0; step < 400 && met.size() < order.size(); ++step)
    {
        if (order.contains(widget) && !met.contains(widget))
        {
            met << widget;
        }
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(met, order);
}

void MainWindowLayoutTest::headerGroupFollowsTheBandAndTheReservedEnds()
{
    show(600, 500);
    layout_->showHeader(headerLook(true));
    QCOMPARE(layout_->appName->text(), QString("Quorvane"));
    QVERIFY(!layout_->logoImage->pixmap().isNull());
    const int nameText = layout_->appName->fontMetrics().horizontalAdvance("Quorvane");
    const HeaderPlacement narrow = headerPlacement(headerLook(true), nameText, 600);
    QCOMPARE(layout_->logoImage->geometry(), narrow.logo);
    QCOMPARE(layout_->appName->geometry(), narrow.name);
    QCOMPARE(layout_->logoGroup->geometry(), narrow.group);

    // A wider band moves the group to its new middle.
    content_->resize(1000, 500);
    const HeaderPlacement wide = headerPlacement(headerLook(true), nameText, 1000);
    QVERIFY(wide.group != narrow.group);
    QTRY_COMPARE(layout_->logoGroup->geometry(), wide.group);

    layout_->setHeaderReserved(700, 0);
    QCOMPARE(layout_->logoGroup->x(), 700);
    layout_->setHeaderReserved(0, 0);
    QCOMPARE(layout_->logoGroup->geometry(), wide.group);

    // The other market's look replaces the first one's.
    layout_->showHeader(headerLook(false));
    QCOMPARE(layout_->appName->text(), QString("Velquane"));
    QCOMPARE(layout_->logoImage->geometry(), QRect(0, 5, 32, 32));
    QCOMPARE(layout_->appName->x(), 37);
}

void MainWindowLayoutTest::emptyListAreaCoversTheRowsAsTheyResize()
{
    auto rowsInFrame = [this]
    {
        QWidget* rows = layout_->tableView->viewport();
        return QRect(rows->mapTo(layout_->listFrame, QPoint(0, 0)), rows->size());
    };
    show(700, 500);
    QTRY_COMPARE(layout_->addHeicFileView->geometry(), rowsInFrame());
    // Below the column titles, not over them.
    QVERIFY(layout_->addHeicFileView->y() >= layout_->tableView->headerView()->height());
    // Over the table: a click in the middle of the rows lands on the area.
    const QPoint middle = layout_->addHeicFileView->geometry().center();
    QWidget* hit = layout_->listFrame->childAt(middle);
    QVERIFY(hit == layout_->addHeicFileView || layout_->addHeicFileView->isAncestorOf(hit));

    const QRect before = layout_->addHeicFileView->geometry();
    content_->resize(900, 640);
    QTRY_VERIFY(layout_->addHeicFileView->geometry() != before);
    QCOMPARE(layout_->addHeicFileView->geometry(), rowsInFrame());
}

void MainWindowLayoutTest::rightToLeftMirrorsThePaneAndTheColumns()
{
    show(900, 600);
    NSTableHeaderWhiteView* header = layout_->tableView->headerView();
    layout_->applyDirection(0);
    const QImage folder = layout_->selectPathBt->icon().pixmap(QSize(18, 18)).toImage();
    QVERIFY(!folder.isNull());
    QVERIFY(folder != folder.mirrored(true, false));
    QCOMPARE(layout_->configView->layoutDirection(), Qt::LeftToRight);
    // The Exif box after its title: the inverse of the pane's direction.
    QCOMPARE(layout_->exif->layoutDirection(), Qt::RightToLeft);
    QVERIFY(header->sectionViewportPosition(SelectColumn) < header->sectionViewportPosition(DeleteColumn));

    layout_->applyDirection(1);
    for (QWidget* mirroredPart :
         {layout_->configView, layout_->listToolbar, static_cast<QWidget*>(layout_->addHeicFileView)})
    {
        QCOMPARE(mirroredPart->layoutDirection(), Qt::RightToLeft);
    }
    QCOMPARE(layout_->exif->layoutDirection(), Qt::LeftToRight);
    QCOMPARE(layout_->selectPathBt->icon().pixmap(QSize(18, 18)).toImage(), folder.mirrored(true, false));
    QVERIFY(header->sectionViewportPosition(DeleteColumn) < header->sectionViewportPosition(SelectColumn));
    // The brand keeps reading left to right.
    QCOMPARE(layout_->logoGroup->layoutDirection(), Qt::LeftToRight);
    QTRY_VERIFY(layout_->addFileBt->x() > layout_->removeAllBt->x());

    layout_->applyDirection(0);
    QCOMPARE(layout_->listToolbar->layoutDirection(), Qt::LeftToRight);
    QCOMPARE(layout_->selectPathBt->icon().pixmap(QSize(18, 18)).toImage(), folder);
    QVERIFY(header->sectionViewportPosition(SelectColumn) < header->sectionViewportPosition(DeleteColumn));
}

void MainWindowLayoutTest::startButtonFitsItsWidestTitle()
{
    QPushButton* button = layout_->pravixBt;
    const QString longest = QStringLiteral("A much longer title than any the start button has");
    layout_->fitPravixButton({QStringLiteral("Go"), longest, QStringLiteral("Stop")});
    const int widest = QFontMetrics(button->font()).horizontalAdvance(longest);
    QCOMPARE(button->minimumWidth(), startButtonMinimumWidth(widest, button->iconSize().width()));
    QVERIFY(button->minimumWidth() > 150);

    layout_->fitPravixButton({QStringLiteral("Go")});
    QCOMPARE(button->minimumWidth(), 150);
}

QTEST_MAIN(MainWindowLayoutTest)
#include "MainWindowLayoutTest.moc"
