#pragma once

#include <string>

#include "support/bytes.h"
#include "support/profile_file.h"

namespace tavorline::win {

// The gateway keeps its texts in CP949, the Korean ANSI code page; the
// Windows API speaks UTF-16 and the console and pipes of today UTF-8.
// Bytes that are no CP949 character become U+FFFD rather than vanishing.
std::wstring wideFromCp949(BytesView text);
Bytes cp949FromWide(std::wstring_view text);
std::string utf8FromWide(std::wstring_view text);
std::wstring wideFromUtf8(std::string_view text);

// The system's words for an error code (GetLastError, WSAGetLastError) in
// CP949, without the line break and full stop Windows ends them with, and
// the number after them for the log: "Access is denied (5)".
Bytes systemMessage(unsigned long error);

// CP949 through the system, for settings files saved as "Unicode".
class SystemWideText : public profile::WideText {
public:
    Bytes cp949FromWide(std::u16string_view text) const override;
    std::optional<std::u16string> wideFromCp949(BytesView text) const override;
};

inline std::string utf8FromCp949(BytesView text) { return utf8FromWide(wideFromCp949(text)); }

}  // namespace tavorline::win
