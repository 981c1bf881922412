#pragma once

#include <QMargins>
#include <QMenuBar>
#include <QRect>
#include <QSize>

#include <array>

#include "LanguageMenuItems.h"

class QAction;
class QActionGroup;
class QMenu;

namespace pravix
{

// The program's main menu, a bar of three menus in the main window's title band:
//   the program's menu: About, Check for Updates, Quit (Ctrl+Q);
//   Language: the system's language, then the 22 languages, each in its own name, one ticked;
//   Help: Customer Service, Open Log Folder.
// Alt+letter opens a menu (every title carries a mnemonic), Alt alone or F10 moves the keyboard
// into the bar. The bar only holds the items; what they do is the AppDelegate's.
class MainMenuBar : public QMenuBar
{
    Q_OBJECT

public:
    explicit MainMenuBar(QWidget* parent = nullptr);

    QAction* MenuAbout() const { return menuAbout_; }
    QAction* MenuCheckUpdate() const { return menuCheckUpdate_; }
    QAction* ServiceItem() const { return serviceItem_; }
    QAction* OutApp() const { return outApp_; }
    QAction* OpenLogItem() const { return openLogItem_; }
    // The items of the menus themselves, as they stand in the bar.
    QAction* ApplicationMenu() const;
    QAction* LanguageMenu() const;
    QAction* HelpMenu() const;
    // The language items in menu order (languageMenuItems()); 0 is the system's language.
    QAction* languageItem(int index) const { return languageItems_[index]; }
    const std::array<QAction*, kLanguageMenuItemCount>& languageItems() const { return languageItems_; }
    QMenu* applicationMenu() const { return applicationMenu_; }
    QMenu* languageMenu() const { return languageMenu_; }
    QMenu* helpMenu() const { return helpMenu_; }

    // Titles the fixed items in the current language by their strings-table keys (the system's
    // language "SystemLanguage", "Language", "About", "CheckUpdateApp", "Service", "OutApp", "Help",
    // "OpenLogFolder"; the program's menu is the application's name), with their mnemonics, and
    // lays the bar and its menus out in the interface's direction. The languages keep their names.
    void RefreshUI();

    // Opens the first menu with its first item selected, as F10 does.
    void openFirstMenu();

    // The title band the bar stands in: as tall as the band, so that the menus open below it, its
    // titles centred on the line `lineCentre` pixels from the top (the title buttons' line).
    void setTitleBand(int bandHeight, int lineCentre);

    // The room the titles take, in either direction. (Qt measures right-to-left items after
    // mirroring them within the bar's current width, which makes its own hint follow that width.)
    QSize sizeHint() const override;

private:
    QMenu* applicationMenu_;
    QMenu* languageMenu_;
    QMenu* helpMenu_;
    QAction* menuAbout_;
    QAction* menuCheckUpdate_;
    QAction* outApp_;
    QAction* serviceItem_;
    QAction* openLogItem_;
    QActionGroup* languageGroup_;
    std::array<QAction*, kLanguageMenuItemCount> languageItems_{};
    int bandHeight_ = 0;
    int lineCentre_ = 0;
    QSize measured_;
};

// Room between the title buttons and the menu bar.
constexpr int kMainMenuBarGap = 8;

// Where the menu bar stands in the title band: from its top, beside the row of shown title buttons
// (`titleButtons`), after it left to right, before it right to left (direction 1).
QRect mainMenuBarFrame(const QRect& titleButtons, int direction, const QSize& barSize, int gap = kMainMenuBarGap);

// The margins above and below a title `titleHeight` high that centre it on `lineCentre` in a bar
// `bandHeight` high (none are negative; a title taller than the band sits at the top).
QMargins menuTitleMargins(int bandHeight, int lineCentre, int titleHeight);

}  // namespace pravix
