// The adapters need a Qt application object: sockets, serial ports and timers
// all run on its event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <csignal>

#include "pty_pair.h"

int main(int argc, char** argv) {
    // The loopback host may write to a connection the gateway already closed.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    // The gateway under test runs in this process: waits on the line keep its
    // events going.
    tavorline::testing::PtyPair::setPump([] { QCoreApplication::processEvents(); });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
