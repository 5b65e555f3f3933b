#pragma once

#include "support/configuration.h"

namespace tavorline {

// The version strings of this build (the project version from CMake).
class BuildVersionSource : public VersionSource {
public:
    std::optional<VersionStrings> read() const override;
};

}  // namespace tavorline
