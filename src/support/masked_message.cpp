#include "support/masked_message.h"

#include <array>
#include <algorithm>

namespace tavorline {

bool isMaskedMessage(BytesView message) {
    static constexpr std::array<BytesView, 13> kMaskedCodes = {
        "NC", "ND", "BD", "BK", "EP", "PI", "WL", "PJ", "PM", "BO", "BM", "PN", "BQ"};
    const BytesView code = message.substr(std::min<std::size_t>(1, message.size()), 2);
    if (std::find(kMaskedCodes.begin(), kMaskedCodes.end(), code) != kMaskedCodes.end()) return true;
    if (code.starts_with('A')) return true;
    const BytesView seed = message.substr(std::min<std::size_t>(3, message.size()), 8);
    return code == "BP" && seed != "AAAAAAAA";
}

}  // namespace tavorline
