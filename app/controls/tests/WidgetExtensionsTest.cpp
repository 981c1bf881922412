#include "WidgetExtensions.h"

#include "IsolatedUserFolders.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace pravix;

class WidgetExtensionsTest : public QObject
{
    Q_OBJECT

private slots:
    void colorHexReadsSixDigits_data();
    void colorHexReadsSixDigits();
    void colorHexOtherLengthsGiveWhite_data();
    void colorHexOtherLengthsGiveWhite();
    void colorHexUnreadablePieceReadsZero();
    void widthOfTextGrowsWithTextAndSize();
    void widthIsCappedAtOneLine();
    void textColorKeepsFontAndDisabledLook();
    void backgroundColorFillsButton();
    void labelIsPlainAndOwnedByParent();
    void rightToLeftTextBeginningWithLatinGetsAMark();

private:
    test::IsolatedUserFolders folders_;
};

void WidgetExtensionsTest::colorHexReadsSixDigits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::newRow("upper") << "5F36B3" << 0x5F << 0x36 << 0xB3;
    QTest::newRow("lower") << "5f36b3" << 0x5F << 0x36 << 0xB3;
    QTest::newRow("blanks and line ends") << " \tc3d2dd\r\n" << 0xC3 << 0xD2 << 0xDD;
    QTest::newRow("fc3d39") << "fc3d39" << 0xFC << 0x3D << 0x39;
    QTest::newRow("black") << "000000" << 0 << 0 << 0;
}

void WidgetExtensionsTest::colorHexReadsSixDigits()
{
    QFETCH(QString, text);
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    const QColor color = ColorHex(text);
    QCOMPARE(color.red(), red);
    QCOMPARE(color.green(), green);
    QCOMPARE(color.blue(), blue);
    QCOMPARE(color.alpha(), 255);
}

void WidgetExtensionsTest::colorHexOtherLengthsGiveWhite_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("number sign") << "#5F36B3";
    QTest::newRow("three digits") << "FFF";
    QTest::newRow("empty") << "";
    QTest::newRow("eight digits") << "5F36B3FF";
    QTest::newRow("inner blank makes seven") << "5F3 6B3";
}

void WidgetExtensionsTest::colorHexOtherLengthsGiveWhite()
{
    QFETCH(QString, text);
    QCOMPARE(ColorHex(text), QColor(Qt::white));
}

void WidgetExtensionsTest::colorHexUnreadablePieceReadsZero()
{
    const QColor color = ColorHex("ZZ3G7x");
    QCOMPARE(color.red(), 0);
    QCOMPARE(color.green(), 3);  // "3G": the leading digit reads, the rest is ignored
    QCOMPARE(color.blue(), 7);
}

void WidgetExtensionsTest::widthOfTextGrowsWithTextAndSize()
{
    QCOMPARE(WidthForString("", 13.0f), 0.0f);
    QCOMPARE(WidthForString("", 40.0f), 0.0f);
    const float shortWidth = WidthForString("Add", 13.0f);
    const float longWidth = WidthForString("Add HEIC files", 13.0f);
    const float biggerWidth = WidthForString("Add HEIC files", 26.0f);
    QVERIFY(shortWidth > 0.0f);
    QVERIFY(longWidth > shortWidth);
    QVERIFY(biggerWidth > longWidth * 1.5f);
    // Right-to-left and CJK texts are measured too.
    QVERIFY(WidthForString(QString::fromUtf8("إضافة ملفات"), 13.0f) > 0.0f);
    QVERIFY(WidthForString(QString::fromUtf8("添加文件"), 13.0f) > 0.0f);
}

void WidgetExtensionsTest::widthIsCappedAtOneLine()
{
    const QString words = QString("convert ").repeated(400);
    const float wrapped = WidthForString(words, 13.0f);
    QVERIFY(wrapped <= 1000.0f);
    QVERIFY(wrapped > 500.0f);
    QVERIFY(WidthForString(QString(5000, QChar('W')), 13.0f) <= 1000.0f);
    // A narrower line (the About window measures at 360) caps the same texts there.
    const float narrow = WidthForString(words, 13.0f, 360.0f);
    QVERIFY(narrow <= 360.0f);
    QVERIFY(narrow > 200.0f);
    QCOMPARE(WidthForString("Add", 13.0f, 360.0f), WidthForString("Add", 13.0f));
}

void WidgetExtensionsTest::textColorKeepsFontAndDisabledLook()
{
    QPushButton button("Convert");
    QFont font = SystemFont(17);
    font.setBold(true);
    button.setFont(font);
    const QColor disabledBefore = button.palette().color(QPalette::Disabled, QPalette::ButtonText);
    const QColor white = ColorHex("FFFFFF");

    setTextColor(&button, white);

    QCOMPARE(button.palette().color(QPalette::Active, QPalette::ButtonText), white);
    QCOMPARE(button.palette().color(QPalette::Inactive, QPalette::ButtonText), white);
    QCOMPARE(button.palette().color(QPalette::Disabled, QPalette::ButtonText), disabledBefore);
    QCOMPARE(button.font(), font);
    QCOMPARE(button.text(), QString("Convert"));
}

void WidgetExtensionsTest::backgroundColorFillsButton()
{
    QPushButton button("Update");
    const QColor purple = ColorHex("5F36B3");
    setBackgroundColor(&button, purple);
    QCOMPARE(button.palette().color(QPalette::Button), purple);
    QVERIFY(button.autoFillBackground());
    setTextColor(&button, Qt::white);
    QCOMPARE(button.palette().color(QPalette::Button), purple);
}

void WidgetExtensionsTest::labelIsPlainAndOwnedByParent()
{
    auto* parent = new QWidget;
    QPointer<QLabel> label = CreateLabel(QRect(20, 75, 460, 50), parent);
    QVERIFY(label);
    QCOMPARE(label->parentWidget(), parent);
    QCOMPARE(label->geometry(), QRect(20, 75, 460, 50));
    QCOMPARE(label->frameShape(), QFrame::NoFrame);
    QVERIFY(!label->autoFillBackground());
    QCOMPARE(label->palette().color(QPalette::Window).alpha(), 0);
    QCOMPARE(label->textInteractionFlags(), Qt::TextInteractionFlags(Qt::TextSelectableByMouse));
    delete parent;
    QVERIFY(label.isNull());
}

void WidgetExtensionsTest::rightToLeftTextBeginningWithLatinGetsAMark()
{
    const QString arabic = QString::fromUtf8("© Quorvane. جميع الحقوق محفوظة.");
    QVERIFY(!arabic.isRightToLeft());
    const QString marked = textInDirection(arabic, 1);
    QCOMPARE(marked, QChar(0x200F) + arabic);
    QVERIFY(marked.isRightToLeft());
    // Left to right, a text that is right to left already, and an English fallback: unchanged.
    QCOMPARE(textInDirection(arabic, 0), arabic);
    const QString arabicFirst = QString::fromUtf8("جميع الحقوق محفوظة © Quorvane");
    QCOMPARE(textInDirection(arabicFirst, 1), arabicFirst);
    QCOMPARE(textInDirection(QStringLiteral("© Quorvane. All rights reserved."), 1),
             QStringLiteral("© Quorvane. All rights reserved."));
    QCOMPARE(textInDirection(QString(), 1), QString());
}

QTEST_MAIN(WidgetExtensionsTest)
#include "WidgetExtensionsTest.moc"
