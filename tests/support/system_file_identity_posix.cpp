#include <sys/stat.h>

#include "system_file_identity.h"

namespace tavorline::testing {
namespace {

FileIdentity identityOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

std::optional<FileIdentity> systemIdentityOf(std::FILE* stream) {
    struct stat status {};
    if (::fstat(::fileno(stream), &status) != 0) return std::nullopt;
    return identityOf(status);
}

std::optional<FileIdentity> systemIdentityOf(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return identityOf(status);
}

}  // namespace tavorline::testing
