#include "AboutLayout.h"
#include "LLButton.h"
#include "NSLanguage.h"
#include "NSWindowsAbout.h"
#include "TitleButtonLayout.h"
#include "UrlOpener.h"
#include "WidgetExtensions.h"

#include "IsolatedUserFolders.h"
#include "OpenedUrls.h"

#include <QApplication>
#include <QLabel>
#include <QtTest>

using namespace pravix;

namespace
{

AboutSources sources(const QString& version = QStringLiteral("1.0.0"),
                     const QString& host = QStringLiteral("www.pravix.example.org"), bool international = true)
{
    AboutSources result;
    result.appName = QStringLiteral("Pravix");
    result.version = version;
    result.websiteHost = host;
    result.international = international;
    return result;
}

// The widest of the two label texts and of the two value texts, as the window measures them.
qreal widestLabel(const NSWindowsAbout& about)
{
    return std::max(WidthForString(about.VersionTitle()->text(), 13), WidthForString(about.WebsiteTitle()->text(), 13));
}

}  // namespace

class NSWindowsAboutTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sharedWindowOpensOnceAndOnlyHides();
    void nothingIsFilledBeforeTheFirstShow();
    void logoAndNameAreCentredAsOneGroup();
    void rowColumnsFollowTheDirection();
    void rowsAreCentredLeftToRight();
    void switchingToArabicMirrorsRowsAndTitleButtons();
    void chineseEditionShowsNoWebsiteNorCopyright();
    void buildWithoutWebsiteHidesOnlyTheWebsiteRow();
    void emptyVersionLeavesTheValueEmpty();
    void shortHostDoesNotCutTheVersionOff();
    void websiteButtonOpensTheHttpsAddress();
    void unusableHostOpensNothing();
    void screenReadersHearNamesAndValues();

private:
    test::IsolatedUserFolders folders_;
    std::unique_ptr<test::OpenedUrls> opened_;
};

void NSWindowsAboutTest::init()
{
    NSLanguage::shareInstance().setLanguage(0);
    opened_ = std::make_unique<test::OpenedUrls>();
}

void NSWindowsAboutTest::cleanup()
{
    opened_.reset();
}

void NSWindowsAboutTest::sharedWindowOpensOnceAndOnlyHides()
{
    NSWindowsAbout& first = NSWindowsAbout::shareInstance();
    NSWindowsAbout& second = NSWindowsAbout::shareInstance();
    QCOMPARE(&first, &second);
    first.Show();
    second.Show(this);
    int shown = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        shown += qobject_cast<NSWindowsAbout*>(widget) && widget->isVisible();
    }
    QCOMPARE(shown, 1);
    QVERIFY(first.isWindowLoaded());
    QCOMPARE(first.windowTitle(), QStringLiteral("About"));

    QPointer<NSWindowsAbout> alive(&first);
    QVERIFY(first.close());
    QVERIFY(alive);
    QVERIFY(first.isHidden());
    QVERIFY(!first.testAttribute(Qt::WA_QuitOnClose));
    first.Show();
    QVERIFY(first.isVisible());
    QTest::keyClick(&first, Qt::Key_Escape);
    QVERIFY(alive);
    QVERIFY(first.isHidden());
}

void NSWindowsAboutTest::nothingIsFilledBeforeTheFirstShow()
{
    NSWindowsAbout about([] { return sources(); });
    about.RefreshUI();
    QVERIFY(!about.isWindowLoaded());
    QVERIFY(about.AppName()->text().isEmpty());
    QVERIFY(about.Version()->text().isEmpty());
    about.Show();
    QCOMPARE(about.AppName()->text(), QStringLiteral("Pravix"));
    QCOMPARE(about.Version()->text(), QStringLiteral("1.0.0"));
    QCOMPARE(about.VersionTitle()->text(), QStringLiteral("Version"));
    QCOMPARE(about.WebsiteTitle()->text(), QStringLiteral("Website"));
    QCOMPARE(about.Website()->defaultTitle(), QStringLiteral("www.pravix.example.org"));
    QCOMPARE(about.Copyright()->text(), QStringLiteral("© Quorvane. All rights reserved."));
    QCOMPARE(about.Copyright()->geometry(), QRect(0, NSWindowsAbout::kHeight - 30, NSWindowsAbout::kWidth, 20));
    QVERIFY(about.titleButton(FramelessWindow::MiniaturizeButton)->isHidden());
    QVERIFY(about.titleButton(FramelessWindow::ZoomButton)->isHidden());
    QVERIFY(!about.titleButton(FramelessWindow::CloseButton)->isHidden());
}

void NSWindowsAboutTest::logoAndNameAreCentredAsOneGroup()
{
    // x0 = (420 - 55) / 2 = 182.5: the name 2 past the logo's middle line, the logo 2 before it.
    const AboutLogoRow row = aboutLogoRow(QSizeF(420, 84), QSizeF(64, 64), 50);
    QCOMPARE(row.name, QRectF(216.5, 32, 55, 20));
    QCOMPARE(row.logo, QRectF(148.5, 10, 64, 64));
    QCOMPARE(row.name.left() - row.logo.right(), 4.0);
    QCOMPARE((row.logo.left() + row.name.right()) / 2, 210.0);

    NSWindowsAbout about([] { return sources(); });
    about.Show();
    const AboutLogoRow expected = aboutLogoRow(about.LogoView()->size(), about.AppLogo()->size(),
                                               NSWindowsAbout::widthForString(QStringLiteral("Pravix"), 17));
    QCOMPARE(about.AppLogo()->pos(), expected.logo.topLeft().toPoint());
    QCOMPARE(about.AppName()->geometry(), expected.name.toAlignedRect());
    QVERIFY(!about.AppLogo()->pixmap().isNull());
    // The name is measured as one line of at most 360.
    QVERIFY(NSWindowsAbout::widthForString(QString("Pravix ").repeated(200), 17) <= 360.0f);
    QCOMPARE(NSWindowsAbout::widthForString(QString(), 17), 0.0f);
}

void NSWindowsAboutTest::rowColumnsFollowTheDirection()
{
    // Label column 60 + 20, value column 100 + 5, starting at (400 - 185) / 2.
    const AboutColumns ltr = aboutColumns(400, 60, 100, 0);
    QCOMPARE(ltr.labelX, 107.5);
    QCOMPARE(ltr.labelWidth, 80.0);
    QCOMPARE(ltr.valueX, 187.5);
    QCOMPARE(ltr.valueWidth, 105.0);
    QVERIFY(ltr.labelAlignment & Qt::AlignRight);
    QVERIFY(ltr.valueAlignment & Qt::AlignLeft);

    const AboutColumns rtl = aboutColumns(400, 60, 100, 1);
    QCOMPARE(rtl.valueX, 107.5);
    QCOMPARE(rtl.valueWidth, 105.0);
    QCOMPARE(rtl.labelX, 212.5);
    QCOMPARE(rtl.labelWidth, 80.0);
    QVERIFY(rtl.labelAlignment & Qt::AlignLeft);
    QVERIFY(rtl.valueAlignment & Qt::AlignRight);
    // Explicit sides, so a right-to-left window does not turn them round again.
    QVERIFY(ltr.labelAlignment & Qt::AlignAbsolute);
    QVERIFY(rtl.valueAlignment & Qt::AlignAbsolute);
}

void NSWindowsAboutTest::rowsAreCentredLeftToRight()
{
    NSWindowsAbout about([] { return sources(); });
    about.Show();
    const AboutColumns columns =
        aboutColumns(about.width(), widestLabel(about),
                     NSWindowsAbout::widthForString(QStringLiteral("www.pravix.example.org"), 13), 0);
    QCOMPARE(about.VersionTitle()->x(), int(columns.labelX));
    QCOMPARE(about.WebsiteTitle()->x(), int(columns.labelX));
    QCOMPARE(about.Version()->x(), int(columns.valueX));
    QCOMPARE(about.Website()->x(), int(columns.valueX));
    QVERIFY(about.VersionTitle()->alignment() & Qt::AlignRight);
    QVERIFY(about.Version()->alignment() & Qt::AlignLeft);
    QVERIFY(about.Website()->titleAlignment() & Qt::AlignLeft);
    QVERIFY(about.VersionTitle()->geometry().right() <= about.Version()->x());
    const qreal middle = (about.VersionTitle()->x() + about.Website()->geometry().right() + 1) / 2.0;
    QVERIFY2(std::abs(middle - about.width() / 2.0) <= 1.0, qPrintable(QString::number(middle)));
    QVERIFY(about.Version()->y() < about.Website()->y());
}

void NSWindowsAboutTest::switchingToArabicMirrorsRowsAndTitleButtons()
{
    NSWindowsAbout about([] { return sources(); });
    about.Show();
    NSLanguage::shareInstance().setLanguage(7);
    about.RefreshUI();
    QCOMPARE(about.windowTitle(), QString::fromUtf8("حول"));
    QCOMPARE(about.VersionTitle()->text(), QString::fromUtf8("الإصدار"));
    QCOMPARE(about.layoutDirection(), Qt::RightToLeft);
    // Values on the left, right-aligned; labels on the right, left-aligned.
    QVERIFY(about.Website()->geometry().right() <= about.WebsiteTitle()->x());
    QVERIFY(about.Version()->geometry().right() <= about.VersionTitle()->x());
    QVERIFY(about.Version()->alignment() & Qt::AlignRight);
    QVERIFY(about.Website()->titleAlignment() & Qt::AlignRight);
    QVERIFY(about.VersionTitle()->alignment() & Qt::AlignLeft);
    const AboutColumns columns =
        aboutColumns(about.width(), widestLabel(about),
                     NSWindowsAbout::widthForString(QStringLiteral("www.pravix.example.org"), 13), 1);
    QCOMPARE(about.Version()->x(), int(columns.valueX));
    QCOMPARE(about.VersionTitle()->x(), int(columns.labelX));
    const TitleButtonOrigins origins =
        UpdateWindowsBt(about.width(), 1, {TitleBarButton::kSize, TitleBarButton::kSize, TitleBarButton::kSize});
    QCOMPARE(about.titleButton(FramelessWindow::CloseButton)->pos(), origins[FramelessWindow::CloseButton]);
    // The copyright line, which begins with the maker's Latin name, reads right to left.
    QVERIFY(about.Copyright()->text().startsWith(QChar(0x200F)));

    NSLanguage::shareInstance().setLanguage(0);
    about.RefreshUI();
    QVERIFY(about.VersionTitle()->geometry().right() <= about.Version()->x());
    QCOMPARE(about.titleButton(FramelessWindow::CloseButton)->pos(), QPoint(12, titleButtonY()));
    QVERIFY(!about.Copyright()->text().startsWith(QChar(0x200F)));
}

void NSWindowsAboutTest::chineseEditionShowsNoWebsiteNorCopyright()
{
    NSLanguage::shareInstance().setLanguage(1);
    NSWindowsAbout about([] { return sources(QStringLiteral("1.0.0"), QStringLiteral("www.pravix.example.org"), false); });
    about.Show();
    QVERIFY(about.WebsiteTitle()->isHidden());
    QVERIFY(about.Website()->isHidden());
    QVERIFY(about.Copyright()->isHidden());
    QVERIFY(!about.Version()->isHidden());
    QCOMPARE(about.Version()->text(), QStringLiteral("1.0.0"));
    // The version row by itself, centred on its own widths.
    const AboutColumns columns = aboutColumns(about.width(), WidthForString(about.VersionTitle()->text(), 13),
                                              NSWindowsAbout::widthForString(QStringLiteral("1.0.0"), 13), 0);
    QCOMPARE(about.VersionTitle()->x(), int(columns.labelX));
    QCOMPARE(about.Version()->x(), int(columns.valueX));
    QCOMPARE(about.Version()->width(), QRectF(columns.valueX, 0, columns.valueWidth, 1).toAlignedRect().width());
}

void NSWindowsAboutTest::buildWithoutWebsiteHidesOnlyTheWebsiteRow()
{
    NSWindowsAbout about([] { return sources(QStringLiteral("1.0.0"), QString()); });
    about.Show();
    QVERIFY(about.Website()->isHidden());
    QVERIFY(about.WebsiteTitle()->isHidden());
    QVERIFY(!about.Copyright()->isHidden());
    QVERIFY(about.websiteUrl().isEmpty());
    about.WebsiteBtEvent();
    QVERIFY(opened_->urls().isEmpty());
}

void NSWindowsAboutTest::emptyVersionLeavesTheValueEmpty()
{
    NSWindowsAbout about([] { return sources(QString()); });
    about.Show();
    QVERIFY(about.Version()->text().isEmpty());
    QCOMPARE(about.VersionTitle()->text(), QStringLiteral("Version"));
    QVERIFY(!about.VersionTitle()->isHidden());
    QVERIFY(about.VersionTitle()->geometry().right() <= about.Version()->x());
}

void NSWindowsAboutTest::shortHostDoesNotCutTheVersionOff()
{
    const QString version = QStringLiteral("12.345.6789");
    NSWindowsAbout about([version] { return sources(version, QStringLiteral("q.io")); });
    about.Show();
    QVERIFY(about.Version()->width() >= NSWindowsAbout::widthForString(version, 13));
    QCOMPARE(about.Website()->width(), about.Version()->width());
}

void NSWindowsAboutTest::websiteButtonOpensTheHttpsAddress()
{
    NSWindowsAbout about([] { return sources(); });
    about.Show();
    QTest::mouseClick(about.Website(), Qt::LeftButton);
    QCOMPARE(opened_->urls(), QList<QUrl>{QUrl(QStringLiteral("https://www.pravix.example.org"))});
    // From the keyboard: the button takes focus with Tab and Return presses it.
    about.Website()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(about.Website(), Qt::Key_Return);
    QCOMPARE(opened_->urls().size(), 2);
    QCOMPARE(about.Website()->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
}

void NSWindowsAboutTest::unusableHostOpensNothing()
{
    NSWindowsAbout about([] { return sources(QStringLiteral("1.0.0"), QStringLiteral("bad host/<name>")); });
    about.Show();
    QVERIFY(about.websiteUrl().isEmpty());
    QVERIFY(about.Website()->isHidden());
    about.WebsiteBtEvent();
    QVERIFY(opened_->urls().isEmpty());
    QVERIFY(!UrlOpener::open(QUrl()));
}

void NSWindowsAboutTest::screenReadersHearNamesAndValues()
{
    NSWindowsAbout about([] { return sources(); });
    about.Show();
    QCOMPARE(about.Website()->accessibleName(), QStringLiteral("Website"));
    QCOMPARE(about.Website()->accessibleDescription(), QStringLiteral("https://www.pravix.example.org"));
    QCOMPARE(about.Version()->accessibleName(), QStringLiteral("Version"));
    QCOMPARE(about.Version()->accessibleDescription(), QStringLiteral("1.0.0"));
    QCOMPARE(about.AppLogo()->accessibleName(), QStringLiteral("Pravix"));
    NSLanguage::shareInstance().setLanguage(5);
    about.RefreshUI();
    QCOMPARE(about.Version()->accessibleName(), QStringLiteral("Version"));
    QCOMPARE(about.windowTitle(), QString::fromUtf8("Über"));
    QCOMPARE(about.Copyright()->text(), QString::fromUtf8("© Quorvane. Alle Rechte vorbehalten."));
    NSLanguage::shareInstance().setLanguage(7);
    about.RefreshUI();
    QCOMPARE(about.Website()->accessibleName(), QString::fromUtf8("الموقع الإلكتروني"));
}

QTEST_MAIN(NSWindowsAboutTest)
#include "NSWindowsAboutTest.moc"
