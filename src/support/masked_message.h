#pragma once

#include "support/bytes.h"

namespace tavorline {

// Whether a terminal or host message is of a masked type and must go through
// Unmask_Frame to be readable: codes NC ND BD BK EP PI WL PJ PM BO BM PN BQ,
// any code starting with "A", and "BP" unless its seed is "AAAAAAAA".
bool isMaskedMessage(BytesView message);

}  // namespace tavorline
