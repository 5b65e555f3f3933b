// The gateway as the shop runs it: `tavorline --headless --home DIR`, the
// terminal on a pty reached through DIR/COM6, the host on 127.0.0.1.
#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <cstring>

#include "loopback_host.h"
#include "pty_pair.h"

namespace tavorline {
namespace {

using testing::HostSide;
using testing::LoopbackHost;
using testing::PtyPair;

constexpr int kSafetyLimitMs = 20000;
const std::string kSevenEnq(7, '\x05');

QString utf8(const char* text) { return QString::fromUtf8(text); }

// The log keeps the gateway's texts in CP949.
QByteArray cp949(const char* utf8Text) {
    iconv_t cd = iconv_open("CP949", "UTF-8");
    char output[256];
    char* in = const_cast<char*>(utf8Text);
    std::size_t inLeft = std::strlen(utf8Text);
    char* out = output;
    std::size_t outLeft = sizeof output;
    iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    return QByteArray(output, static_cast<qsizetype>(out - output));
}

class GatewayProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        const QByteArray link =
            QFile::encodeName(QDir(home.path()).filePath(QStringLiteral("COM6")));
        ASSERT_EQ(::symlink(line.slavePath().c_str(), link.constData()), 0);
    }

    void TearDown() override {
        if (gateway.state() != QProcess::NotRunning) {
            gateway.kill();
            gateway.waitForFinished();
        }
        hostDone = true;
    }

    void writeIni(const QByteArray& keys) {
        QFile ini(QDir(home.path()).filePath(QStringLiteral("vorn.Ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[VORN]\r\n" + keys);
    }

    QByteArray ini() const {
        QFile file(QDir(home.path()).filePath(QStringLiteral("vorn.Ini")));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    QByteArray todaysLog() const {
        const QString name = QStringLiteral("LOG/log%1.txt")
                                 .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
        QFile file(QDir(home.path()).filePath(name));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    void start() {
        gateway.setProgram(QStringLiteral(TAVORLINE_EXECUTABLE));
        gateway.setArguments({QStringLiteral("--headless"), QStringLiteral("--home"), home.path()});
        QObject::connect(&gateway, &QProcess::readyReadStandardOutput,
                         [this] { output += gateway.readAllStandardOutput(); });
        QObject::connect(&gateway, &QProcess::readyReadStandardError,
                         [this] { errors += gateway.readAllStandardError(); });
        gateway.start();
        ASSERT_TRUE(gateway.waitForStarted());
    }

    QStringList statusLines() const {
        return QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // The first status line names the cipher library that loaded: the one
    // beside the program, when it was built.
    static QStringList startLines() {
        const QString library = QFileInfo(QStringLiteral(TAVORLINE_EXECUTABLE))
                                    .dir()
                                    .absoluteFilePath(QStringLiteral("libVornLib.so"));
        if (!QFileInfo::exists(library)) return {};
        return {QStringLiteral("VornLib: ") + library};
    }

    bool showed(const QString& status) {
        return QTest::qWaitFor([&] { return statusLines().contains(status); }, kSafetyLimitMs);
    }

    // SIGTERM, as a service manager ends the gateway.
    void stop() {
        gateway.terminate();
        ASSERT_TRUE(gateway.waitForFinished(kSafetyLimitMs));
        EXPECT_EQ(gateway.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(gateway.exitCode(), 0);
    }

    QTemporaryDir home;
    PtyPair line;
    QProcess gateway;
    QByteArray output;
    QByteArray errors;
    std::atomic<bool> hostDone = false;
};

TEST_F(GatewayProcess, DialsInModeLfOverTlsAndEndsCleanlyOnSigterm) {
    LoopbackHost host(LoopbackHost::Transport::Tls);
    std::atomic<bool> hostSawClose = false;
    host.serve([&](HostSide& side) {
        side.receiveUntilClosed();
        hostSawClose = true;
    });
    writeIni(
        "EcPort=6\r\nEcSpeed=9600\r\nEcType=A\r\n"
        "AdslAddr=127.0.0.1\r\nAdslSPort=9001\r\nAdslCPort=9001\r\n");
    start();
    ASSERT_TRUE(showed(utf8("대기중 ..."))) << errors.toStdString();

    // The status shows just before the reset empties the line's input, so a
    // dial sent at once can be thrown away on a busy machine: the terminal
    // then dials again, as a real one does.
    QElapsedTimer sinceDial;
    std::string prompt;
    for (int dials = 0; dials < 3 && prompt.empty(); ++dials) {
        sinceDial.start();
        line.send("\n\n\n");
        prompt = line.receive(13, std::chrono::seconds(3));
    }
    EXPECT_EQ(prompt, "*DESTINATION:");
    EXPECT_GE(sinceDial.elapsed(), 100);  // the terminal expects the pause

    line.send("IP127.0.0.1/" + std::to_string(host.port()) + "\r\r\r");
    EXPECT_EQ(line.receive(kSevenEnq.size()), kSevenEnq);
    ASSERT_TRUE(showed(utf8("E/C 전문 수신중 ...")));

    const QStringList callLines{utf8("초기화 합니다..."), utf8("대기중 ..."),
                                utf8("E/C 접속중 ..."), utf8("E/C 전문 수신중 ...")};
    EXPECT_EQ(statusLines(), startLines() + callLines);
    EXPECT_TRUE(ini().contains("AdslCPort=9002")) << ini().toStdString();

    const QByteArray destination = "(LF:127.0.0.1/" + QByteArray::number(host.port()) + ")";
    const QByteArray log = todaysLog();
    const qsizetype connected = log.indexOf("][" + cp949("접속성공 ") + destination + "]\r\n");
    const qsizetype enq = log.indexOf("][" + cp949("EC ENQ(6) 전송 !") + "]\r\n");
    const qsizetype status = log.indexOf("][Connected.]\r\n");
    EXPECT_TRUE(log.contains("[VER  ")) << log.toStdString();
    EXPECT_NE(connected, -1) << log.toStdString();
    EXPECT_LT(connected, enq);
    EXPECT_LT(enq, status);
    EXPECT_TRUE(log.contains("[HOST ")) << log.toStdString();
    EXPECT_TRUE(log.contains("[SW   ")) << log.toStdString();

    stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.finished(); }, kSafetyLimitMs));
    EXPECT_TRUE(hostSawClose);
    EXPECT_TRUE(todaysLog().contains("][" + cp949("접속끊기 ") + destination + "]\r\n"));
    EXPECT_EQ(host.failure(), "");
    EXPECT_EQ(errors, "");
}

TEST_F(GatewayProcess, RunsOnWithoutItsSerialPortAndStopsOnSigint) {
    writeIni("EcPort=0\r\nEcSpeed=9600\r\n");
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return errors.contains("EcPort=0 in "); }, kSafetyLimitMs));
    EXPECT_EQ(statusLines(), startLines() + QStringList{utf8("초기화 합니다...")});
    EXPECT_EQ(gateway.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(gateway.processId()), SIGINT);
    ASSERT_TRUE(gateway.waitForFinished(kSafetyLimitMs));
    EXPECT_EQ(gateway.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(gateway.exitCode(), 0);
}

}  // namespace
}  // namespace tavorline
