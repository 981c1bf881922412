#pragma once

#include <QStringList>
#include <QWidget>

class QMimeData;

namespace pravix
{

// Told of the paths dropped onto a DragDropView.
class DragDropViewDelegate
{
public:
    // Full paths in the order of the drag; the view filters nothing but non-file URLs.
    virtual void dragDropViewFileList(const QStringList& paths) = 0;

protected:
    ~DragDropViewDelegate() = default;
};

// The local file paths a drag carries, in order; web and other non-file URLs are left out.
QStringList droppedFilePaths(const QMimeData* mime);

// The area the user drops files and folders onto. It takes any drag that carries at least one
// local file, as a link, and hands the paths to its delegate on the drop; it paints white.
class DragDropView : public QWidget
{
    Q_OBJECT

public:
    explicit DragDropView(QWidget* parent = nullptr);

    // Held without ownership: the main window, which outlives the view. nullptr: drops are
    // accepted and delivered nowhere.
    void setDelegate(DragDropViewDelegate* delegate) { delegate_ = delegate; }
    DragDropViewDelegate* delegate() const { return delegate_; }
    // Accepts file drags (from construction on; again after setAcceptDrops(false)).
    void RegisterForDragged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    DragDropViewDelegate* delegate_ = nullptr;
};

}  // namespace pravix
