#include "NSOCPreView.h"

#include "NSImagePreView.h"

#include <QCoreApplication>

namespace pravix
{
namespace
{

QPointer<NSImagePreView>& panelSlot()
{
    static QPointer<NSImagePreView> panel;
    return panel;
}

QUrl fileUrl(const QString& pathOrUrl)
{
    const QUrl url(pathOrUrl);
    if (url.isLocalFile()) {
        return url;
    }
    return QUrl::fromLocalFile(pathOrUrl);
}

}  // namespace

NSImagePreView* QuickLookPanel::sharedPanel()
{
    QPointer<NSImagePreView>& panel = panelSlot();
    if (!panel) {
        panel = new NSImagePreView();
        panel->setAttribute(Qt::WA_QuitOnClose, false);
        // A window of no parent: deleted when the application ends, while widgets still work.
        qAddPostRoutine([] { delete panelSlot().data(); });
    }
    return panel;
}

NSImagePreView* QuickLookPanel::existingPanel()
{
    return panelSlot();
}

void NSQuickLookPreView::PreViewFile(const QString& pathOrUrl)
{
    item_ = std::make_unique<PreviewItem>(fileUrl(pathOrUrl));
    NSImagePreView* panel = QuickLookPanel::existingPanel();
    if (panel && panel->isVisible()) {
        panel->hide();
        return;
    }
    // Shown with the new item at once; the panel loads what it is given.
    QuickLookPanel::sharedPanel()->ShowImagePath(item_->previewItemURL().toLocalFile());
}

NSOCPreView& NSOCPreView::shareInstance()
{
    static NSOCPreView instance;
    return instance;
}

void NSOCPreView::PreViewFilePaht(const QString& pathOrUrl)
{
    quickLookPreView_ = std::make_unique<NSQuickLookPreView>();
    quickLookPreView_->PreViewFile(pathOrUrl);
}

}  // namespace pravix
