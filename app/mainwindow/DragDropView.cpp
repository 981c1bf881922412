#include "DragDropView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

namespace pravix
{
namespace
{

// Link when the source offers it, else whatever it proposes: some file managers offer no link.
void acceptAsLink(QDropEvent* event)
{
    if (event->possibleActions() & Qt::LinkAction) {
        event->setDropAction(Qt::LinkAction);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}

}  // namespace

QStringList droppedFilePaths(const QMimeData* mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            const QString path = url.toLocalFile();
            if (!path.isEmpty()) {
                paths << path;
            }
        }
    }
    return paths;
}

DragDropView::DragDropView(QWidget* parent)
    : QWidget(parent)
{
    RegisterForDragged();
}

void DragDropView::RegisterForDragged()
{
    setAcceptDrops(true);
}

void DragDropView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
}

void DragDropView::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedFilePaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    acceptAsLink(event);
}

void DragDropView::dragMoveEvent(QDragMoveEvent* event)
{
    // The answer of the enter holds for the whole drag.
    if (droppedFilePaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    acceptAsLink(event);
}

void DragDropView::dropEvent(QDropEvent* event)
{
    const QStringList paths = droppedFilePaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    acceptAsLink(event);
    if (delegate_) {
        delegate_->dragDropViewFileList(paths);
    }
}

}  // namespace pravix
