#include "qt/qt_serial_port.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "pty_pair.h"
#include "qt_wait.h"

namespace tavorline {
namespace {

using testing::eventually;
using testing::PtyPair;

std::string everyByteValue() {
    std::string bytes;
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
    return bytes;
}

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7) % 251);
    return bytes;
}

std::filesystem::path folderOf(const QTemporaryDir& dir) {
    return QFile::encodeName(dir.path()).toStdString();
}

// The terminal on a pty, reached as port 6 through the link COM6 in the
// gateway's folder, as a shop with a USB adapter would set it up.
class SerialPortOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_EQ(::symlink(line.slavePath().c_str(), linkPath(6).constData()), 0);
        port.setComNumber(6);
        port.setBaud(9600);
    }

    QByteArray linkPath(int number) const {
        return QFile::encodeName(QDir(home.path()).filePath(QStringLiteral("COM%1").arg(number)));
    }

    // Takes exactly `count` bytes per event, as the call handshake does.
    void takeEveryByte() {
        port.setReceiveHandler([this](std::uint16_t count) {
            for (std::uint16_t pass = count; pass > 0; --pass) {
                if (port.charReady()) received.push_back(static_cast<char>(port.getChar()));
            }
        });
    }

    QTemporaryDir home;
    PtyPair line;
    QtSerialPort port{folderOf(home)};
    std::string received;
};

TEST_F(SerialPortOnPty, CarriesEveryByteValueBothWays) {
    takeEveryByte();
    port.open();
    ASSERT_TRUE(port.isOpen());

    const std::string fromTerminal = everyByteValue() + "\x0D\x0D\x0D";
    line.send(fromTerminal);
    ASSERT_TRUE(eventually([&] { return received.size() >= fromTerminal.size(); }));
    EXPECT_EQ(received, fromTerminal);

    const std::string toTerminal = "*DESTINATION:" + everyByteValue();
    port.putString(toTerminal);
    // Sent by the time putString returns: the engine's drain poll never waits.
    EXPECT_EQ(port.outBuffUsed(), 0);
    EXPECT_EQ(line.receive(toTerminal.size()), toTerminal);
}

TEST_F(SerialPortOnPty, RefusesToOpenWithoutAUsablePortAndSaysWhich) {
    EXPECT_THROW(port.putString("x"), SerialError);

    port.setComNumber(0);
    try {
        port.open();
        FAIL() << "port 0 opened";
    } catch (const SerialError& error) {
        EXPECT_NE(std::string(error.what()).find("COM0"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(port.isOpen());

    ASSERT_EQ(::symlink("/nonexistent/tty", linkPath(7).constData()), 0);
    port.setComNumber(7);
    try {
        port.open();
        FAIL() << "a dangling link opened";
    } catch (const SerialError& error) {
        EXPECT_NE(std::string(error.what()).find(linkPath(7).toStdString()), std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(port.isOpen());

    port.setComNumber(6);
    port.setBaud(0);
    EXPECT_THROW(port.open(), SerialError);
    EXPECT_FALSE(port.isOpen());

    // The next reset, with usable settings, gets the line.
    port.setBaud(9600);
    port.open();
    EXPECT_TRUE(port.isOpen());
}

// The gateway's reset closes and reopens the port from inside the port's own
// receive event; the line must keep working in both directions afterwards.
TEST_F(SerialPortOnPty, SurvivesAReopenFromInsideItsReceiveEvent) {
    int resets = 0;
    port.setReceiveHandler([&](std::uint16_t count) {
        for (std::uint16_t pass = count; pass > 0; --pass) {
            if (!port.charReady()) continue;
            const char byte = static_cast<char>(port.getChar());
            received.push_back(byte);
            if (byte == 'R') {
                port.close();
                port.open();
                port.flushInBuffer();
                ++resets;
            }
        }
    });
    port.open();

    line.send("abR");
    ASSERT_TRUE(eventually([&] { return resets == 1; }));
    line.send("xyz");
    ASSERT_TRUE(eventually([&] { return received.size() >= 6; }));
    EXPECT_EQ(received, "abRxyz");
    port.putString("ok");
    EXPECT_EQ(line.receive(2), "ok");
}

TEST_F(SerialPortOnPty, OffersMoreThan65535WaitingBytesInTurns) {
    bool taking = false;
    std::vector<int> countsWhileTaking;
    int largestCount = 0;
    port.setReceiveHandler([&](std::uint16_t count) {
        largestCount = std::max<int>(largestCount, count);
        if (!taking) return;
        countsWhileTaking.push_back(count);
        for (std::uint16_t pass = count; pass > 0; --pass) {
            if (port.charReady()) received.push_back(static_cast<char>(port.getChar()));
        }
    });
    port.open();

    const std::string data = pattern(70001);
    line.send(data.substr(0, 70000));
    ASSERT_TRUE(
        eventually([&] { return line.waitingAtGatewaySide() == 0 && largestCount == 65535; }));
    EXPECT_TRUE(received.empty());

    // One more byte raises one event; the rest must follow without any
    // further byte from the line.
    taking = true;
    line.send(data.substr(70000));
    ASSERT_TRUE(eventually([&] { return received.size() >= data.size(); }));
    EXPECT_EQ(received, data);
    EXPECT_EQ(countsWhileTaking, (std::vector<int>{65535, 70001 - 65535}));
    EXPECT_LE(largestCount, 65535);
}

TEST_F(SerialPortOnPty, AHandlerThatTakesNothingWaitsForNewBytes) {
    std::vector<int> counts;
    port.setReceiveHandler([&](std::uint16_t count) { counts.push_back(count); });
    port.open();

    line.send("abc");
    ASSERT_TRUE(eventually([&] { return !counts.empty(); }));
    QTest::qWait(200);
    EXPECT_EQ(counts, std::vector<int>{3});

    line.send("d");
    ASSERT_TRUE(eventually([&] { return counts.size() == 2; }));
    EXPECT_EQ(counts.back(), 4);
}

// A write waits for the line, and Qt reads the line while it waits: bytes
// that come in then must not start a second receive event inside the first.
TEST_F(SerialPortOnPty, NeverRaisesAReceiveEventInsideAnother) {
    int depth = 0;
    int deepest = 0;
    port.setReceiveHandler([&](std::uint16_t count) {
        deepest = std::max(deepest, ++depth);
        for (std::uint16_t pass = count; pass > 0; --pass) {
            if (port.charReady()) received.push_back(static_cast<char>(port.getChar()));
        }
        if (received == "1") {
            line.sendNow("23");
            port.putString(std::string(4096, 'E'));
        }
        --depth;
    });
    port.open();

    line.send("1");
    ASSERT_TRUE(eventually([&] { return received.size() >= 3; }));
    EXPECT_EQ(received, "123");
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(line.receive(4096), std::string(4096, 'E'));
}

TEST_F(SerialPortOnPty, LetsGoOfALineThatDisappears) {
    takeEveryByte();
    port.open();
    line.send("a");
    ASSERT_TRUE(eventually([&] { return received == "a"; }));

    line.hangUp();
    ASSERT_TRUE(eventually([&] { return !port.isOpen(); }));
    EXPECT_NO_THROW(port.flushInBuffer());
    EXPECT_THROW(port.putString("x"), SerialError);
}

}  // namespace
}  // namespace tavorline
