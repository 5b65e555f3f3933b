#pragma once

// What the tests of our programs under Wine share.
#include <windows.h>

#include <chrono>
#include <string>

#include "child_process.h"

namespace tavorline::win {

inline constexpr std::chrono::milliseconds kPatience = testing::kChildPatience;
inline constexpr DWORD kPatienceMs = static_cast<DWORD>(kPatience.count());

// The build's Unix paths, as Wine's Z: drive shows them.
inline std::string windowsPath(const char* unixPath) {
    std::string path = "Z:";
    for (const char* c = unixPath; *c != '\0'; ++c) path += *c == '/' ? '\\' : *c;
    return path;
}

}  // namespace tavorline::win
