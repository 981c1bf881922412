#include "AppDelegate.h"

#include "ClientProfile.h"
#include "LaunchReports.h"
#include "MainMenuBar.h"
#include "NSMianWindow.h"
#include "NSWindowControllerCheckUpdateApp.h"
#include "NSWindowsAbout.h"
#include "SystemDescription.h"
#include "UrlOpener.h"
#include "UserActionAnalysis.h"
#include "ViewController.h"

#include <QAction>
#include <QCoreApplication>
#include <QUrl>

namespace pravix
{

AppDelegate::AppDelegate(NSMianWindow& window, AppDelegateServices services, QObject* parent)
    : QObject(parent)
    , window_(window)
    , services_(std::move(services))
    , deployment_(services_.deployment.value_or(DeploymentConfig::build()))
    , qtTranslations_(std::make_unique<QtTranslations>())
{
    menu_ = new MainMenuBar(&window_);
    window_.setMainMenuBar(menu_);

    connect(menu_->MenuAbout(), &QAction::triggered, this, &AppDelegate::MenuAboutEvent);
    connect(menu_->MenuCheckUpdate(), &QAction::triggered, this, &AppDelegate::CheckUpdateEvent);
    connect(menu_->ServiceItem(), &QAction::triggered, this, &AppDelegate::ServiceItemEvent);
    connect(menu_->OpenLogItem(), &QAction::triggered, this, &AppDelegate::OpenLogItemEvent);
    connect(menu_->OutApp(), &QAction::triggered, this, &AppDelegate::OutAppEvent);
    for (int i = 0; i < kLanguageMenuItemCount; ++i) {
        connect(menu_->languageItem(i), &QAction::triggered, this, [this, i] { MenuEvent(i); });
    }
    // A build without a chat page has no customer service to offer, one without an update server no
    // update check.
    menu_->ServiceItem()->setEnabled(!deployment_.chatPage(profile().International()).trimmed().isEmpty());
    menu_->MenuCheckUpdate()->setEnabled(!deployment_.updateServer.trimmed().isEmpty());

    // Closing the main window ends the program, whatever else is open.
    connect(&window_, &NSMianWindow::closed, this, &AppDelegate::OutAppEvent);
}

AppDelegate::~AppDelegate() = default;

const ClientProfile& AppDelegate::profile() const
{
    return services_.profile ? services_.profile() : ClientProfile::shared();
}

void AppDelegate::applicationDidFinishLaunching()
{
    redirectNSlogToDocumentFolder();

    const ClientProfile& client = profile();
    const bool international = client.International();
    UserActionAnalysis& statistics = services_.statistics ? *services_.statistics : UserActionAnalysis::shareInstance();
    statistics.SetDomainName(deployment_.actionServer(international));
    statistics.SetAppId(deployment_.appId(international));
    statistics.SetOS(GetSysVersion());
    statistics.SetVersion(QCoreApplication::applicationVersion());
    statistics.SetChannelCode(client.Partner());
    statistics.SetMachineCode(client.MachineCode());

    UpInstallation();
    UpActive();

    setLanguage(NSLanguage::shareInstance().Language());
}

void AppDelegate::redirectNSlogToDocumentFolder()
{
    logPath_ = pravix::redirectNSlogToDocumentFolder(services_.log.value_or(LogRedirectionSources::standard()));
}

QString AppDelegate::GetSysVersion() const
{
    return services_.sysVersion ? services_.sysVersion() : sysVersionOf();
}

void AppDelegate::UpInstallation()
{
    if (services_.upInstallation) {
        services_.upInstallation();
    } else {
        LaunchReports().UpInstallation();
    }
}

void AppDelegate::UpActive()
{
    if (services_.upActive) {
        services_.upActive();
    } else {
        LaunchReports().UpActive();
    }
}

void AppDelegate::setLanguage(LanguageCode code)
{
    NSLanguage& language = NSLanguage::shareInstance();
    if (code != language.Language()) {
        language.setLanguage(code);
        if (ViewController* controller = ViewController::shareInstance()) {
            controller->RefreshUI();
        }
        NSWindowsAbout::shareInstance().RefreshUI();
        NSWindowControllerCheckUpdateApp::shareInstance().RefreshUI();
    }
    // At start-up too, where the code is already the current one.
    qtTranslations_->apply(language.LanguageStrings());
    for (QAction* item : menu_->languageItems()) {
        item->setChecked(false);
    }
    menu_->RefreshUI();
    menu_->languageItem(languageMenuIndexForCode(code))->setChecked(true);
    window_.UpdateWindowsBt();
}

void AppDelegate::MenuAboutEvent()
{
    NSWindowsAbout::shareInstance().Show(this);
}

void AppDelegate::CheckUpdateEvent()
{
    NSWindowControllerCheckUpdateApp::shareInstance().Show(this);
}

void AppDelegate::OpenLogItemEvent()
{
    if (!logPath_.isEmpty()) {
        UrlOpener::open(QUrl::fromLocalFile(logPath_));
    }
}

void AppDelegate::ServiceItemEvent()
{
    const QString page = deployment_.chatPage(profile().International());
    if (serverConfigured(page, QStringLiteral("Customer service"))) {
        UrlOpener::open(QUrl(withDefaultScheme(page)));
    }
}

void AppDelegate::OutAppEvent()
{
    QCoreApplication::quit();
}

void AppDelegate::MenuEvent(int languageItem)
{
    setLanguage(languageMenuItems()[languageItem].code);
}

}  // namespace pravix
