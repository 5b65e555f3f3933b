#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace tavorline {

// Which file an open stream or a path names (a device and an inode, or a
// volume and a file index): equal identities are one and the same file,
// whatever its name is now.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The platform's answer to "is this still the file at that path?". A log
// kept open between lines needs it: a rotation or backup tool may rename
// the file and put a new one at its path.
class FileIdentityProbe {
public:
    virtual ~FileIdentityProbe() = default;
    virtual std::optional<FileIdentity> ofStream(std::FILE* stream) const = 0;
    // Nothing when the path names no file.
    virtual std::optional<FileIdentity> ofPath(const std::filesystem::path& path) const = 0;
};

}  // namespace tavorline
