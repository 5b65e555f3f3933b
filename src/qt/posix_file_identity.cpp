#include "qt/posix_file_identity.h"

#include <sys/stat.h>

namespace tavorline {
namespace {

FileIdentity identityOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

std::optional<FileIdentity> PosixFileIdentity::ofStream(std::FILE* stream) const {
    struct stat status {};
    if (::fstat(::fileno(stream), &status) != 0) return std::nullopt;
    return identityOf(status);
}

std::optional<FileIdentity> PosixFileIdentity::ofPath(const std::filesystem::path& path) const {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return identityOf(status);
}

}  // namespace tavorline
