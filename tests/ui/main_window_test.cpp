// The tray program as the shop staff meet it: the tray icon or the main
// window at start, the buttons, the status line and lights, and the end.
#include <QAction>
#include <QFontInfo>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QToolButton>

#include "app/error_guard.h"
#include "desktop_fixture.h"
#include "qt/cp949.h"
#include "qt/desktop/status_light.h"

namespace tavorline {
namespace {

using testing::DesktopFixture;
using testing::ErrorBoxes;
using testing::eventually;
using testing::PaintedTexts;
using testing::utf8;

const QString kResetting = utf8("초기화 합니다...");
const QString kWaiting = utf8("대기중 ...");

class TrayProgram : public DesktopFixture {
protected:
    // Runs the event loop as the program does, with a limit for a loop that
    // would never end.
    int runUntilEnd() {
        QTimer safety;
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        safety.start(testing::kSafetyLimit);
        return program->exec();
    }
};

TEST_F(TrayProgram, StartsWithOnlyTheTrayIconAndADoubleClickShowsTheWindow) {
    startProgram(true);
    QSystemTrayIcon& tray = window().trayIcon();
    EXPECT_TRUE(tray.isVisible());
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Tavorline 6.0"));
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(runtime->serialPort().isOpen());
    const QList<QAction*> menu = tray.contextMenu()->actions();
    ASSERT_EQ(menu.size(), 3);
    EXPECT_EQ(menu[0]->text(), utf8("화면표시(&S)"));
    EXPECT_TRUE(menu[1]->isSeparator());
    EXPECT_EQ(menu[2]->text(), utf8("끝내기(&E)"));

    emit tray.activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(window().isVisible());
    emit tray.activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(status(), kWaiting);
    EXPECT_EQ(part<QLabel>("Lab_Title").text(),
              QStringLiteral("Tavorline[" TAVORLINE_VERSION "] Com:6"));
}

// Closing never ends the program. Without a tray the window is the only way
// in, so it is minimised rather than hidden.
TEST_F(TrayProgram, ClosingHidesTheWindowOrWithoutATrayMinimisesIt) {
    startProgram(true);
    window().N1Show1Click();
    part<QToolButton>("BT_EXIT").click();
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(runtime->serialPort().isOpen());
    TearDown();

    startProgram(false);
    ASSERT_TRUE(window().isVisible());
    window().close();
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(window().isMinimized());
}

// 끝내기 ends the event loop, and only then is the port closed (FormDestroy);
// also when the window is up, though it refuses every other close.
TEST_F(TrayProgram, ExitFromTheMenuEndsTheProgramInOrder) {
    for (const bool trayAvailable : {true, false}) {
        SCOPED_TRACE(trayAvailable ? "tray" : "no tray");
        startProgram(trayAvailable);
        window().N1Show1Click();
        bool portOpenWhileEnding = false;
        QTimer::singleShot(0, [&] {
            portOpenWhileEnding = runtime->serialPort().isOpen();
            window().findChild<QAction*>(QStringLiteral("N2Close1"))->trigger();
        });
        EXPECT_EQ(runUntilEnd(), 0);
        EXPECT_TRUE(portOpenWhileEnding);
        EXPECT_FALSE(runtime->serialPort().isOpen());
        EXPECT_FALSE(window().trayIcon().isVisible());
        TearDown();
    }
}

// The engine's CP949 texts, each painted before the reset goes on to block.
TEST_F(TrayProgram, ResetButtonPaintsEachStepInKorean) {
    startProgram(false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    PaintedTexts painted(part<QLabel>("Lab_Bigo"));
    part<QToolButton>("BT_INIT").click();
    EXPECT_EQ(painted.texts, (QStringList{kResetting, kWaiting}));
    EXPECT_TRUE(runtime->serialPort().isOpen());
}

// With the watchdog on as well: its ticks, from the first, must not report
// the failed port again while no call is under way.
TEST_F(TrayProgram, PortThatCannotOpenIsReportedOnceAndResetRetries) {
    writeIni("EcPort=6\r\nEcSpeed=9600\r\nWatchdogYn=Y\r\n");
    linkPort(6, "/nonexistent/tty-for-tavorline");
    ErrorBoxes boxes;
    startProgram(true);
    // A tick of the watchdog, as its timer runs it.
    runGuarded(*ui, [this] { runtime->gateway().TMTimer(); });
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].contains(QStringLiteral("COM6"))) << boxes.texts[0].toStdString();
    EXPECT_EQ(status(), kResetting);
    EXPECT_TRUE(window().trayIcon().isVisible());

    linkPort(6, line.slavePath());
    window().N1Show1Click();
    part<QToolButton>("BT_INIT").click();
    EXPECT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(status(), kWaiting);
    EXPECT_TRUE(runtime->serialPort().isOpen());
}

// The start-up error box runs before the event loop, where quitting has no
// effect: a stop signal must still end the program.
TEST_F(TrayProgram, StopRequestEndsTheProgramEvenDuringTheStartErrorBox) {
    linkPort(6, "/nonexistent/tty-for-tavorline");
    bool sawBox = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            sawBox = true;
            program->requestStop();
        }
    });
    poll.start(5);
    startProgram(true);
    poll.stop();
    ASSERT_TRUE(sawBox);
    EXPECT_EQ(runUntilEnd(), 0);
}

TEST_F(TrayProgram, LightsFollowTheTerminalLine) {
    startProgram(false);
    auto& received = part<StatusLight>("RXLight");
    auto& transmitted = part<StatusLight>("TXLight");
    EXPECT_FALSE(received.isLit() || transmitted.isLit());

    // Three LF dial the gateway; it answers with the destination prompt.
    line.send("\n\n\n");
    EXPECT_TRUE(eventually([&] { return received.isLit(); }));
    EXPECT_TRUE(eventually([&] { return transmitted.isLit(); }));
    EXPECT_EQ(line.receive(13), "*DESTINATION:");
    EXPECT_TRUE(eventually([&] { return !received.isLit() && !transmitted.isLit(); }));
}

TEST_F(TrayProgram, MainWindowIsAFixedAlwaysOnTopWindowWithKoreanCaptions) {
    startProgram(false);
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Tavorline"));
    EXPECT_EQ(window().minimumSize(), QSize(314, 118));
    EXPECT_EQ(window().maximumSize(), QSize(314, 118));
    const Qt::WindowFlags flags = window().windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint));
    EXPECT_EQ(part<QToolButton>("BT_INIT").text(), utf8("초 기 화"));
    EXPECT_EQ(part<QToolButton>("BT_PROCESS").text(), utf8("설    정"));
    EXPECT_EQ(part<QToolButton>("BT_EXIT").text(), utf8("닫    기"));

    // GulimChe is missing on Linux; the Korean fallback must be what renders.
    const QString face = QFontInfo(part<QLabel>("Lab_Bigo").font()).family();
    EXPECT_TRUE(face == QStringLiteral("GulimChe") || face == QStringLiteral("NanumGothicCoding"))
        << face.toStdString();
    ui->setAddress(toCp949(utf8("신용 LF:127.0.0.1/7001")));
    EXPECT_EQ(part<QLabel>("Lab_Addr").text(), utf8("신용 LF:127.0.0.1/7001"));
}

}  // namespace
}  // namespace tavorline
