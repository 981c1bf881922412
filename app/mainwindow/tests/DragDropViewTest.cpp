#include "DragDropView.h"

#include "IsolatedUserFolders.h"

#include <QMimeData>
#include <QtTest>

using namespace pravix;

namespace
{

class RecordingDropDelegate final : public DragDropViewDelegate
{
public:
    void dragDropViewFileList(const QStringList& paths) override { lists << paths; }
    QList<QStringList> lists;
};

// The view with its drag handlers reachable, so the tests hand it events without a real drag.
class TestDropView : public DragDropView
{
public:
    using DragDropView::dragEnterEvent;
    using DragDropView::dropEvent;
};

QMimeData* mimeWithUrls(const QList<QUrl>& urls)
{
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

}  // namespace

class DragDropViewTest : public QObject
{
    Q_OBJECT

private slots:
    void dropDeliversTheLocalPathsInOrder();
    void fileDragIsAnsweredAsLink();
    void dragWithoutFilesIsRefused();
    void dropWithoutDelegateIsAccepted();
    void paintsWhite();

private:
    test::IsolatedUserFolders folders_;
};

void DragDropViewTest::dropDeliversTheLocalPathsInOrder()
{
    TestDropView view;
    RecordingDropDelegate delegate;
    view.setDelegate(&delegate);
    std::unique_ptr<QMimeData> mime(mimeWithUrls({QUrl::fromLocalFile("/home/u/b.heic"),
                                                  QUrl("https://example.org/web.heic"),
                                                  QUrl::fromLocalFile("/home/u/Pictures"),
                                                  QUrl::fromLocalFile("/home/u/a b.HEIC")}));
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::LinkAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    view.dropEvent(&drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(drop.dropAction(), Qt::LinkAction);
    QCOMPARE(delegate.lists.size(), 1);
    QCOMPARE(delegate.lists.first(), QStringList({"/home/u/b.heic", "/home/u/Pictures", "/home/u/a b.HEIC"}));
}

void DragDropViewTest::fileDragIsAnsweredAsLink()
{
    TestDropView view;
    QVERIFY(view.acceptDrops());
    std::unique_ptr<QMimeData> mime(mimeWithUrls({QUrl::fromLocalFile("/x/a.heic")}));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, mime.get(), Qt::LeftButton,
                          Qt::NoModifier);
    view.dragEnterEvent(&enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::LinkAction);
    // A source that offers no link still gets its drop, as a copy.
    QDragEnterEvent copyOnly(QPoint(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    view.dragEnterEvent(&copyOnly);
    QVERIFY(copyOnly.isAccepted());
    QCOMPARE(copyOnly.dropAction(), Qt::CopyAction);
    view.setAcceptDrops(false);
    view.RegisterForDragged();
    QVERIFY(view.acceptDrops());
}

void DragDropViewTest::dragWithoutFilesIsRefused()
{
    TestDropView view;
    RecordingDropDelegate delegate;
    view.setDelegate(&delegate);
    QMimeData text;
    text.setText("/x/a.heic");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::LinkAction, &text, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    view.dragEnterEvent(&enter);
    QVERIFY(!enter.isAccepted());
    std::unique_ptr<QMimeData> web(mimeWithUrls({QUrl("https://example.org/a.heic")}));
    QDragEnterEvent webEnter(QPoint(5, 5), Qt::CopyAction | Qt::LinkAction, web.get(), Qt::LeftButton, Qt::NoModifier);
    webEnter.setAccepted(false);
    view.dragEnterEvent(&webEnter);
    QVERIFY(!webEnter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::LinkAction, web.get(), Qt::LeftButton, Qt::NoModifier);
    view.dropEvent(&drop);
    QVERIFY(delegate.lists.isEmpty());
    QVERIFY(droppedFilePaths(nullptr).isEmpty());
}

void DragDropViewTest::dropWithoutDelegateIsAccepted()
{
    TestDropView view;
    QVERIFY(view.delegate() == nullptr);
    std::unique_ptr<QMimeData> mime(mimeWithUrls({QUrl::fromLocalFile("/x/a.heic")}));
    QDropEvent drop(QPointF(5, 5), Qt::LinkAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    view.dropEvent(&drop);
    QVERIFY(drop.isAccepted());
}

void DragDropViewTest::paintsWhite()
{
    QWidget parent;
    QPalette dark = parent.palette();
    dark.setColor(QPalette::Window, Qt::black);
    parent.setPalette(dark);
    auto* view = new TestDropView;
    view->setParent(&parent);
    view->resize(40, 40);
    const QImage image = view->grab().toImage();
    QCOMPARE(image.pixelColor(QPoint(20, 20) * image.devicePixelRatio()), QColor(Qt::white));
}

QTEST_MAIN(DragDropViewTest)
#include "DragDropViewTest.moc"
