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
#include "OptionMenus.h"
#include "OutputPlaceSettings.h"
#include "PanelPaths.h"
#include "PreviewImageLoader.h"
#include "QtWindowDialogs.h"
#include "TextPlaceholder.h"
#include "WidgetExtensions.h"
#include "ZLViewImage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTransform>

#include <cmath>

namespace pravix
{
namespace
{

ViewController* sharedController = nullptr;

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

    cachePath_ = OutputPlaceSettings::cachePath();
    model_ = std::make_unique<ConversionListModel>(list_);

    ui_ = new MainWindowLayout(this, model_.get());
    ui_->dropView->setDelegate(this);
    ui_->dropView->RegisterForDragged();
    ui_->tableView->setCellDelegate(this);

    updateStateTimer_ = new QTimer(this);
    updateStateTimer_->setInterval(1000);
    connect(updateStateTimer_, &QTimer::timeout, this, &ViewController::UpdateStateTimerEvent);

    // The worker's reports run here, on the GUI thread, in the order it made them.
    batch_ = std::make_unique<BatchConversion>(
        list_, *this,
        [this](std::function<void()> work) { QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection); },
        environment_.batchPause);

    // Output place (stored), custom folder (stored, else Downloads) and the option defaults.
    ui_->showPath->setText(OutputPlaceSettings::initialCustomFolder());
    applyOutputPlace(OutputPlaceSettings::saveBesideSource());
    OutFileTypeMenuEvent(kDefaultOutFileTypeTag);
    SelectImageSizeEvent(kDefaultImageSizeTag);
    ImageQualityEvent(kDefaultImageQualityTag);
    ui_->exif->setChecked(true);
    setPravixButton(buttonLook(BatchPhase::Idle));

    connect(ui_->outFileType, &QComboBox::currentIndexChanged, this, &ViewController::OutFileTypeMenuEvent);
    connect(ui_->selectImageSize, &QComboBox::currentIndexChanged, this, &ViewController::SelectImageSizeEvent);
    connect(ui_->imageQuality, &QComboBox::currentIndexChanged, this, &ViewController::ImageQualityEvent);
    connect(ui_->saveHEICPath, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            SaveHEICPathBTEvent();
        }
    });
    connect(ui_->saveCustomPath, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            SaveCustomPathBTEvent();
        }
    });
    connect(ui_->selectPathBt, &QToolButton::clicked, this, &ViewController::SelectPathBtEvent);
    connect(ui_->openPathBt, &QPushButton::clicked, this, &ViewController::OpenPathBtEvent);
    connect(ui_->pravixBt, &QPushButton::clicked, this, &ViewController::PravixBtEvent);
    connect(ui_->addFileBt, &QPushButton::clicked, this, &ViewController::AddHeicFileBtEvent);
    connect(ui_->addHeicFileBt, &QToolButton::clicked, this, &ViewController::AddHeicFileBtEvent);
    connect(ui_->removeAllBt, &QPushButton::clicked, this, &ViewController::RemoverAllBtEvent);
    connect(ui_->tableView, &ConversionTableView::allDeleteClicked, this, &ViewController::AllDeleteBtEvent);
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

void ViewController::RefreshUI()
{
    auto text = [](const char* key) { return localizedText(QString::fromLatin1(key)); };
    const int direction = NSLanguage::shareInstance().Direction();
    const bool rightToLeft = direction == 1;

    // The Exif box's title is laid out in the box's own (inverted) direction: embedding it in
    // the language's direction keeps its words in reading order.
    const QChar embedding = rightToLeft ? QChar(0x202B) : QChar(0x202A);
    ui_->exif->setText(embedding + text("SaveExif") + QChar(0x202C));
    ui_->exif->setAccessibleName(text("SaveExif"));
    ui_->outputPath->setText(text("OutputPath"));
    ui_->addHeicFileBt->setText(text("AddHeicFileBt"));
    ui_->addFileBt->setText(text("AddFile"));
    ui_->removeAllBt->setText(text("RemoveAll"));
    ui_->saveHEICPath->setText(text("SourceFilePath"));
    ui_->saveCustomPath->setText(text("CustomOutputPath"));
    ui_->openPathBt->setText(text("OpenPath"));
    ui_->outputFormatText->setText(text("OutputFormat"));
    ui_->imageSizeText->setText(text("ImageSize"));
    ui_->jpgeQualityText->setText(text("JPGEQuality"));
    // The button keeps the look of the batch's state (a language may change mid-batch).
    setPravixButton(buttonLook(batch_->phase()));
    // As wide as its widest state in this language, so it does not jump when a batch starts.
    ui_->fitPravixButton({text("Conversion"), text("Stop"), text("Stoping")});

    // Screen readers: the menus by their labels, the folder field by its role, the icon button
    // by what it does.
    ui_->outFileType->setAccessibleName(text("OutputFormat"));
    ui_->selectImageSize->setAccessibleName(text("ImageSize"));
    ui_->imageQuality->setAccessibleName(text("JPGEQuality"));
    ui_->showPath->setAccessibleName(text("OutputPath"));
    ui_->selectPathBt->setAccessibleName(text("Select"));
    ui_->selectPathBt->setToolTip(text("Select"));
    ui_->addHeicFileView->setAccessibleName(text("AddHeicFileBt"));
    ui_->dropView->setAccessibleName(text("ConversionList"));

    ui_->applyDirection(direction);
    ui_->tableView->RefreshUI();

    const HeaderLook look = headerLook(international_);
    ui_->showHeader(look);

    if (auto* frame = qobject_cast<FramelessWindow*>(window())) {
        frame->setWindowTitle(look.appName);
        frame->UpdateWindowsBt();
    }
    closePreview();
    reloadTable();
}

void ViewController::setHeaderReserved(int left, int right)
{
    ui_->setHeaderReserved(left, right);
}

void ViewController::applyOutputPlace(bool besideSource)
{
    isSaveHEICPath_ = besideSource;
    ui_->saveHEICPath->setChecked(besideSource);
    ui_->saveCustomPath->setChecked(!besideSource);
    ui_->showPath->setEnabled(!besideSource);
    ui_->selectPathBt->setEnabled(!besideSource && !batch_->isBatchRunning());
}

void ViewController::applyEmptyListRule()
{
    const bool empty = list_.empty();
    ui_->addHeicFileView->setVisible(empty);
    ui_->addHeicFileBt->setVisible(empty);
    ui_->tableView->setAlternatingRowColors(!empty);
}

ConversionOptions ViewController::currentOptions() const
{
    ConversionOptions options;
    options.saveSuff = saveSuff_.toStdString();
    options.imageZooming = imageZooming_;
    options.nQuality = nQuality_;
    options.bExif = ui_->exif->isChecked() && ui_->exif->isEnabled();
    if (!isSaveHEICPath_) {
        options.savePath = ui_->showPath->text().toStdString();
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
    saveSuff_ = ui_->outFileType->itemText(tag);
    ui_->exif->setEnabled(isExifEnabled(saveSuff_.toStdString()));
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
        dialogs_->chooseFolder(window(), localizedText(QStringLiteral("Select")), ui_->showPath->text());
    if (folder) {
        ui_->showPath->setText(*folder);
        OutputPlaceSettings::setCustomFolder(ui_->showPath->text());
    }
}

void ViewController::OpenPathBtEvent()
{
    // A folder that is not there simply does not open.
    environment_.openUrl(QUrl::fromLocalFile(ui_->showPath->text()));
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

void ViewController::DeleteEvent(NSPravixData& entry)
{
    if (batch_->isBatchRunning()) {
        showBusyAlert();
        return;
    }
    const int row = model_->rowOf(entry);
    if (row >= 0) {
        model_->removeEntryAt(row);
    }
    reloadTable();
    applyEmptyListRule();
    SelectEvent();
}

void ViewController::PreViewEvent(NSPravixData& entry)
{
    closePreview();
    imagePreView_ = new NSImagePreView(window());
    imagePreView_->ShowImagePath(QString::fromStdString(entry.ToPath));
}

void ViewController::SelectEvent()
{
    ui_->tableView->CheckAllSelect();
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
    ui_->tableView->reloadData();
}

void ViewController::setPravixButton(const ButtonLook& look)
{
    ui_->pravixBt->setText(localizedText(QString::fromStdString(look.titleKey)));
    ui_->pravixBt->setIcon(appIcon(QString::fromStdString(look.imageName)));
    setTextColor(ui_->pravixBt, Qt::white);
}

void ViewController::ToBtState(bool idle)
{
    const ControlStates states = controlStates(idle, saveSuff_.toStdString());
    ui_->outFileType->setEnabled(states.optionMenus);
    ui_->selectImageSize->setEnabled(states.optionMenus);
    ui_->imageQuality->setEnabled(states.optionMenus);
    if (states.exif) {
        ui_->exif->setEnabled(*states.exif);
    }
    // The choose button serves the custom folder only; unlocking must not offer it while the
    // output goes beside the sources.
    ui_->selectPathBt->setEnabled(states.selectPath && !isSaveHEICPath_);
    ui_->addFileBt->setEnabled(states.addFile);
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
