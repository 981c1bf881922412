#include "ViewController.h"

#include "AppImages.h"
#include "BatchOptions.h"
#include "ClientProfile.h"
#include "ConversionTableView.h"
#include "FramelessWindow.h"
#include "HeaderLook.h"
#include "HeicExif.h"
#include "NSImagePreView.h"
#include "NSLanguage.h"
#include "NSViewColor.h"
#include "OneColorView.h"
#include "OptionMenus.h"
#include "OutputPlaceSettings.h"
#include "PanelPaths.h"
#include "PreviewImageLoader.h"
#include "QtWindowDialogs.h"
#include "TextPlaceholder.h"
#include "WidgetExtensions.h"
#include "ZLViewImage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTransform>
#include <QVBoxLayout>

#include <cmath>

namespace pravix
{
namespace
{

ViewController* sharedController = nullptr;

constexpr int kPaneFontSize = 13;
constexpr int kAppNameIndent = 7;

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

QLabel* paneLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFont(SystemFont(kPaneFontSize));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QComboBox* optionMenu(const QStringList& titles, int selected, QWidget* parent)
{
    auto* menu = new QComboBox(parent);
    menu->addItems(titles);
    menu->setCurrentIndex(selected);
    menu->setFont(SystemFont(kPaneFontSize));
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

// A transparent canvas of width x height pixels for the drawing helpers; none when that size is empty or
// beyond what a picture of the image layer may hold.
std::optional<QImage> blankCanvas(double width, double height, QImage::Format format)
{
    if (!(width >= 1 && height >= 1) || width > kMaxBitmapSide || height > kMaxBitmapSide ||
        !bitmapSizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height))) {
        return std::nullopt;
    }
    QImage canvas(static_cast<int>(width), static_cast<int>(height), format);
    if (canvas.isNull()) {
        return std::nullopt;
    }
    canvas.fill(Qt::transparent);
    return canvas;
}

}  // namespace

ViewController::ViewController(MainWindowEnvironment environment, QWidget* parent)
    : QWidget(parent), environment_(std::move(environment)), dialogs_(environment_.dialogs)
{
    if (!dialogs_) {
        dialogs_ = std::make_shared<QtWindowDialogs>();
    }
    if (!environment_.openUrl) {
        environment_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    }
    international_ = environment_.international.value_or(ClientProfile::shared().International());
    sharedController = this;
    setObjectName(QStringLiteral("ViewController"));
    setStyleSheet(QString::fromLatin1(kStyleSheet));

    cachePath_ = OutputPlaceSettings::cachePath();
    model_ = std::make_unique<ConversionListModel>(list_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildHeader();
    column->addWidget(navView_);
    buildList();
    column->addWidget(listToolbar_);
    column->addWidget(dropView_, 1);
    configLineView_ = new NSGrayColorView(this);
    configLineView_->setFixedHeight(1);
    column->addWidget(configLineView_);
    buildOptionPane();
    column->addWidget(configView_);
    setUpTabOrder();

    updateStateTimer_ = new QTimer(this);
    updateStateTimer_->setInterval(1000);
    connect(updateStateTimer_, &QTimer::timeout, this, &ViewController::UpdateStateTimerEvent);

    // The worker's reports run here, on the GUI thread, in the order it made them.
    batch_ = std::make_unique<BatchConversion>(
        list_, *this,
        [this](std::function<void()> work) { QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection); },
        environment_.batchPause);

    // Output place (stored), custom folder (stored, else Downloads) and the option defaults.
    showPath_->setText(OutputPlaceSettings::initialCustomFolder());
    applyOutputPlace(OutputPlaceSettings::saveBesideSource());
    OutFileTypeMenuEvent(kDefaultOutFileTypeTag);
    SelectImageSizeEvent(kDefaultImageSizeTag);
    ImageQualityEvent(kDefaultImageQualityTag);
    exif_->setChecked(true);
    setPravixButton(buttonLook(BatchPhase::Idle));

    connect(outFileType_, &QComboBox::currentIndexChanged, this, &ViewController::OutFileTypeMenuEvent);
    connect(selectImageSize_, &QComboBox::currentIndexChanged, this, &ViewController::SelectImageSizeEvent);
    connect(imageQuality_, &QComboBox::currentIndexChanged, this, &ViewController::ImageQualityEvent);
    connect(saveHEICPath_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            SaveHEICPathBTEvent();
        }
    });
    connect(saveCustomPath_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            SaveCustomPathBTEvent();
        }
    });
    connect(selectPathBt_, &QToolButton::clicked, this, &ViewController::SelectPathBtEvent);
    connect(openPathBt_, &QPushButton::clicked, this, &ViewController::OpenPathBtEvent);
    connect(pravixBt_, &QPushButton::clicked, this, &ViewController::PravixBtEvent);
    connect(addFileBt_, &QPushButton::clicked, this, &ViewController::AddHeicFileBtEvent);
    connect(addHeicFileBt_, &QToolButton::clicked, this, &ViewController::AddHeicFileBtEvent);
    connect(removeAllBt_, &QPushButton::clicked, this, &ViewController::RemoverAllBtEvent);
    connect(tableView_, &ConversionTableView::allDeleteClicked, this, &ViewController::AllDeleteBtEvent);
    // The empty-list area follows the row count, whoever changed it.
    connect(model_.get(), &QAbstractItemModel::rowsInserted, this, &ViewController::applyEmptyListRule);
    connect(model_.get(), &QAbstractItemModel::rowsRemoved, this, &ViewController::applyEmptyListRule);
    connect(model_.get(), &QAbstractItemModel::modelReset, this, &ViewController::applyEmptyListRule);

    applyEmptyListRule();
    RefreshUI();
}

ViewController::~ViewController()
{
    // The worker first: it may still post reports that name entries of the list.
    batch_.reset();
    closePreview();
    if (sharedController == this) {
        sharedController = nullptr;
    }
}

ViewController* ViewController::shareInstance()
{
    return sharedController;
}

void ViewController::buildHeader()
{
    navView_ = new NSMainColorView(this);
    navView_->setObjectName(QStringLiteral("NavView"));
    navView_->setFixedHeight(kHeaderHeight);
    logoGroup_ = new QWidget(navView_);
    logoImage_ = new QLabel(logoGroup_);
    appName_ = new QLabel(logoGroup_);
    QFont nameFont = SystemFont(16);
    nameFont.setWeight(QFont::DemiBold);
    appName_->setFont(nameFont);
    QPalette white = appName_->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    appName_->setPalette(white);
    appName_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The name's box starts at the logo; its text keeps a little air from it.
    appName_->setIndent(kAppNameIndent);
    // The brand reads left to right in every language.
    logoGroup_->setLayoutDirection(Qt::LeftToRight);
}

void ViewController::buildList()
{
    listToolbar_ = new NSWhiteColorView(this);
    auto* toolbar = new QHBoxLayout(listToolbar_);
    toolbar->setContentsMargins(16, 12, 16, 10);
    toolbar->setSpacing(10);
    addFileBt_ = new QPushButton(listToolbar_);
    addFileBt_->setObjectName(QStringLiteral("AddFileBt"));
    addFileBt_->setFont(SystemFont(kPaneFontSize));
    addFileBt_->setCursor(Qt::PointingHandCursor);
    removeAllBt_ = new QPushButton(listToolbar_);
    removeAllBt_->setObjectName(QStringLiteral("RemoveAllBt"));
    removeAllBt_->setFont(SystemFont(kPaneFontSize));
    removeAllBt_->setCursor(Qt::PointingHandCursor);
    toolbar->addWidget(addFileBt_);
    toolbar->addWidget(removeAllBt_);
    toolbar->addStretch(1);

    dropView_ = new DragDropView(this);
    dropView_->setDelegate(this);
    dropView_->RegisterForDragged();
    auto* area = new QVBoxLayout(dropView_);
    area->setContentsMargins(16, 0, 16, 14);
    auto* frame = new QFrame(dropView_);
    frame->setObjectName(QStringLiteral("ListFrame"));
    auto* framed = new QVBoxLayout(frame);
    framed->setContentsMargins(1, 1, 1, 1);
    tableView_ = new ConversionTableView(model_.get(), frame);
    tableView_->setCellDelegate(this);
    framed->addWidget(tableView_);
    area->addWidget(frame);

    // The empty-list area covers the rows, below the column titles; drops on it reach the drop
    // view, which takes them for the whole list. It lies over the table as the table's sibling, not
    // inside its viewport: a table tells screen readers of its cells only, so a button inside it
    // would take the focus where no reader could find it.
    listFrame_ = frame;
    addHeicFileView_ = new NSViewColor(frame);
    addHeicFileView_->setBackgroundColor(Qt::white);
    auto* emptyArea = new QVBoxLayout(addHeicFileView_);
    emptyArea->setContentsMargins(24, 24, 24, 24);
    addHeicFileBt_ = new QToolButton(addHeicFileView_);
    addHeicFileBt_->setObjectName(QStringLiteral("AddHeicFileBt"));
    addHeicFileBt_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    addHeicFileBt_->setIcon(appIcon(QStringLiteral("AddHeic")));
    addHeicFileBt_->setIconSize(QSize(56, 56));
    addHeicFileBt_->setFont(SystemFont(15));
    addHeicFileBt_->setCursor(Qt::PointingHandCursor);
    addHeicFileBt_->setFocusPolicy(Qt::StrongFocus);
    emptyArea->addStretch(1);
    emptyArea->addWidget(addHeicFileBt_, 0, Qt::AlignCenter);
    emptyArea->addStretch(1);
    tableView_->viewport()->installEventFilter(this);
    tableView_->installEventFilter(this);
    addHeicFileView_->raise();
    placeEmptyListArea();
}

void ViewController::buildOptionPane()
{
    configView_ = new NSWhiteColorView(this);
    configView_->setObjectName(QStringLiteral("ConfigView"));
    auto* grid = new QGridLayout(configView_);
    grid->setContentsMargins(20, 16, 20, 18);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);

    outputFormatText_ = paneLabel(configView_);
    imageSizeText_ = paneLabel(configView_);
    jpgeQualityText_ = paneLabel(configView_);
    outputPath_ = paneLabel(configView_);
    outFileType_ = optionMenu(outFileTypeTitles(), kDefaultOutFileTypeTag, configView_);
    selectImageSize_ = optionMenu(percentTitles(), kDefaultImageSizeTag, configView_);
    imageQuality_ = optionMenu(percentTitles(), kDefaultImageQualityTag, configView_);
    outputFormatText_->setBuddy(outFileType_);
    imageSizeText_->setBuddy(selectImageSize_);
    jpgeQualityText_->setBuddy(imageQuality_);
    exif_ = new QCheckBox(configView_);
    exif_->setFont(SystemFont(kPaneFontSize));

    auto* menus = new QHBoxLayout;
    menus->setSpacing(8);
    menus->addWidget(outFileType_);
    menus->addSpacing(18);
    menus->addWidget(imageSizeText_);
    menus->addWidget(selectImageSize_);
    menus->addSpacing(18);
    menus->addWidget(jpgeQualityText_);
    menus->addWidget(imageQuality_);
    menus->addSpacing(22);
    menus->addWidget(exif_);
    menus->addStretch(1);

    saveHEICPath_ = new QRadioButton(configView_);
    saveCustomPath_ = new QRadioButton(configView_);
    saveHEICPath_->setFont(SystemFont(kPaneFontSize));
    saveCustomPath_->setFont(SystemFont(kPaneFontSize));
    auto* places = new QButtonGroup(configView_);
    places->addButton(saveHEICPath_);
    places->addButton(saveCustomPath_);
    auto* placeRow = new QHBoxLayout;
    placeRow->setSpacing(22);
    placeRow->addWidget(saveHEICPath_);
    placeRow->addWidget(saveCustomPath_);
    placeRow->addStretch(1);

    showPath_ = new QLineEdit(configView_);
    showPath_->setObjectName(QStringLiteral("ShowPath"));
    showPath_->setReadOnly(true);
    showPath_->setFont(SystemFont(kPaneFontSize));
    showPath_->setMinimumWidth(220);
    selectPathBt_ = new QToolButton(configView_);
    selectPathBt_->setObjectName(QStringLiteral("SelectPathBt"));
    selectPathBt_->setIconSize(QSize(18, 18));
    selectPathBt_->setCursor(Qt::PointingHandCursor);
    selectPathBt_->setFocusPolicy(Qt::StrongFocus);
    openPathBt_ = new QPushButton(configView_);
    openPathBt_->setObjectName(QStringLiteral("OpenPathBt"));
    openPathBt_->setFont(SystemFont(kPaneFontSize));
    openPathBt_->setCursor(Qt::PointingHandCursor);
    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(8);
    folderRow->addWidget(showPath_, 1);
    folderRow->addWidget(selectPathBt_);
    folderRow->addWidget(openPathBt_);
    folderRow->addSpacing(14);

    pravixBt_ = new QPushButton(configView_);
    pravixBt_->setObjectName(QStringLiteral("PravixBt"));
    pravixBt_->setIconSize(QSize(20, 20));
    pravixBt_->setMinimumHeight(48);
    pravixBt_->setCursor(Qt::PointingHandCursor);
    pravixBt_->setDefault(false);

    // The menus' row reaches over the start button's column, which stands beside the two rows
    // of the output place: the pane stays narrow in long languages.
    grid->addWidget(outputFormatText_, 0, 0);
    grid->addLayout(menus, 0, 1, 1, 2);
    grid->addWidget(outputPath_, 1, 0);
    grid->addLayout(placeRow, 1, 1);
    grid->addLayout(folderRow, 2, 1);
    grid->addWidget(pravixBt_, 1, 2, 2, 1, Qt::AlignBottom | Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(2, 0);
}

void ViewController::setUpTabOrder()
{
    // Top to bottom, and along each row in reading order.
    const QList<QWidget*> order = {addFileBt_,   removeAllBt_,   addHeicFileBt_, tableView_,      outFileType_,
                                   selectImageSize_, imageQuality_, exif_,       saveHEICPath_,   saveCustomPath_,
                                   showPath_,    selectPathBt_,  openPathBt_,    pravixBt_};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void ViewController::RefreshUI()
{
    auto text = [](const char* key) { return localizedText(QString::fromLatin1(key)); };
    const int direction = NSLanguage::shareInstance().Direction();
    const bool rightToLeft = direction == 1;

    // The Exif box's title is laid out in the box's own (inverted) direction: embedding it in
    // the language's direction keeps its words in reading order.
    const QChar embedding = rightToLeft ? QChar(0x202B) : QChar(0x202A);
    exif_->setText(embedding + text("SaveExif") + QChar(0x202C));
    exif_->setAccessibleName(text("SaveExif"));
    outputPath_->setText(text("OutputPath"));
    addHeicFileBt_->setText(text("AddHeicFileBt"));
    addFileBt_->setText(text("AddFile"));
    removeAllBt_->setText(text("RemoveAll"));
    saveHEICPath_->setText(text("SourceFilePath"));
    saveCustomPath_->setText(text("CustomOutputPath"));
    openPathBt_->setText(text("OpenPath"));
    outputFormatText_->setText(text("OutputFormat"));
    imageSizeText_->setText(text("ImageSize"));
    jpgeQualityText_->setText(text("JPGEQuality"));
    // The button keeps the look of the batch's state (a language may change mid-batch).
    setPravixButton(buttonLook(batch_->phase()));
    fitPravixButton();

    // Screen readers: the menus by their labels, the folder field by its role, the icon button
    // by what it does.
    outFileType_->setAccessibleName(text("OutputFormat"));
    selectImageSize_->setAccessibleName(text("ImageSize"));
    imageQuality_->setAccessibleName(text("JPGEQuality"));
    showPath_->setAccessibleName(text("OutputPath"));
    selectPathBt_->setAccessibleName(text("Select"));
    selectPathBt_->setToolTip(text("Select"));
    addHeicFileView_->setAccessibleName(text("AddHeicFileBt"));
    dropView_->setAccessibleName(text("ConversionList"));

    // Mirroring: the option pane and the list's buttons run right to left; the Exif box stands
    // after its title in reading order (right of it, left to right), the inverse of a check box's
    // own habit; the choose button's picture is turned; the columns reverse.
    const Qt::LayoutDirection layout = rightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
    configView_->setLayoutDirection(layout);
    listToolbar_->setLayoutDirection(layout);
    addHeicFileView_->setLayoutDirection(layout);
    exif_->setLayoutDirection(rightToLeft ? Qt::LeftToRight : Qt::RightToLeft);
    const QPixmap folder = appPixmap(QStringLiteral("OpenPathBt"), QSize(18, 18), devicePixelRatioF());
    selectPathBt_->setIcon(QIcon(rightToLeft ? mirrored(folder) : folder));
    tableView_->applyDirection(direction);
    tableView_->RefreshUI();

    const HeaderLook look = headerLook(international_);
    logoImage_->setPixmap(appPixmap(look.logoImage, look.logoFrame.size(), devicePixelRatioF()));
    appName_->setText(look.appName);
    layoutHeader();

    if (auto* frame = qobject_cast<FramelessWindow*>(window())) {
        frame->setWindowTitle(look.appName);
        frame->UpdateWindowsBt();
    }
    closePreview();
    reloadTable();
}

void ViewController::layoutHeader()
{
    const HeaderLook look = headerLook(international_);
    logoImage_->setGeometry(look.logoFrame);
    const int nameWidth = appName_->fontMetrics().horizontalAdvance(appName_->text()) + kAppNameIndent + 4;
    appName_->setGeometry(look.appNameX, 12, nameWidth, 22);
    const int groupWidth = look.appNameX + nameWidth;
    logoGroup_->setGeometry(logoGroupX(navView_->width(), groupWidth, headerReservedLeft_, headerReservedRight_), 0,
                            groupWidth, kHeaderHeight);
}

void ViewController::setHeaderReserved(int left, int right)
{
    if (left != headerReservedLeft_ || right != headerReservedRight_) {
        headerReservedLeft_ = left;
        headerReservedRight_ = right;
        layoutHeader();
    }
}

void ViewController::fitPravixButton()
{
    // As wide as its widest state in this language, so it does not jump when a batch starts.
    const QFontMetrics metrics(pravixBt_->font());
    int widest = 0;
    for (const char* key : {"Conversion", "Stop", "Stoping"}) {
        widest = std::max(widest, metrics.horizontalAdvance(localizedText(QString::fromLatin1(key))));
    }
    pravixBt_->setMinimumWidth(std::max(150, widest + pravixBt_->iconSize().width() + 64));
}

void ViewController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutHeader();
}

bool ViewController::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == tableView_->viewport() || watched == tableView_) &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        placeEmptyListArea();
    }
    return QWidget::eventFilter(watched, event);
}

void ViewController::placeEmptyListArea()
{
    QWidget* rows = tableView_->viewport();
    addHeicFileView_->setGeometry(QRect(rows->mapTo(listFrame_, QPoint(0, 0)), rows->size()));
}

void ViewController::applyOutputPlace(bool besideSource)
{
    isSaveHEICPath_ = besideSource;
    saveHEICPath_->setChecked(besideSource);
    saveCustomPath_->setChecked(!besideSource);
    showPath_->setEnabled(!besideSource);
    selectPathBt_->setEnabled(!besideSource && !batch_->isBatchRunning());
}

void ViewController::applyEmptyListRule()
{
    const bool empty = list_.empty();
    addHeicFileView_->setVisible(empty);
    addHeicFileBt_->setVisible(empty);
    tableView_->setAlternatingRowColors(!empty);
}

ConversionOptions ViewController::currentOptions() const
{
    ConversionOptions options;
    options.saveSuff = saveSuff_.toStdString();
    options.imageZooming = imageZooming_;
    options.nQuality = nQuality_;
    options.bExif = exif_->isChecked() && exif_->isEnabled();
    if (!isSaveHEICPath_) {
        options.savePath = showPath_->text().toStdString();
    }
    options.cachePath = cachePath_.toStdString();
    return options;
}

void ViewController::PravixBtEvent()
{
    if (batch_->PravixBtEvent(currentOptions()) == BatchConversion::ButtonResult::OpenPanel) {
        addFromOpenPanel();
    }
}

void ViewController::AddHeicFileBtEvent()
{
    // The add buttons are locked during a batch; this guards any other way in.
    if (batch_->isBatchRunning()) {
        return;
    }
    addFromOpenPanel();
}

void ViewController::addFromOpenPanel()
{
    const std::optional<QStringList> chosen =
        dialogs_->openFilesAndFolders(window(), localizedText(QStringLiteral("AddFile")));
    if (chosen) {
        model_->AddHeicPaths(pathsFromPanel(*chosen));
    }
    applyEmptyListRule();
    reloadTable();
}

ConversionListModel::AddResult ViewController::AddHeicPath(const QString& path)
{
    return model_->AddHeicPath(path);
}

void ViewController::OutFileTypeMenuEvent(int tag)
{
    saveSuff_ = outFileType_->itemText(tag);
    exif_->setEnabled(isExifEnabled(saveSuff_.toStdString()));
}

void ViewController::SelectImageSizeEvent(int tag)
{
    imageZooming_ = imageZoomingForTag(tag);
}

void ViewController::ImageQualityEvent(int tag)
{
    nQuality_ = qualityForTag(tag);
}

void ViewController::SaveHEICPathBTEvent()
{
    applyOutputPlace(true);
    OutputPlaceSettings::setSaveBesideSource(true);
}

void ViewController::SaveCustomPathBTEvent()
{
    applyOutputPlace(false);
    OutputPlaceSettings::setSaveBesideSource(false);
}

void ViewController::SelectPathBtEvent()
{
    const std::optional<QString> folder =
        dialogs_->chooseFolder(window(), localizedText(QStringLiteral("Select")), showPath_->text());
    if (folder) {
        showPath_->setText(*folder);
        OutputPlaceSettings::setCustomFolder(showPath_->text());
    }
}

void ViewController::OpenPathBtEvent()
{
    // A folder that is not there simply does not open.
    environment_.openUrl(QUrl::fromLocalFile(showPath_->text()));
}

void ViewController::RemoverAllBtEvent()
{
    if (batch_->isBatchRunning()) {
        showBusyAlert();
        return;
    }
    if (!list_.empty()) {
        auto text = [](const char* key) { return localizedText(QString::fromLatin1(key)); };
        if (dialogs_->question(window(), text("Prompt"), text("isRemoveAllTitle"), text("RemoveAll"), text("Cancel"))) {
            model_->removeAll();
            reloadTable();
        }
    }
    applyEmptyListRule();
}

void ViewController::AllDeleteBtEvent()
{
    if (batch_->isBatchRunning()) {
        showBusyAlert();
        return;
    }
    model_->removeSelected();
    reloadTable();
    applyEmptyListRule();
}

void ViewController::DeleteEvent(NSPravixData& data)
{
    if (batch_->isBatchRunning()) {
        showBusyAlert();
        return;
    }
    const int row = model_->rowOf(data);
    if (row >= 0) {
        model_->removeEntryAt(row);
    }
    reloadTable();
    applyEmptyListRule();
    SelectEvent();
}

void ViewController::PreViewEvent(NSPravixData& data)
{
    closePreview();
    imagePreView_ = new NSImagePreView(window());
    imagePreView_->ShowImagePath(QString::fromStdString(data.ToPath));
}

void ViewController::SelectEvent()
{
    tableView_->CheckAllSelect();
    reloadTable();
}

void ViewController::dragDropViewFileList(const QStringList& paths)
{
    // The worker walks the list while a batch runs: a drop then does nothing at all.
    if (batch_->isBatchRunning()) {
        return;
    }
    model_->AddHeicPaths(paths);
    applyEmptyListRule();
    reloadTable();
}

void ViewController::showBusyAlert()
{
    auto text = [](const char* key) { return localizedText(QString::fromLatin1(key)); };
    dialogs_->alert(window(), text("Prompt"), text("HeicFileToing"), text("OK"));
}

void ViewController::closePreview()
{
    if (imagePreView_) {
        imagePreView_->close();
        imagePreView_->deleteLater();
    }
    imagePreView_ = nullptr;
}

void ViewController::UpdateStateTimerEvent()
{
    batch_->UpdateStateTimerEvent(localizedText(QStringLiteral("conver")).toStdString());
}

bool ViewController::isUpdateStateTimerRunning() const
{
    return updateStateTimer_->isActive();
}

void ViewController::reloadTable()
{
    tableView_->reloadData();
}

void ViewController::setPravixButton(const ButtonLook& look)
{
    pravixBt_->setText(localizedText(QString::fromStdString(look.titleKey)));
    pravixBt_->setIcon(appIcon(QString::fromStdString(look.imageName)));
    setTextColor(pravixBt_, Qt::white);
}

void ViewController::ToBtState(bool idle)
{
    const ControlStates states = controlStates(idle, saveSuff_.toStdString());
    outFileType_->setEnabled(states.optionMenus);
    selectImageSize_->setEnabled(states.optionMenus);
    imageQuality_->setEnabled(states.optionMenus);
    if (states.exif) {
        exif_->setEnabled(*states.exif);
    }
    // The choose button serves the custom folder only; unlocking must not offer it while the
    // output goes beside the sources.
    selectPathBt_->setEnabled(states.selectPath && !isSaveHEICPath_);
    addFileBt_->setEnabled(states.addFile);
    if (states.progressTimer) {
        if (!updateStateTimer_->isActive()) {
            updateStateTimer_->start();
        }
    } else {
        updateStateTimer_->stop();
    }
}

void ViewController::showAlert(const BatchAlert& alert)
{
    const QString message = localizedText(QString::fromStdString(alert.messageKey));
    QString informative = localizedText(QString::fromStdString(alert.informativeKey));
    if (alert.count) {
        informative = fillPlaceholder(informative, u"count", QString::number(*alert.count));
    }
    const QString ok = localizedText(QStringLiteral("OK"));
    if (alert.sheet) {
        dialogs_->sheetAlert(window(), message, informative, ok);
    } else {
        dialogs_->alert(window(), message, informative, ok);
    }
}

std::optional<Bitmap> ViewController::RotateImage(const Bitmap& image, double byDegrees)
{
    const QImage source = imageFromBitmap(image);
    if (source.isNull() || !std::isfinite(byDegrees)) {
        return std::nullopt;
    }
    // Qt turns clockwise on the screen (its y axis points down): anticlockwise by a is clockwise
    // by 360 - a, with a in [0, 360) so that quarter turns take Qt's exact path.
    const double a = std::fmod(std::fmod(byDegrees, 360.0) + 360.0, 360.0);
    QTransform turn;
    turn.rotate(a == 0 ? 0 : 360.0 - a);
    const QRectF bounds = turn.mapRect(QRectF(0, 0, source.width(), source.height()));
    // Quarter turns land on whole pixels; anything else grows to the pixels the corners touch.
    const double width = std::ceil(bounds.width() - 1e-6);
    const double height = std::ceil(bounds.height() - 1e-6);
    std::optional<QImage> canvas = blankCanvas(width, height, QImage::Format_ARGB32_Premultiplied);
    if (!canvas) {
        return std::nullopt;
    }
    {
        QPainter painter(&*canvas);
        // Quarter turns move whole pixels; filtering them would only blur their edges.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, std::fmod(a, 90.0) != 0);
        painter.translate(width / 2, height / 2);
        painter.setTransform(turn, true);
        painter.drawImage(QPointF(-source.width() / 2.0, -source.height() / 2.0), source);
    }
    std::optional<Bitmap> turned = bitmapFromImage(*canvas);
    if (turned) {
        turned->iccProfile = image.iccProfile;
    }
    return turned;
}

std::vector<uint8_t> ViewController::AddExif(const std::vector<uint8_t>& metadata, const std::vector<uint8_t>& ImageData)
{
    return ::AddExif(metadata, ImageData);
}

QString ViewController::getNowTimeTimestamp()
{
    return QString::number(QDateTime::currentMSecsSinceEpoch());
}

std::vector<uint8_t> ViewController::compressedImageDataWithImg(const Bitmap& img, float forSize)
{
    return ZLImage::compressedImageDataWithImg(img, forSize);
}

std::optional<Bitmap> ViewController::ImageZoom(const Bitmap& img, ImageSize forSize)
{
    const QImage source = imageFromBitmap(img);
    const double width = std::round(forSize.width);
    const double height = std::round(forSize.height);
    if (source.isNull()) {
        return std::nullopt;
    }
    std::optional<QImage> canvas = blankCanvas(
        width, height, source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (!canvas) {
        return std::nullopt;
    }
    {
        QPainter painter(&*canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, width, height), source);
    }
    std::optional<Bitmap> zoomed = bitmapFromImage(*canvas);
    if (zoomed) {
        zoomed->iccProfile = img.iccProfile;
    }
    return zoomed;
}

}  // namespace pravix
