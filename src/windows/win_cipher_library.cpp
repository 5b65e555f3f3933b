#include "windows/win_cipher_library.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <system_error>

#include "support/configuration.h"
#include "support/profile_file.h"
#include "windows/win_text.h"

namespace tavorline::win {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN64
#define TAVORLINE_STDCALL
constexpr bool kStdcallIsItsOwn = false;
#else
#define TAVORLINE_STDCALL __stdcall
constexpr bool kStdcallIsItsOwn = true;
#endif

constexpr wchar_t kFileName[] = L"VornLib.dll";

// The real exports behind the bridges: those of the library loaded now.
const std::array<void*, kCipherExportCount>* loadedExports = nullptr;

template <std::size_t Index, typename Signature>
struct Bridge;

// A cdecl function that calls export number Index as stdcall.
template <std::size_t Index, typename Result, typename... Args>
struct Bridge<Index, Result(Args...)> {
    using Stdcall = Result(TAVORLINE_STDCALL*)(Args...);
    static Result call(Args... args) {
        return reinterpret_cast<Stdcall>((*loadedExports)[Index])(args...);
    }
    // The N of "name@N": every argument fills whole 4-byte stack slots.
    static constexpr std::size_t argumentBytes =
        (std::size_t{0} + ... + ((sizeof(Args) + 3) / 4 * 4));
};

struct KnownExport {
    const char* name;
    std::size_t argumentBytes;
    void* bridge;
};

template <std::size_t Index, typename Signature>
KnownExport known(const char* name) {
    using B = Bridge<Index, Signature>;
    return {name, B::argumentBytes, reinterpret_cast<void*>(&B::call)};
}

// The signatures of cipher/vornlib.h, as the engine calls them.
const std::array<KnownExport, kCipherExportCount> kKnownExports = {
    known<0, int(const char*, const char*, char*)>("SEED_Vorn"),
    known<1, void(const unsigned char*, const char*, unsigned char*)>("EncDES3"),
    known<2, void(const unsigned char*, const char*, unsigned char*)>("DecDES3"),
    known<3, int(const unsigned char*, int, unsigned char*, unsigned char*)>("GetRsa3DesKey"),
    known<4, int(const char*, const unsigned char*, int, unsigned char*, unsigned char*)>(
        "GetRasEncData"),
    known<5, int(const unsigned char*, int, unsigned char*, unsigned char*)>("GetRasDecData"),
};

// Other compilers export a stdcall function under its plain name; mingw
// decorates it with the size of its arguments, some with a leading "_" too.
void* findExport(HMODULE module, const KnownExport& entry) {
    const std::string name = entry.name;
    const std::string size = std::to_string(entry.argumentBytes);
    for (const std::string& candidate : {name, name + "@" + size, "_" + name + "@" + size}) {
        if (FARPROC address = GetProcAddress(module, candidate.c_str())) {
            return reinterpret_cast<void*>(address);
        }
    }
    return nullptr;
}

fs::path modulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return fs::path(path.substr(0, length));
        path.resize(path.size() * 2);
    }
}

CallingConvention conventionIn(const fs::path& iniFile) {
    auto value = profile::readValue(iniFile, kSection, "VornCall");
    if (!value) return CallingConvention::Stdcall;
    std::transform(value->begin(), value->end(), value->begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    return *value == "cdecl" ? CallingConvention::Cdecl : CallingConvention::Stdcall;
}

fs::path systemFolder(UINT(WINAPI* query)(LPWSTR, UINT)) {
    wchar_t folder[MAX_PATH];
    const UINT length = query(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return fs::path(std::wstring(folder, length));
}

// The library's own dependencies from its folder and the system folders. A
// system that does not know the LOAD_LIBRARY_SEARCH flags refuses them with
// ERROR_INVALID_PARAMETER; the older flag takes the library's folder first
// too, as the path is a full one.
HMODULE loadFile(const fs::path& file) {
    constexpr DWORD kSafeSearch =
        LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
    if (HMODULE module = LoadLibraryExW(file.c_str(), nullptr, kSafeSearch)) return module;
    if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    return LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A full path only: a bare or relative name would let the loader search the
// current folder and PATH.
HMODULE loadFrom(const fs::path& folder) {
    if (folder.empty()) return nullptr;
    std::error_code ec;
    fs::path file = fs::absolute(folder / kFileName, ec);
    if (ec || !file.is_absolute()) return nullptr;
    file.make_preferred();
    return loadFile(file);
}

}  // namespace

WinCipherLibrary::WinCipherLibrary(fs::path programFolder)
    : WinCipherLibrary(std::move(programFolder), modulePath(nullptr).parent_path()) {}

WinCipherLibrary::WinCipherLibrary(fs::path programFolder, fs::path executableFolder)
    : programFolder_(std::move(programFolder)), executableFolder_(std::move(executableFolder)) {}

WinCipherLibrary::~WinCipherLibrary() { unload(); }

bool WinCipherLibrary::load() {
    if (module_ != nullptr) return true;
    convention_ = conventionIn(programFolder_ / "vorn.Ini");
    const fs::path folders[] = {programFolder_, executableFolder_,
                                systemFolder(GetSystemDirectoryW),
                                systemFolder(GetWindowsDirectoryW)};
    for (const fs::path& folder : folders) {
        module_ = loadFrom(folder);
        if (module_ != nullptr) break;
    }
    if (module_ == nullptr) return false;
    exports_.fill(nullptr);
    loadedExports = &exports_;
    return true;
}

void* WinCipherLibrary::resolve(const char* symbol) {
    if (module_ == nullptr || symbol == nullptr) return nullptr;
    const bool bridged = kStdcallIsItsOwn && convention_ == CallingConvention::Stdcall;
    const auto entry =
        std::find_if(kKnownExports.begin(), kKnownExports.end(),
                     [&](const KnownExport& e) { return std::strcmp(e.name, symbol) == 0; });
    if (entry == kKnownExports.end()) {
        return bridged ? nullptr : reinterpret_cast<void*>(GetProcAddress(module_, symbol));
    }
    void* address = findExport(module_, *entry);
    if (address == nullptr || !bridged) return address;
    exports_[static_cast<std::size_t>(entry - kKnownExports.begin())] = address;
    return entry->bridge;
}

void WinCipherLibrary::unload() {
    if (module_ == nullptr) return;
    if (loadedExports == &exports_) loadedExports = nullptr;
    exports_.fill(nullptr);
    FreeLibrary(module_);
    module_ = nullptr;
}

fs::path WinCipherLibrary::loadedPath() const {
    return module_ != nullptr ? modulePath(module_) : fs::path();
}

Bytes WinCipherLibrary::loadedFrom() const { return cp949FromWide(loadedPath().wstring()); }

void keepLibrarySearchToSafeFolders() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto set = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set != nullptr) set(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

}  // namespace tavorline::win
