// tavorline-web as a process, against the gateway's bridge in this one.
#include <QProcess>

#include "bridge_fixture.h"
#include "support/framing.h"

namespace tavorline::testing {
namespace {

class WebClientProcess : public BridgeFixture {
protected:
    void start(QProcess& client, QStringList arguments) {
        arguments.prepend(QString::fromStdString(socket.string()));
        arguments.prepend(QStringLiteral("--socket"));
        client.start(QStringLiteral(TAVORLINE_WEB_EXECUTABLE), arguments);
    }
    int finish(QProcess& client) {
        EXPECT_TRUE(eventually([&] { return client.state() == QProcess::NotRunning; }));
        output = client.readAllStandardOutput().toStdString();
        return client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
    }
    int run(const QStringList& arguments) {
        QProcess client;
        start(client, arguments);
        return finish(client);
    }

    Bytes output;
};

TEST_F(WebClientProcess, AsksForTheLastDataAndSendsWithoutTakingTheRegistration) {
    EXPECT_EQ(run({QStringLiteral("lastdata")}), 0);
    EXPECT_EQ(output, "Empty\n");
    const Bytes record = "D1" + Bytes(590, ' ') + "00001000";
    gateway.config().Ini_Write(kSection, "LastData", record, gateway.config().iniPath());
    EXPECT_EQ(run({QStringLiteral("lastdata")}), 0);
    EXPECT_EQ(output, record + "\n");

    WebScreen webScreen(socket);
    registerAs(webScreen, 77);
    const char* request = "D100000001000000000000000000000";  // D1, 0, 00, 00001000, 0...
    EXPECT_EQ(run({QStringLiteral("send"), QLatin1String(request)}), 0);
    const Bytes fs(1, ctl::FS);
    EXPECT_EQ(serial.written(), Make_Frame("D1" + fs + "0" + fs + "00" + fs + "00001000" + fs +
                                           "000000000000" + fs + "000000"));
    EXPECT_EQ(gateway.webHandle(), 77u);
}

TEST_F(WebClientProcess, ListensUntilDoneAndFailsWithoutTheGateway) {
    QProcess listener;
    start(listener, {QStringLiteral("listen"), QStringLiteral("--count"), QStringLiteral("2"),
                     QStringLiteral("--handle"), QStringLiteral("99")});
    ASSERT_TRUE(eventually([&] { return gateway.webHandle() == 99; }));
    gatewaySends("first");
    gatewaySends("second");
    EXPECT_EQ(finish(listener), 0);
    EXPECT_EQ(output, "first\nsecond\n");

    start(listener, {QStringLiteral("listen")});
    ASSERT_TRUE(eventually([&] { return gateway.webHandle() != 99; }));
    bridge.close();
    EXPECT_EQ(finish(listener), 1) << "the gateway left";
    EXPECT_EQ(run({QStringLiteral("lastdata")}), 3) << "the gateway is not there";
}

}  // namespace
}  // namespace tavorline::testing
