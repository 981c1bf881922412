#include "AppImages.h"
#include "ConversionTableView.h"
#include "NSImagePreView.h"
#include "NSLanguage.h"
#include "NSViewColor.h"
#include "NSMianWindow.h"
#include "NSTableHeaderWhiteView.h"
#include "UserDefaults.h"
#include "ViewController.h"

#include "FakeWindowDialogs.h"
#include "IsolatedUserFolders.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QtTest>

using namespace pravix;

// The main window's set-up, its options and stored settings, texts, mirroring, header and
// keyboard use.
class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstStartHasTheDefaults();
    void storedCustomFolderIsRestored();
    void saveHEICPathKeyReadsAsABoolean();
    void radiosStoreThePlaceAsText();
    void choosingAFolderStoresIt();
    void openPathOpensTheShownFolder();
    void pngDisablesTheExifBox();
    void scaleAndQualityFollowTheTags();
    void headerShowsTheMarketsLogoAndName();
    void arabicMirrorsThePaneAndTheColumns();
    void languageChangeRetitlesEverything();
    void everyLanguageFitsASmallScreen();
    void refreshClosesTheOpenPreview();
    void everyControlHasANameAndTabRunsTopToBottom();
    void keyboardAloneReachesTheOpenPanel();
    void focusedButtonsDrawOneFrameOfTheirShape();
    void screenReadersFindTheFocusedAddButton();
    void windowHidesZoomAndReportsClosing();

private:
    ViewController* controller() const { return window_->contentViewController(); }
    void makeWindow(std::optional<bool> international = true);

    test::IsolatedUserFolders folders_;
    std::shared_ptr<test::FakeWindowDialogs> dialogs_;
    std::unique_ptr<NSMianWindow> window_;
    QList<QUrl> opened_;
};

void MainWindowTest::init()
{
    test::IsolatedUserFolders::clearSettings();
    NSLanguage::shareInstance().setLanguage(0);
    opened_.clear();
}

void MainWindowTest::cleanup()
{
    window_.reset();
    NSLanguage::shareInstance().setLanguage(0);
}

void MainWindowTest::makeWindow(std::optional<bool> international)
{
    window_.reset();
    dialogs_ = std::make_shared<test::FakeWindowDialogs>();
    MainWindowEnvironment environment = test::windowEnvironment(dialogs_, std::chrono::milliseconds(10), &opened_);
    environment.international = international;
    window_ = std::make_unique<NSMianWindow>(environment);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void MainWindowTest::firstStartHasTheDefaults()
{
    makeWindow();
    ViewController* c = controller();
    QCOMPARE(c->OutFileType()->currentText(), QString("JPG"));
    QCOMPARE(c->SelectImageSize()->currentText(), QString("100%"));
    QCOMPARE(c->ImageQuality()->currentText(), QString("70%"));
    QCOMPARE(c->SaveSuff(), QString("JPG"));
    QCOMPARE(c->ImageZooming(), 1.0f);
    QCOMPARE(c->nQuality(), 70);
    QVERIFY(c->Exif()->isChecked());
    QVERIFY(c->Exif()->isEnabled());
    QVERIFY(c->isSaveHEICPath());
    QVERIFY(c->SaveHEICPath()->isChecked());
    QVERIFY(!c->SaveCustomPath()->isChecked());
    QVERIFY(!c->ShowPath()->isEnabled());
    QVERIFY(!c->SelectPathBt()->isEnabled());
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    QVERIFY(!downloads.isEmpty());
    QCOMPARE(c->ShowPath()->text(), downloads);
    QVERIFY(QFileInfo(downloads).isDir());
    // The cache folder is made at set-up; the settings are only read.
    QCOMPARE(c->CachePath(), QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/.Pravix");
    QVERIFY(QFileInfo(c->CachePath()).isDir());
    QVERIFY(!userDefaults().contains("SaveHEICPathKey"));
    QVERIFY(!userDefaults().contains("SavePathKey"));
    // Idle: the start button, the empty-list area, no timer.
    QVERIFY(c->isStopTo());
    QCOMPARE(c->PravixBt()->text(), QString("Convert"));
    QVERIFY(c->AddHeicFileView()->isVisible());
    QVERIFY(c->AddHeicFileBt()->isVisible());
    QVERIFY(!c->TableView()->alternatingRowColors());
    QVERIFY(!c->isUpdateStateTimerRunning());
    // What Start would hand the batch: beside the sources, Exif, the cache folder.
    const ConversionOptions options = c->currentOptions();
    QCOMPARE(options.saveSuff, std::string("JPG"));
    QVERIFY(!options.savePath.has_value());
    QVERIFY(options.bExif);
    QCOMPARE(QString::fromStdString(options.cachePath), c->CachePath());
    QCOMPARE(ViewController::shareInstance(), c);
}

void MainWindowTest::storedCustomFolderIsRestored()
{
    userDefaults().setValue("SaveHEICPathKey", "0");
    userDefaults().setValue("SavePathKey", "/srv/photos/out");
    makeWindow();
    ViewController* c = controller();
    QVERIFY(!c->isSaveHEICPath());
    QVERIFY(c->SaveCustomPath()->isChecked());
    QVERIFY(!c->SaveHEICPath()->isChecked());
    QCOMPARE(c->ShowPath()->text(), QString("/srv/photos/out"));
    QVERIFY(c->ShowPath()->isEnabled());
    QVERIFY(c->SelectPathBt()->isEnabled());
    QCOMPARE(c->currentOptions().savePath, std::optional<std::string>("/srv/photos/out"));
    // Reading wrote nothing back.
    QCOMPARE(userDefaults().value("SaveHEICPathKey").toString(), QString("0"));
}

void MainWindowTest::saveHEICPathKeyReadsAsABoolean()
{
    const QList<QPair<QString, bool>> cases = {{"1", true}, {"YES", true}, {"true", true}, {"7", true},
                                               {"0", false}, {"NO", false}, {"", false},   {"false", false}};
    for (const auto& [stored, beside] : cases) {
        userDefaults().setValue("SaveHEICPathKey", stored);
        makeWindow();
        QVERIFY2(controller()->isSaveHEICPath() == beside, qPrintable(stored));
        QCOMPARE(controller()->SaveHEICPath()->isChecked(), beside);
    }
}

void MainWindowTest::radiosStoreThePlaceAsText()
{
    makeWindow();
    ViewController* c = controller();
    QTest::mouseClick(c->SaveCustomPath(), Qt::LeftButton, {}, QPoint(8, c->SaveCustomPath()->height() / 2));
    QVERIFY(!c->isSaveHEICPath());
    QCOMPARE(userDefaults().value("SaveHEICPathKey").toString(), QString("0"));
    QVERIFY(c->ShowPath()->isEnabled());
    QVERIFY(c->SelectPathBt()->isEnabled());
    QVERIFY(c->currentOptions().savePath.has_value());

    QTest::mouseClick(c->SaveHEICPath(), Qt::LeftButton, {}, QPoint(8, c->SaveHEICPath()->height() / 2));
    QVERIFY(c->isSaveHEICPath());
    QCOMPARE(userDefaults().value("SaveHEICPathKey").toString(), QString("1"));
    QVERIFY(!c->ShowPath()->isEnabled());
    QVERIFY(!c->SelectPathBt()->isEnabled());
    QVERIFY(!c->currentOptions().savePath.has_value());
}

void MainWindowTest::choosingAFolderStoresIt()
{
    userDefaults().setValue("SaveHEICPathKey", "0");
    makeWindow();
    ViewController* c = controller();
    const QString start = c->ShowPath()->text();

    dialogs_->folderAnswers.enqueue(std::nullopt);
    QTest::mouseClick(c->SelectPathBt(), Qt::LeftButton);
    QCOMPARE(dialogs_->calls, QStringList{"folder Choose " + start});
    QCOMPARE(c->ShowPath()->text(), start);
    QVERIFY(!userDefaults().contains("SavePathKey"));

    dialogs_->folderAnswers.enqueue(QString("/media/card/converted"));
    QTest::mouseClick(c->SelectPathBt(), Qt::LeftButton);
    QCOMPARE(c->ShowPath()->text(), QString("/media/card/converted"));
    QCOMPARE(userDefaults().value("SavePathKey").toString(), QString("/media/card/converted"));
    QCOMPARE(c->currentOptions().savePath, std::optional<std::string>("/media/card/converted"));
}

void MainWindowTest::openPathOpensTheShownFolder()
{
    userDefaults().setValue("SavePathKey", "/srv/out put");
    makeWindow();
    QTest::mouseClick(controller()->OpenPathBt(), Qt::LeftButton);
    QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile("/srv/out put")});
    QVERIFY(opened_.first().isLocalFile());
}

void MainWindowTest::pngDisablesTheExifBox()
{
    makeWindow();
    ViewController* c = controller();
    c->OutFileType()->setCurrentIndex(1);
    QCOMPARE(c->SaveSuff(), QString("PNG"));
    QVERIFY(!c->Exif()->isEnabled());
    QVERIFY(c->Exif()->isChecked());
    QVERIFY(!c->currentOptions().bExif);
    c->OutFileType()->setCurrentIndex(3);
    QCOMPARE(c->SaveSuff(), QString("JPEG"));
    QVERIFY(!c->Exif()->isEnabled());
    c->OutFileType()->setCurrentIndex(0);
    QCOMPARE(c->SaveSuff(), QString("JPG"));
    QVERIFY(c->Exif()->isEnabled());
    QVERIFY(c->currentOptions().bExif);
    // An unticked box gives no Exif for JPG either.
    c->Exif()->setChecked(false);
    QVERIFY(!c->currentOptions().bExif);
    QCOMPARE(c->OutFileType()->count(), 5);
    QCOMPARE(c->OutFileType()->itemText(4), QString("TIFF"));
}

void MainWindowTest::scaleAndQualityFollowTheTags()
{
    makeWindow();
    ViewController* c = controller();
    QCOMPARE(c->SelectImageSize()->count(), 10);
    QCOMPARE(c->ImageQuality()->itemText(0), QString("10%"));
    c->SelectImageSize()->setCurrentIndex(0);
    c->ImageQuality()->setCurrentIndex(0);
    QCOMPARE(c->ImageZooming(), 0.1f);
    QCOMPARE(c->nQuality(), 10);
    c->SelectImageSize()->setCurrentIndex(4);
    c->ImageQuality()->setCurrentIndex(9);
    QCOMPARE(c->ImageZooming(), 0.5f);
    QCOMPARE(c->nQuality(), 100);
    QCOMPARE(c->currentOptions().imageZooming, 0.5f);
    QCOMPARE(c->currentOptions().nQuality, 100);
}

void MainWindowTest::headerShowsTheMarketsLogoAndName()
{
    makeWindow(true);
    QLabel* logo = controller()->LogoImage();
    QLabel* name = controller()->AppName();
    QCOMPARE(name->text(), QString("Quorvane"));
    QCOMPARE(logo->geometry(), QRect(0, 16, 68, 15));
    QCOMPARE(name->x(), logo->geometry().right() + 1);
    QCOMPARE(logo->pixmap().toImage(), appPixmap("HeadLogo", QSize(68, 15), logo->devicePixelRatioF()).toImage());
    QCOMPARE(window_->windowTitle(), QString("Quorvane"));
    // The group stands whole inside the header band, clear of the title buttons.
    const QRect group(logo->parentWidget()->mapTo(controller()->NavView(), QPoint(0, 0)), logo->parentWidget()->size());
    QVERIFY(controller()->NavView()->rect().contains(group));
    const QRect minimise = window_->titleButton(FramelessWindow::MiniaturizeButton)->geometry();
    QVERIFY(group.left() > minimise.right());

    makeWindow(false);
    logo = controller()->LogoImage();
    name = controller()->AppName();
    QCOMPARE(name->text(), QString("Velquane"));
    QCOMPARE(logo->geometry(), QRect(0, 5, 32, 32));
    QCOMPARE(name->x(), 32 + 5);
    QCOMPARE(logo->pixmap().toImage(), appPixmap("Logo64", QSize(32, 32), logo->devicePixelRatioF()).toImage());
}

namespace
{

// Where a check box's or radio button's indicator stands within the button: true when left of
// its middle.
bool indicatorOnTheLeft(QAbstractButton* button, QStyle::SubElement element)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const QRect indicator = button->style()->subElementRect(element, &option, button);
    return indicator.center().x() < button->width() / 2;
}

}  // namespace

void MainWindowTest::arabicMirrorsThePaneAndTheColumns()
{
    makeWindow();
    ViewController* c = controller();
    NSTableHeaderWhiteView* header = c->TableView()->headerView();
    QVERIFY(header->sectionViewportPosition(SelectColumn) < header->sectionViewportPosition(DeleteColumn));
    QVERIFY(c->OutputFormatText()->x() < c->OutFileType()->x());
    QVERIFY(indicatorOnTheLeft(c->SaveHEICPath(), QStyle::SE_RadioButtonIndicator));
    // Left to right the Exif box stands after its title.
    QVERIFY(!indicatorOnTheLeft(c->Exif(), QStyle::SE_CheckBoxIndicator));
    QVERIFY(c->AddFileBt()->x() < c->RemoveAllBt()->x());
    const QImage folderLtr = c->SelectPathBt()->icon().pixmap(QSize(18, 18)).toImage();
    QVERIFY(window_->titleButton(FramelessWindow::CloseButton)->x() < window_->width() / 2);

    NSLanguage::shareInstance().setLanguage(7);
    window_->RefreshUI();
    QCoreApplication::processEvents();
    // The columns run delete ... select from the left.
    for (int column = SelectColumn; column < DeleteColumn; ++column) {
        QVERIFY(header->sectionViewportPosition(column + 1) < header->sectionViewportPosition(column));
    }
    QVERIFY(c->OutputFormatText()->x() > c->OutFileType()->x());
    QVERIFY(c->OutputPath()->x() > c->SaveHEICPath()->x());
    QVERIFY(!indicatorOnTheLeft(c->SaveHEICPath(), QStyle::SE_RadioButtonIndicator));
    QVERIFY(indicatorOnTheLeft(c->Exif(), QStyle::SE_CheckBoxIndicator));
    QVERIFY(c->AddFileBt()->x() > c->RemoveAllBt()->x());
    QCOMPARE(c->SelectPathBt()->icon().pixmap(QSize(18, 18)).toImage(), folderLtr.mirrored(true, false));
    QVERIFY(folderLtr != folderLtr.mirrored(true, false));
    QVERIFY(window_->titleButton(FramelessWindow::CloseButton)->x() > window_->width() / 2);
    QCOMPARE(c->PravixBt()->text(), QString::fromUtf8("تحويل"));

    NSLanguage::shareInstance().setLanguage(0);
    window_->RefreshUI();
    QCoreApplication::processEvents();
    QVERIFY(header->sectionViewportPosition(SelectColumn) < header->sectionViewportPosition(DeleteColumn));
    QVERIFY(c->OutputFormatText()->x() < c->OutFileType()->x());
    QVERIFY(!indicatorOnTheLeft(c->Exif(), QStyle::SE_CheckBoxIndicator));
    QCOMPARE(c->SelectPathBt()->icon().pixmap(QSize(18, 18)).toImage(), folderLtr);
}

void MainWindowTest::languageChangeRetitlesEverything()
{
    makeWindow();
    ViewController* c = controller();
    NSLanguage::shareInstance().setLanguage(5);
    window_->RefreshUI();
    const QList<QPair<QString, QString>> shown = {
        {c->PravixBt()->text(), "Konvertieren"},
        {c->Exif()->accessibleName(), "Exif-Daten beibehalten"},
        {c->Exif()->text().mid(1).chopped(1), "Exif-Daten beibehalten"},
        {c->OutputPath()->text(), "Zielordner"},
        {c->AddHeicFileBt()->text(), "HEIC-Dateien hinzufügen oder hierher ziehen"},
        {c->AddFileBt()->text(), "Dateien hinzufügen"},
        {c->RemoveAllBt()->text(), "Alle entfernen"},
        {c->SaveHEICPath()->text(), "Ordner der Quelldatei"},
        {c->SaveCustomPath()->text(), "Eigener Ordner"},
        {c->OpenPathBt()->text(), "Ordner öffnen"},
        {c->OutputFormatText()->text(), "Ausgabeformat"},
        {c->ImageSizeText()->text(), "Bildgröße"},
        {c->JPGEQualityText()->text(), "Bildqualität"},
        {c->TableView()->model()->headerData(NameColumn, Qt::Horizontal).toString(), "Dateiname"},
    };
    for (const auto& [actual, expected] : shown) {
        QCOMPARE(actual, expected);
    }
    // The start button is wide enough for its longest state in this language.
    const QFontMetrics metrics(c->PravixBt()->font());
    QVERIFY(c->PravixBt()->width() > metrics.horizontalAdvance(QString::fromUtf8("Wird angehalten…")) + 20);
}

void MainWindowTest::everyLanguageFitsASmallScreen()
{
    makeWindow();
    ViewController* c = controller();
    const QList<QWidget*> texts = {c->Exif(),          c->SaveHEICPath(),     c->SaveCustomPath(), c->OpenPathBt(),
                                   c->AddFileBt(),     c->RemoveAllBt(),      c->OutputFormatText(), c->ImageSizeText(),
                                   c->JPGEQualityText(), c->OutputPath(),       c->PravixBt(),       c->OutFileType()};
    // No text of the window is cut: every control has at least the room it asks for.
    auto everythingFits = [&] {
        for (QWidget* widget : texts) {
            if (widget->width() < widget->minimumSizeHint().width()) {
                return false;
            }
        }
        return window_->width() >= window_->minimumWidth();
    };
    for (LanguageCode code = 0; code <= 23; ++code) {
        NSLanguage::shareInstance().setLanguage(code);
        window_->RefreshUI();
        const QString language = NSLanguage::shareInstance().LanguageStrings();
        // The layouts settle through posted events, from the controls up to the window.
        QTRY_VERIFY2_WITH_TIMEOUT(everythingFits(), qPrintable(language), 3000);
        QVERIFY2(window_->minimumWidth() <= 1200 && window_->minimumHeight() <= 600, qPrintable(language));
        QVERIFY2(c->PravixBt()->geometry().intersected(c->OpenPathBt()->geometry()).isEmpty(), qPrintable(language));
    }
}

void MainWindowTest::refreshClosesTheOpenPreview()
{
    makeWindow();
    ViewController* c = controller();
    QVERIFY(c->AddHeicPath(QString(PRAVIX_SOURCE_DIR) + "/convert/tests/data/camera_mm.heic") ==
            ConversionListModel::AddResult::Added);
    NSPravixData& entry = c->listModel()->TablePathArr()[0];
    entry.ToPath = PRAVIX_SOURCE_DIR "/convert/tests/data/camera_mm.jpg";
    c->PreViewEvent(entry);
    QPointer<NSImagePreView> first = c->ImagePreView();
    QVERIFY(first);
    QVERIFY(first->isVisible());
    QCOMPARE(first->imagePath(), QString::fromStdString(entry.ToPath));
    // A second preview replaces the first.
    c->PreViewEvent(entry);
    QVERIFY(c->ImagePreView() != nullptr);
    QTRY_VERIFY(first.isNull());
    QPointer<NSImagePreView> second = c->ImagePreView();
    window_->RefreshUI();
    QVERIFY(c->ImagePreView() == nullptr);
    QTRY_VERIFY(second.isNull());
}

void MainWindowTest::everyControlHasANameAndTabRunsTopToBottom()
{
    makeWindow();
    ViewController* c = controller();
    const QList<QWidget*> order = {c->AddFileBt(),    c->RemoveAllBt(),     c->AddHeicFileBt(), c->TableView(),
                                   c->OutFileType(),  c->SelectImageSize(), c->ImageQuality(), c->Exif(),
                                   c->SaveHEICPath(), c->SaveCustomPath(),  c->ShowPath(),     c->SelectPathBt(),
                                   c->OpenPathBt(),   c->PravixBt()};
    auto nameOf = [](QWidget* widget) {
        const QString name = widget->accessibleName();
        if (!name.isEmpty()) {
            return name;
        }
        auto* button = qobject_cast<QAbstractButton*>(widget);
        return button ? button->text() : QString();
    };
    for (QWidget* widget : order) {
        QVERIFY2(!nameOf(widget).isEmpty(), widget->metaObject()->className());
    }
    QCOMPARE(c->OutFileType()->accessibleName(), QString("Output format"));
    QCOMPARE(c->ImageQuality()->accessibleName(), QString("Image quality"));
    QCOMPARE(c->SelectPathBt()->accessibleName(), QString("Choose"));
    QCOMPARE(c->ShowPath()->accessibleName(), QString("Output folder"));
    QCOMPARE(c->OutputFormatText()->buddy(), c->OutFileType());
    QCOMPARE(c->ImageSizeText()->buddy(), c->SelectImageSize());
    QCOMPARE(c->JPGEQualityText()->buddy(), c->ImageQuality());

    // The focus chain meets the controls in reading order, top to bottom.
    QList<QWidget*> met;
    QWidget* widget = c->AddFileBt();
    for (int step = 0; step < 400 && met.size() < order.size(); ++step) {
        if (order.contains(widget) && !met.contains(widget)) {
            met << widget;
        }
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(met, order);
    QVERIFY(c->TableView()->mapToGlobal(QPoint()).y() < c->OutFileType()->mapToGlobal(QPoint()).y());
    QVERIFY(c->OutFileType()->mapToGlobal(QPoint()).y() < c->SaveHEICPath()->mapToGlobal(QPoint()).y());
    QVERIFY(c->SaveHEICPath()->mapToGlobal(QPoint()).y() < c->ShowPath()->mapToGlobal(QPoint()).y());

    NSLanguage::shareInstance().setLanguage(5);
    window_->RefreshUI();
    QCOMPARE(c->OutFileType()->accessibleName(), QString("Ausgabeformat"));
    QCOMPARE(c->SelectPathBt()->accessibleName(), QString("Auswählen"));
    QCOMPARE(c->TableView()->accessibleName(), QString("Zu konvertierende Dateien"));
}

void MainWindowTest::keyboardAloneReachesTheOpenPanel()
{
    makeWindow();
    ViewController* c = controller();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    c->AddFileBt()->setFocus();
    QTest::keyClick(c->AddFileBt(), Qt::Key_Space);
    QCOMPARE(dialogs_->calls, QStringList{"open Add Files"});

    // From the quality menu, Tab reaches the Exif box, Space clears it.
    c->ImageQuality()->setFocus();
    QTest::keyClick(c->ImageQuality(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), c->Exif());
    QTest::keyClick(c->Exif(), Qt::Key_Space);
    QVERIFY(!c->Exif()->isChecked());

    // Start on an empty list offers the panel; the answer fills the list.
    const QString photo = QString(PRAVIX_SOURCE_DIR) + "/convert/tests/data/camera_ii.heic";
    dialogs_->openAnswers.enqueue(QStringList{photo});
    c->PravixBt()->setFocus();
    QTest::keyClick(c->PravixBt(), Qt::Key_Space);
    QCOMPARE(dialogs_->calls.size(), 2);
    QCOMPARE(c->TablePathArr().size(), size_t(1));
    QVERIFY(c->isStopTo());
    QVERIFY(!c->AddHeicFileView()->isVisible());
}

// A button reached by Tab shows one focus frame, its own border, which follows its rounded corners:
// inside the border it looks as it does without focus (the style drew a square frame there too).
void MainWindowTest::focusedButtonsDrawOneFrameOfTheirShape()
{
    makeWindow();
    ViewController* c = controller();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    for (QPushButton* button : {c->AddFileBt(), c->RemoveAllBt(), c->OpenPathBt(), c->PravixBt()}) {
        const QString name = button->objectName();
        (button == c->AddFileBt() ? c->PravixBt() : c->AddFileBt())->setFocus(Qt::OtherFocusReason);
        for (int step = 0; step < 40 && QApplication::focusWidget() != button; ++step) {
            QTest::keyClick(window_.get(), Qt::Key_Tab);
        }
        QVERIFY2(button->hasFocus(), qPrintable(name));
        const QImage focused = button->grab().toImage();
        QTest::keyClick(window_.get(), Qt::Key_Tab);
        QVERIFY2(!button->hasFocus(), qPrintable(name));
        const QImage plain = button->grab().toImage();
        QCOMPARE(focused.size(), plain.size());

        // Inside the border, short of the rounded corners, where the border's arc reaches in.
        const QRect inside = focused.rect().adjusted(3, 3, -3, -3);
        const QRect straight = focused.rect().adjusted(10, 10, -10, -10);
        int differing = 0;
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            for (int x = inside.left(); x <= inside.right(); ++x) {
                const bool corner = (x < straight.left() || x > straight.right()) &&
                                    (y < straight.top() || y > straight.bottom());
                differing += !corner && focused.pixel(x, y) != plain.pixel(x, y) ? 1 : 0;
            }
        }
        QVERIFY2(differing == 0, qPrintable(QString("%1: %2 pixels inside the border").arg(name).arg(differing)));
        // The frame is there, along the edge, and leaves the corner outside the rounding alone.
        const int middle = focused.width() / 2;
        QVERIFY2(focused.pixel(middle, 0) != plain.pixel(middle, 0), qPrintable(name));
        QCOMPARE(focused.pixel(0, 0), plain.pixel(0, 0));
    }
}

namespace
{
// Whether `target` is met walking the accessible tree down from `from`, each child naming its
// parent as the one it was reached from.
bool reachable(QAccessibleInterface* from, QAccessibleInterface* target, int depth = 0)
{
    if (from == target) {
        return true;
    }
    for (int i = 0; depth < 16 && i < from->childCount(); ++i) {
        QAccessibleInterface* child = from->child(i);
        if (child != nullptr && child->parent() == from && reachable(child, target, depth + 1)) {
            return true;
        }
    }
    return false;
}
}  // namespace

// Tab from Remove All puts the focus on the empty list's add button: a screen reader finds it as the
// window's focused object and reaches it through the window's tree, so it can say where it is.
// (The focus event itself is Qt's, sent only while a screen reader listens.)
void MainWindowTest::screenReadersFindTheFocusedAddButton()
{
    makeWindow();
    ViewController* c = controller();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    c->RemoveAllBt()->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(window_.get(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), c->AddHeicFileBt());

    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(window_.get());
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(c->AddHeicFileBt());
    QAccessibleInterface* focused = window->focusChild();
    QVERIFY(focused != nullptr);
    QCOMPARE(focused, button);
    QCOMPARE(focused->text(QAccessible::Name), QString("Add HEIC files or drag them here"));
    QVERIFY(focused->state().focused);
    QVERIFY(reachable(window, button));
    for (QAccessibleInterface* node = button; node->parent() != nullptr && node != window; node = node->parent()) {
        QVERIFY(node->parent()->indexOfChild(node) >= 0);
    }
}

void MainWindowTest::windowHidesZoomAndReportsClosing()
{
    makeWindow();
    QVERIFY(window_->titleButton(FramelessWindow::ZoomButton)->isHidden());
    QVERIFY(window_->titleButton(FramelessWindow::CloseButton)->isVisible());
    QVERIFY(window_->titleButton(FramelessWindow::MiniaturizeButton)->isVisible());
    QCOMPARE(NSMianWindow::shareInstance(), window_.get());
    QCOMPARE(window_->size(), QSize(NSMianWindow::kDefaultWidth, NSMianWindow::kDefaultHeight));
    QSignalSpy closed(window_.get(), &NSMianWindow::closed);
    QTest::mouseClick(window_->titleButton(FramelessWindow::CloseButton), Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!window_->isVisible());
    window_.reset();
    QVERIFY(NSMianWindow::shareInstance() == nullptr);
    QVERIFY(ViewController::shareInstance() == nullptr);
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
