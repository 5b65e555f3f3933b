// Any content of the configuration file, and one key written into it: a
// value the format can hold reads back as written, and every other key
// reads as it did before; a write the format cannot hold is refused and
// leaves the file as it was. The loader sees the same.
//
// What the writer takes: section and key names that are not empty, have no
// blank at either end and hold no CR, LF or NUL; a section name without
// "]"; a key name without "=" that does not start with "[" or ";". Values
// hold no CR, LF or NUL; any other byte, blanks and quotes at the ends too,
// comes back as written (up to the 2,047 bytes a read returns). A file
// saved as UTF-16 takes only ASCII names and values while no code page
// converter is installed, as in this fuzzer; the shells install one.
#include <vector>

#include "memory_files.h"
#include "support/configuration.h"
#include "support/profile_file.h"

using namespace tavorline;
using namespace tavorline::fuzzing;

namespace {

inline void require(bool holds) {
    if (!holds) __builtin_trap();
}

class NoVersion : public VersionSource {
public:
    std::optional<VersionStrings> read() const override { return std::nullopt; }
};

const std::filesystem::path kFolder = "/nonexistent/tavorline-settings";
const std::filesystem::path kIni = kFolder / "vorn.Ini";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }
bool hasLineBreakOrNul(BytesView text) {
    return text.find_first_of(BytesView("\r\n\0", 3)) != BytesView::npos;
}
bool isAscii(BytesView text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}
bool goodName(BytesView name) {
    return !name.empty() && !isBlank(name.front()) && !isBlank(name.back()) &&
           !hasLineBreakOrNul(name);
}
bool storable(BytesView section, BytesView key, BytesView value, bool utf16) {
    return goodName(section) && section.find(']') == BytesView::npos && goodName(key) &&
           key.find('=') == BytesView::npos && key.front() != '[' && key.front() != ';' &&
           !hasLineBreakOrNul(value) &&
           (!utf16 || (isAscii(section) && isAscii(key) && isAscii(value)));
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool sameName(BytesView a, BytesView b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

BytesView trimmed(BytesView text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The file's lines as ASCII, a UTF-16 file's too (other characters as '?').
std::vector<Bytes> roughLines(BytesView content) {
    Bytes text;
    if (content.starts_with("\xFF\xFE")) {
        for (std::size_t i = 2; i + 1 < content.size(); i += 2) {
            text += content[i + 1] == 0 ? content[i] : '?';
        }
    } else {
        text = content;
    }
    std::vector<Bytes> lines;
    std::size_t start = 0;
    for (std::size_t lf; (lf = text.find('\n', start)) != Bytes::npos; start = lf + 1) {
        lines.push_back(text.substr(start, lf - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

struct Name {
    Bytes section;
    Bytes key;
};

// Every section and key the file seems to name, as candidates to compare.
std::vector<Name> namesIn(BytesView content) {
    std::vector<Name> names;
    Bytes section;
    for (const Bytes& raw : roughLines(content)) {
        const BytesView line = trimmed(raw);
        if (line.starts_with('[')) {
            section = trimmed(line.substr(1, line.rfind(']') - 1));
        } else if (!line.empty()) {
            names.push_back({section, Bytes(trimmed(line.substr(0, line.find('='))))});
        }
    }
    names.push_back({"VORN", "EcPort"});
    return names;
}

// Length-led fields: a byte, or two for the value.
BytesView take(BytesView& input, std::size_t lengthBytes) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < lengthBytes && !input.empty(); ++i) {
        length = length << 8 | static_cast<unsigned char>(input.front());
        input.remove_prefix(1);
    }
    const BytesView field = input.substr(0, length);
    input.remove_prefix(field.size());
    return field;
}

}  // namespace

// The input: a byte of choices, the section, the key and the value, each
// led by its length, then the file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFiles files;
    static const NoVersion noVersion;
    static Configuration config(kFolder, noVersion, files);
    if (size < 1) return 0;
    const std::uint8_t choices = data[0];
    BytesView input(reinterpret_cast<const char*>(data + 1), size - 1);
    Bytes section(take(input, 1));
    Bytes key(take(input, 1));
    const Bytes value(take(input, 2));
    const Bytes content(input);

    files.reset(kIni, content);
    const std::vector<Name> names = namesIn(content);
    // Mostly a key the file already has, in the gateway's own section.
    if ((choices & 1) != 0) section = "VORN";
    if ((choices & 2) != 0 && !names.empty()) {
        const Name& name = names[key.size() % names.size()];
        section = name.section;
        key = name.key;
    }
    // One reading each side of the write: a file of many keys would
    // otherwise be read once per key.
    std::vector<std::optional<Bytes>> before;
    {
        const profile::Snapshot file(kIni, files);
        for (const Name& name : names) before.push_back(file.value(name.section, name.key));
    }
    config.Load_Config();
    const ConfigRecord loadedBefore = config.record();

    const bool utf16 = BytesView(content).starts_with("\xFF\xFE");
    const bool accepted = storable(section, key, value, utf16);
    try {
        config.Ini_Write(section, key, value, config.iniPath());
        require(accepted);
    } catch (const ConfigWriteError&) {
        require(!accepted && files.read(kIni) == content);
        return 0;
    }

    const profile::Snapshot after(kIni, files);
    require(after.value(section, key) == value.substr(0, profile::kMaxValueLength));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Name& name = names[i];
        if (sameName(name.section, section) && sameName(name.key, key)) continue;
        require(after.value(name.section, name.key) == before[i]);
    }
    // The loader reads the written key as written, and no other differently.
    config.Load_Config();
    const ConfigRecord& loaded = config.record();
    const bool written = sameName(section, "VORN") && sameName(key, "DnPort");
    require(loaded.DnPort ==
            (written ? value.substr(0, profile::kMaxValueLength) : loadedBefore.DnPort));
    require(sameName(section, "VORN") ||
            (loaded.AdslAddr == loadedBefore.AdslAddr && loaded.EcPort == loadedBefore.EcPort &&
             loaded.TlsPin == loadedBefore.TlsPin));
    return 0;
}
