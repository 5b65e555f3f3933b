#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <filesystem>

#include "host/dynamic_library.h"
#include "support/bytes.h"

namespace tavorline::win {

// How the cipher library's exports are called on 32-bit Windows. The shops'
// build of VornLib.dll is stdcall; VornCall=cdecl in section [VORN] of
// vorn.Ini names one that is not. (64-bit Windows has one convention only.)
enum class CallingConvention { Stdcall, Cdecl };

inline constexpr std::size_t kCipherExportCount = 6;

// VornLib.dll by its full path: from the gateway's folder, else from beside
// the executable, else from the system folder, else from the Windows folder.
// Never from the current folder or PATH: a shop PC's current folder is
// wherever a shortcut or a script left it, and a DLL planted there would see
// every card number. Its own dependencies come from the folder it was found
// in and the system folders.
//
// The engine calls every export as a plain C (cdecl) function. For a stdcall
// library resolve() hands out a cdecl bridge of the same signature that calls
// the real export: called directly, each call would leave the stack off by
// the size of its arguments. The bridges find the exports through the one
// library loaded in the process, so only one may be loaded at a time.
class WinCipherLibrary : public DynamicLibrary {
public:
    explicit WinCipherLibrary(std::filesystem::path programFolder);
    // With the folder that stands for the executable's own (for tests).
    WinCipherLibrary(std::filesystem::path programFolder, std::filesystem::path executableFolder);
    ~WinCipherLibrary() override;
    WinCipherLibrary(const WinCipherLibrary&) = delete;
    WinCipherLibrary& operator=(const WinCipherLibrary&) = delete;

    // Reads the calling convention from vorn.Ini, then loads the library.
    bool load() override;
    // One of the six exports the engine knows, under its plain name or its
    // stdcall decoration ("name@N" or "_name@N"); nullptr when missing.
    // A stdcall library resolves no other name, as no bridge could call it.
    void* resolve(const char* symbol) override;
    void unload() override;

    // The file that loaded, empty while nothing is loaded.
    std::filesystem::path loadedPath() const;
    Bytes loadedFrom() const override;
    CallingConvention convention() const { return convention_; }

private:
    std::filesystem::path programFolder_;
    std::filesystem::path executableFolder_;
    HMODULE module_ = nullptr;
    CallingConvention convention_ = CallingConvention::Stdcall;
    // The real addresses behind the bridges, by export.
    std::array<void*, kCipherExportCount> exports_{};
};

// Takes the current folder and PATH out of the loader's search for every
// library the process loads by name from now on; called first thing in
// main(). Where the system lacks the call (Windows 7 without KB2533623) the
// old search stays.
void keepLibrarySearchToSafeFolders();

}  // namespace tavorline::win
