#pragma once

#include "FramelessWindow.h"

#include <QImage>

class QLabel;

namespace pravix
{

class NSViewColor;
class PreviewImageView;

// The preview window of a converted file: a grey status text in its middle ("数据加载中..." while
// the file loads, "未找到，图片文件" when it cannot be read), covered by the picture, scaled down to
// fit the area 30 pixels from the top and bottom edges. The file is decoded off the GUI thread, so
// a large JPEG 2000 never freezes the windows. Only the close button of the title strip shows;
// the window is resizable and Escape closes it.
class NSImagePreView : public FramelessWindow
{
    Q_OBJECT

public:
    static constexpr int kDefaultWidth = 760;
    static constexpr int kDefaultHeight = 560;

    explicit NSImagePreView(QWidget* parent = nullptr);
    ~NSImagePreView() override;

    // Shows the window and starts loading the file.
    void ShowImagePath(const QString& path);

    QString imagePath() const { return path_; }
    // The decoded picture at its own size; null while loading or when the file did not read.
    QImage image() const;
    bool isLoading() const { return loading_; }
    QString statusText() const;

    NSViewColor* ContentView() const { return contentView_; }
    PreviewImageView* PreViewImage() const { return preViewImage_; }
    QLabel* TitleInfo() const { return titleInfo_; }

signals:
    // The file has been read (true) or could not be (false).
    void imageLoaded(bool ok);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutContent();
    void showLoaded(quint64 request, const QImage& image);

    NSViewColor* contentView_;
    QLabel* titleInfo_;
    PreviewImageView* preViewImage_;
    QString path_;
    quint64 request_ = 0;
    bool loading_ = false;
};

}  // namespace pravix
