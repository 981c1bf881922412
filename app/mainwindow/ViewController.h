#pragma once

#include "BatchConversion.h"
#include "BatchView.h"
#include "ConversionListModel.h"
#include "DragDropView.h"
#include "MainWindowLayout.h"
#include "NSImagePreView.h"
#include "NSTableCellDeleteViewDelegate.h"
#include "ZLImage.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;

namespace pravix
{

class ConversionTableView;
class NSViewColor;
class WindowDialogs;

// What the main window takes from outside; every member has the program's own default.
struct MainWindowEnvironment
{
    // The dialogs; none: Qt's (QtWindowDialogs).
    std::shared_ptr<WindowDialogs> dialogs;
    // The pause before each entry of a batch; shorter only in tests.
    std::chrono::milliseconds batchPause = BatchRunner::kPause;
    // Opens a folder in the file manager; none: QDesktopServices::openUrl.
    std::function<bool(const QUrl&)> openUrl;
    // The market flag of the header; none: ClientProfile::shared().International().
    std::optional<bool> international;
};

// The main window's content and controller: the header band, the conversion list with its drop
// area and empty-list add button, and the option pane (type, scale and quality menus whose index
// is the tag, the Exif box, the two save places, the folder field with its choose and open
// buttons, Start/Stop). It owns the list (TablePathArr) and drives the batch (BatchConversion),
// whose reports arrive on the GUI thread. While a batch runs (also while it stops) every change
// of the list is refused: removals show the busy alert, drops are ignored, adding is locked.
// The widgets and their placement are MainWindowLayout's; the controller gives them their texts
// and states and acts on them.
//
// The widgets are public for tests and screen readers; everything they do goes through the
// actions below.
class ViewController : public QWidget,
                       public BatchView,
                       public NSTableCellDeleteViewDelegate,
                       public DragDropViewDelegate
{
    Q_OBJECT

public:
    explicit ViewController(MainWindowEnvironment environment = {}, QWidget* parent = nullptr);
    ~ViewController() override;

    // The controller made last, while it lives.
    static ViewController* shareInstance();

    // Every text in the current language, the option pane and the columns mirrored for a right
    // to left language, the title buttons placed; an open preview is closed; the list redrawn.
    void RefreshUI();

    // Room the window keeps at the two ends of the header band for its own controls (the menu bar);
    // the logo and name stay clear of it.
    void setHeaderReserved(int left, int right);

    // Start/Stop: an empty list offers the open panel; else starts, stops, or does nothing while
    // stopping (BatchConversion).
    void PravixBtEvent();
    // The open panel of the add buttons: files and folders (a folder adds its direct entries).
    void AddHeicFileBtEvent();
    // The list's add function: one path when it is a HEIC name not in the list yet; the list is
    // not redrawn. Its callers add only while no batch runs.
    ConversionListModel::AddResult AddHeicPath(const QString& path);
    void OutFileTypeMenuEvent(int tag);
    void SelectImageSizeEvent(int tag);
    void ImageQualityEvent(int tag);
    void SaveHEICPathBTEvent();
    void SaveCustomPathBTEvent();
    void SelectPathBtEvent();
    void OpenPathBtEvent();
    // Empties the list after a question; nothing for an empty list.
    void RemoverAllBtEvent();
    // Removes the ticked entries without a question (the list's "delete" header).
    void AllDeleteBtEvent();
    // The 1-second progress timer.
    void UpdateStateTimerEvent();

    // NSTableCellDeleteViewDelegate
    void DeleteEvent(NSPravixData& entry) override;
    void PreViewEvent(NSPravixData& entry) override;
    void SelectEvent() override;
    // DragDropViewDelegate: dropped paths as they are (a folder is not opened); ignored while a
    // batch runs.
    void dragDropViewFileList(const QStringList& paths) override;

    // BatchView
    void reloadTable() override;
    void setPravixButton(const ButtonLook& look) override;
    void ToBtState(bool idle) override;
    void showAlert(const BatchAlert& alert) override;

    const std::vector<NSPravixData>& TablePathArr() const { return list_; }
    ConversionListModel* listModel() const { return model_.get(); }
    const BatchConversion& batch() const { return *batch_; }
    bool isStopTo() const { return batch_->isStopTo(); }
    QString SaveSuff() const { return saveSuff_; }
    float ImageZooming() const { return imageZooming_; }
    int32_t nQuality() const { return nQuality_; }
    bool isSaveHEICPath() const { return isSaveHEICPath_; }
    QString CachePath() const { return cachePath_; }
    // What Start hands the batch now.
    ConversionOptions currentOptions() const;
    // The open preview window, or none.
    NSImagePreView* ImagePreView() const { return imagePreView_; }
    bool isUpdateStateTimerRunning() const;

    // Image helpers kept with the controller (nothing in the program calls them): JPEG bytes of
    // a picture at a compression factor of 0.0 to 1.0 (`forSize` names the factor), and a picture
    // drawn smoothly into a new one of round(width) x round(height) pixels (none for an empty
    // picture or a size outside the bitmap bounds).
    static std::vector<uint8_t> compressedImageDataWithImg(const Bitmap& img, float forSize);
    static std::optional<Bitmap> ImageZoom(const Bitmap& img, ImageSize forSize);
    // The picture turned anticlockwise by a number of degrees (as the desktop turns positive
    // angles) on a canvas that holds the whole turned picture: RGBA, transparent where the picture
    // does not reach. None for an empty picture, an angle that is not finite, or a canvas beyond the
    // bitmap bounds.
    static std::optional<Bitmap> RotateImage(const Bitmap& image, double byDegrees);
    // JPEG data with a copy of the Exif block `metadata`, Orientation 1 and the JPEG's own pixel
    // size, replacing any Exif the data carries (the Exif module's AddExif); empty when either is
    // refused.
    static std::vector<uint8_t> AddExif(const std::vector<uint8_t>& metadata, const std::vector<uint8_t>& ImageData);
    // The current time in milliseconds since 1970 as decimal text.
    static QString getNowTimeTimestamp();

    // Outlets.
    QWidget* NavView() const { return ui_->navView; }
    QLabel* LogoImage() const { return ui_->logoImage; }
    QLabel* AppName() const { return ui_->appName; }
    QPushButton* AddFileBt() const { return ui_->addFileBt; }
    QPushButton* RemoveAllBt() const { return ui_->removeAllBt; }
    DragDropView* DropView() const { return ui_->dropView; }
    ConversionTableView* TableView() const { return ui_->tableView; }
    NSViewColor* AddHeicFileView() const { return ui_->addHeicFileView; }
    QToolButton* AddHeicFileBt() const { return ui_->addHeicFileBt; }
    QWidget* ConfigLineView() const { return ui_->configLineView; }
    QWidget* ConfigView() const { return ui_->configView; }
    QLabel* OutputFormatText() const { return ui_->outputFormatText; }
    QLabel* ImageSizeText() const { return ui_->imageSizeText; }
    QLabel* JPGEQualityText() const { return ui_->jpgeQualityText; }
    QComboBox* OutFileType() const { return ui_->outFileType; }
    QComboBox* SelectImageSize() const { return ui_->selectImageSize; }
    QComboBox* ImageQuality() const { return ui_->imageQuality; }
    QCheckBox* Exif() const { return ui_->exif; }
    QLabel* OutputPath() const { return ui_->outputPath; }
    QRadioButton* SaveHEICPath() const { return ui_->saveHEICPath; }
    QRadioButton* SaveCustomPath() const { return ui_->saveCustomPath; }
    QLineEdit* ShowPath() const { return ui_->showPath; }
    QToolButton* SelectPathBt() const { return ui_->selectPathBt; }
    QPushButton* OpenPathBt() const { return ui_->openPathBt; }
    QPushButton* PravixBt() const { return ui_->pravixBt; }

private:
    void applyOutputPlace(bool besideSource);
    void applyEmptyListRule();
    void addFromOpenPanel();
    void showBusyAlert();
    void closePreview();

    MainWindowEnvironment environment_;
    std::shared_ptr<WindowDialogs> dialogs_;

    // The list lives longer than its model, and both longer than the batch (destroyed first, it
    // stops and joins its worker).
    std::vector<NSPravixData> list_;
    std::unique_ptr<ConversionListModel> model_;

    QString saveSuff_;
    float imageZooming_ = 1.0f;
    int32_t nQuality_ = 70;
    bool isSaveHEICPath_ = true;
    QString cachePath_;
    bool international_ = true;

    MainWindowLayout* ui_ = nullptr;
    QTimer* updateStateTimer_ = nullptr;
    QPointer<NSImagePreView> imagePreView_;

    std::unique_ptr<BatchConversion> batch_;
};

}  // namespace pravix
