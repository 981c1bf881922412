#pragma once

#include "LogRedirection.h"
#include "NSLanguage.h"
#include "QtTranslations.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "DeploymentConfig.h"

class QAction;

namespace pravix
{

class ClientProfile;
class MainMenuBar;
class NSMianWindow;
class UserActionAnalysis;

// What start-up reaches outside the program; every member has the program's own default. Tests
// put stand-ins here, so that nothing leaves the machine and the test's own streams stay put.
struct AppDelegateServices
{
    // The log's data folder, clock and stream redirection; none: LogRedirectionSources::standard().
    std::optional<LogRedirectionSources> log;
    // The statistics client to configure; none: UserActionAnalysis::shareInstance().
    UserActionAnalysis* statistics = nullptr;
    // The client settings; none: ClientProfile::shared().
    std::function<const ClientProfile&()> profile;
    // Servers, ids and pages; none: DeploymentConfig::build().
    std::optional<DeploymentConfig> deployment;
    // The system's version text; none: sysVersionOf().
    std::function<QString()> sysVersion;
    // The launch reports; none: LaunchReports().UpInstallation() / UpActive().
    std::function<void()> upInstallation;
    std::function<void()> upActive;
};

// Start-up, the main menu's actions and the program's end. It gives the main window its menu bar
// (MainMenuBar) and ends the program when that window closes; the About and update-check windows
// and any other open window do not keep it running.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    // `window` is the main window, already set up; it must outlive the delegate.
    explicit AppDelegate(NSMianWindow& window, AppDelegateServices services = {}, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Start-up, in this order: the log redirection; the statistics client configured (server,
    // application id, system, version, channel code, machine code, each for the market); the
    // installation report, then the activity report; the stored interface language applied to the
    // menu (setLanguage with the current code, which retitles and ticks without refreshing windows).
    void applicationDidFinishLaunching();

    // Sends the standard streams into this launch's log file (LogRedirection.h) and keeps its
    // folder in LogPath.
    void redirectNSlogToDocumentFolder();
    // The log folder; empty until the redirection found a data folder.
    const QString& LogPath() const { return logPath_; }
    // "Mac-<version>" of this system, "Mac" when unknown (the statistics' system text).
    QString GetSysVersion() const;
    void UpInstallation();
    void UpActive();

    // Applies an interface language: when `code` differs from the current one it is stored and the
    // main, About and update-check windows are refreshed; in every case Qt's own texts (dialogs,
    // context menus) take the language's translation where Qt has one (QtTranslations), the menu's
    // items are retitled, exactly the item of `code` is ticked, and the main window's title band is
    // laid out again for the direction.
    void setLanguage(LanguageCode code);

    // The menu's actions.
    void MenuAboutEvent();
    // Opens the update-check window; its item is disabled when the build has no update server.
    void CheckUpdateEvent();
    // Opens the log folder in the file manager; nothing when LogPath is empty.
    void OpenLogItemEvent();
    // Opens the customer-service chat page of the market in the browser; nothing (and one log
    // line) when the build has none, whose item is disabled then.
    void ServiceItemEvent();
    // Quits the program (the main window is destroyed after the event loop ends).
    void OutAppEvent();
    // The language items: setLanguage with the item's code (languageMenuItems()).
    void MenuEvent(int languageItem);

    MainMenuBar* mainMenu() const { return menu_; }
    const QtTranslations& qtTranslations() const { return *qtTranslations_; }

private:
    const ClientProfile& profile() const;

    NSMianWindow& window_;
    AppDelegateServices services_;
    DeploymentConfig deployment_;
    MainMenuBar* menu_;
    std::unique_ptr<QtTranslations> qtTranslations_;
    QString logPath_;
};

}  // namespace pravix
