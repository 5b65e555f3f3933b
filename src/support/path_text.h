#pragma once

#include <filesystem>

#include "support/bytes.h"

namespace tavorline {

// Paths as text, for the INI path the engine hands around, log lines and
// error messages. On Windows the text is UTF-8: path::string() would go
// through the ANSI code page, which differs from PC to PC and cannot spell
// every folder name (a Korean folder on a PC set to another language).
// Elsewhere a path is bytes already and its text is those bytes unchanged.
Bytes pathText(const std::filesystem::path& path);

// The path that pathText() spelled. On Windows, text that is not UTF-8 is
// read in the ANSI code page, as a plain narrow file name would be.
std::filesystem::path pathFromText(BytesView text);

}  // namespace tavorline
