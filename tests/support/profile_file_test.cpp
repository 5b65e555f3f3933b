#include "support/profile_file.h"

#include <gtest/gtest.h>

#include <functional>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
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
               "  Bare \nBare=2\nCut=ab\0cd\nQCut=\"ab\0c\"\nLong="s +
                   Bytes(3000, 'x') + "\n[VORN]\nLater=1\n");
    EXPECT_EQ(readValue(ini, "VORN", "EcPort"), "3");
    // A line that only names a key is that key, empty, and hides later lines of it.
    EXPECT_EQ(readValue(ini, "VORN", "bare"), "");
    EXPECT_EQ(readValue(ini, "VORN", "Junk line"), "");
    // A NUL ends the value, and quotes are judged on what is left.
    EXPECT_EQ(readValue(ini, "VORN", "Cut"), "ab");
    EXPECT_EQ(readValue(ini, "VORN", "QCut"), "\"ab");
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

TEST_F(ProfileFile, KeyLineWithoutEqualsIsTheOneWritten) {
    writeBytes(ini, "[VORN]\r\n EcPort \r\nEcPort=3\r\n");
    writeValue(ini, "VORN", "ecport", "5");
    EXPECT_EQ(readBytes(ini), "[VORN]\r\n EcPort=5\r\nEcPort=3\r\n");
    EXPECT_EQ(readValue(ini, "VORN", "EcPort"), "5");
}

// Knows two Korean characters and ASCII, like a code page with a hole in it.
class TwoSyllables : public WideText {
public:
    Bytes cp949FromWide(std::u16string_view text) const override {
        Bytes out;
        for (const char16_t c : text) {
            if (c == u'\uB300')
                out += "\xB4\xEB";
            else if (c == u'\uAE30')
                out += "\xB1\xE2";
            else
                out += c < 0x80 ? static_cast<char>(c) : '?';
        }
        return out;
    }
    std::optional<std::u16string> wideFromCp949(BytesView text) const override {
        std::u16string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text.substr(i, 2) == "\xB4\xEB")
                out += u'\uB300';
            else if (text.substr(i, 2) == "\xB1\xE2")
                out += u'\uAE30';
            else if (static_cast<unsigned char>(text[i]) < 0x80)
                out += static_cast<char16_t>(text[i]);
            else
                return std::nullopt;
            if (static_cast<unsigned char>(text[i]) >= 0x80) ++i;
        }
        return out;
    }
};

Bytes utf16Le(std::u16string_view text) {
    Bytes out = "\xFF\xFE";
    for (const char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

TEST_F(ProfileFile, UnicodeFileIsReadAndStaysUnicode) {
    static const TwoSyllables converter;
    useWideText(converter);
    // The comment holds a character the code page lacks: an unchanged line
    // must come back as it was, not as '?'.
    writeBytes(ini,
               utf16Le(u"; \u263A note\r\n[VORN]\r\nEcPort=3\r\nState=\uB300\uAE30\r\nEcType"));
    EXPECT_EQ(readValue(ini, "VORN", "EcPort"), "3");
    EXPECT_EQ(readValue(ini, "VORN", "State"), "\xB4\xEB\xB1\xE2");
    EXPECT_EQ(readValue(ini, "VORN", "EcType"), "");

    writeValue(ini, "VORN", "EcPort", "4");
    writeValue(ini, "VORN", "LastData", "\xB1\xE2 x");
    writeValue(ini, "VORN", "EcType", "A");
    EXPECT_EQ(readBytes(ini),
              utf16Le(u"; \u263A note\r\n[VORN]\r\nEcPort=4\r\nState=\uB300\uAE30\r\nEcType=A\r\n"
                      u"LastData=\uAE30 x\r\n"));

    // A value the converter cannot put into UTF-16 leaves the file alone.
    const Bytes before = readBytes(ini);
    EXPECT_THROW(writeValue(ini, "VORN", "State", "\xC1\xA2"), WriteError);
    EXPECT_EQ(readBytes(ini), before);
}

TEST_F(ProfileFile, SnapshotAnswersFromTheFileAsItWasRead) {
    writeBytes(ini, "[VORN]\r\nEcPort=3\r\n[Other]\r\nEcPort=9");
    const Snapshot narrow(ini);
    writeValue(ini, "VORN", "EcPort", "4");
    EXPECT_EQ(narrow.value("vorn", "ECPORT"), "3");
    EXPECT_EQ(narrow.value("Other", "EcPort"), "9");
    EXPECT_EQ(narrow.value("VORN", "EcSpeed"), std::nullopt);

    writeBytes(ini, utf16Le(u"[VORN]\r\nEcPort=\" 5\"\r\n"));
    const Snapshot wide(ini);
    std::filesystem::remove(ini);
    EXPECT_EQ(wide.value("VORN", "EcPort"), " 5");
    EXPECT_EQ(Snapshot(ini).value("VORN", "EcPort"), std::nullopt);
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
// Runs `write` in a child process as a user who may not create files in
// `folder`: "nobody" when we are root, else us with the folder made
// read-only. `fileSizeLimit` stands in for a disk that fills up: a write
// past it fails as it would with ENOSPC.
bool writesWithoutFolderAccess(const std::filesystem::path& folder,
                               const std::function<void()>& write,
                               rlim_t fileSizeLimit = RLIM_INFINITY) {
    const bool root = ::geteuid() == 0;
    ::chmod(folder.c_str(), root ? 0755 : 0555);
    const pid_t child = ::fork();
    if (child == 0) {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(20);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(21);
        try {
            write();
        } catch (const WriteError&) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(folder.c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) < 20) << "child status " << status;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(ProfileFile, InPlaceWriteThatFailsPutsTheOldFileBack) {
    Bytes before = "[VORN]\r\n";
    for (int i = 0; i < 150; ++i) before += "Key" + std::to_string(i) + "=value\r\n";
    writeBytes(ini, before);
    ::chmod(ini.c_str(), 0666);
    EXPECT_FALSE(writesWithoutFolderAccess(
        folder.path(), [&] { writeValue(ini, "VORN", "LastData", Bytes(600, 'R')); },
        before.size() + 100));
    EXPECT_EQ(readBytes(ini), before);
}

TEST_F(ProfileFile, NoTemporaryFileForAnotherReasonMeansNoWrite) {
    // Too long a name for the temporary file beside it: a fault the file
    // itself would meet in place as well, so it is left as it was.
    const auto longName = folder / (Bytes(240, 'v') + ".Ini");
    const Bytes before = "[VORN]\r\nEcPort=3\r\n";
    writeBytes(longName, before);
    EXPECT_THROW(writeValue(longName, "VORN", "EcPort", "4"), WriteError);
    EXPECT_EQ(readBytes(longName), before);
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
