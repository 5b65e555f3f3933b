#pragma once

#include "support/file_identity.h"

namespace tavorline {

// Device and inode, as stat reports them.
class PosixFileIdentity : public FileIdentityProbe {
public:
    std::optional<FileIdentity> ofStream(std::FILE* stream) const override;
    std::optional<FileIdentity> ofPath(const std::filesystem::path& path) const override;
};

}  // namespace tavorline
