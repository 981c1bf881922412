#include "AppDelegate.h"
#include "ClientProfile.h"
#include "MainMenuBar.h"
#include "NSLanguage.h"
#include "NSMianWindow.h"
#include "NSWindowControllerCheckUpdateApp.h"
#include "NSWindowsAbout.h"
#include "StringsTable.h"
#include "UserActionAnalysis.h"
#include "ViewController.h"

#include "IsolatedUserFolders.h"
#include "OpenedUrls.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace pravix;

namespace
{

// A menu title as shown, without its mnemonic mark.
QString shown(const QAction* item)
{
    QString title = item->text();
    title.remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
    return title.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(u'&').replace(u'\x01', u'&');
}

QString tableText(LanguageCode code, const QString& key)
{
    const QString table = stringsTableForCode(code, NSLanguage::shareInstance().SysLanguage());
    return StringsTable::load(table).value(key);
}

QList<QAction*> tickedItems(const MainMenuBar& menu)
{
    QList<QAction*> ticked;
    for (QAction* item : menu.languageItems()) {
        if (item->isChecked()) {
            ticked.append(item);
        }
    }
    return ticked;
}

}  // namespace

// Start-up, the main menu's actions, the language menu and the program's end.
class AppDelegateTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startUpRunsInItsOrder();
    void everyLanguageItemTicksItselfAndRetitlesTheMenu();
    void choosingTheCurrentLanguageRetitlesWithoutRefreshingWindows();
    void codesWithoutAnItemTickTheirStandIn();
    void qtsOwnTextsFollowTheLanguage();
    void aboutAndUpdateItemsOpenTheirWindows();
    void logItemOpensTheLogFolderOnceThereIsOne();
    void serviceItemOpensTheMarketsChatPage();
    void serviceItemIsOffWithoutAChatPage();
    void closingTheMainWindowEndsTheProgram();
    void quitItemEndsTheProgram();

private:
    void makeDelegate(AppDelegateServices services = {});
    MainMenuBar& menu() const { return *delegate_->mainMenu(); }
    // Runs the event loop until the program is asked to quit; -1 when it is not within seconds.
    static int runUntilQuit(const std::function<void()>& action);

    test::IsolatedUserFolders folders_;
    std::unique_ptr<NSMianWindow> window_;
    std::unique_ptr<AppDelegate> delegate_;
};

void AppDelegateTest::init()
{
    test::IsolatedUserFolders::clearSettings();
    NSLanguage::shareInstance().setLanguage(0);
}

void AppDelegateTest::cleanup()
{
    delegate_.reset();
    window_.reset();
    NSWindowsAbout::shareInstance().hide();
    NSWindowControllerCheckUpdateApp::shareInstance().hide();
    NSLanguage::shareInstance().setLanguage(0);
}

void AppDelegateTest::makeDelegate(AppDelegateServices services)
{
    delegate_.reset();
    window_.reset();
    MainWindowEnvironment environment;
    environment.international = true;
    window_ = std::make_unique<NSMianWindow>(environment);
    delegate_ = std::make_unique<AppDelegate>(*window_, std::move(services));
}

int AppDelegateTest::runUntilQuit(const std::function<void()>& action)
{
    QTimer::singleShot(0, qApp, action);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(-1); });
    guard.start(10000);
    return QCoreApplication::exec();
}

void AppDelegateTest::startUpRunsInItsOrder()
{
    QTemporaryDir data;
    QTemporaryDir configuration;
    {
        QFile plist(configuration.path() + "/Configuration.plist");
        QVERIFY(plist.open(QIODevice::WriteOnly));
        plist.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                    "<key>Partner</key><string>abc</string><key>International</key><string>NO</string>"
                    "</dict></plist>");
    }
    ClientProfileSources profileSources;
    profileSources.sysfsNetRoot = configuration.path() + "/no-such-net";
    profileSources.configurationPlist = configuration.path() + "/Configuration.plist";
    // A first run: the channel code comes from this list.
    test::IsolatedUserFolders::clearSettings();
    const ClientProfile chineseMarket(profileSources);
    QCOMPARE(chineseMarket.Partner(), QString("abc"));
    QVERIFY(!chineseMarket.International());

    QCoreApplication::setApplicationVersion("9.8.7");
    UserActionAnalysis statistics;
    QStringList steps;
    const auto configured = [&] {
        return statistics.DomainName() == "http://records.cn.invalid" && statistics.AppId() == 25 &&
               statistics.OS() == "Mac-12" && statistics.Version() == "9.8.7" &&
               statistics.ChannelCode() == "abc" && statistics.MachineCode() == chineseMarket.MachineCode();
    };

    AppDelegateServices services;
    LogRedirectionSources log;
    log.dataFolder = [&] { return data.path(); };
    log.now = [] { return QDateTime(QDate(2026, 12, 8), QTime(9, 5)); };
    log.redirectStreams = [&](const QString& file) {
        steps << (configured() ? "log after configuring" : "log") << QFileInfo(file).fileName();
        return true;
    };
    services.log = log;
    services.statistics = &statistics;
    services.profile = [&]() -> const ClientProfile& { return chineseMarket; };
    DeploymentConfig deployment;
    deployment.actionServerInternational = "http://records.intl.invalid";
    deployment.actionServerChina = "http://records.cn.invalid";
    services.deployment = deployment;
    services.sysVersion = [] { return QStringLiteral("Mac-12"); };
    services.upInstallation = [&] {
        steps << (configured() ? "installation" : "installation before configuring");
        steps << (tickedItems(menu()).isEmpty() ? "no language yet" : "language too early");
    };
    services.upActive = [&] {
        steps << (configured() ? "activity" : "activity before configuring");
        steps << (tickedItems(menu()).isEmpty() ? "no language yet" : "language too early");
    };
    makeDelegate(services);
    QCOMPARE(delegate_->LogPath(), QString());

    delegate_->applicationDidFinishLaunching();
    QCOMPARE(steps, QStringList({"log", "Pravix_2026-12-08 09:05.log", "installation", "no language yet", "activity",
                                 "no language yet"}));
    QCOMPARE(delegate_->LogPath(), data.path() + "/Pravix");
    QVERIFY(QFileInfo(data.path() + "/Pravix").isDir());
    // The language comes last: the current one ticked, the menu in its texts.
    QCOMPARE(tickedItems(menu()), QList<QAction*>{menu().languageItem(languageMenuIndexForCode(
                                      NSLanguage::shareInstance().Language()))});
    QCOMPARE(shown(menu().MenuAbout()), tableText(NSLanguage::shareInstance().Language(), "About"));
}

void AppDelegateTest::everyLanguageItemTicksItselfAndRetitlesTheMenu()
{
    makeDelegate();
    const auto& items = languageMenuItems();
    for (int i = 0; i < kLanguageMenuItemCount; ++i) {
        const LanguageCode code = items[i].code;
        menu().languageItem(i)->trigger();
        QCOMPARE(NSLanguage::shareInstance().Language(), code);
        QCOMPARE(tickedItems(menu()), QList<QAction*>{menu().languageItem(i)});
        QCOMPARE(shown(menu().languageItem(0)), tableText(code, "SystemLanguage"));
        QCOMPARE(shown(menu().LanguageMenu()), tableText(code, "Language"));
        QCOMPARE(shown(menu().MenuAbout()), tableText(code, "About"));
        QCOMPARE(shown(menu().MenuCheckUpdate()), tableText(code, "CheckUpdateApp"));
        QCOMPARE(shown(menu().ServiceItem()), tableText(code, "Service"));
        QCOMPARE(shown(menu().OutApp()), tableText(code, "OutApp"));
        QCOMPARE(shown(menu().HelpMenu()), tableText(code, "Help"));
        QCOMPARE(shown(menu().OpenLogItem()), tableText(code, "OpenLogFolder"));
        // The languages keep their own names.
        QCOMPARE(menu().languageItem(6)->text(), QString("Deutsch"));
        // The window follows.
        QCOMPARE(window_->contentViewController()->PravixBt()->text(), tableText(code, "Conversion"));
    }
    // Every language the menu offers has one item; 2 and 19 arise from the system only.
    QSet<LanguageCode> codes;
    for (const LanguageMenuItem& item : items) {
        codes.insert(item.code);
    }
    for (LanguageCode code = 0; code <= 23; ++code) {
        QCOMPARE(codes.contains(code), code != 2 && code != 19);
    }
}

void AppDelegateTest::choosingTheCurrentLanguageRetitlesWithoutRefreshingWindows()
{
    makeDelegate();
    delegate_->setLanguage(0);
    const QString english = window_->contentViewController()->PravixBt()->text();
    // The code changes behind the menu's back; choosing it again only retitles and ticks the menu.
    NSLanguage::shareInstance().setLanguage(5);
    menu().languageItem(6)->trigger();  // Deutsch
    QCOMPARE(shown(menu().MenuAbout()), tableText(5, "About"));
    QCOMPARE(tickedItems(menu()), QList<QAction*>{menu().languageItem(6)});
    QCOMPARE(window_->contentViewController()->PravixBt()->text(), english);
    // Another language refreshes the windows.
    menu().languageItem(8)->trigger();  // Français
    QCOMPARE(window_->contentViewController()->PravixBt()->text(), tableText(10, "Conversion"));
}

void AppDelegateTest::codesWithoutAnItemTickTheirStandIn()
{
    makeDelegate();
    const std::pair<LanguageCode, const char*> cases[] = {
        {2, "MenuTW"}, {12, "MenuTW"}, {19, "MenuSYS"}, {kLanguageFollowsSystem, "MenuSYS"}, {-1, "MenuSYS"},
        {24, "MenuSYS"}, {0, "MenuEN"}, {7, "MenuEG"}, {23, "MenuTK"},
    };
    for (const auto& [code, name] : cases) {
        delegate_->setLanguage(code);
        const QList<QAction*> ticked = tickedItems(menu());
        QCOMPARE(ticked.size(), 1);
        QCOMPARE(ticked.first()->objectName(), QString(name));
    }
    // Hebrew is laid out right to left in English texts, the menu bar too.
    delegate_->setLanguage(19);
    QCOMPARE(menu().layoutDirection(), Qt::RightToLeft);
    QCOMPARE(shown(menu().MenuAbout()), StringsTable::load("en").value("About"));
}

// The dialogs' and text fields' own texts come in the interface language from start-up on (the
// stored language applied, as start-up does, with the code already current), and change with it.
void AppDelegateTest::qtsOwnTextsFollowTheLanguage()
{
    auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
    NSLanguage::shareInstance().setLanguage(5);
    makeDelegate();
    QCOMPARE(cancel(), QString("Cancel"));
    delegate_->setLanguage(5);
    QVERIFY2(cancel() == QString("Abbrechen"),
             "Qt's German translation is missing: run ./scripts/install-deps.sh (qt6-translations-l10n)");
    QCOMPARE(delegate_->qtTranslations().localeName(), QString("de"));
    menu().languageItem(languageMenuIndexForCode(10))->trigger();
    QCOMPARE(cancel(), QString("Annuler"));
    menu().languageItem(languageMenuIndexForCode(0))->trigger();
    QCOMPARE(cancel(), QString("Cancel"));
    delegate_.reset();
    // The delegate's translation leaves with it.
    NSLanguage::shareInstance().setLanguage(5);
    QCOMPARE(cancel(), QString("Cancel"));
}

void AppDelegateTest::aboutAndUpdateItemsOpenTheirWindows()
{
    // A build without an update server offers no update check.
    AppDelegateServices services;
    services.deployment = DeploymentConfig();
    makeDelegate(services);
    QVERIFY(!menu().MenuCheckUpdate()->isEnabled());

    DeploymentConfig deployment;
    deployment.updateServer = "http://127.0.0.1:9";
    services.deployment = deployment;
    makeDelegate(services);
    QVERIFY(menu().MenuCheckUpdate()->isEnabled());
    menu().MenuAbout()->trigger();
    QVERIFY(NSWindowsAbout::shareInstance().isVisible());
    menu().MenuCheckUpdate()->trigger();
    QVERIFY(NSWindowControllerCheckUpdateApp::shareInstance().isVisible());
    // Neither keeps the program running once the main window is gone.
    QVERIFY(!NSWindowsAbout::shareInstance().testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(!NSWindowControllerCheckUpdateApp::shareInstance().testAttribute(Qt::WA_QuitOnClose));
}

void AppDelegateTest::logItemOpensTheLogFolderOnceThereIsOne()
{
    test::OpenedUrls opened;
    QTemporaryDir data;
    AppDelegateServices services;
    LogRedirectionSources log;
    log.dataFolder = [&] { return data.path(); };
    log.now = [] { return QDateTime::currentDateTime(); };
    log.redirectStreams = [](const QString&) { return true; };
    services.log = log;
    services.upInstallation = [] {};
    services.upActive = [] {};
    makeDelegate(services);

    menu().OpenLogItem()->trigger();
    QVERIFY(opened.urls().isEmpty());
    delegate_->applicationDidFinishLaunching();
    menu().OpenLogItem()->trigger();
    QCOMPARE(opened.urls(), QList<QUrl>{QUrl::fromLocalFile(data.path() + "/Pravix")});
}

void AppDelegateTest::serviceItemOpensTheMarketsChatPage()
{
    test::OpenedUrls opened;
    AppDelegateServices services;
    DeploymentConfig deployment;
    deployment.chatPageInternational = "https://chat.intl.invalid/room?lang=en";
    deployment.chatPageChina = "https://chat.cn.invalid/";
    services.deployment = deployment;
    ClientProfileSources international;
    international.configurationPlist = ":/no-such.plist";
    const ClientProfile profile(international);
    services.profile = [&]() -> const ClientProfile& { return profile; };
    makeDelegate(services);
    QVERIFY(menu().ServiceItem()->isEnabled());
    menu().ServiceItem()->trigger();
    QCOMPARE(opened.urls(), QList<QUrl>{QUrl("https://chat.intl.invalid/room?lang=en")});
}

void AppDelegateTest::serviceItemIsOffWithoutAChatPage()
{
    test::OpenedUrls opened;
    AppDelegateServices services;
    services.deployment = DeploymentConfig();
    makeDelegate(services);
    QVERIFY(!menu().ServiceItem()->isEnabled());
    delegate_->ServiceItemEvent();
    QVERIFY(opened.urls().isEmpty());
}

void AppDelegateTest::closingTheMainWindowEndsTheProgram()
{
    makeDelegate();
    window_->show();
    // An open About window does not keep the program running.
    menu().MenuAbout()->trigger();
    QVERIFY(NSWindowsAbout::shareInstance().isVisible());
    QCOMPARE(runUntilQuit([this] { window_->close(); }), 0);
}

void AppDelegateTest::quitItemEndsTheProgram()
{
    makeDelegate();
    window_->show();
    QCOMPARE(runUntilQuit([this] { menu().OutApp()->trigger(); }), 0);
}

QTEST_MAIN(AppDelegateTest)
#include "AppDelegateTest.moc"
