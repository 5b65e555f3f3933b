// handle-count.exe IMAGE   prints "PID HANDLES" for the running program whose
//                          executable is named IMAGE (e.g. tavorline.exe);
//                          exits 3 when none runs, 1 when counting failed.
// GetProcessHandleCount would be the plain way, but Wine answers it with 0.
// The system's handle table is there on both, so the count comes from it.
#include <windows.h>
// After windows.h, which they need.
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <vector>

namespace {

// The table's layout as NtQuerySystemInformation fills it for
// SystemExtendedHandleInformation (class 64); winternl.h does not declare it.
struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    HANDLE handle;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};
struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};
constexpr auto kExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

std::optional<DWORD> processIdOf(const wchar_t* image) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<DWORD> found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, image) == 0) found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

std::optional<unsigned long> handleCount(DWORD processId) {
    // The table grows while we ask; ask again with room for the new size.
    std::vector<unsigned char> buffer(1 << 20);
    NTSTATUS status;
    for (;;) {
        ULONG needed = 0;
        status = NtQuerySystemInformation(kExtendedHandleInformation, buffer.data(),
                                          static_cast<ULONG>(buffer.size()), &needed);
        if (status != kInfoLengthMismatch) break;
        buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
    }
    if (status < 0) return std::nullopt;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    unsigned long count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
        if (table->entries[i].processId == processId) ++count;
    }
    return count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: handle-count.exe IMAGE\n", stderr);
        return 2;
    }
    const std::optional<DWORD> processId = processIdOf(argv[1]);
    if (!processId) {
        std::fprintf(stderr, "handle-count: %ls is not running\n", argv[1]);
        return 3;
    }
    const std::optional<unsigned long> count = handleCount(*processId);
    if (!count) {
        std::fputs("handle-count: the handle table cannot be read\n", stderr);
        return 1;
    }
    std::printf("%lu %lu\n", static_cast<unsigned long>(*processId), *count);
    return 0;
}
