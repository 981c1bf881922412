#include "MainMenuBar.h"

#include "MenuMnemonics.h"
#include "NSLanguage.h"
#include "WidgetExtensions.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleOption>
#include <QShortcut>

#include <algorithm>

namespace pravix
{
namespace
{

constexpr qreal kFontSize = 13;

constexpr int kTitlePaddingV = 3;

// White titles on the purple band; the pressed or keyboard-selected menu on a lighter patch. The
// margins put the titles on the title buttons' line and stretch each title down to the band's
// lower edge, where its menu opens.
QString barStyle(const QMargins& margins)
{
    return QStringLiteral("QMenuBar { background: transparent; color: white; border: none; }\n"
                          "QMenuBar::item { background: transparent; color: white; padding: %1px 9px; "
                          "margin: %2px 0px %3px 0px; border-radius: 4px; }\n"
                          "QMenuBar::item:selected { background: rgba(255, 255, 255, 46); }\n"
                          "QMenuBar::item:pressed { background: rgba(255, 255, 255, 72); }\n")
        .arg(kTitlePaddingV)
        .arg(margins.top())
        .arg(margins.bottom());
}

// Fusion and its kin align menu texts by the application's direction, not the menu's: an Arabic
// menu in an otherwise left-to-right program would show its texts flush left.
class MenuDirectionStyle : public QProxyStyle
{
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (element != CE_MenuItem) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        painter->save();
        painter->setLayoutDirection(option->direction);
        QProxyStyle::drawControl(element, option, painter, widget);
        painter->restore();
    }
};

// Light menus whatever the desktop's scheme, as the window is; the program's purple marks the
// item under the pointer or the keyboard. (The style draws them, so a right-to-left menu mirrors
// correctly.)
QPalette menuPalette()
{
    QPalette palette(QColor(0xf3, 0xf3, 0xf5), Qt::white);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(role, QColor(0x22, 0x22, 0x2a));
        palette.setColor(QPalette::Disabled, role, QColor(0xa4, 0xa4, 0xae));
    }
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x6e, 0x39, 0xc0));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

QMenu* makeMenu(QWidget* parent, QStyle* style)
{
    auto* menu = new QMenu(parent);
    menu->setFont(SystemFont(kFontSize));
    menu->setPalette(menuPalette());
    menu->setStyle(style);
    return menu;
}

QAction* makeItem(QMenu* menu, const char* name)
{
    QAction* item = menu->addAction(QString());
    item->setObjectName(QString::fromLatin1(name));
    item->setMenuRole(QAction::NoRole);
    return item;
}

// The menu's items titled by their keys, with the mnemonics their titles offer.
void titleItems(const QList<QAction*>& items, const QStringList& keys)
{
    QStringList titles;
    for (const QString& key : keys) {
        titles.append(localizedText(key));
    }
    const QStringList marked = withMenuMnemonics(titles, QString());
    for (qsizetype i = 0; i < items.size(); ++i) {
        items[i]->setText(marked[i]);
    }
}

}  // namespace

MainMenuBar::MainMenuBar(QWidget* parent)
    : QMenuBar(parent)
{
    setObjectName(QStringLiteral("MainMenu"));
    // Inside our own title band, never handed to a desktop's global menu.
    setNativeMenuBar(false);
    setFont(SystemFont(kFontSize));
    setStyleSheet(barStyle(QMargins()));
    auto* menuStyle = new MenuDirectionStyle;
    menuStyle->setParent(this);

    applicationMenu_ = makeMenu(this, menuStyle);
    applicationMenu_->setObjectName(QStringLiteral("ApplicationMenu"));
    menuAbout_ = makeItem(applicationMenu_, "MenuAbout");
    menuCheckUpdate_ = makeItem(applicationMenu_, "MenuCheckUpdate");
    applicationMenu_->addSeparator();
    outApp_ = makeItem(applicationMenu_, "OutApp");
    outApp_->setShortcut(QKeySequence::Quit);
    outApp_->setShortcutContext(Qt::WindowShortcut);

    languageMenu_ = makeMenu(this, menuStyle);
    languageMenu_->setObjectName(QStringLiteral("LanguageMenu"));
    languageGroup_ = new QActionGroup(this);
    languageGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    const auto& items = languageMenuItems();
    for (int i = 0; i < kLanguageMenuItemCount; ++i) {
        QAction* item = makeItem(languageMenu_, items[i].name);
        item->setCheckable(true);
        if (i > 0) {
            item->setText(QString::fromUtf8(items[i].title));
        }
        languageGroup_->addAction(item);
        languageItems_[i] = item;
        if (i == 0) {
            languageMenu_->addSeparator();
        }
    }

    helpMenu_ = makeMenu(this, menuStyle);
    helpMenu_->setObjectName(QStringLiteral("HelpMenu"));
    serviceItem_ = makeItem(helpMenu_, "ServiceItem");
    openLogItem_ = makeItem(helpMenu_, "OpenLogItem");

    addMenu(applicationMenu_);
    addMenu(languageMenu_);
    addMenu(helpMenu_);

    // F10 reaches the menus from anywhere in the window, as in other desktop programs.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    f10->setContext(Qt::WindowShortcut);
    connect(f10, &QShortcut::activated, this, &MainMenuBar::openFirstMenu);

    RefreshUI();
}

QAction* MainMenuBar::ApplicationMenu() const
{
    return applicationMenu_->menuAction();
}

QAction* MainMenuBar::LanguageMenu() const
{
    return languageMenu_->menuAction();
}

QAction* MainMenuBar::HelpMenu() const
{
    return helpMenu_->menuAction();
}

void MainMenuBar::RefreshUI()
{
    const bool rightToLeft = NSLanguage::shareInstance().Direction() == 1;
    // The Latin letters in parentheses are the habit of Chinese, Japanese and Korean menus; in a
    // right-to-left menu they would only stand in the way (Alt and F10 still reach the menus).
    const QStringList barTitles = withMenuMnemonics(
        {QCoreApplication::applicationName(), localizedText(QStringLiteral("Language")),
         localizedText(QStringLiteral("Help"))},
        rightToLeft ? QString() : QStringLiteral("PLH"));
    ApplicationMenu()->setText(barTitles[0]);
    LanguageMenu()->setText(barTitles[1]);
    HelpMenu()->setText(barTitles[2]);
    titleItems({menuAbout_, menuCheckUpdate_, outApp_},
               {QStringLiteral("About"), QStringLiteral("CheckUpdateApp"), QStringLiteral("OutApp")});
    titleItems({serviceItem_, openLogItem_}, {QStringLiteral("Service"), QStringLiteral("OpenLogFolder")});
    languageItems_[0]->setText(localizedText(QStringLiteral("SystemLanguage")));

    // Measured left to right, where the measure does not depend on the bar's width; the style may
    // add a frame to the titles' margins, which the lower margin then gives back.
    setLayoutDirection(Qt::LeftToRight);
    const int titleHeight = fontMetrics().height() + 2 * kTitlePaddingV;
    QMargins margins = menuTitleMargins(bandHeight_, lineCentre_, titleHeight);
    setStyleSheet(barStyle(margins));
    measured_ = QMenuBar::sizeHint();
    const int excess = measured_.height() - bandHeight_;
    if (bandHeight_ > 0 && excess != 0 && margins.bottom() - excess >= 0) {
        margins.setBottom(margins.bottom() - excess);
        setStyleSheet(barStyle(margins));
        measured_ = QMenuBar::sizeHint();
    }
    const Qt::LayoutDirection direction = rightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
    setLayoutDirection(direction);
    for (QMenu* menu : {applicationMenu_, languageMenu_, helpMenu_}) {
        menu->setLayoutDirection(direction);
    }
    resize(measured_);
}

QSize MainMenuBar::sizeHint() const
{
    return measured_.isValid() ? measured_ : QMenuBar::sizeHint();
}

void MainMenuBar::setTitleBand(int bandHeight, int lineCentre)
{
    if (bandHeight != bandHeight_ || lineCentre != lineCentre_) {
        bandHeight_ = bandHeight;
        lineCentre_ = lineCentre;
        RefreshUI();
    }
}

void MainMenuBar::openFirstMenu()
{
    setActiveAction(ApplicationMenu());
    const QList<QAction*> items = applicationMenu_->actions();
    for (QAction* item : items) {
        if (item->isEnabled() && !item->isSeparator()) {
            applicationMenu_->setActiveAction(item);
            break;
        }
    }
}

QRect mainMenuBarFrame(const QRect& titleButtons, int direction, const QSize& barSize, int gap)
{
    const int x = direction == 1 ? titleButtons.left() - gap - barSize.width() : titleButtons.right() + 1 + gap;
    return QRect(QPoint(x, 0), barSize);
}

QMargins menuTitleMargins(int bandHeight, int lineCentre, int titleHeight)
{
    const int top = std::max(0, lineCentre - titleHeight / 2);
    return QMargins(0, top, 0, std::max(0, bandHeight - top - titleHeight));
}

}  // namespace pravix
