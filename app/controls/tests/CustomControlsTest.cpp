#include "ButtonDrawing.h"
#include "LLButton.h"
#include "LLCustomBtn.h"
#include "NSButtonBackgroundColor.h"
#include "NSViewColor.h"
#include "OneColorView.h"
#include "TitleViewBackgroundView.h"
#include "WidgetExtensions.h"

#include "IsolatedUserFolders.h"

#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

using namespace pravix;

namespace
{

class RecordingTitleDelegate : public TitleViewBackgroundViewDelegate
{
public:
    void drawRect(QPainter& painter, const QRect& rect) override
    {
        painter.fillRect(rect, Qt::red);
        rects << rect;
    }
    QList<QRect> rects;
};

// A parent that sees the presses its children pass on.
class PressRecorder : public QWidget
{
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

QColor pixel(QWidget& widget, const QPoint& point)
{
    const QImage image = widget.grab().toImage();
    return image.pixelColor(point * image.devicePixelRatio());
}

}  // namespace

class CustomControlsTest : public QObject
{
    Q_OBJECT

private slots:
    void emptyButtonFallsBackToItsDefaults();
    void pressedLookFallsBackPropertyByProperty();
    void backgroundImageWinsOverColour();
    void cornersByTheirBits();
    void pressAndReleaseInsideClicks();
    void releaseOutsideRestoresWithoutClick();
    void handCursorOnlyWhenAsked();
    void titlePlacementAndMeasure();
    void underlineStylesDrawTheirLines();
    void backgroundColorButtonDrawsWhiteTitle();
    void backgroundColorButtonColourAliases();
    void viewColorFillsBordersAndPassesPresses();
    void viewColorIsNotFlippedUntilSet();
    void titleViewLetsItsDelegateDraw();
    void oneColourViewsAndAppearance();

private:
    test::IsolatedUserFolders folders_;
};

void CustomControlsTest::emptyButtonFallsBackToItsDefaults()
{
    LLCustomBtn button;
    const LLCustomBtn::Look look = button.currentLook();
    QCOMPARE(look.title, QString("按钮"));
    QCOMPARE(look.titleColor, QColor(Qt::black));
    QCOMPARE(look.font.pointSizeF(), SystemFont(17).pointSizeF());
    QCOMPARE(look.backgroundColor.alpha(), 0);
    QVERIFY(look.backgroundImage.isNull());
}

void CustomControlsTest::pressedLookFallsBackPropertyByProperty()
{
    LLCustomBtn button;
    button.resize(100, 30);
    button.setDefaultTitle("Go");
    button.setDefaultTitleColor(Qt::blue);
    button.setDefaultBackgroundColor(Qt::white);
    button.setSelectedBackgroundColor(Qt::darkGray);
    button.setDown(true);
    LLCustomBtn::Look look = button.currentLook();
    QVERIFY(button.mouseDown());
    QCOMPARE(look.backgroundColor, QColor(Qt::darkGray));
    QCOMPARE(look.title, QString("Go"));
    QCOMPARE(look.titleColor, QColor(Qt::blue));
    button.setSelectedTitle("Going");
    button.setSelectedTitleColor(Qt::red);
    look = button.currentLook();
    QCOMPARE(look.title, QString("Going"));
    QCOMPARE(look.titleColor, QColor(Qt::red));
    button.setDown(false);
    look = button.currentLook();
    QCOMPARE(look.title, QString("Go"));
    QCOMPARE(look.backgroundColor, QColor(Qt::white));
    QCOMPARE(button.text(), QString("Go"));  // what a screen reader reads
}

void CustomControlsTest::backgroundImageWinsOverColour()
{
    LLCustomBtn button;
    button.resize(40, 20);
    QPixmap image(8, 8);
    image.fill(Qt::green);
    button.setDefaultBackgroundImage(image);
    button.setSelectedBackgroundColor(Qt::red);
    button.setDefaultTitle(" ");
    button.setDown(true);
    QVERIFY(!button.currentLook().backgroundImage.isNull());
    QCOMPARE(pixel(button, QPoint(3, 3)), QColor(Qt::green));
}

void CustomControlsTest::cornersByTheirBits()
{
    const QRectF rect(0, 0, 100, 40);
    const QPointF topLeft(0.5, 0.5);
    const QPointF topRight(99.5, 0.5);
    const QPointF bottomLeft(0.5, 39.5);
    const QPointF bottomRight(99.5, 39.5);
    const QPainterPath plain = roundedCornersPath(rect, 10, 0);
    QVERIFY(plain.contains(topLeft) && plain.contains(bottomRight));
    const QPainterPath all = roundedCornersPath(rect, 10, RectCornerAll);
    QVERIFY(!all.contains(topLeft) && !all.contains(topRight) && !all.contains(bottomLeft) && !all.contains(bottomRight));
    const QPainterPath top = roundedCornersPath(rect, 10, RectCornerTopLeft | RectCornerTopRight);
    QVERIFY(!top.contains(topLeft) && !top.contains(topRight));
    QVERIFY(top.contains(bottomLeft) && top.contains(bottomRight));
    const QPainterPath one = roundedCornersPath(rect, 10, RectCornerBottomRight);
    QVERIFY(one.contains(topLeft) && one.contains(topRight) && one.contains(bottomLeft));
    QVERIFY(!one.contains(bottomRight));
    QVERIFY(one.contains(QPointF(50, 20)));
}

void CustomControlsTest::pressAndReleaseInsideClicks()
{
    LLCustomBtn button;
    button.resize(80, 30);
    button.show();
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QVERIFY(button.mouseDown());
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(12, 12));
    QVERIFY(!button.mouseDown());
    QCOMPARE(clicked.count(), 1);
    button.setFocus();
    QTest::keyClick(&button, Qt::Key_Space);
    QCOMPARE(clicked.count(), 2);
}

void CustomControlsTest::releaseOutsideRestoresWithoutClick()
{
    LLCustomBtn button;
    button.resize(80, 30);
    button.show();
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseMove(&button, QPoint(200, 200));
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(200, 200));
    QVERIFY(!button.mouseDown());
    QCOMPARE(clicked.count(), 0);
}

void CustomControlsTest::handCursorOnlyWhenAsked()
{
    LLCustomBtn button;
    QCOMPARE(button.cursor().shape(), Qt::ArrowCursor);
    button.setIsHandCursor(true);
    QCOMPARE(button.cursor().shape(), Qt::PointingHandCursor);
    button.setIsHandCursor(false);
    QCOMPARE(button.cursor().shape(), Qt::ArrowCursor);
}

void CustomControlsTest::titlePlacementAndMeasure()
{
    QCOMPARE(titleX(0, 100, 40), 0.0);
    QCOMPARE(titleX(1, 100, 40), 30.0);
    QCOMPARE(titleX(2, 100, 40), 60.0);
    QCOMPARE(titleX(7, 100, 40), 60.0);
    QCOMPARE(titleSize("", SystemFont(13), 100), QSizeF(0, 0));
    QCOMPARE(configureTextSizeWithString("", SystemFont(13), QSizeF(100, 30)), QSizeF(0, 0));
    const QSizeF one = titleSize("Convert", SystemFont(13), 1000);
    QVERIFY(one.width() > 0 && one.height() > 0);
    // A narrow width wraps the words onto more lines.
    const QSizeF wrapped = titleSize("Convert all the files", SystemFont(13), 60);
    QVERIFY(wrapped.height() > one.height() * 1.5);
    QVERIFY(wrapped.width() <= 60);
    const QSizeF capped = configureTextSizeWithString("Convert all the files", SystemFont(13), QSizeF(60, 10));
    QCOMPARE(capped.height(), 10.0);
}

void CustomControlsTest::underlineStylesDrawTheirLines()
{
    // Ink in the band below the baseline (underline) or across the middle (strike-through).
    auto inkRows = [](int style) {
        QImage image(200, 40, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        drawDecoratedTitle(&painter, QRectF(0, 0, 200, 40), "xxxxxx", SystemFont(20), Qt::black, style, Qt::AlignLeft);
        painter.end();
        QList<int> rows;
        for (int y = 0; y < image.height(); ++y) {
            int dark = 0;
            for (int x = 0; x < image.width(); ++x) {
                dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
            }
            if (dark > 40) {  // a line across the whole title, not letter strokes
                rows << y;
            }
        }
        return rows;
    };
    QVERIFY(inkRows(TextLineNone).isEmpty());
    const QList<int> under = inkRows(TextLineUnderline);
    const QList<int> doubleUnder = inkRows(TextLineDoubleUnderline);
    const QList<int> strike = inkRows(TextLineStrikeThrough);
    QVERIFY(!under.isEmpty() && !strike.isEmpty());
    QVERIFY(strike.first() < under.first());
    QVERIFY(doubleUnder.last() - doubleUnder.first() > under.last() - under.first());
    QVERIFY(!inkRows(TextLineDoubleStrikeThrough).isEmpty());
    LLButton button;
    QCOMPARE(button.defaultTitleColor(), QColor(Qt::black));
    button.setDefaultTitle("Link");
    QCOMPARE(button.text(), QString("Link"));
}

void CustomControlsTest::backgroundColorButtonDrawsWhiteTitle()
{
    NSButtonBackgroundColor button;
    QCOMPARE(button.textColor(), QColor(Qt::white));
    QVERIFY(!button.BackgroundColor());
    button.setBackgroundColor(ColorHex("6E39C0"));
    button.setText("Convert");
    button.resize(120, 32);
    QCOMPARE(pixel(button, QPoint(60, 3)).name(), QString("#6e39c0"));
    // Corners rounded by 5: the very corner is not filled.
    QVERIFY(pixel(button, QPoint(0, 0)).name() != QString("#6e39c0"));
    button.setTextColor(Qt::yellow);
    QCOMPARE(button.textColor(), QColor(Qt::yellow));
}

// Background_Color: and Text_Color: are the setters under their other names: the same state, the
// same drawing.
void CustomControlsTest::backgroundColorButtonColourAliases()
{
    NSButtonBackgroundColor button;
    button.resize(120, 32);
    button.Background_Color(ColorHex("fc3d39"));
    QCOMPARE(button.BackgroundColor(), std::optional<QColor>(ColorHex("fc3d39")));
    QCOMPARE(pixel(button, QPoint(60, 3)).name(), QString("#fc3d39"));
    button.Text_Color(Qt::green);
    QCOMPARE(button.textColor(), QColor(Qt::green));
    button.Background_Color(Qt::blue);
    QCOMPARE(pixel(button, QPoint(60, 3)), QColor(Qt::blue));
}

void CustomControlsTest::viewColorFillsBordersAndPassesPresses()
{
    PressRecorder parent;
    parent.resize(200, 200);
    auto* view = new NSViewColor(&parent);
    view->setGeometry(10, 10, 100, 60);
    QCOMPARE(view->miaobianColor(), QColor(Qt::black));
    view->setBackgroundColor(ColorHex("eef3f7"));
    QCOMPARE(pixel(*view, QPoint(0, 0)).name(), QString("#eef3f7"));
    view->setCornerRadius(10);
    QVERIFY(pixel(*view, QPoint(0, 0)).name() != QString("#eef3f7"));
    QCOMPARE(pixel(*view, QPoint(50, 30)).name(), QString("#eef3f7"));
    view->setMiaobianW(2);
    QCOMPARE(pixel(*view, QPoint(50, 0)).name(), QString("#000000"));
    int handled = 0;
    view->setHandlerMouseDown([&handled](QMouseEvent*) { ++handled; });
    parent.show();
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(50, 30));
    QCOMPARE(handled, 1);
    QCOMPARE(parent.presses, 1);
}

void CustomControlsTest::viewColorIsNotFlippedUntilSet()
{
    NSViewColor view;
    QVERIFY(!view.isFlipped());
    view.setFlipped(true);
    QVERIFY(view.isFlipped());
    view.setFlipped(false);
    QVERIFY(!view.isFlipped());
}

void CustomControlsTest::titleViewLetsItsDelegateDraw()
{
    TitleViewBackgroundView view;
    view.resize(50, 20);
    QVERIFY(pixel(view, QPoint(5, 5)) != QColor(Qt::red));
    RecordingTitleDelegate delegate;
    view.setDelegate(&delegate);
    QCOMPARE(pixel(view, QPoint(5, 5)), QColor(Qt::red));
    QVERIFY(!delegate.rects.isEmpty());
    view.setDelegate(nullptr);
}

void CustomControlsTest::oneColourViewsAndAppearance()
{
    NSMainColorView main;
    QPalette light = main.palette();
    light.setColor(QPalette::Window, Qt::white);
    main.setPalette(light);
    QCOMPARE(main.drawnColor().name(), QString("#6e39c0"));
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    main.setPalette(dark);
    QCOMPARE(main.drawnColor().alpha(), 0);
    NSViewUserMainColor always;
    always.setPalette(dark);
    QCOMPARE(always.drawnColor().name(), QString("#6e39c0"));
    QVERIFY(qAbs(NSViewUserMain2Color().drawnColor().alphaF() - 0.1f) < 0.001f);
    QCOMPARE(NSViewColorButtonRed().fill().color.name(), QString("#fc3d39"));
    QCOMPARE(NSViewColorButtonRed().fill().cornerRadius, 5.0);
    QCOMPARE(NSViewBlue2Color().fill().color, QColor(255, 249, 230));
    QCOMPARE(NSViewTransparent().drawnColor().alpha(), 0);
    NSViewColorWhiteToBlack frame;
    frame.resize(60, 20);
    QCOMPARE(pixel(frame, QPoint(0, 10)), QColor(214, 214, 214));
    QCOMPARE(pixel(frame, QPoint(30, 10)), QColor(Qt::white));
    NSGrayColorView grey;
    grey.resize(10, 10);
    QCOMPARE(pixel(grey, QPoint(5, 5)), QColor(214, 214, 214));
}

QTEST_MAIN(CustomControlsTest)
#include "CustomControlsTest.moc"
