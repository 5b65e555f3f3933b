#pragma once

#include "support/configuration.h"

namespace tavorline::win {

// The version strings from the running program's own version resource,
// block 041203B5 (Korean, code page 949). An item the resource lacks reads
// " <name> not available".
class WinVersionSource : public VersionSource {
public:
    std::optional<VersionStrings> read() const override;
};

}  // namespace tavorline::win
