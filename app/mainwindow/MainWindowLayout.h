#pragma once

#include "HeaderLook.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class QWidget;

namespace pravix
{

class ConversionListModel;
class ConversionTableView;
class DragDropView;
class NSViewColor;

// Where the header band puts the logo and the program name: the logo in its own frame, the name
// from the look's x (its text plus the indent and 4 to spare, 22 high at y 12), the two as one
// group in the band (logoGroupX), as high as the band. Plain formulas, checked without a window.
struct HeaderPlacement
{
    QRect logo;   // in the group
    QRect name;   // in the group
    QRect group;  // in the band
};
HeaderPlacement headerPlacement(const HeaderLook& look, int nameTextWidth, int bandWidth, int reservedLeft = 0,
                                int reservedRight = 0);

// The start button's least width: its widest title (`widestTitleWidth`) beside its icon with 64
// to spare, and never below 150, so it keeps its width through every state of a batch.
int startButtonMinimumWidth(int widestTitleWidth, int iconWidth);

// The main window's widgets and where they stand, built into the controller's widget `content`
// in one column: the header band (logo and name), the list's toolbar (add, remove all), the drop
// area with the framed table and the empty-list area over its rows, a 1-pixel line, and the option
// pane (the three menus and the Exif box in one row, the two save places, the folder field with its
// choose and open buttons, the start button beside those two rows). It keeps the header group and
// the empty-list area placed as the window resizes, and mirrors the pane and the columns for a
// right to left language. It does nothing with the widgets' signals: the controller acts on them.
class MainWindowLayout : public QObject
{
    Q_OBJECT

public:
    // The header band's height: the title buttons and the menu bar stand in it.
    static constexpr int kHeaderHeight = 46;
    static constexpr int kPaneFontSize = 13;
    static constexpr int kAppNameIndent = 7;

    // The widgets become children of `content`; the table shows `model`, which must outlive it.
    MainWindowLayout(QWidget* content, ConversionListModel* model);

    // 1: right to left. The option pane, the list's toolbar and the empty-list area run right to
    // left; the Exif box stands after its title in reading order (the inverse of a check box's own
    // habit); the choose button's picture is turned; the columns reverse.
    void applyDirection(int direction);
    // The market's logo and name in the header band, placed.
    void showHeader(const HeaderLook& look);
    // Room kept at the two ends of the band for the window's own controls (the menu bar).
    void setHeaderReserved(int left, int right);
    // The start button as wide as the widest of `titles` needs.
    void fitPravixButton(const QStringList& titles);

    // Keyboard order: top to bottom, and along each row in reading order.
    QList<QWidget*> tabOrder() const;

    // Made by the constructor, owned by `content` through their parents.
    QWidget* navView = nullptr;
    QWidget* logoGroup = nullptr;
    QLabel* logoImage = nullptr;
    QLabel* appName = nullptr;
    QWidget* listToolbar = nullptr;
    QPushButton* addFileBt = nullptr;
    QPushButton* removeAllBt = nullptr;
    DragDropView* dropView = nullptr;
    QFrame* listFrame = nullptr;
    ConversionTableView* tableView = nullptr;
    NSViewColor* addHeicFileView = nullptr;
    QToolButton* addHeicFileBt = nullptr;
    QWidget* configLineView = nullptr;
    QWidget* configView = nullptr;
    QLabel* outputFormatText = nullptr;
    QLabel* imageSizeText = nullptr;
    QLabel* jpgeQualityText = nullptr;
    QComboBox* outFileType = nullptr;
    QComboBox* selectImageSize = nullptr;
    QComboBox* imageQuality = nullptr;
    QCheckBox* exif = nullptr;
    QLabel* outputPath = nullptr;
    QRadioButton* saveHEICPath = nullptr;
    QRadioButton* saveCustomPath = nullptr;
    QLineEdit* showPath = nullptr;
    QToolButton* selectPathBt = nullptr;
    QPushButton* openPathBt = nullptr;
    QPushButton* pravixBt = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildHeader();
    void buildList(ConversionListModel* model);
    void buildOptionPane();
    void placeHeader();
    void placeEmptyListArea();

    QWidget* content_;
    HeaderLook look_;
    int headerReservedLeft_ = 0;
    int headerReservedRight_ = 0;
};

}  // namespace pravix
