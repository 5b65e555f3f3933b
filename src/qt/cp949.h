#pragma once

#include <QString>

#include "support/bytes.h"
#include "support/profile_file.h"

namespace tavorline {

// The engine's texts are CP949 (the Korean ANSI code page); Qt's are Unicode.
// Both directions go through the C library's iconv.

// Bytes that are not CP949 become U+FFFD, one per bad byte.
QString fromCp949(BytesView bytes);
// Characters CP949 cannot express become '?'.
Bytes toCp949(const QString& text);

// The same conversions for settings files saved as "Unicode".
class Cp949WideText : public profile::WideText {
public:
    Bytes cp949FromWide(std::u16string_view text) const override;
    std::optional<std::u16string> wideFromCp949(BytesView text) const override;
};

}  // namespace tavorline
