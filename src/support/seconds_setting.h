#pragma once

#include <chrono>
#include <cstdint>

#include "support/bytes.h"

namespace tavorline {

// A time-out from a configuration value in whole seconds: `fallback` when the
// value is missing, not a number or not positive, and never more than `most`.
std::chrono::seconds secondsSetting(BytesView setting, std::int32_t fallback, std::int32_t most);

}  // namespace tavorline
