#include "qt/qt_dynamic_library.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace tavorline {
namespace {

// Two copies of one library: one beside the test program, one in a folder
// that plays the gateway's program folder.
constexpr char kProbe[] = "libshellprobe.so";
constexpr int kBesideExecutable = 1;
constexpr int kInProgramFolder = 2;

int probeValue(QtDynamicLibrary& library) {
    auto* probe = reinterpret_cast<int (*)()>(library.resolve("probe_value"));
    return probe ? probe() : -1;
}

TEST(QtDynamicLibrary, PrefersTheProgramFolderThenTheExecutablesFolder) {
    QtDynamicLibrary fromHome(QtDynamicLibrary::candidatesFor(kProbe, SHELL_PROBE_HOME));
    ASSERT_TRUE(fromHome.load());
    EXPECT_EQ(probeValue(fromHome), kInProgramFolder);
    fromHome.unload();
    EXPECT_EQ(fromHome.resolve("probe_value"), nullptr);

    QTemporaryDir emptyHome;
    QtDynamicLibrary beside(
        QtDynamicLibrary::candidatesFor(kProbe, emptyHome.path().toStdString()));
    ASSERT_TRUE(beside.load());
    EXPECT_EQ(probeValue(beside), kBesideExecutable);
    EXPECT_EQ(beside.resolve("no_such_export"), nullptr);
}

TEST(QtDynamicLibrary, ReportsALibraryFoundNowhere) {
    QTemporaryDir emptyHome;
    QtDynamicLibrary missing(
        QtDynamicLibrary::candidatesFor("libno-such-cipher.so", emptyHome.path().toStdString()));
    EXPECT_FALSE(missing.load());
    EXPECT_EQ(missing.resolve("probe_value"), nullptr);
    missing.unload();
}

}  // namespace
}  // namespace tavorline
