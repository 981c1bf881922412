#include "HttpClient.h"
#include "NSButtonBackgroundColor.h"
#include "NSLanguage.h"
#include "NSWindowControllerCheckUpdateApp.h"
#include "ProgressSpinner.h"
#include "TitleButtonLayout.h"
#include "UpdateWindowLayout.h"
#include "WidgetExtensions.h"

#include "IsolatedUserFolders.h"
#include "LocalHttpServer.h"
#include "OpenedUrls.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QtTest>

#include <memory>

using namespace pravix;
using testsupport::LocalHttpServer;
using State = NSWindowControllerCheckUpdateApp::State;
using namespace std::chrono_literals;

namespace
{

const QByteArray kNewer = "{\"version\":\"1.2.0\",\"info\":\"<b>Faster</b> previews\\n<a href=\\\"x\\\">more</a>\","
                          "\"download\":\"https://download.example.org/pravix-1.2.0.deb\"}";
const QByteArray kCurrent = R"({"version":"1.0.0","info":"Old notes","download":"https://download.example.org/old.deb"})";

}  // namespace

class NSWindowControllerCheckUpdateAppTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sharedWindowIsOneAndOnlyHides();
    void checkingShowsTheSpinnerOnly();
    void outcomes_data();
    void outcomes();
    void newerVersionShowsNotesAsPlainTextAndTheButton();
    void downloadAddressIsKeptAcrossALaterCurrentResult();
    void lateReplyOfAnEarlierCheckIsIgnored();
    void layoutTableFormulas();
    void leftToRightWindow();
    void rightToLeftWindow();
    void refreshChecksAgainOnlyOnceShown();
    void buttonsAndKeys();

private:
    // A window that asks the local server, waiting at most `timeout` for its answer.
    std::unique_ptr<NSWindowControllerCheckUpdateApp> makeWindow(std::chrono::milliseconds timeout = 5s);
    static bool waitForResult(const NSWindowControllerCheckUpdateApp& window);
    // A window shown once, the server answering `body`; null when no result came.
    std::unique_ptr<NSWindowControllerCheckUpdateApp> shownWithAnswer(const QByteArray& body, int status = 200);

    test::IsolatedUserFolders folders_;
    std::unique_ptr<LocalHttpServer> server_;
    std::unique_ptr<test::OpenedUrls> opened_;
};

void NSWindowControllerCheckUpdateAppTest::init()
{
    NSLanguage::shareInstance().setLanguage(0);
    server_ = std::make_unique<LocalHttpServer>();
    QVERIFY(server_->isListening());
    opened_ = std::make_unique<test::OpenedUrls>();
}

void NSWindowControllerCheckUpdateAppTest::cleanup()
{
    opened_.reset();
    QVERIFY(testsupport::spinUntil([] { return HttpClient::shareInstance().pendingCount() == 0; }, 10000));
    server_.reset();
}

std::unique_ptr<NSWindowControllerCheckUpdateApp> NSWindowControllerCheckUpdateAppTest::makeWindow(
    std::chrono::milliseconds timeout)
{
    UpdateCheckerSources sources;
    sources.server = server_->url().toString();
    sources.runningVersion = QStringLiteral("1.0.0");
    sources.timeout = timeout;
    return std::make_unique<NSWindowControllerCheckUpdateApp>(sources);
}

bool NSWindowControllerCheckUpdateAppTest::waitForResult(const NSWindowControllerCheckUpdateApp& window)
{
    return testsupport::spinUntil([&] { return window.state() != State::Checking; }, 10000);
}

std::unique_ptr<NSWindowControllerCheckUpdateApp> NSWindowControllerCheckUpdateAppTest::shownWithAnswer(
    const QByteArray& body, int status)
{
    auto window = makeWindow();
    server_->enqueue(LocalHttpServer::Reply::answer(status, body));
    window->Show();
    return waitForResult(*window) ? std::move(window) : nullptr;
}

void NSWindowControllerCheckUpdateAppTest::sharedWindowIsOneAndOnlyHides()
{
    NSWindowControllerCheckUpdateApp& first = NSWindowControllerCheckUpdateApp::shareInstance();
    QCOMPARE(&first, &NSWindowControllerCheckUpdateApp::shareInstance());
    QVERIFY(!first.isWindowLoaded());
    QCOMPARE(first.state(), State::NotChecked);
    // Built without an update server: no request leaves, and the window says that this version
    // checks for no update rather than blaming the network.
    first.Show(this);
    QVERIFY(first.isVisible());
    QVERIFY(waitForResult(first));
    QCOMPARE(first.state(), State::NoUpdateServer);
    QCOMPARE(first.NewVersionTitle()->text(), QString("Update checking is not available in this version."));
    QVERIFY(first.NewVersionTitle()->isVisible());
    QVERIFY(first.LoadingShow()->isHidden());
    QVERIFY(first.UpdateAppButtonView()->isHidden());
    QPointer<NSWindowControllerCheckUpdateApp> alive(&first);
    QVERIFY(first.close());
    QVERIFY(alive);
    QVERIFY(first.isHidden());
    QVERIFY(!first.testAttribute(Qt::WA_QuitOnClose));
}

void NSWindowControllerCheckUpdateAppTest::checkingShowsTheSpinnerOnly()
{
    auto window = makeWindow(300ms);
    server_->enqueue(LocalHttpServer::Reply::neverAnswer());
    window->Show();
    QCOMPARE(window->state(), State::Checking);
    QCOMPARE(window->windowTitle(), QStringLiteral("Check for Updates"));
    QVERIFY(window->LoadingShow()->isVisible());
    QVERIFY(window->LoadingShow()->isAnimating());
    QVERIFY(window->NewVersionTitle()->isHidden());
    QVERIFY(window->UpdateAppButtonView()->isHidden());
    QVERIFY(window->NewVersionTitleScrollView()->isHidden());
    QVERIFY(window->UpdateInfo()->toPlainText().isEmpty());
    QVERIFY(window->CloesButtonView()->isVisible());
    QVERIFY(window->titleButton(FramelessWindow::MiniaturizeButton)->isHidden());
    QVERIFY(window->titleButton(FramelessWindow::ZoomButton)->isHidden());
    QVERIFY(server_->waitForRequests(1));
    QCOMPARE(server_->requests()[0].requestLine, QByteArray("GET /heic/mac/newversionex.htm HTTP/1.1"));
    // No answer within the time allowed: the network-failure text.
    QVERIFY(waitForResult(*window));
    QCOMPARE(window->state(), State::NetworkFailure);
    QCOMPARE(window->NewVersionTitle()->text(),
             QStringLiteral("The network cannot be reached. Please check your connection."));
    QVERIFY(!window->LoadingShow()->isVisible());
    QVERIFY(!window->LoadingShow()->isAnimating());
}

void NSWindowControllerCheckUpdateAppTest::outcomes_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("text");
    const QString newer = QStringLiteral("A new version is available.");
    const QString current = QStringLiteral("You are using the latest version.");
    const QString failure = QStringLiteral("The network cannot be reached. Please check your connection.");
    QTest::newRow("newer") << 200 << kNewer << State::NewerVersion << newer;
    QTest::newRow("same version") << 200 << kCurrent << State::CurrentVersion << current;
    QTest::newRow("older version") << 200 << QByteArray(R"({"version":"0.9.9"})") << State::CurrentVersion << current;
    QTest::newRow("no version") << 200 << QByteArray(R"({"info":"x"})") << State::CurrentVersion << current;
    QTest::newRow("not JSON") << 200 << QByteArray("<html>busy</html>") << State::NetworkFailure << failure;
    QTest::newRow("JSON but no object") << 200 << QByteArray(R"(["1.2.0"])") << State::NetworkFailure << failure;
    QTest::newRow("server error") << 500 << kNewer << State::NetworkFailure << failure;
    QTest::newRow("empty body") << 200 << QByteArray() << State::NetworkFailure << failure;
}

void NSWindowControllerCheckUpdateAppTest::outcomes()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(State, state);
    QFETCH(QString, text);
    auto window = shownWithAnswer(body, status);
    QVERIFY(window);
    QCOMPARE(window->state(), state);
    QCOMPARE(window->NewVersionTitle()->text(), text);
    QVERIFY(window->NewVersionTitle()->isVisible());
    QCOMPARE(window->NewVersionTitle()->accessibleDescription(), text);
    QCOMPARE(window->UpdateAppButtonView()->isVisible(), state == State::NewerVersion);
    QCOMPARE(window->UpdateInfo()->isVisible(), state == State::NewerVersion);
    QVERIFY(window->LoadingShow()->isHidden());
    QVERIFY(window->NewVersionTitleScrollView()->isHidden());
}

void NSWindowControllerCheckUpdateAppTest::newerVersionShowsNotesAsPlainTextAndTheButton()
{
    auto window = shownWithAnswer(kNewer);
    QVERIFY(window);
    QCOMPARE(window->state(), State::NewerVersion);
    // The server's markup is shown as the characters it is made of, never obeyed.
    QCOMPARE(window->UpdateInfo()->toPlainText(),
             QStringLiteral("<b>Faster</b> previews\n<a href=\"x\">more</a>"));
    QVERIFY(window->UpdateInfo()->isReadOnly());
    QVERIFY(window->UpdateInfo()->isVisible());
    QVERIFY(window->UpdateInfo()->geometry().top() > window->NewVersionTitle()->geometry().bottom());
    QCOMPARE(window->strUrlDownload(), QUrl(QStringLiteral("https://download.example.org/pravix-1.2.0.deb")));
    QTest::mouseClick(window->UpdateAppButton(), Qt::LeftButton);
    QCOMPARE(opened_->urls(), QList<QUrl>{window->strUrlDownload()});

    // Without notes the notes area stays away; without a usable address the button opens nothing.
    server_->enqueue(LocalHttpServer::Reply::answer(200, R"({"version":"2.0","download":"file:///etc/passwd"})"));
    window->CheckUpdate();
    QVERIFY(waitForResult(*window));
    QCOMPARE(window->state(), State::NewerVersion);
    QVERIFY(window->UpdateInfo()->isHidden());
    QVERIFY(window->strUrlDownload().isEmpty());
    window->UpdateButtonEvent();
    QCOMPARE(opened_->urls().size(), 1);
}

void NSWindowControllerCheckUpdateAppTest::downloadAddressIsKeptAcrossALaterCurrentResult()
{
    auto window = shownWithAnswer(kNewer);
    QVERIFY(window);
    const QUrl download = window->strUrlDownload();
    QVERIFY(!download.isEmpty());

    server_->enqueue(LocalHttpServer::Reply::answer(200, kCurrent));
    window->CheckUpdate();
    QVERIFY(waitForResult(*window));
    QCOMPARE(window->state(), State::CurrentVersion);
    QVERIFY(window->UpdateAppButtonView()->isHidden());
    QCOMPARE(window->strUrlDownload(), download);
    window->UpdateButtonEvent();
    QCOMPARE(opened_->urls(), QList<QUrl>{download});

    server_->enqueue(LocalHttpServer::Reply::answer(200, "not a record"));
    window->CheckUpdate();
    QVERIFY(waitForResult(*window));
    QCOMPARE(window->state(), State::NetworkFailure);
    QCOMPARE(window->strUrlDownload(), download);
}

void NSWindowControllerCheckUpdateAppTest::lateReplyOfAnEarlierCheckIsIgnored()
{
    auto window = makeWindow();
    server_->enqueue(LocalHttpServer::Reply::answerAfter(600, 200, kNewer));
    server_->enqueue(LocalHttpServer::Reply::answer(200, kCurrent));
    window->Show();
    QVERIFY(server_->waitForRequests(1));
    window->CheckUpdate();
    QVERIFY(waitForResult(*window));
    QCOMPARE(window->state(), State::CurrentVersion);
    // The first answer comes after the second; it changes nothing.
    QTest::qWait(900);
    QCOMPARE(server_->requestCount(), 2);
    QCOMPARE(window->state(), State::CurrentVersion);
    QCOMPARE(window->NewVersionTitle()->text(), QStringLiteral("You are using the latest version."));
    QVERIFY(window->UpdateAppButtonView()->isHidden());
    QVERIFY(window->UpdateInfo()->toPlainText().isEmpty());
    QVERIFY(window->strUrlDownload().isEmpty());
}

void NSWindowControllerCheckUpdateAppTest::layoutTableFormulas()
{
    UpdateWindowLayoutInput input;
    input.windowWidth = 500;
    input.iconWidth = 64;
    input.titleWidth = 300;
    input.closeButtonWidth = 60;
    input.updateButtonWidth = 80;

    const UpdateWindowLayout ltr = updateWindowLayout(input);
    QCOMPARE(ltr.iconX, 30.0);
    QCOMPARE(ltr.titleX, 104.0);
    QCOMPARE(ltr.closeViewX, 430.0);
    QCOMPARE(ltr.closeViewWidth, 60.0);
    QCOMPARE(ltr.updateViewX, 340.0);
    QCOMPARE(ltr.updateViewWidth, 80.0);
    QVERIFY(ltr.titleAlignment & Qt::AlignLeft);

    input.direction = 1;
    const UpdateWindowLayout rtl = updateWindowLayout(input);
    QCOMPARE(rtl.iconX, 406.0);
    QCOMPARE(rtl.titleX, 96.0);
    QCOMPARE(rtl.closeViewX, 10.0);
    QCOMPARE(rtl.updateViewX, 80.0);
    QVERIFY(rtl.titleAlignment & Qt::AlignRight);
    QVERIFY(rtl.titleAlignment & Qt::AlignAbsolute);

    QCOMPARE(buttonWidthForTitle(QStringLiteral("Close"), 13), qreal(WidthForString(QStringLiteral("Close"), 13)) + 20);
    QCOMPARE(buttonWidthForTitle(QString(), 13), 20.0);
}

void NSWindowControllerCheckUpdateAppTest::leftToRightWindow()
{
    auto window = shownWithAnswer(kNewer);
    QVERIFY(window);
    const int w = window->width();
    const int closeWidth = int(std::ceil(buttonWidthForTitle(QStringLiteral("Close"), 13)));
    QCOMPARE(window->AppIcon()->x(), 30);
    QCOMPARE(window->NewVersionTitle()->x(), 30 + window->AppIcon()->width() + 10);
    QVERIFY(window->NewVersionTitle()->alignment() & Qt::AlignLeft);
    QVERIFY(std::abs(window->CloesButtonView()->geometry().right() + 1 - (w - 10)) <= 1);
    QVERIFY(std::abs(window->CloesButtonView()->width() - closeWidth) <= 1);
    QVERIFY(std::abs(window->UpdateAppButtonView()->geometry().right() + 1 - (window->CloesButtonView()->x() - 10)) <= 1);
    QCOMPARE(window->CloesButton()->geometry(), window->CloesButtonView()->rect());
    QCOMPARE(window->UpdateAppButton()->geometry(), window->UpdateAppButtonView()->rect());
    QCOMPARE(window->NewVersionTitleScrollView()->x(), window->NewVersionTitle()->x());
    QCOMPARE(window->UpdateInfo()->x(), window->NewVersionTitle()->x());
    QCOMPARE(window->titleButton(FramelessWindow::CloseButton)->pos(), QPoint(12, titleButtonY()));
    QCOMPARE(window->UpdateAppButton()->textColor(), QColor(Qt::white));
    QCOMPARE(window->CloesButton()->textColor(), QColor(Qt::white));
}

void NSWindowControllerCheckUpdateAppTest::rightToLeftWindow()
{
    NSLanguage::shareInstance().setLanguage(7);
    auto window = shownWithAnswer(kNewer);
    QVERIFY(window);
    const int w = window->width();
    QCOMPARE(window->CloesButton()->text(), QString::fromUtf8("إغلاق"));
    QCOMPARE(window->UpdateAppButton()->text(), QString::fromUtf8("تحديث"));
    QCOMPARE(window->NewVersionTitle()->text(), QString::fromUtf8("يتوفر إصدار جديد."));
    // The icon 30 from the right edge, the status line before it and right-aligned, the close
    // button 10 from the left edge with the update button to its right.
    QCOMPARE(window->AppIcon()->x(), w - window->AppIcon()->width() - 30);
    QCOMPARE(window->NewVersionTitle()->geometry().right() + 1, window->AppIcon()->x() - 10);
    QVERIFY(window->NewVersionTitle()->alignment() & Qt::AlignRight);
    QCOMPARE(window->CloesButtonView()->x(), 10);
    QVERIFY(std::abs(window->UpdateAppButtonView()->x() - (window->CloesButtonView()->geometry().right() + 1 + 10)) <= 1);
    QCOMPARE(window->UpdateInfo()->x(), window->NewVersionTitle()->x());
    QVERIFY(window->LoadingShow()->x() > w / 2);
    const TitleButtonOrigins origins =
        UpdateWindowsBt(w, 1, {TitleBarButton::kSize, TitleBarButton::kSize, TitleBarButton::kSize});
    QCOMPARE(window->titleButton(FramelessWindow::CloseButton)->pos(), origins[FramelessWindow::CloseButton]);
    QCOMPARE(window->layoutDirection(), Qt::RightToLeft);
}

void NSWindowControllerCheckUpdateAppTest::refreshChecksAgainOnlyOnceShown()
{
    auto window = makeWindow();
    window->RefreshUI();
    QTest::qWait(200);
    QCOMPARE(server_->requestCount(), 0);
    QCOMPARE(window->state(), State::NotChecked);

    server_->setDefaultReply(LocalHttpServer::Reply::answer(200, kCurrent));
    window->Show();
    QVERIFY(waitForResult(*window));
    window->close();
    QVERIFY(window->isHidden());
    QCOMPARE(server_->requestCount(), 1);

    // A language change while the window is closed but was shown: a new check, in Arabic.
    NSLanguage::shareInstance().setLanguage(7);
    window->RefreshUI();
    QCOMPARE(window->state(), State::Checking);
    QVERIFY(waitForResult(*window));
    QCOMPARE(server_->requestCount(), 2);
    QCOMPARE(window->NewVersionTitle()->text(), QString::fromUtf8("أنت تستخدم أحدث إصدار."));
    QCOMPARE(window->windowTitle(), QString::fromUtf8("البحث عن تحديثات"));
    QCOMPARE(window->CloesButton()->accessibleName(), QString::fromUtf8("إغلاق"));
    QVERIFY(window->isHidden());
}

void NSWindowControllerCheckUpdateAppTest::buttonsAndKeys()
{
    auto window = shownWithAnswer(kNewer);
    QVERIFY(window);
    QCOMPARE(window->UpdateAppButton()->accessibleName(), QStringLiteral("Update"));
    QCOMPARE(window->CloesButton()->accessibleName(), QStringLiteral("Close"));
    QVERIFY(!window->UpdateInfo()->accessibleName().isEmpty());
    // Return presses the focused button; the close button hides the window.
    window->UpdateAppButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(window->UpdateAppButton(), Qt::Key_Return);
    QCOMPARE(opened_->urls().size(), 1);
    QTest::mouseClick(window->CloesButton(), Qt::LeftButton);
    QVERIFY(window->isHidden());
    window->Show();
    QVERIFY(waitForResult(*window));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QVERIFY(window->isHidden());
}

QTEST_MAIN(NSWindowControllerCheckUpdateAppTest)
#include "NSWindowControllerCheckUpdateAppTest.moc"
