#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>

#include "system_file_identity.h"

namespace tavorline::testing {
namespace {

std::optional<FileIdentity> identityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file, &information)) return std::nullopt;
    return FileIdentity{
        information.dwVolumeSerialNumber,
        (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

}  // namespace

std::optional<FileIdentity> systemIdentityOf(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    return identityOf(handle);
}

// Opened for its attributes only, sharing everything, so the log's own
// stream and other readers are not disturbed.
std::optional<FileIdentity> systemIdentityOf(const std::filesystem::path& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    const auto identity = identityOf(file);
    ::CloseHandle(file);
    return identity;
}

}  // namespace tavorline::testing
