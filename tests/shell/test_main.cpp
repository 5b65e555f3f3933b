// The adapters need a Qt application object: sockets, serial ports and timers
// all run on its event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <csignal>

int main(int argc, char** argv) {
    // The loopback host may write to a connection the gateway already closed.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
