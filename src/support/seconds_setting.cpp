#include "support/seconds_setting.h"

#include <algorithm>

#include "support/framing.h"

namespace tavorline {

std::chrono::seconds secondsSetting(BytesView setting, std::int32_t fallback, std::int32_t most) {
    std::int32_t seconds = Str_ToNum(setting);
    if (seconds <= 0) seconds = fallback;
    return std::chrono::seconds(std::min(seconds, most));
}

}  // namespace tavorline
