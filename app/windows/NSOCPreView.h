#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

namespace pravix
{

class NSImagePreView;

// The file a quick-look preview shows.
class PreviewItem
{
public:
    explicit PreviewItem(QUrl url) : previewItemURL_(std::move(url)) {}
    QUrl previewItemURL() const { return previewItemURL_; }
    QString previewItemTitle() const { return QString(); }

private:
    QUrl previewItemURL_;
};

// The program-wide quick-look panel: one preview window, made on first use. Linux has no shared
// system panel, so our preview window stands in for it.
class QuickLookPanel
{
public:
    static NSImagePreView* sharedPanel();
    // The panel when it has been made and not closed for good.
    static NSImagePreView* existingPanel();
};

// One toggle of the panel: a visible panel is hidden; otherwise the panel is shown as the key
// window with the item's file. The panel answers one item, the same for any index.
class NSQuickLookPreView
{
public:
    void PreViewFile(const QString& pathOrUrl);

    int numberOfPreviewItemsInPreviewPanel() const { return 1; }
    QUrl previewItemAtIndex(int) const { return item_ ? item_->previewItemURL() : QUrl(); }

private:
    std::unique_ptr<PreviewItem> item_;
};

// The shared quick-look facility of the program. Nothing in the program opens it.
class NSOCPreView
{
public:
    static NSOCPreView& shareInstance();

    // Drops the previous NSQuickLookPreView, makes a new one and sends it PreViewFile with the
    // argument (a path or a file URL).
    void PreViewFilePaht(const QString& pathOrUrl);
    NSQuickLookPreView* QuickLookPreView() const { return quickLookPreView_.get(); }

private:
    std::unique_ptr<NSQuickLookPreView> quickLookPreView_;
};

}  // namespace pravix
