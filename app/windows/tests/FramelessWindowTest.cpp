#include "FramelessWindow.h"
#include "NSLanguage.h"
#include "TitleButtonLayout.h"
#include "WindowResizeGrip.h"

#include "IsolatedUserFolders.h"

#include <QtTest>

using namespace pravix;

class FramelessWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void buttonsLeftToRight();
    void buttonsRightToLeft();
    void buttonYByVersion();
    void windowPlacesItsButtonsByTheRule();
    void buttonsFollowTheDirectionAndLanguage();
    void closeAndMiniaturiseButtons();
    void resizeKeepsTheMinimum();
    void gripsOnlyWhenResizable();

private:
    test::IsolatedUserFolders folders_;
};

void FramelessWindowTest::init()
{
    NSLanguage::shareInstance().setLanguage(0);
}

void FramelessWindowTest::buttonsLeftToRight()
{
    const TitleButtonOrigins origins = UpdateWindowsBt(500, 0, {14, 14, 14});
    QCOMPARE(origins[0], QPoint(12, 5));
    QCOMPARE(origins[1], QPoint(32, 5));
    QCOMPARE(origins[2], QPoint(52, 5));
    const TitleButtonOrigins wide = UpdateWindowsBt(500, 0, {20, 10, 14}, 0);
    QCOMPARE(wide[0], QPoint(12, 0));
    QCOMPARE(wide[1], QPoint(38, 0));
    QCOMPARE(wide[2], QPoint(54, 0));
}

void FramelessWindowTest::buttonsRightToLeft()
{
    const TitleButtonOrigins origins = UpdateWindowsBt(500, 1, {14, 14, 14});
    QCOMPARE(origins[2], QPoint(434, 5));  // zoom first, at W - 66
    QCOMPARE(origins[1], QPoint(454, 5));
    QCOMPARE(origins[0], QPoint(474, 5));  // close the rightmost
    const TitleButtonOrigins wide = UpdateWindowsBt(500, 1, {20, 10, 14}, 10);
    QCOMPARE(wide[2], QPoint(434, 10));
    QCOMPARE(wide[1], QPoint(454, 10));
    QCOMPARE(wide[0], QPoint(470, 10));
}

void FramelessWindowTest::buttonYByVersion()
{
    QCOMPARE(titleButtonY(), 5);
    QCOMPARE(titleButtonY(11), 0);
    QCOMPARE(titleButtonY(12), 5);
    QCOMPARE(titleButtonY(25), 5);
    QCOMPARE(titleButtonY(26), 10);
}

void FramelessWindowTest::windowPlacesItsButtonsByTheRule()
{
    FramelessWindow window;
    window.resize(400, 300);
    const int w = TitleBarButton::kSize;
    QCOMPARE(window.titleButton(FramelessWindow::CloseButton)->geometry(), QRect(12, 5, w, w));
    QCOMPARE(window.titleButton(FramelessWindow::MiniaturizeButton)->pos(), QPoint(12 + w + 6, 5));
    QCOMPARE(window.titleButton(FramelessWindow::ZoomButton)->pos(), QPoint(12 + 2 * (w + 6), 5));
    // Hidden buttons keep their places.
    window.setTitleButtonHidden(FramelessWindow::MiniaturizeButton, true);
    window.UpdateWindowsBt();
    QCOMPARE(window.titleButton(FramelessWindow::ZoomButton)->pos(), QPoint(12 + 2 * (w + 6), 5));
    window.show();
    window.resize(600, 300);
    QCOMPARE(window.titleButton(FramelessWindow::CloseButton)->pos(), QPoint(12, 5));
    QCOMPARE(window.titleButton(FramelessWindow::ZoomButton)->pos(), QPoint(12 + 2 * (w + 6), 5));
}

void FramelessWindowTest::buttonsFollowTheDirectionAndLanguage()
{
    FramelessWindow window;
    window.resize(400, 300);
    window.show();
    QCOMPARE(window.titleButton(FramelessWindow::CloseButton)->accessibleName(), QString("Close"));
    QCOMPARE(window.titleButton(FramelessWindow::MiniaturizeButton)->accessibleName(), QString("Minimize"));
    NSLanguage::shareInstance().setLanguage(7);
    window.UpdateWindowsBt();
    QCOMPARE(window.titleButton(FramelessWindow::ZoomButton)->x(), 400 - 66);
    QCOMPARE(window.titleButton(FramelessWindow::CloseButton)->x(), 400 - 66 + 2 * (TitleBarButton::kSize + 6));
    QCOMPARE(window.titleButton(FramelessWindow::CloseButton)->accessibleName(), QString("إغلاق"));
    window.resize(500, 300);
    QCOMPARE(window.titleButton(FramelessWindow::ZoomButton)->x(), 500 - 66);
}

void FramelessWindowTest::closeAndMiniaturiseButtons()
{
    FramelessWindow window;
    window.resize(300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.titleButton(FramelessWindow::ZoomButton), Qt::LeftButton);
    QTRY_VERIFY(window.isMaximized());
    QTest::mouseClick(window.titleButton(FramelessWindow::ZoomButton), Qt::LeftButton);
    QTRY_VERIFY(!window.isMaximized());
    QTest::mouseClick(window.titleButton(FramelessWindow::CloseButton), Qt::LeftButton);
    QVERIFY(!window.isVisible());
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
}

void FramelessWindowTest::resizeKeepsTheMinimum()
{
    const QRect start(100, 100, 400, 300);
    QCOMPARE(resizedGeometry(start, Qt::RightEdge, QPoint(50, 80), QSize(200, 150)), QRect(100, 100, 450, 300));
    QCOMPARE(resizedGeometry(start, Qt::LeftEdge | Qt::TopEdge, QPoint(-20, -10), QSize(200, 150)),
             QRect(80, 90, 420, 310));
    // Dragging past the minimum stops at it, the opposite edges fixed.
    QCOMPARE(resizedGeometry(start, Qt::LeftEdge, QPoint(390, 0), QSize(200, 150)), QRect(300, 100, 200, 300));
    QCOMPARE(resizedGeometry(start, Qt::BottomEdge, QPoint(0, -500), QSize(200, 150)), QRect(100, 100, 400, 150));
}

void FramelessWindowTest::gripsOnlyWhenResizable()
{
    FramelessWindow window;
    window.resize(300, 200);
    window.show();
    QVERIFY(!window.isResizable());
    auto visibleGrips = [&window] {
        int count = 0;
        for (const WindowResizeGrip* grip : window.findChildren<WindowResizeGrip*>()) {
            count += grip->isVisible() ? 1 : 0;
        }
        return count;
    };
    QCOMPARE(visibleGrips(), 0);
    window.setResizable(true);
    QCOMPARE(visibleGrips(), 8);
    WindowResizeGrip right(Qt::RightEdge, nullptr);
    QCOMPARE(right.rectIn(QSize(300, 200)), QRect(295, 5, 5, 190));
    WindowResizeGrip corner(Qt::BottomEdge | Qt::LeftEdge, nullptr);
    QCOMPARE(corner.rectIn(QSize(300, 200)), QRect(0, 195, 5, 5));
}

QTEST_MAIN(FramelessWindowTest)
#include "FramelessWindowTest.moc"
