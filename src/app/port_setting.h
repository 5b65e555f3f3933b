#pragma once

#include "support/bytes.h"

namespace tavorline {

// What a first start tells the user when no terminal port is configured:
// one line naming the file, the key and where to set it. `ecPort` is the
// EcPort value as read ("Empty" when the key or the file is missing).
Bytes missingPortAdvice(BytesView iniPath, bool iniExists, BytesView ecPort);

}  // namespace tavorline
