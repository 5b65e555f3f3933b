#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>

#include "support/bytes.h"

// Reading and writing single keys of a Windows profile (INI) file, bytes in
// and bytes out, keys and sections matched without regard to ASCII case.
namespace tavorline::profile {

// Values read back are cut to this many bytes, as the Windows profile API does.
inline constexpr std::size_t kMaxValueLength = 2047;

class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The value of `key` in `section`, or nothing when the file, the section or
// the key is missing. Blanks around the value are dropped and one pair of
// matching surrounding quotes is removed, so quoted values keep their blanks.
std::optional<Bytes> readValue(const std::filesystem::path& file, BytesView section,
                               BytesView key);

// Writes one key, creating the file, section or key as needed and keeping
// every other line as it was. The new file replaces the old one in one step,
// so a failure never leaves it half written. A value that the format cannot
// hold (CR, LF or NUL inside) is refused. Throws WriteError.
void writeValue(const std::filesystem::path& file, BytesView section, BytesView key,
                BytesView value);

// How `value` is stored on its line so that readValue gives it back byte for
// byte (quoted when blanks at its ends or surrounding quotes would be lost).
Bytes storedForm(BytesView value);

}  // namespace tavorline::profile
