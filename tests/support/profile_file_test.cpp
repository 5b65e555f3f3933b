#include "support/profile_file.h"

#include <gtest/gtest.h>

#include <functional>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "temp_folder.h"

namespace tavorline::profile {
namespace {

using namespace std::string_literals;
using testing::readBytes;
using testing::writeBytes;

class ProfileFile : public ::testing::Test {
protected:
    testing::TempFolder folder;
    const std::filesystem::path ini = folder / "vorn.Ini";
};

TEST_F(ProfileFile, AwkwardValuesComeBackByteForByte) {
    const Bytes record = Bytes(593, 'R') + "\xC1\xA2     ";  // 600 bytes, blanks at the end
    const Bytes values[] = {"10.0.0.1",
                            "",
                            "  lead",
                            "trail\t ",
                            "   ",
                            "\"quoted\"",
                            "'single'",
                            "\"",
                            "'a\"",
                            " \"x\" ",
                            "\xC1\xA2\xBC\xD3 \xB0\xF8",
                            "a=b;c[d]",
                            record};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        writeValue(ini, "VORN", "Key" + std::to_string(i), values[i]);
    }
    for (std::size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(readValue(ini, "VORN", "Key" + std::to_string(i)), values[i]);
    }
    // Values that need no quotes stay as they were typed, for people and for Windows.
    const Bytes file = readBytes(ini);
    EXPECT_NE(file.find("\r\nKey0=10.0.0.1\r\n"), Bytes::npos);
    EXPECT_NE(file.find("\r\nKey2=\"  lead\"\r\n"), Bytes::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1)
        << "no temporary file may stay behind";
}

TEST_F(ProfileFile, ReadsHandWrittenFilesAsWindowsDoes) {
    writeBytes(ini,
               "; settings\n[Other]\nEcPort=9\n[ vorn ]  ; main\n"
               "  ecport  =\t 3 \t\nQuoted= 'a b' \nHalf=\"abc\nLone=\"\nNoValue=\nJunk line\n"
               "Long=" +
                   Bytes(3000, 'x') + "\n[VORN]\nLater=1\n");
    EXPECT_EQ(readValue(ini, "VORN", "EcPort"), "3");
    EXPECT_EQ(readValue(ini, "VORN", "quoted"), "a b");
    EXPECT_EQ(readValue(ini, "VORN", "Half"), "\"abc");
    EXPECT_EQ(readValue(ini, "VORN", "Lone"), "\"");
    EXPECT_EQ(readValue(ini, "VORN", "NoValue"), "");
    EXPECT_EQ(readValue(ini, "VORN", "Long"), Bytes(kMaxValueLength, 'x'));
    EXPECT_EQ(readValue(ini, "VORN", "Missing"), std::nullopt);
    EXPECT_EQ(readValue(ini, "NONE", "EcPort"), std::nullopt);
    EXPECT_EQ(readValue(folder / "absent.ini", "VORN", "EcPort"), std::nullopt);
    // Only the first section of a name counts, as with Windows.
    EXPECT_EQ(readValue(ini, "VORN", "Later"), std::nullopt);
}

TEST_F(ProfileFile, WritesChangeOnlyTheirLine) {
    writeBytes(ini, "[VORN]\n; hand note\nRsaYN = N\nEcPort=1\n\n[Other]\nX=1\n");
    writeValue(ini, "vorn", "RsaYn", "Y");
    writeValue(ini, "VORN", "LastData", "d");
    writeValue(ini, "Other", "Y", "2");
    writeValue(ini, "New", "K", "v");
    EXPECT_EQ(readBytes(ini),
              "[VORN]\n; hand note\nRsaYN = Y\nEcPort=1\nLastData=d\n\n[Other]\nX=1\nY=2\n"
              "\n[New]\nK=v\n");
}

TEST_F(ProfileFile, NewFileUsesCrLfAndLastLineGetsItsEnd) {
    writeValue(ini, "VORN", "EcPort", "3");
    EXPECT_EQ(readBytes(ini), "[VORN]\r\nEcPort=3\r\n");

    writeBytes(ini, "[VORN]\r\nEcPort=3");
    writeValue(ini, "VORN", "EcSpeed", "9600");
    EXPECT_EQ(readBytes(ini), "[VORN]\r\nEcPort=3\r\nEcSpeed=9600\r\n");
}

TEST_F(ProfileFile, RefusedWriteLeavesOldFileIntact) {
    const Bytes before = "[VORN]\r\nLastData=old\r\n";
    writeBytes(ini, before);
    for (const Bytes& bad : {"a\r\nb"s, "a\nEcPort=7"s, "a\0b"s}) {
        EXPECT_THROW(writeValue(ini, "VORN", "LastData", bad), WriteError);
    }
    EXPECT_THROW(writeValue(ini, "VORN", "Key=", "v"), WriteError);
    EXPECT_THROW(writeValue(folder / "no-such-folder" / "vorn.Ini", "VORN", "K", "v"), WriteError);
    EXPECT_EQ(readBytes(ini), before);

    // A folder in the file's place reads as missing and is never written over.
    std::filesystem::create_directories(folder / "blocked" / "inside");
    EXPECT_EQ(readValue(folder / "blocked", "VORN", "K"), std::nullopt);
    EXPECT_THROW(writeValue(folder / "blocked", "VORN", "K", "v"), WriteError);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);
}

#if !defined(_WIN32)
// Runs `write` as a user who may not create files in `folder`: as root in a
// child that becomes "nobody", otherwise here with the folder made read-only.
bool writesWithoutFolderAccess(const std::filesystem::path& folder,
                               const std::function<void()>& write) {
    if (::geteuid() != 0) {
        ::chmod(folder.c_str(), 0555);
        bool written = true;
        try {
            write();
        } catch (const WriteError&) {
            written = false;
        }
        ::chmod(folder.c_str(), 0755);
        return written;
    }
    ::chmod(folder.c_str(), 0755);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(20);
        try {
            write();
        } catch (const WriteError&) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(ProfileFile, WritableFileInAReadOnlyFolderIsRewrittenInPlace) {
    writeBytes(ini, "[VORN]\r\nEcPort=3\r\nLastData=old\r\n");
    ::chmod(ini.c_str(), 0666);
    EXPECT_TRUE(writesWithoutFolderAccess(folder.path(), [&] {
        writeValue(ini, "VORN", "LastData", "new");
        writeValue(ini, "VORN", "AdslCPort", "3");
    }));
    EXPECT_EQ(readBytes(ini), "[VORN]\r\nEcPort=3\r\nLastData=new\r\nAdslCPort=3\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1)
        << "no temporary file is left";

    ::chmod(ini.c_str(), 0444);
    EXPECT_FALSE(writesWithoutFolderAccess(folder.path(), [&] {
        writeValue(ini, "VORN", "LastData", "refused");
    })) << "a read-only file in a read-only folder is refused";
    EXPECT_EQ(readValue(ini, "VORN", "LastData"), "new");
}
#endif

}  // namespace
}  // namespace tavorline::profile
