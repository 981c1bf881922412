#include "MainWindowLayout.h"

#include "AppImages.h"
#include "ConversionTableView.h"
#include "DragDropView.h"
#include "NSViewColor.h"
#include "OneColorView.h"
#include "OptionMenus.h"
#include "WidgetExtensions.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace pravix
{
namespace
{

// The accent of the window: buttons, links and the header band. A focused button shows its own
// border in the focus colour, which follows its rounded corners; the style's square focus frame
// (outline) would draw a second one inside it.
const char* const kStyleSheet = R"(
QPushButton#PravixBt, QPushButton#AddFileBt, QPushButton#RemoveAllBt, QPushButton#OpenPathBt { outline: none; }
QPushButton#PravixBt {
    background: #6e39c0; color: white; border: none; border-radius: 8px;
    padding: 0 24px; font-size: 15px; font-weight: 600;
}
QPushButton#PravixBt:hover { background: #7b48cf; }
QPushButton#PravixBt:pressed { background: #5a2ca4; }
QPushButton#PravixBt:focus { border: 2px solid #c8b3ef; }
QPushButton#PravixBt:disabled { background: #b9a8da; }
QPushButton#AddFileBt, QPushButton#RemoveAllBt, QPushButton#OpenPathBt {
    background: white; color: #6e39c0; border: 1px solid #d8cdee; border-radius: 6px;
    padding: 5px 14px;
}
QPushButton#RemoveAllBt { color: #5c5c66; border-color: #dcdce2; }
QPushButton#AddFileBt:hover, QPushButton#RemoveAllBt:hover, QPushButton#OpenPathBt:hover { background: #f5f0fd; }
QPushButton#AddFileBt:pressed, QPushButton#RemoveAllBt:pressed, QPushButton#OpenPathBt:pressed { background: #ebe2f9; }
QPushButton#AddFileBt:focus, QPushButton#RemoveAllBt:focus, QPushButton#OpenPathBt:focus { border-color: #6e39c0; }
QPushButton#AddFileBt:disabled, QPushButton#RemoveAllBt:disabled, QPushButton#OpenPathBt:disabled {
    color: #b3abc4; border-color: #e8e4ef;
}
QToolButton#SelectPathBt {
    background: white; border: 1px solid #d8cdee; border-radius: 6px; padding: 3px;
}
QToolButton#SelectPathBt:hover { background: #f5f0fd; }
QToolButton#SelectPathBt:focus { border-color: #6e39c0; }
QToolButton#SelectPathBt:disabled { background: #f6f6f8; border-color: #e8e4ef; }
QLineEdit#ShowPath {
    background: white; border: 1px solid #d6d6dc; border-radius: 6px; padding: 4px 8px; color: #2b2b33;
}
QLineEdit#ShowPath:focus { border-color: #6e39c0; }
QLineEdit#ShowPath:disabled { background: #f6f6f8; color: #9a9aa6; border-color: #e6e6ea; }
QToolButton#AddHeicFileBt { border: 2px dashed #d3c6ec; border-radius: 14px; padding: 22px 36px; color: #8a8a96; }
QToolButton#AddHeicFileBt:hover { background: #faf7ff; border-color: #a98ae0; color: #6e39c0; }
QToolButton#AddHeicFileBt:focus { border-color: #6e39c0; }
QFrame#ListFrame { border: 1px solid #e4e0ee; border-radius: 0; background: white; }
)";

constexpr int kAppNameY = 12;
constexpr int kAppNameHeight = 22;
constexpr int kFolderIconSide = 18;

QLabel* paneLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFont(SystemFont(MainWindowLayout::kPaneFontSize));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QComboBox* optionMenu(const QStringList& titles, int selected, QWidget* parent)
{
    auto* menu = new QComboBox(parent);
    menu->addItems(titles);
    menu->setCurrentIndex(selected);
    menu->setFont(SystemFont(MainWindowLayout::kPaneFontSize));
    menu->setMinimumWidth(92);
    menu->setFocusPolicy(Qt::StrongFocus);
    return menu;
}

QPixmap mirrored(const QPixmap& pixmap)
{
    QPixmap flipped = QPixmap::fromImage(pixmap.toImage().mirrored(true, false));
    flipped.setDevicePixelRatio(pixmap.devicePixelRatio());
    return flipped;
}

}  // namespace

HeaderPlacement headerPlacement(const HeaderLook& look, int nameTextWidth, int bandWidth, int reservedLeft,
                                int reservedRight)
{
    HeaderPlacement placement;
    placement.logo = look.logoFrame;
    const int nameWidth = nameTextWidth + MainWindowLayout::kAppNameIndent + 4;
    placement.name = QRect(look.appNameX, kAppNameY, nameWidth, kAppNameHeight);
    const int groupWidth = look.appNameX + nameWidth;
    placement.group = QRect(logoGroupX(bandWidth, groupWidth, reservedLeft, reservedRight), 0, groupWidth,
                            MainWindowLayout::kHeaderHeight);
    return placement;
}

int startButtonMinimumWidth(int widestTitleWidth, int iconWidth)
{
    return std::max(150, widestTitleWidth + iconWidth + 64);
}

MainWindowLayout::MainWindowLayout(QWidget* content, ConversionListModel* model) : QObject(content), content_(content)
{
    content_->setStyleSheet(QString::fromLatin1(kStyleSheet));
    auto* column = new QVBoxLayout(content_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildHeader();
    column->addWidget(navView);
    buildList(model);
    column->addWidget(listToolbar);
    column->addWidget(dropView, 1);
    configLineView = new NSGrayColorView(content_);
    configLineView->setFixedHeight(1);
    column->addWidget(configLineView);
    buildOptionPane();
    column->addWidget(configView);

    const QList<QWidget*> order = tabOrder();
    for (qsizetype i = 1; i < order.size(); ++i)
    {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
    // The header group and the empty-list area follow the band and the rows; watched once every
    // widget is there.
    navView->installEventFilter(this);
    tableView->viewport()->installEventFilter(this);
    tableView->installEventFilter(this);
}

QList<QWidget*> MainWindowLayout::tabOrder() const
{
    return {addFileBt, removeAllBt,  addHeicFileBt,  tableView, outFileType,  selectImageSize, imageQuality,
            exif,      saveHEICPath, saveCustomPath, showPath,  selectPathBt, openPathBt,      pravixBt};
}

void MainWindowLayout::buildHeader()
{
    navView = new NSMainColorView(content_);
    navView->setObjectName(QStringLiteral("NavView"));
    navView->setFixedHeight(kHeaderHeight);
    logoGroup = new QWidget(navView);
    logoImage = new QLabel(logoGroup);
    appName = new QLabel(logoGroup);
    QFont nameFont = SystemFont(16);
    nameFont.setWeight(QFont::DemiBold);
    appName->setFont(nameFont);
    QPalette white = appName->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    appName->setPalette(white);
    appName->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The name's box starts at the logo; its text keeps a little air from it.
    appName->setIndent(kAppNameIndent);
    // The brand reads left to right in every language.
    logoGroup->setLayoutDirection(Qt::LeftToRight);
}

void MainWindowLayout::buildList(ConversionListModel* model)
{
    listToolbar = new NSWhiteColorView(content_);
    auto* toolbar = new QHBoxLayout(listToolbar);
    toolbar->setContentsMargins(16, 12, 16, 10);
    toolbar->setSpacing(10);
    addFileBt = new QPushButton(listToolbar);
    addFileBt->setObjectName(QStringLiteral("AddFileBt"));
    addFileBt->setFont(SystemFont(kPaneFontSize));
    addFileBt->setCursor(Qt::PointingHandCursor);
    removeAllBt = new QPushButton(listToolbar);
    removeAllBt->setObjectName(QStringLiteral("RemoveAllBt"));
    removeAllBt->setFont(SystemFont(kPaneFontSize));
    removeAllBt->setCursor(Qt::PointingHandCursor);
    toolbar->addWidget(addFileBt);
    toolbar->addWidget(removeAllBt);
    toolbar->addStretch(1);

    dropView = new DragDropView(content_);
    auto* area = new QVBoxLayout(dropView);
    area->setContentsMargins(16, 0, 16, 14);
    listFrame = new QFrame(dropView);
    listFrame->setObjectName(QStringLiteral("ListFrame"));
    auto* framed = new QVBoxLayout(listFrame);
    framed->setContentsMargins(1, 1, 1, 1);
    tableView = new ConversionTableView(model, listFrame);
    framed->addWidget(tableView);
    area->addWidget(listFrame);

    // The empty-list area covers the rows, below the column titles; drops on it reach the drop
    // view, which takes them for the whole list. It lies over the table as the table's sibling, not
    // inside its viewport: a table tells screen readers of its cells only, so a button inside it
    // would take the focus where no reader could find it.
    addHeicFileView = new NSViewColor(listFrame);
    addHeicFileView->setBackgroundColor(Qt::white);
    auto* emptyArea = new QVBoxLayout(addHeicFileView);
    emptyArea->setContentsMargins(24, 24, 24, 24);
    addHeicFileBt = new QToolButton(addHeicFileView);
    addHeicFileBt->setObjectName(QStringLiteral("AddHeicFileBt"));
    addHeicFileBt->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    addHeicFileBt->setIcon(appIcon(QStringLiteral("AddHeic")));
    addHeicFileBt->setIconSize(QSize(56, 56));
    addHeicFileBt->setFont(SystemFont(15));
    addHeicFileBt->setCursor(Qt::PointingHandCursor);
    addHeicFileBt->setFocusPolicy(Qt::StrongFocus);
    emptyArea->addStretch(1);
    emptyArea->addWidget(addHeicFileBt, 0, Qt::AlignCenter);
    emptyArea->addStretch(1);
    addHeicFileView->raise();
    placeEmptyListArea();
}

void MainWindowLayout::buildOptionPane()
{
    configView = new NSWhiteColorView(content_);
    configView->setObjectName(QStringLiteral("ConfigView"));
    auto* grid = new QGridLayout(configView);
    grid->setContentsMargins(20, 16, 20, 18);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);

    outputFormatText = paneLabel(configView);
    imageSizeText = paneLabel(configView);
    jpgeQualityText = paneLabel(configView);
    outputPath = paneLabel(configView);
    outFileType = optionMenu(outFileTypeTitles(), kDefaultOutFileTypeTag, configView);
    selectImageSize = optionMenu(percentTitles(), kDefaultImageSizeTag, configView);
    imageQuality = optionMenu(percentTitles(), kDefaultImageQualityTag, configView);
    outputFormatText->setBuddy(outFileType);
    imageSizeText->setBuddy(selectImageSize);
    jpgeQualityText->setBuddy(imageQuality);
    exif = new QCheckBox(configView);
    exif->setFont(SystemFont(kPaneFontSize));

    auto* menus = new QHBoxLayout;
    menus->setSpacing(8);
    menus->addWidget(outFileType);
    menus->addSpacing(18);
    menus->addWidget(imageSizeText);
    menus->addWidget(selectImageSize);
    menus->addSpacing(18);
    menus->addWidget(jpgeQualityText);
    menus->addWidget(imageQuality);
    menus->addSpacing(22);
    menus->addWidget(exif);
    menus->addStretch(1);

    saveHEICPath = new QRadioButton(configView);
    saveCustomPath = new QRadioButton(configView);
    saveHEICPath->setFont(SystemFont(kPaneFontSize));
    saveCustomPath->setFont(SystemFont(kPaneFontSize));
    auto* places = new QButtonGroup(configView);
    places->addButton(saveHEICPath);
    places->addButton(saveCustomPath);
    auto* placeRow = new QHBoxLayout;
    placeRow->setSpacing(22);
    placeRow->addWidget(saveHEICPath);
    placeRow->addWidget(saveCustomPath);
    placeRow->addStretch(1);

    showPath = new QLineEdit(configView);
    showPath->setObjectName(QStringLiteral("ShowPath"));
    showPath->setReadOnly(true);
    showPath->setFont(SystemFont(kPaneFontSize));
    showPath->setMinimumWidth(220);
    selectPathBt = new QToolButton(configView);
    selectPathBt->setObjectName(QStringLiteral("SelectPathBt"));
    selectPathBt->setIconSize(QSize(kFolderIconSide, kFolderIconSide));
    selectPathBt->setCursor(Qt::PointingHandCursor);
    selectPathBt->setFocusPolicy(Qt::StrongFocus);
    openPathBt = new QPushButton(configView);
    openPathBt->setObjectName(QStringLiteral("OpenPathBt"));
    openPathBt->setFont(SystemFont(kPaneFontSize));
    openPathBt->setCursor(Qt::PointingHandCursor);
    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(8);
    folderRow->addWidget(showPath, 1);
    folderRow->addWidget(selectPathBt);
    folderRow->addWidget(openPathBt);
    folderRow->addSpacing(14);

    pravixBt = new QPushButton(configView);
    pravixBt->setObjectName(QStringLiteral("PravixBt"));
    pravixBt->setIconSize(QSize(20, 20));
    pravixBt->setMinimumHeight(48);
    pravixBt->setCursor(Qt::PointingHandCursor);
    pravixBt->setDefault(false);

    // The menus' row reaches over the start button's column, which stands beside the two rows
    // of the output place: the pane stays narrow in long languages.
    grid->addWidget(outputFormatText, 0, 0);
    grid->addLayout(menus, 0, 1, 1, 2);
    grid->addWidget(outputPath, 1, 0);
    grid->addLayout(placeRow, 1, 1);
    grid->addLayout(folderRow, 2, 1);
    grid->addWidget(pravixBt, 1, 2, 2, 1, Qt::AlignBottom | Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(2, 0);
}

void MainWindowLayout::applyDirection(int direction)
{
    const bool rightToLeft = direction == 1;
    const Qt::LayoutDirection layout = rightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
    configView->setLayoutDirection(layout);
    listToolbar->setLayoutDirection(layout);
    addHeicFileView->setLayoutDirection(layout);
    exif->setLayoutDirection(rightToLeft ? Qt::LeftToRight : Qt::RightToLeft);
    const QPixmap folder =
        appPixmap(QStringLiteral("OpenPathBt"), QSize(kFolderIconSide, kFolderIconSide), content_->devicePixelRatioF());
    selectPathBt->setIcon(QIcon(rightToLeft ? mirrored(folder) : folder));
    tableView->applyDirection(direction);
}

void MainWindowLayout::showHeader(const HeaderLook& look)
{
    look_ = look;
    logoImage->setPixmap(appPixmap(look_.logoImage, look_.logoFrame.size(), content_->devicePixelRatioF()));
    appName->setText(look_.appName);
    placeHeader();
}

void MainWindowLayout::setHeaderReserved(int left, int right)
{
    if (left != headerReservedLeft_ || right != headerReservedRight_)
    {
        headerReservedLeft_ = left;
        headerReservedRight_ = right;
        placeHeader();
    }
}

void MainWindowLayout::placeHeader()
{
    const HeaderPlacement placement = headerPlacement(look_, appName->fontMetrics().horizontalAdvance(appName->text()),
                                                      navView->width(), headerReservedLeft_, headerReservedRight_);
    logoImage->setGeometry(placement.logo);
    appName->setGeometry(placement.name);
    logoGroup->setGeometry(placement.group);
}

void MainWindowLayout::fitPravixButton(const QStringList& titles)
{
    const QFontMetrics metrics(pravixBt->font());
    int widest = 0;
    for (const QString& title : titles)
    {
        widest = std::max(widest, metrics.horizontalAdvance(title));
    }
    pravixBt->setMinimumWidth(startButtonMinimumWidth(widest, pravixBt->iconSize().width()));
}

bool MainWindowLayout::eventFilter(QObject* watched, QEvent* event)
{
    const bool resized = event->type() == QEvent::Resize;
    if (watched == navView && resized)
    {
        placeHeader();
    }
    else if ((watched == tableView->viewport() || watched == tableView) && (resized || event->type() == QEvent::Move))
    {
        placeEmptyListArea();
    }
    return QObject::eventFilter(watched, event);
}

void MainWindowLayout::placeEmptyListArea()
{
    QWidget* rows = tableView->viewport();
    addHeicFileView->setGeometry(QRect(rows->mapTo(listFrame, QPoint(0, 0)), rows->size()));
}

}  // namespace pravix
