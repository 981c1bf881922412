#include "HeaderLook.h"
#include "MainMenuBar.h"
#include "MenuMnemonics.h"
#include "NSLanguage.h"
#include "NSMianWindow.h"
#include "TitleBarButton.h"
#include "ViewController.h"

#include "IsolatedUserFolders.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QtTest>

#include <memory>

using namespace pravix;

// The main menu bar: its mnemonics, its place in the main window's title band in every language,
// and the keyboard's ways into it.
class MainMenuBarTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void mnemonicsMarkOneLetterEach_data();
    void mnemonicsMarkOneLetterEach();
    void frameStandsBesideTheTitleButtons();
    void logoMovesAsideOnlyWhenTheBandIsNarrow();
    void barSitsInTheTitleBandInEveryLanguage();
    void f10OpensTheFirstMenu();
    void altLetterOpensItsMenu();
    void altAloneMovesTheKeyboardIntoTheBar_data();
    void altAloneMovesTheKeyboardIntoTheBar();

private:
    void makeWindow();
    bool showActiveWindow();
    void applyLanguage(LanguageCode code);
    QRect titleButtonsRect() const;

    test::IsolatedUserFolders folders_;
    std::unique_ptr<NSMianWindow> window_;
    MainMenuBar* bar_ = nullptr;
};

void MainMenuBarTest::init()
{
    // The program menu's title.
    QCoreApplication::setApplicationName("Pravix");
    test::IsolatedUserFolders::clearSettings();
    NSLanguage::shareInstance().setLanguage(0);
}

void MainMenuBarTest::cleanup()
{
    window_.reset();
    NSLanguage::shareInstance().setLanguage(0);
}

void MainMenuBarTest::makeWindow()
{
    MainWindowEnvironment environment;
    environment.international = true;
    window_ = std::make_unique<NSMianWindow>(environment);
    bar_ = new MainMenuBar(window_.get());
    window_->setMainMenuBar(bar_);
}

void MainMenuBarTest::applyLanguage(LanguageCode code)
{
    NSLanguage::shareInstance().setLanguage(code);
    window_->RefreshUI();
    bar_->RefreshUI();
    window_->UpdateWindowsBt();
}

QRect MainMenuBarTest::titleButtonsRect() const
{
    QRect buttons;
    for (auto which : {FramelessWindow::CloseButton, FramelessWindow::MiniaturizeButton, FramelessWindow::ZoomButton}) {
        if (window_->titleButton(which)->isVisible()) {
            buttons |= window_->titleButton(which)->geometry();
        }
    }
    return buttons;
}

void MainMenuBarTest::mnemonicsMarkOneLetterEach_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("marked");
    QTest::newRow("english") << QStringList{"Pravix", "Language", "Help"}
                             << QStringList{"&Pravix", "&Language", "&Help"};
    QTest::newRow("first letter taken") << QStringList{"Pravix", "Język", "Pomoc"}
                                        << QStringList{"&Pravix", "&Język", "P&omoc"};
    QTest::newRow("case does not matter") << QStringList{"Pravix", "pomoc", "Pp"}
                                          << QStringList{"&Pravix", "p&omoc", "Pp(&H)"};
    QTest::newRow("cyrillic and greek") << QStringList{"Pravix", "Язык", "Βοήθεια"}
                                        << QStringList{"&Pravix", "&Язык", "&Βοήθεια"};
    QTest::newRow("chinese") << QStringList{"Pravix", "语言", "帮助"} << QStringList{"&Pravix", "语言(&L)", "帮助(&H)"};
    QTest::newRow("arabic") << QStringList{"Pravix", "اللغة", "مساعدة"}
                            << QStringList{"&Pravix", "اللغة(&L)", "مساعدة(&H)"};
    QTest::newRow("ampersand stays text") << QStringList{"& Co", "A&B", "&&"}
                                          << QStringList{"&& &Co", "&A&&B", "&&&&(&H)"};
    QTest::newRow("digits and blanks are no mnemonics") << QStringList{"12 3", "", "Pravix"}
                                                        << QStringList{"12 3(&P)", "(&L)", "P&ravix"};
}

void MainMenuBarTest::mnemonicsMarkOneLetterEach()
{
    QFETCH(QStringList, titles);
    QFETCH(QStringList, marked);
    QCOMPARE(withMenuMnemonics(titles, "PLH"), marked);
    // Without fallbacks a title without a letter of its own simply has none.
    QCOMPARE(withMenuMnemonics({"语言"}, QString()), QStringList{"语言"});
}

void MainMenuBarTest::frameStandsBesideTheTitleButtons()
{
    const QRect buttons(12, 5, 34, 14);  // two 14-pixel buttons 6 apart
    QCOMPARE(mainMenuBarFrame(buttons, 0, QSize(200, 46), 8), QRect(54, 0, 200, 46));
    QCOMPARE(mainMenuBarFrame(QRect(920, 5, 34, 14), 1, QSize(200, 46), 8), QRect(712, 0, 200, 46));
    // A title 22 high on the line 12 in a band 46 high: 1 above, 23 below.
    QCOMPARE(menuTitleMargins(46, 12, 22), QMargins(0, 1, 0, 23));
    QCOMPARE(menuTitleMargins(46, 23, 22), QMargins(0, 12, 0, 12));
    QCOMPARE(menuTitleMargins(46, 5, 22), QMargins(0, 0, 0, 24));
    QCOMPARE(menuTitleMargins(20, 12, 22), QMargins(0, 1, 0, 0));
}

void MainMenuBarTest::logoMovesAsideOnlyWhenTheBandIsNarrow()
{
    QCOMPARE(logoGroupX(980, 160, 0, 0), 410);
    QCOMPARE(logoGroupX(980, 160, 300, 0), 410);
    QCOMPARE(logoGroupX(700, 160, 300, 0), 300);
    QCOMPARE(logoGroupX(700, 160, 0, 300), 240);
    QCOMPARE(logoGroupX(700, 160, 0, 400), 140);
    // No room either way: it keeps clear of the bar and runs off the far end.
    QCOMPARE(logoGroupX(400, 160, 300, 0), 300);
}

void MainMenuBarTest::barSitsInTheTitleBandInEveryLanguage()
{
    makeWindow();
    window_->show();
    ViewController* controller = window_->contentViewController();
    for (LanguageCode code = 0; code <= 23; ++code) {
        applyLanguage(code);
        for (int width : {NSMianWindow::kDefaultWidth, window_->minimumSizeHint().width()}) {
            window_->resize(width, NSMianWindow::kDefaultHeight);
            const QString context = QString("language %1, width %2").arg(code).arg(width);
            const QRect bar = bar_->geometry();
            const QRect buttons = titleButtonsRect();
            QVERIFY2(bar.size() == bar_->sizeHint(), qPrintable(context + QString(" %1 %2").arg(bar.width()).arg(bar_->sizeHint().width())));
            // As tall as the band, so that the menus open below it.
            QVERIFY2(bar.top() == 0 && bar.height() == controller->NavView()->height(), qPrintable(context));
            QVERIFY2(!bar.intersects(buttons), qPrintable(context));
            if (NSLanguage::shareInstance().Direction() == 1) {
                QVERIFY2(bar.right() < buttons.left(), qPrintable(context));
            } else {
                QVERIFY2(bar.left() > buttons.right(), qPrintable(context));
            }
            // Clear of the logo and name in the middle of the band.
            QWidget* logoGroup = controller->AppName()->parentWidget();
            const QRect logo(logoGroup->mapTo(window_.get(), QPoint(0, 0)), logoGroup->size());
            QVERIFY2(!bar.intersects(logo), qPrintable(context));
            QVERIFY2(window_->rect().contains(bar), qPrintable(context));
        }
    }
}

bool MainMenuBarTest::showActiveWindow()
{
    makeWindow();
    window_->show();
    window_->activateWindow();
    return QTest::qWaitForWindowActive(window_.get());
}

void MainMenuBarTest::f10OpensTheFirstMenu()
{
    QVERIFY(showActiveWindow());
    QTest::keyClick(window_.get(), Qt::Key_F10);
    QTRY_VERIFY(bar_->applicationMenu()->isVisible());
    QCOMPARE(bar_->activeAction(), bar_->ApplicationMenu());
    QCOMPARE(bar_->applicationMenu()->activeAction(), bar_->MenuAbout());
    // Down and Return choose from the keyboard alone.
    QSignalSpy chosen(bar_->MenuCheckUpdate(), &QAction::triggered);
    QTest::keyClick(bar_->applicationMenu(), Qt::Key_Down);
    QTest::keyClick(bar_->applicationMenu(), Qt::Key_Return);
    QCOMPARE(chosen.count(), 1);
    QTRY_VERIFY(!bar_->applicationMenu()->isVisible());
}

void MainMenuBarTest::altLetterOpensItsMenu()
{
    QVERIFY(showActiveWindow());
    QCOMPARE(bar_->LanguageMenu()->text(), QString("&Language"));
    QTest::keyClick(window_.get(), Qt::Key_L, Qt::AltModifier);
    QTRY_VERIFY(bar_->languageMenu()->isVisible());
    QTest::keyClick(bar_->languageMenu(), Qt::Key_Escape);
    QTRY_VERIFY(!bar_->languageMenu()->isVisible());

    // In Chinese the letter is the one in parentheses.
    applyLanguage(1);
    QVERIFY(bar_->HelpMenu()->text().endsWith("(&H)"));
    QTest::keyClick(window_.get(), Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(bar_->helpMenu()->isVisible());
    QTest::keyClick(bar_->helpMenu(), Qt::Key_Escape);
    QTRY_VERIFY(!bar_->helpMenu()->isVisible());

    // An Arabic bar shows no Latin letters (Alt alone and F10 still lead into it).
    applyLanguage(7);
    QVERIFY(!bar_->HelpMenu()->text().contains('&'));
    QVERIFY(!bar_->LanguageMenu()->text().contains('('));
    QCOMPARE(bar_->ApplicationMenu()->text(), QString("&Pravix"));
}

void MainMenuBarTest::altAloneMovesTheKeyboardIntoTheBar_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("towardsNext");
    QTest::newRow("english") << 0 << int(Qt::Key_Right);
    QTest::newRow("arabic, right to left") << 7 << int(Qt::Key_Left);
}

void MainMenuBarTest::altAloneMovesTheKeyboardIntoTheBar()
{
    QFETCH(int, language);
    QFETCH(int, towardsNext);
    QVERIFY(showActiveWindow());
    applyLanguage(language);
    QTest::keyPress(window_.get(), Qt::Key_Alt);
    QTest::keyRelease(window_.get(), Qt::Key_Alt);
    QCOMPARE(bar_->activeAction(), bar_->ApplicationMenu());
    QTest::keyClick(bar_, Qt::Key(towardsNext));
    QCOMPARE(bar_->activeAction(), bar_->LanguageMenu());
    QTest::keyClick(bar_, Qt::Key_Down);
    QTRY_VERIFY(bar_->languageMenu()->isVisible());
    QTest::keyClick(bar_->languageMenu(), Qt::Key_Escape);
}

QTEST_MAIN(MainMenuBarTest)
#include "MainMenuBarTest.moc"
