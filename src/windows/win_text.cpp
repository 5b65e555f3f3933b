#include "windows/win_text.h"

#include <windows.h>

namespace tavorline::win {
namespace {

constexpr UINT kCp949 = 949;

std::wstring toWide(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string fromWide(UINT codePage, std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
    return bytes;
}

}  // namespace

std::wstring wideFromCp949(BytesView text) { return toWide(kCp949, text); }
Bytes cp949FromWide(std::wstring_view text) { return fromWide(kCp949, text); }
std::string utf8FromWide(std::wstring_view text) { return fromWide(CP_UTF8, text); }
std::wstring wideFromUtf8(std::string_view text) { return toWide(CP_UTF8, text); }

Bytes SystemWideText::cp949FromWide(std::u16string_view text) const {
    return fromWide(kCp949,
                    std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size()));
}

std::optional<std::u16string> SystemWideText::wideFromCp949(BytesView text) const {
    if (text.empty()) return std::u16string();
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(kCp949, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length == 0) return std::nullopt;
    std::u16string wide(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(kCp949, MB_ERR_INVALID_CHARS, text.data(), size,
                        reinterpret_cast<wchar_t*>(wide.data()), length);
    return wide;
}

Bytes systemMessage(unsigned long error) {
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text = length > 0 ? std::wstring(message, length) : L"system error";
    if (message != nullptr) LocalFree(message);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.' ||
                             text.back() == L' ')) {
        text.pop_back();
    }
    return cp949FromWide(text) + " (" + std::to_string(error) + ")";
}

}  // namespace tavorline::win
