#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "support/bytes.h"
#include "support/file_store.h"

// Reading and writing single keys of a Windows profile (INI) file, bytes in
// and bytes out, keys and sections matched without regard to ASCII case.
// Files saved as "Unicode" (UTF-16 LE behind its byte-order mark, as Notepad
// offers) are read and written as well and stay UTF-16; their values travel
// as CP949 like every other text of the gateway.
namespace tavorline::profile {

// Values read back are cut to this many bytes. The Windows profile API has no
// limit of its own (it fills whatever buffer the caller passes); the program
// the gateway replaces read every key through a 2,048-byte buffer, so a
// longer value reached it, and reaches us, as its first 2,047 bytes.
inline constexpr std::size_t kMaxValueLength = 2047;

using WriteError = FileWriteError;

// Between CP949 and UTF-16, for files saved as "Unicode". The engine has no
// code page tables of its own: each shell installs the system's converter.
class WideText {
public:
    virtual ~WideText() = default;
    // Characters CP949 cannot express become '?'.
    virtual Bytes cp949FromWide(std::u16string_view text) const = 0;
    // Nothing when `text` is no valid CP949.
    virtual std::optional<std::u16string> wideFromCp949(BytesView text) const = 0;
};

// Process-wide, set once at start by the shell, which keeps it alive. Until
// then only ASCII crosses: other characters read as '?' and a write that
// would need them into a UTF-16 file is refused.
void useWideText(const WideText& converter);

// The value of `key` in `section`, or nothing when the file, the section or
// the key is missing. Blanks around the value are dropped and one pair of
// matching surrounding quotes is removed, so quoted values keep their blanks.
// As with Windows, a line that holds only a key name is that key with an
// empty value, the first line of a key is the one that counts, and a NUL
// ends the value.
std::optional<Bytes> readValue(const std::filesystem::path& file, BytesView section, BytesView key,
                               const FileStore& files = diskFiles());

// One reading of a profile file, for taking several keys from it: a loader
// that reads every setting from one snapshot gets one state of the file, even
// while another program saves it, and parses it once rather than per key.
class Snapshot {
public:
    explicit Snapshot(const std::filesystem::path& file, const FileStore& files = diskFiles());
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    // As readValue gives it.
    std::optional<Bytes> value(BytesView section, BytesView key) const;

private:
    struct Lines;
    std::unique_ptr<Lines> lines_;
};

// Writes one key, creating the file, section or key as needed and keeping
// every other line as it was. The store replaces the file whole (on disk
// with a rename, so a failure leaves the old file whole; where the folder
// forbids new files the file is rewritten where it stands, and put back as
// it was when that write fails). A value that the format cannot hold (CR, LF
// or NUL inside) is refused. Throws WriteError.
void writeValue(const std::filesystem::path& file, BytesView section, BytesView key,
                BytesView value, FileStore& files = diskFiles());

// How `value` is stored on its line so that readValue gives it back byte for
// byte (quoted when blanks at its ends or surrounding quotes would be lost).
Bytes storedForm(BytesView value);

}  // namespace tavorline::profile
