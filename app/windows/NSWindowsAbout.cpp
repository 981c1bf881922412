#include "NSWindowsAbout.h"

#include "AboutLayout.h"
#include "AppImages.h"
#include "ClientProfile.h"
#include "DeploymentConfig.h"
#include "LLButton.h"
#include "NSLanguage.h"
#include "SharedWindow.h"
#include "UrlOpener.h"
#include "WidgetExtensions.h"

#include <QCoreApplication>
#include <QLabel>

#include <algorithm>

namespace pravix
{
namespace
{

// Frames of the window's own drawing (the logo row's inner layout follows the rules).
constexpr int kLogoViewY = 34;
constexpr int kLogoViewHeight = 84;
constexpr int kLogoSize = 64;
constexpr int kFirstRowY = 132;
constexpr int kRowGap = 28;
constexpr int kRowHeight = 20;
constexpr int kLabelGap = 12;  // within the label column's 20 to spare
constexpr float kNameFontSize = 17;
constexpr float kRowFontSize = 13;
constexpr float kCopyrightFontSize = 12;

const QColor kBackground = QColor(0x2D, 0x1B, 0x54);

QLabel* windowLabel(QWidget* parent, float fontSize, const QColor& color)
{
    QLabel* label = CreateLabel(QRect(), parent);
    label->setFont(SystemFont(fontSize));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

}  // namespace

AboutSources AboutSources::thisCopy()
{
    AboutSources sources;
    sources.appName = QCoreApplication::applicationName();
    sources.version = QCoreApplication::applicationVersion();
    sources.websiteHost = DeploymentConfig::build().websiteHost;
    sources.international = ClientProfile::shared().International();
    return sources;
}

NSWindowsAbout::NSWindowsAbout(std::function<AboutSources()> sources, QWidget* parent)
    : FramelessWindow(parent)
    , sources_(std::move(sources))
{
    // Only hidden when closed, and never what keeps the program running.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
    setClosesOnEscape(true);
    setFixedSize(kWidth, kHeight);
    setTitleButtonHidden(MiniaturizeButton, true);
    setTitleButtonHidden(ZoomButton, true);
    setWindowBackgroundColor(kBackground);

    logoView_ = new QWidget(this);
    logoView_->setGeometry(0, kLogoViewY, kWidth, kLogoViewHeight);
    appLogo_ = new QLabel(logoView_);
    appLogo_->setFixedSize(kLogoSize, kLogoSize);
    appName_ = windowLabel(logoView_, kNameFontSize, Qt::white);

    const QColor labelColour = QColor(0xD9, 0xCC, 0xF2);
    versionTitle_ = windowLabel(this, kRowFontSize, labelColour);
    version_ = windowLabel(this, kRowFontSize, Qt::white);
    websiteTitle_ = windowLabel(this, kRowFontSize, labelColour);
    website_ = new LLButton(this);
    website_->setFlat(true);
    website_->setFont(SystemFont(kRowFontSize));
    website_->setTextUnderLineStyle(1);
    website_->setCursor(Qt::PointingHandCursor);
    website_->setAutoDefault(true);
    connect(website_, &QAbstractButton::clicked, this, &NSWindowsAbout::WebsiteBtEvent);
    copyright_ = windowLabel(this, kCopyrightFontSize, labelColour);
    copyright_->setAlignment(Qt::AlignCenter);
    copyright_->setGeometry(0, kHeight - 10 - 20, kWidth, 20);
    UpdateWindowsBt();
}

NSWindowsAbout::~NSWindowsAbout() = default;

NSWindowsAbout& NSWindowsAbout::shareInstance()
{
    return sharedWindow<NSWindowsAbout>();
}

void NSWindowsAbout::Show(QObject*)
{
    const bool first = !loaded_;
    if (first) {
        loaded_ = true;
        RefreshUI();
    }
    showInFront(*this, first);
}

float NSWindowsAbout::widthForString(const QString& text, float fontSize)
{
    return WidthForString(text, fontSize, 360.0f);
}

QUrl NSWindowsAbout::websiteUrl() const
{
    if (websiteHost_.trimmed().isEmpty()) {
        return QUrl();
    }
    const QUrl url(QStringLiteral("https://") + websiteHost_.trimmed(), QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() ? url : QUrl();
}

void NSWindowsAbout::WebsiteBtEvent()
{
    UrlOpener::open(websiteUrl());
}

void NSWindowsAbout::RefreshUI()
{
    if (!loaded_) {
        return;
    }
    const AboutSources sources = sources_();
    websiteHost_ = sources.websiteHost;
    const int direction = NSLanguage::shareInstance().Direction();
    setLayoutDirection(direction == 1 ? Qt::RightToLeft : Qt::LeftToRight);

    setWindowTitle(localizedText(QStringLiteral("About")));
    appName_->setText(sources.appName);
    version_->setText(sources.version);
    appLogo_->setPixmap(appPixmap(QStringLiteral("Logo64"), QSize(kLogoSize, kLogoSize), devicePixelRatioF()));
    appLogo_->setAccessibleName(sources.appName);
    layOutLogoRow();

    websiteTitle_->setText(localizedText(QStringLiteral("Website")));
    versionTitle_->setText(localizedText(QStringLiteral("AppVersion")));
    // The Arabic line begins with the maker's Latin name, which would turn it left to right.
    copyright_->setText(textInDirection(localizedText(QStringLiteral("Copyright")), direction));
    website_->setDefaultTitle(websiteHost_.trimmed());
    website_->setDefaultTitleColor(Qt::white);
    // Screen readers hear what each value is, and the value itself.
    version_->setAccessibleName(versionTitle_->text());
    version_->setAccessibleDescription(sources.version);
    website_->setAccessibleName(websiteTitle_->text());
    website_->setAccessibleDescription(websiteUrl().toString());

    // The Chinese-market edition names no website and no copyright; nor does a build without a
    // website to link to.
    const bool websiteShown = sources.international && !websiteUrl().isEmpty();
    websiteTitle_->setVisible(websiteShown);
    website_->setVisible(websiteShown);
    copyright_->setVisible(sources.international);
    layOutRows(sources, websiteShown);
    UpdateWindowsBt();
}

void NSWindowsAbout::layOutLogoRow()
{
    const float nameWidth = widthForString(appName_->text(), kNameFontSize);
    const AboutLogoRow row = aboutLogoRow(logoView_->size(), appLogo_->size(), nameWidth);
    appLogo_->move(row.logo.topLeft().toPoint());
    appName_->setGeometry(row.name.toAlignedRect());
    appName_->setAlignment(Qt::AlignAbsolute | Qt::AlignLeft | Qt::AlignVCenter);
}

void NSWindowsAbout::layOutRows(const AboutSources& sources, bool websiteShown)
{
    float widestLabel = WidthForString(versionTitle_->text(), kRowFontSize);
    // The value column holds the version as well as the host: a host shorter than the version must
    // not cut the version off.
    float widestValue = widthForString(sources.version, kRowFontSize);
    if (websiteShown) {
        widestLabel = std::max(widestLabel, WidthForString(websiteTitle_->text(), kRowFontSize));
        widestValue = std::max(widestValue, widthForString(website_->defaultTitle(), kRowFontSize));
    }
    const AboutColumns columns = aboutColumns(width(), widestLabel, widestValue,
                                              NSLanguage::shareInstance().Direction());
    // Alone, the version row takes the middle of the two rows' room.
    const int versionY = websiteShown ? kFirstRowY : kFirstRowY + kRowGap / 2;
    const auto place = [&](QWidget* label, QWidget* value, int y) {
        label->setGeometry(QRectF(columns.labelX, y, columns.labelWidth, kRowHeight).toAlignedRect());
        value->setGeometry(QRectF(columns.valueX, y, columns.valueWidth, kRowHeight).toAlignedRect());
    };
    place(versionTitle_, version_, versionY);
    place(websiteTitle_, website_, kFirstRowY + kRowGap);
    versionTitle_->setAlignment(columns.labelAlignment);
    websiteTitle_->setAlignment(columns.labelAlignment);
    // The room between a label and its value lies in the label column, on the value's side.
    versionTitle_->setIndent(kLabelGap);
    websiteTitle_->setIndent(kLabelGap);
    version_->setAlignment(columns.valueAlignment);
    website_->setTitleAlignment(columns.valueAlignment & Qt::AlignHorizontal_Mask);
}

}  // namespace pravix
