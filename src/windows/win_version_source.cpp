#include "windows/win_version_source.h"

#include <windows.h>

#include <string>
#include <vector>

#include "windows/win_text.h"

namespace tavorline::win {
namespace {

std::wstring ownFileName() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        name.resize(name.size() * 2);
    }
}

Bytes versionItem(const std::vector<char>& resource, const char* item) {
    const std::wstring wideItem(item, item + std::char_traits<char>::length(item));
    const std::wstring query = L"\\StringFileInfo\\041203B5\\" + wideItem;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(resource.data(), query.c_str(), &value, &length) || value == nullptr) {
        return " " + Bytes(item) + " not available";
    }
    // The length counts characters, with the terminating zero when it is there.
    std::wstring_view text(static_cast<const wchar_t*>(value), length);
    text = text.substr(0, text.find(L'\0'));
    return cp949FromWide(text);
}

}  // namespace

std::optional<VersionStrings> WinVersionSource::read() const {
    const std::wstring file = ownFileName();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<char> resource(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, resource.data())) return std::nullopt;
    VersionStrings version;
    version.CompanyName = versionItem(resource, "CompanyName");
    version.FileDescription = versionItem(resource, "FileDescription");
    version.FileVersion = versionItem(resource, "FileVersion");
    version.InternalName = versionItem(resource, "InternalName");
    version.LegalCopyright = versionItem(resource, "LegalCopyright");
    version.LegalTrademarks = versionItem(resource, "LegalTrademarks");
    version.OriginalFilename = versionItem(resource, "OriginalFilename");
    version.ProductName = versionItem(resource, "ProductName");
    version.ProductVersion = versionItem(resource, "ProductVersion");
    version.Comments = versionItem(resource, "Comments");
    return version;
}

}  // namespace tavorline::win
