#pragma once

#include "FramelessWindow.h"

#include <QString>
#include <QUrl>

#include <functional>

class QLabel;

namespace pravix
{

class LLButton;

// What the About window shows besides its texts.
struct AboutSources
{
    QString appName;
    QString version;
    QString websiteHost;        // bare host; empty: no website row
    bool international = true;  // false: the Chinese-market edition, no website row, no copyright

    // The application object's name and version, the build's website host and the market flag of
    // ClientProfile::shared(). Set the application's name and version before showing the window.
    static AboutSources thisCopy();
};

// The About window: logo and name, the version, a link to the maker's website and the copyright
// line, in the current interface language and mirrored for right-to-left languages. One shared
// instance for the run; closing only hides it; Escape closes it.
class NSWindowsAbout : public FramelessWindow
{
    Q_OBJECT

public:
    static constexpr int kWidth = 420;
    static constexpr int kHeight = 240;

    // `sources` is asked again at every RefreshUI.
    explicit NSWindowsAbout(std::function<AboutSources()> sources = &AboutSources::thisCopy,
                            QWidget* parent = nullptr);
    ~NSWindowsAbout() override;

    // The program's one About window, made on first use.
    static NSWindowsAbout& shareInstance();

    // Shows the window in front; the first time it also fills it (RefreshUI) and centres it on the
    // screen.
    void Show(QObject* sender = nullptr);
    // Texts and layout in the current language; nothing until the window has first been shown.
    void RefreshUI();
    // Opens "https://" + the website host in the default browser.
    void WebsiteBtEvent();

    bool isWindowLoaded() const { return loaded_; }
    // The address the website button opens; empty when there is no host or it is not a host name.
    QUrl websiteUrl() const;

    // Width of `text` in the system font of `fontSize`, lines wrapping at 360; 0 for no text.
    static float widthForString(const QString& text, float fontSize);

    QWidget* LogoView() const { return logoView_; }
    QLabel* AppLogo() const { return appLogo_; }
    QLabel* AppName() const { return appName_; }
    QLabel* VersionTitle() const { return versionTitle_; }
    QLabel* Version() const { return version_; }
    QLabel* WebsiteTitle() const { return websiteTitle_; }
    LLButton* Website() const { return website_; }
    QLabel* Copyright() const { return copyright_; }

protected:

private:
    void layOutLogoRow();
    void layOutRows(const AboutSources& sources, bool websiteShown);

    std::function<AboutSources()> sources_;
    QString websiteHost_;
    bool loaded_ = false;

    QWidget* logoView_;
    QLabel* appLogo_;
    QLabel* appName_;
    QLabel* versionTitle_;
    QLabel* version_;
    QLabel* websiteTitle_;
    LLButton* website_;
    QLabel* copyright_;
};

}  // namespace pravix
