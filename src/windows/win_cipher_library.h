#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <filesystem>

#include "host/dynamic_library.h"

namespace tavorline::win {

// How the cipher library's exports are called on 32-bit Windows. The shops'
// build of VornLib.dll is stdcall; VornCall=cdecl in section [VORN] of
// vorn.Ini names one that is not. (64-bit Windows has one convention only.)
enum class CallingConvention { Stdcall, Cdecl };

inline constexpr std::size_t kCipherExportCount = 6;

// VornLib.dll from the gateway's folder, else from beside the executable,
// else wherever the system's loader finds it; its own dependencies come from
// the folder it was found in.
//
// The engine calls every export as a plain C (cdecl) function. For a stdcall
// library resolve() hands out a cdecl bridge of the same signature that calls
// the real export: called directly, each call would leave the stack off by
// the size of its arguments. The bridges find the exports through the one
// library loaded in the process, so only one may be loaded at a time.
class WinCipherLibrary : public DynamicLibrary {
public:
    explicit WinCipherLibrary(std::filesystem::path programFolder);
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
    std::filesystem::path loadedFrom() const;
    CallingConvention convention() const { return convention_; }

private:
    std::filesystem::path programFolder_;
    HMODULE module_ = nullptr;
    CallingConvention convention_ = CallingConvention::Stdcall;
    // The real addresses behind the bridges, by export.
    std::array<void*, kCipherExportCount> exports_{};
};

}  // namespace tavorline::win
