// The desktop tests need a QApplication; without a platform named, they use
// the offscreen one, so that no window ever appears on a developer's screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <csignal>

#include "pty_pair.h"

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // The gateway under test runs in this process: waits on the line keep its
    // events going.
    tavorline::testing::PtyPair::setPump([] { QCoreApplication::processEvents(); });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
