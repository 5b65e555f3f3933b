#include "support/profile_file.h"

#include <vector>

#include "support/path_text.h"

namespace tavorline::profile {

namespace fs = std::filesystem;

namespace {

// One line of the file. `text` is what the line says in CP949, for parsing
// and changing; `stored` is the line and its end as the file holds them, so
// that lines we do not change are written back byte for byte, UTF-16 ones too.
struct Line {
    Bytes text;
    Bytes end;  // "\r\n", "\n", or empty for a last line without one
    Bytes stored;
    bool changed = false;
};

enum class Encoding { Narrow, Utf16Le };

struct Document {
    Encoding encoding = Encoding::Narrow;
    Bytes head;  // the byte-order mark of a UTF-16 file
    std::vector<Line> lines;
    Bytes tail;  // an odd last byte of a UTF-16 file, kept as found
};

enum class LineKind { Section, Key, Other };

// What a line means to the profile format. Comments and blank lines are
// Other: never matched, always kept. A line without "=" names a key with an
// empty value, as Windows reads it.
struct ParsedLine {
    LineKind kind = LineKind::Other;
    BytesView name;   // section or key name, trimmed
    BytesView value;  // key value, trimmed, still quoted
};

// The blanks Windows drops around names and values.
bool isProfileSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

BytesView trimSpaces(BytesView text) {
    while (!text.empty() && isProfileSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isProfileSpace(text.back())) text.remove_suffix(1);
    return text;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// ASCII only: bytes of CP949 double-byte characters must match exactly.
bool equalsIgnoringCase(BytesView a, BytesView b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

bool isQuote(char c) { return c == '"' || c == '\''; }

bool hasSurroundingQuotes(BytesView text) {
    return text.size() >= 2 && isQuote(text.front()) && text.back() == text.front();
}

ParsedLine parseLine(BytesView raw) {
    const BytesView text = trimSpaces(raw);
    ParsedLine parsed;
    if (text.empty() || text.front() == ';') return parsed;
    if (text.front() == '[') {
        // The last "]" closes the name, as Windows reads it.
        const auto close = text.rfind(']');
        if (close == BytesView::npos) return parsed;
        parsed.kind = LineKind::Section;
        parsed.name = trimSpaces(text.substr(1, close - 1));
        return parsed;
    }
    const auto equals = text.find('=');
    parsed.name = trimSpaces(text.substr(0, equals));
    if (parsed.name.empty()) return parsed;
    parsed.kind = LineKind::Key;
    if (equals != BytesView::npos) parsed.value = trimSpaces(text.substr(equals + 1));
    return parsed;
}

// Only ASCII crosses until a shell installs the system's converter.
class AsciiOnly : public WideText {
public:
    Bytes cp949FromWide(std::u16string_view text) const override {
        Bytes out;
        for (const char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
        return out;
    }
    std::optional<std::u16string> wideFromCp949(BytesView text) const override {
        std::u16string out;
        for (const char c : text) {
            if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
            out += static_cast<char16_t>(c);
        }
        return out;
    }
};

const AsciiOnly asciiOnly;
const WideText* wideText = &asciiOnly;

constexpr BytesView kUtf16LeMark("\xFF\xFE", 2);

void appendUtf16Le(Bytes& out, std::u16string_view text) {
    for (const char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
}

// A line of a narrow file, as views into the file's bytes.
struct NarrowLine {
    BytesView text;
    BytesView end;
    BytesView stored;
};

NarrowLine takeNarrowLine(BytesView& rest) {
    const auto lf = rest.find('\n');
    if (lf == BytesView::npos) {
        const NarrowLine line{rest, {}, rest};
        rest = {};
        return line;
    }
    const bool crlf = lf > 0 && rest[lf - 1] == '\r';
    const std::size_t textLength = crlf ? lf - 1 : lf;
    const NarrowLine line{rest.substr(0, textLength), rest.substr(textLength, lf + 1 - textLength),
                          rest.substr(0, lf + 1)};
    rest.remove_prefix(lf + 1);
    return line;
}

std::vector<Line> splitNarrowLines(BytesView content) {
    std::vector<Line> lines;
    while (!content.empty()) {
        const NarrowLine line = takeNarrowLine(content);
        lines.push_back({Bytes(line.text), Bytes(line.end), Bytes(line.stored)});
    }
    return lines;
}

std::vector<Line> splitWideLines(BytesView content) {
    std::u16string units;
    units.reserve(content.size() / 2);
    for (std::size_t i = 0; i + 1 < content.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(content[i]) |
                                       static_cast<unsigned char>(content[i + 1]) << 8);
    }
    std::vector<Line> lines;
    std::u16string_view rest = units;
    while (!rest.empty()) {
        const auto lf = rest.find(u'\n');
        const bool last = lf == std::u16string_view::npos;
        const bool crlf = !last && lf > 0 && rest[lf - 1] == u'\r';
        const std::size_t textLength = last ? rest.size() : (crlf ? lf - 1 : lf);
        const std::size_t lineLength = last ? rest.size() : lf + 1;
        Line line{wideText->cp949FromWide(rest.substr(0, textLength)),
                  last ? "" : (crlf ? "\r\n" : "\n"),
                  {}};
        appendUtf16Le(line.stored, rest.substr(0, lineLength));
        lines.push_back(std::move(line));
        rest.remove_prefix(lineLength);
    }
    return lines;
}

Document parseDocument(BytesView content) {
    Document document;
    if (content.starts_with(kUtf16LeMark)) {
        document.encoding = Encoding::Utf16Le;
        document.head = Bytes(kUtf16LeMark);
        content.remove_prefix(kUtf16LeMark.size());
        if (content.size() % 2 != 0) document.tail = Bytes(content.substr(content.size() - 1));
        document.lines = splitWideLines(content);
    } else {
        document.lines = splitNarrowLines(content);
    }
    return document;
}

Bytes encodedLine(Encoding encoding, const Line& line) {
    if (!line.changed) return line.stored;
    if (encoding == Encoding::Narrow) return line.text + line.end;
    const auto wide = wideText->wideFromCp949(line.text + line.end);
    if (!wide) throw WriteError("no UTF-16 form for the line " + line.text);
    Bytes out;
    appendUtf16Le(out, *wide);
    return out;
}

Bytes serialized(const Document& document) {
    Bytes out = document.head;
    for (const Line& line : document.lines) out += encodedLine(document.encoding, line);
    return out + document.tail;
}

// The file's own line end, judged by its first line; new files get CR LF so
// that Windows tools read them.
Bytes lineEndOf(const std::vector<Line>& lines) {
    if (lines.empty() || lines.front().end.empty()) return "\r\n";
    return lines.front().end;
}

struct KeyLocation {
    std::optional<std::size_t> section;  // index of the section line
    std::optional<std::size_t> key;      // index of the key line
    std::size_t lastKeyOrHeader = 0;     // where a new key goes after
};

// Only the first section of the name is searched, as Windows does: a key in
// a repeated section further down is neither read nor updated.
KeyLocation locate(const std::vector<ParsedLine>& lines, BytesView section, BytesView key) {
    KeyLocation found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine& parsed = lines[i];
        if (parsed.kind == LineKind::Section) {
            if (found.section) break;
            if (equalsIgnoringCase(parsed.name, section)) {
                found.section = i;
                found.lastKeyOrHeader = i;
            }
        } else if (found.section && parsed.kind == LineKind::Key) {
            if (equalsIgnoringCase(parsed.name, key)) {
                found.key = i;
                break;
            }
            found.lastKeyOrHeader = i;
        }
    }
    return found;
}

bool containsLineBreakOrNul(BytesView text) {
    return text.find_first_of(BytesView("\r\n\0", 3)) != BytesView::npos;
}

void checkStorable(BytesView section, BytesView key, BytesView value) {
    if (containsLineBreakOrNul(value)) {
        throw WriteError("value of " + Bytes(key) + " holds CR, LF or NUL");
    }
    const bool badSection = section.empty() || trimSpaces(section) != section ||
                            containsLineBreakOrNul(section) || section.find(']') != BytesView::npos;
    const bool badKey = key.empty() || trimSpaces(key) != key || containsLineBreakOrNul(key) ||
                        key.find('=') != BytesView::npos || key.front() == '[' ||
                        key.front() == ';';
    if (badSection || badKey) {
        throw WriteError("section or key name cannot be stored: [" + Bytes(section) + "] " +
                         Bytes(key));
    }
}

// The file as it is now; refuses to go on when it exists but cannot be read,
// since writing it back would drop every other key.
Bytes currentContent(const FileStore& files, const fs::path& file) {
    bool exists = false;
    try {
        exists = files.exists(file);
    } catch (const fs::filesystem_error& error) {
        throw WriteError("cannot reach " + pathText(file) + ": " + error.code().message());
    }
    if (!exists) return {};
    auto content = files.read(file);
    if (!content) throw WriteError("cannot read " + pathText(file));
    return std::move(*content);
}

}  // namespace

void useWideText(const WideText& converter) { wideText = &converter; }

struct Snapshot::Lines {
    Bytes content;
    std::vector<Bytes> converted;  // the lines of a UTF-16 file, in CP949
    std::vector<ParsedLine> parsed;
};

Snapshot::Snapshot(const fs::path& file, const FileStore& files)
    : lines_(std::make_unique<Lines>()) {
    auto content = files.read(file);
    if (!content) return;
    lines_->content = std::move(*content);
    BytesView rest = lines_->content;
    std::vector<ParsedLine>& parsed = lines_->parsed;
    if (rest.starts_with(kUtf16LeMark)) {
        std::vector<Bytes>& converted = lines_->converted;
        for (Line& line : splitWideLines(rest.substr(kUtf16LeMark.size()))) {
            converted.push_back(std::move(line.text));
        }
        parsed.reserve(converted.size());
        for (const Bytes& text : converted) parsed.push_back(parseLine(text));
        return;
    }
    while (!rest.empty()) parsed.push_back(parseLine(takeNarrowLine(rest).text));
}

Snapshot::~Snapshot() = default;

std::optional<Bytes> Snapshot::value(BytesView section, BytesView key) const {
    const KeyLocation found = locate(lines_->parsed, section, key);
    if (!found.key) return std::nullopt;

    BytesView value = lines_->parsed[*found.key].value;
    value = value.substr(0, value.find('\0'));
    if (hasSurroundingQuotes(value)) value = value.substr(1, value.size() - 2);
    return Bytes(value.substr(0, kMaxValueLength));
}

std::optional<Bytes> readValue(const fs::path& file, BytesView section, BytesView key,
                               const FileStore& files) {
    return Snapshot(file, files).value(section, key);
}

void writeValue(const fs::path& file, BytesView section, BytesView key, BytesView value,
                FileStore& files) {
    checkStorable(section, key, value);
    const Bytes content = currentContent(files, file);
    Document document = parseDocument(content);
    std::vector<Line>& lines = document.lines;
    const Bytes end = lineEndOf(lines);
    std::vector<ParsedLine> parsed;
    parsed.reserve(lines.size());
    for (const Line& line : lines) parsed.push_back(parseLine(line.text));
    const KeyLocation found = locate(parsed, section, key);

    const auto insertLine = [&](std::size_t at, Bytes text) {
        if (at > 0 && lines[at - 1].end.empty()) {
            lines[at - 1].end = end;
            lines[at - 1].changed = true;
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at),
                     Line{std::move(text), end, {}, true});
    };

    if (found.key) {
        // Keep the key as it is spelled and laid out in the file; a line that
        // only names the key gets its "=" now.
        Line& line = lines[*found.key];
        Bytes& text = line.text;
        const auto equals = text.find('=');
        if (equals == Bytes::npos) {
            while (!text.empty() && isProfileSpace(text.back())) text.pop_back();
            text += '=';
        } else {
            std::size_t valueStart = equals + 1;
            while (valueStart < text.size() && isProfileSpace(text[valueStart])) ++valueStart;
            text.erase(valueStart);
        }
        text += storedForm(value);
        line.changed = true;
    } else if (found.section) {
        insertLine(found.lastKeyOrHeader + 1, Bytes(key) + "=" + storedForm(value));
    } else {
        if (!lines.empty() && !trimSpaces(lines.back().text).empty()) {
            insertLine(lines.size(), {});
        }
        insertLine(lines.size(), "[" + Bytes(section) + "]");
        insertLine(lines.size(), Bytes(key) + "=" + storedForm(value));
    }

    files.replace(file, serialized(document), content);
}

Bytes storedForm(BytesView value) {
    const bool losesBlanks =
        !value.empty() && (isProfileSpace(value.front()) || isProfileSpace(value.back()));
    if (!losesBlanks && !hasSurroundingQuotes(value)) return Bytes(value);
    return "\"" + Bytes(value) + "\"";
}

}  // namespace tavorline::profile
