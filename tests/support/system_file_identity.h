#pragma once

#include "support/file_identity.h"

namespace tavorline::testing {

// What the system itself says about a file: device and inode from stat, or
// the volume serial number and file index on Windows. CMake picks the source.
std::optional<FileIdentity> systemIdentityOf(std::FILE* stream);
std::optional<FileIdentity> systemIdentityOf(const std::filesystem::path& path);

// The system's answers, counting the streams asked about: the daily log asks
// about a stream once, when it has just opened it, so the count is the
// number of times it opened today's file.
class SystemFileIdentity : public FileIdentityProbe {
public:
    std::optional<FileIdentity> ofStream(std::FILE* stream) const override {
        ++opens;
        return systemIdentityOf(stream);
    }
    std::optional<FileIdentity> ofPath(const std::filesystem::path& path) const override {
        return systemIdentityOf(path);
    }

    mutable int opens = 0;
};

}  // namespace tavorline::testing
