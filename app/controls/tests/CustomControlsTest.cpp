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

#include <functional>

using namespace pravix;

namespace
{

class RecordingTitleDelegate final : public TitleViewBackgroundViewDelegate
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

// Counts the draws a widget is asked for.
template <typename Base>
class PaintCounter : public Base
{
public:
    using Base::Base;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        Base::paintEvent(event);
    }
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
    void lookPropertiesReadBackWhatWasSet();
    void equalLookAsksForNoRedraw();
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

// Each look property reads back what was set; unset ones read as unset, not as their fall-back.
void CustomControlsTest::lookPropertiesReadBackWhatWasSet()
{
    LLCustomBtn button;
    QVERIFY(button.defaultTitle().isEmpty() && button.selectedTitle().isEmpty());
    QVERIFY(!button.defaultTitleColor() && !button.selectedTitleColor());
    QVERIFY(!button.defaultFont() && !button.selectedFont());
    QVERIFY(button.defaultBackgroundImage().isNull() && button.selectedBackgroundImage().isNull());
    QVERIFY(!button.defaultBackgroundColor() && !button.selectedBackgroundColor());

    QFont light = SystemFont(12);
    QFont bold = SystemFont(14);
    bold.setBold(true);
    QPixmap normal(4, 4);
    normal.fill(Qt::green);
    QPixmap pressed(4, 4);
    pressed.fill(Qt::red);
    button.setDefaultTitle("Start");
    button.setSelectedTitle("Starting");
    button.setDefaultTitleColor(Qt::blue);
    button.setSelectedTitleColor(Qt::red);
    button.setDefaultFont(light);
    button.setSelectedFont(bold);
    button.setDefaultBackgroundImage(normal);
    button.setSelectedBackgroundImage(pressed);
    button.setDefaultBackgroundColor(Qt::white);
    button.setSelectedBackgroundColor(Qt::darkGray);

    QCOMPARE(button.defaultTitle(), QString("Start"));
    QCOMPARE(button.selectedTitle(), QString("Starting"));
    QCOMPARE(button.defaultTitleColor(), std::optional<QColor>(Qt::blue));
    QCOMPARE(button.selectedTitleColor(), std::optional<QColor>(Qt::red));
    QCOMPARE(button.defaultFont(), std::optional<QFont>(light));
    QCOMPARE(button.selectedFont(), std::optional<QFont>(bold));
    QCOMPARE(button.defaultBackgroundImage().cacheKey(), normal.cacheKey());
    QCOMPARE(button.selectedBackgroundImage().cacheKey(), pressed.cacheKey());
    QCOMPARE(button.defaultBackgroundColor(), std::optional<QColor>(Qt::white));
    QCOMPARE(button.selectedBackgroundColor(), std::optional<QColor>(Qt::darkGray));
    // The pressed and the normal set are kept apart.
    QVERIFY(button.defaultFont() != button.selectedFont());
}

// Setting a look property to the value it holds asks for no draw; another value does. The button
// stands beside a second widget in one window: a draw of that widget flushes every pending draw of the
// window, so the button's count tells whether it was asked.
void CustomControlsTest::equalLookAsksForNoRedraw()
{
    QWidget window;
    window.resize(200, 40);
    auto* button = new PaintCounter<LLCustomBtn>(&window);
    button->setGeometry(0, 0, 90, 40);
    auto* neighbour = new PaintCounter<QWidget>(&window);
    neighbour->setGeometry(110, 0, 90, 40);

    QFont font = SystemFont(13);
    QPixmap image(4, 4);
    image.fill(Qt::green);
    const QPixmap sameImage = image;  // a copy is the same image
    QPixmap otherImage(4, 4);         // another image, even of the same pixels
    otherImage.fill(Qt::green);
    QFont otherFont = font;
    otherFont.setItalic(true);

    struct Property
    {
        const char* name;
        std::function<void()> set;
        std::function<void()> setEqual;
        std::function<void()> setOther;
    };
    const QList<Property> properties = {
        {"defaultTitle", [&] { button->setDefaultTitle("A"); }, [&] { button->setDefaultTitle(QString("A")); },
         [&] { button->setDefaultTitle("B"); }},
        {"selectedTitle", [&] { button->setSelectedTitle("A"); }, [&] { button->setSelectedTitle(QString("A")); },
         [&] { button->setSelectedTitle("B"); }},
        {"defaultTitleColor", [&] { button->setDefaultTitleColor(Qt::red); },
         [&] { button->setDefaultTitleColor(QColor(255, 0, 0)); }, [&] { button->setDefaultTitleColor(Qt::blue); }},
        {"selectedTitleColor", [&] { button->setSelectedTitleColor(Qt::red); },
         [&] { button->setSelectedTitleColor(QColor(255, 0, 0)); }, [&] { button->setSelectedTitleColor(Qt::blue); }},
        {"defaultFont", [&] { button->setDefaultFont(font); }, [&] { button->setDefaultFont(QFont(font)); },
         [&] { button->setDefaultFont(otherFont); }},
        {"selectedFont", [&] { button->setSelectedFont(font); }, [&] { button->setSelectedFont(QFont(font)); },
         [&] { button->setSelectedFont(otherFont); }},
        {"defaultBackgroundImage", [&] { button->setDefaultBackgroundImage(image); },
         [&] { button->setDefaultBackgroundImage(sameImage); }, [&] { button->setDefaultBackgroundImage(otherImage); }},
        {"selectedBackgroundImage", [&] { button->setSelectedBackgroundImage(image); },
         [&] { button->setSelectedBackgroundImage(sameImage); }, [&] { button->setSelectedBackgroundImage(otherImage); }},
        {"defaultBackgroundColor", [&] { button->setDefaultBackgroundColor(Qt::white); },
         [&] { button->setDefaultBackgroundColor(QColor(255, 255, 255)); },
         [&] { button->setDefaultBackgroundColor(Qt::black); }},
        {"selectedBackgroundColor", [&] { button->setSelectedBackgroundColor(Qt::white); },
         [&] { button->setSelectedBackgroundColor(QColor(255, 255, 255)); },
         [&] { button->setSelectedBackgroundColor(Qt::black); }},
    };

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Waits until the window has drawn whatever is pending, then forgets the counts.
    const auto settle = [&] {
        neighbour->paints = 0;
        neighbour->update();
        QTRY_VERIFY(neighbour->paints > 0);
        button->paints = 0;
    };
    for (const Property& property : properties) {
        property.set();
        settle();
        property.setEqual();
        neighbour->paints = 0;
        neighbour->update();
        QTRY_VERIFY(neighbour->paints > 0);
        QVERIFY2(button->paints == 0, property.name);
        property.setOther();
        QTRY_VERIFY2(button->paints > 0, property.name);
    }
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
