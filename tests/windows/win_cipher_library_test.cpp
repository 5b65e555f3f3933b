#include "windows/win_cipher_library.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/cipher_library.h"
#include "temp_folder.h"
#include "windows/win_text.h"

namespace tavorline::win {
namespace {

namespace fs = std::filesystem;
using tavorline::testing::TempFolder;
using tavorline::testing::writeBytes;

// "ABCDEFGH12" XOR the key "QWVRMXZL" block by block, as the stand-in
// library's EncDES3 does; the second block is "12" and six zero bytes.
const Bytes kXoredBlocks("\x10\x15\x15\x16\x08\x1e\x1d\x04`eVRMXZL", 16);

// Thousands of calls in a row: a bridge of the wrong convention leaves the
// stack off by the arguments' size at every call, which soon overwrites this
// frame or crashes, so results, counter and canary must all come through.
void expectManyCallsIntact(CipherLibrary& cipher, const Bytes& seedResult) {
    volatile std::uint32_t canary = 0x5EEDC0DE;
    int calls = 0;
    for (int i = 0; i < 3000; ++i) {
        Bytes seed = "unchanged";
        ASSERT_EQ(cipher.SeedCrypt('E', "card 1234", seed), static_cast<int>(seedResult.size()));
        ASSERT_EQ(seed, seedResult);
        ASSERT_EQ(cipher.Des3Crypt('E', "ABCDEFGH12"), kXoredBlocks);
        ++calls;
    }
    EXPECT_EQ(calls, 3000);
    EXPECT_EQ(canary, 0x5EEDC0DEu);
}

// The program's folder under a Korean name, as shops have it.
fs::path koreanProgramFolder(const TempFolder& temp) {
    const fs::path folder = temp.path() / fs::path(u8"포스") / "Tavorline";
    fs::create_directories(folder);
    return folder;
}

struct ConventionCase {
    const char* library;
    const char* ini;  // nullptr: no vorn.Ini at all
    CallingConvention convention;
    const char* seedResult;
};

// The stdcall stand-in exports only decorated names (SEED_Vorn@12), the cdecl
// one only plain names. Either sits in the program's folder and must win over
// our own VornLib.dll beside the test program.
TEST(WinCipherLibraryTest, CallsTheProgramFoldersLibraryInTheConventionTheIniNames) {
    const ConventionCase cases[] = {
        {FAKE_VORNLIB_STDCALL_PATH, nullptr, CallingConvention::Stdcall, "stdcall:E:card 1234"},
        {FAKE_VORNLIB_STDCALL_PATH, "[VORN]\r\nVornCall=stdcall\r\n", CallingConvention::Stdcall,
         "stdcall:E:card 1234"},
        {FAKE_VORNLIB_CDECL_PATH, "[vorn]\r\nvorncall = CDECL\r\n", CallingConvention::Cdecl,
         "cdecl:E:card 1234"},
    };
    for (const ConventionCase& c : cases) {
        SCOPED_TRACE(c.seedResult);
        TempFolder temp;
        const fs::path folder = koreanProgramFolder(temp);
        fs::copy_file(c.library, folder / "VornLib.dll");
        if (c.ini != nullptr) writeBytes(folder / "vorn.Ini", c.ini);

        WinCipherLibrary library(folder);
        CipherLibrary cipher(library);
        cipher.load();
        EXPECT_TRUE(fs::equivalent(library.loadedPath(), folder / "VornLib.dll"));
        EXPECT_EQ(library.convention(), c.convention);
        expectManyCallsIntact(cipher, c.seedResult);

        // A missing export is simply not there.
        EXPECT_EQ(library.resolve("DecDES3"), nullptr);
        EXPECT_THROW(cipher.Des3Crypt('D', kXoredBlocks), CipherUnavailable);
        cipher.unload();
        EXPECT_EQ(library.loadedPath(), fs::path());
    }
}

// Nothing in the program's folder: our own build beside the program loads,
// stdcall with plain names, and SEED goes there and back.
TEST(WinCipherLibraryTest, OwnLibraryBesideTheProgramRoundTripsSeed) {
    TempFolder temp;
    WinCipherLibrary library(koreanProgramFolder(temp));
    CipherLibrary cipher(library);
    cipher.load();
    ASSERT_EQ(library.loadedPath().filename(), "VornLib.dll");

    Bytes sealed = "4092-1234-5678-9012";
    ASSERT_GT(cipher.SeedCrypt('E', "4092-1234-5678-9012", sealed), 0);
    EXPECT_NE(sealed, "4092-1234-5678-9012");
    Bytes opened;
    EXPECT_EQ(cipher.SeedCrypt('D', sealed, opened), 19);
    EXPECT_EQ(opened, "4092-1234-5678-9012");
    cipher.unload();
}

// The current folder and PATH as a shortcut or a script may leave them;
// both are put back when the test ends.
class PlantedSearchPlaces {
public:
    PlantedSearchPlaces() {
        wchar_t folder[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, folder);
        oldFolder_ = folder;
        std::wstring path(GetEnvironmentVariableW(L"PATH", nullptr, 0), L'\0');
        GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size()));
        oldPath_ = path.c_str();
    }
    ~PlantedSearchPlaces() {
        SetCurrentDirectoryW(oldFolder_.c_str());
        SetEnvironmentVariableW(L"PATH", oldPath_.c_str());
    }
    void currentFolder(const fs::path& folder) { SetCurrentDirectoryW(folder.c_str()); }
    void firstOnPath(const fs::path& folder) {
        SetEnvironmentVariableW(L"PATH", (folder.wstring() + L";" + oldPath_).c_str());
    }

private:
    std::wstring oldFolder_;
    std::wstring oldPath_;
};

// The test program's folder has our own VornLib.dll; an empty folder stands
// for the executable's here, so only a planted copy could answer.
TEST(WinCipherLibraryTest, NeverLoadsACopyFromTheCurrentFolderOrPath) {
    TempFolder temp;
    const fs::path gateway = koreanProgramFolder(temp);
    const fs::path executable = temp / "exe";
    const fs::path planted = temp / "planted";
    fs::create_directories(executable);
    fs::create_directories(planted);
    fs::copy_file(FAKE_VORNLIB_CDECL_PATH, planted / "VornLib.dll");
    PlantedSearchPlaces places;

    for (const bool onPath : {false, true}) {
        SCOPED_TRACE(onPath ? "on PATH" : "in the current folder");
        if (onPath) {
            places.firstOnPath(planted);
        } else {
            places.currentFolder(planted);
        }
        WinCipherLibrary library(gateway, executable);
        EXPECT_FALSE(library.load()) << library.loadedPath();
        library.unload();
    }

    // The gateway's own copy loads, and the log names it in CP949.
    fs::copy_file(FAKE_VORNLIB_STDCALL_PATH, gateway / "VornLib.dll");
    WinCipherLibrary library(gateway, executable);
    ASSERT_TRUE(library.load());
    EXPECT_TRUE(fs::equivalent(library.loadedPath(), gateway / "VornLib.dll"));
    EXPECT_NE(library.loadedFrom().find("\xC6\xF7\xBD\xBA\\Tavorline\\VornLib.dll"), Bytes::npos)
        << library.loadedFrom();
    library.unload();
}

// After the call main() makes first, a library asked for by name alone is
// no longer looked for in the current folder.
TEST(WinCipherLibraryTest, ProgramStartTakesTheCurrentFolderOutOfTheSearch) {
    TempFolder temp;
    fs::copy_file(FAKE_VORNLIB_CDECL_PATH, temp / "planted_probe.dll");
    PlantedSearchPlaces places;
    places.currentFolder(temp.path());

    HMODULE before = LoadLibraryExW(L"planted_probe.dll", nullptr, 0);
    ASSERT_NE(before, nullptr) << "the loader's default search should find it here";
    FreeLibrary(before);

    keepLibrarySearchToSafeFolders();
    HMODULE after = LoadLibraryExW(L"planted_probe.dll", nullptr, 0);
    EXPECT_EQ(after, nullptr);
    if (after != nullptr) FreeLibrary(after);
}

}  // namespace
}  // namespace tavorline::win
