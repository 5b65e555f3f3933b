#pragma once

#include <QString>

#include "support/bytes.h"

namespace tavorline {

// The engine's texts are CP949 (the Korean ANSI code page); Qt's are Unicode.
// Both directions go through the C library's iconv.

// Bytes that are not CP949 become U+FFFD, one per bad byte.
QString fromCp949(BytesView bytes);
// Characters CP949 cannot express become '?'.
Bytes toCp949(const QString& text);

}  // namespace tavorline
