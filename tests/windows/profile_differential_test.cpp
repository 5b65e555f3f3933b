// The gateway's settings reader and writer against the system's profile
// functions, file by file: other programs of the shop read vorn.Ini through
// GetPrivateProfileStringA, and the two must never see different settings.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/profile_file.h"
#include "temp_folder.h"
#include "windows/win_text.h"

namespace tavorline {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::readBytes;
using testing::writeBytes;

// What the system answers for a missing key; no file of the corpus holds it.
constexpr char kAbsent[] = "<absent>";
// The buffer the gateway's value limit stands for.
constexpr DWORD kBuffer = profile::kMaxValueLength + 1;

const char* const kSections[] = {"VORN", "Other", "New"};
const char* const kKeys[] = {"EcPort", "ecport", "EcSpeed", "LastData", "RsaYN", "Bare", "Name"};

struct Case {
    std::string name;
    Bytes content;
};

Bytes utf16Le(const Bytes& cp949) {
    const std::wstring wide = win::wideFromCp949(cp949);
    Bytes out = "\xFF\xFE";
    for (const wchar_t c : wide) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

const Bytes kKorean = "\xB4\xEB\xB1\xE2\xC1\xDF";  // "대기중"

std::vector<Case> handPicked() {
    const Bytes plain = "[VORN]\r\nEcPort=3\r\nName=" + kKorean + "\r\nLastData=\"  x  \"\r\n";
    return {
        {"plain", plain},
        {"unicode", utf16Le(plain + "[Other]\r\nEcSpeed=9600\r\n")},
        {"unicode without line end", utf16Le("[VORN]\r\nEcPort=7")},
        {"key line without equals", "[VORN]\r\nEcPort\r\nEcPort=3\r\nBare\r\n"},
        {"key line without equals, unicode", utf16Le("[VORN]\r\n  EcPort  \r\nEcPort=3\r\n")},
        {"NUL in a value",
         "[VORN]\r\nEcPort=3\0"
         "4\r\nName=\"ab\0c\"\r\nLastData= a \0 b \r\n"s},
        {"NUL in a value, unicode", utf16Le("[VORN]\r\nEcPort=3\0"
                                            "4\r\nRsaYN=Y \0N\r\n"s)},
        {"long value", "[VORN]\r\nLastData=" + Bytes(3000, 'R') + "\r\nEcPort=1\r\n"},
        {"LF line ends, blanks", "[ vorn ]\n\tecport\t=\t 5 \nRSAYN = 'Y'\n[Other]\nEcPort=6\n"},
        {"repeated section", "[VORN]\r\nEcPort=1\r\n[Other]\r\n[vorn]\r\nEcSpeed=2\r\n"},
        {"comments and blanks", "; head\r\n\r\n[VORN] ; why\r\n; EcPort=9\r\nEcPort=2\r\n\r\n"},
        {"UTF-8 mark", "\xEF\xBB\xBF[VORN]\r\nEcPort=3\r\n[Other]\r\nEcPort=4\r\n"},
        {"empty", ""},
        {"unicode mark only", "\xFF\xFE"},
    };
}

// Lines from the bits real files are made of, in a fixed order per seed.
Bytes generatedFile(std::mt19937& random) {
    const char* const sections[] = {"[VORN]", "[vorn]", " [ VORN ] ", "[Other]", "[New]"};
    const Bytes values[] = {"3",
                            "",
                            " 9600 ",
                            "\"quoted\"",
                            "'q'",
                            "\"",
                            kKorean,
                            "a=b;c",
                            "x\ty",
                            "1\0"
                            "2"s,
                            kKorean + " " + kKorean};
    const char* const ends[] = {"\r\n", "\n"};
    const auto pick = [&](auto& list) -> const auto& {
        return list[std::uniform_int_distribution<std::size_t>(0, std::size(list) - 1)(random)];
    };
    const auto chance = [&](int percent) {
        return std::uniform_int_distribution<int>(0, 99)(random) < percent;
    };

    Bytes file;
    const int lineCount = std::uniform_int_distribution<int>(0, 14)(random);
    const Bytes end = pick(ends);
    for (int i = 0; i < lineCount; ++i) {
        const int kind = std::uniform_int_distribution<int>(0, 9)(random);
        if (kind < 2) {
            file += pick(sections);
        } else if (kind == 2) {
            file += chance(50) ? "" : "; note";
        } else {
            const Bytes key = pick(kKeys);
            const Bytes pad = chance(20) ? " " : "";
            file += pad + key + pad;
            if (chance(85)) file += "=" + pad + pick(values);
        }
        if (i + 1 < lineCount || chance(70)) file += end;
    }
    return chance(25) ? utf16Le(file) : file;
}

std::vector<Case> corpus() {
    std::vector<Case> cases = handPicked();
    std::mt19937 random(20261209);
    for (int i = 0; i < 300; ++i)
        cases.push_back({"generated " + std::to_string(i), generatedFile(random)});
    return cases;
}

Bytes systemRead(const fs::path& file, const char* section, const char* key) {
    // Wine keeps profile files cached; this makes it read the file again.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.string().c_str());
    Bytes buffer(kBuffer, '\0');
    const DWORD length = GetPrivateProfileStringA(section, key, kAbsent, buffer.data(), kBuffer,
                                                  file.string().c_str());
    buffer.resize(length);
    return buffer;
}

Bytes gatewayRead(const fs::path& file, const char* section, const char* key) {
    return profile::readValue(file, section, key).value_or(kAbsent);
}

bool isUtf16(const Bytes& content) { return content.rfind("\xFF\xFE", 0) == 0; }

// The file's lines as CP949 text, for telling which lines a file has.
std::vector<Bytes> linesOf(const Bytes& content) {
    Bytes text = content;
    if (isUtf16(content)) {
        std::wstring wide;
        for (std::size_t i = 2; i + 1 < content.size(); i += 2) {
            wide += static_cast<wchar_t>(static_cast<unsigned char>(content[i]) |
                                         static_cast<unsigned char>(content[i + 1]) << 8);
        }
        text = win::cp949FromWide(wide);
    }
    std::vector<Bytes> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

Bytes trimmed(Bytes text) {
    const char* const blanks = " \t\r\v\f";
    text.erase(0, std::min(text.find_first_not_of(blanks), text.size()));
    text.erase(text.find_last_not_of(blanks) + 1);
    return text;
}

bool hasBareKeyLine(const Bytes& content, const char* key) {
    for (const Bytes& line : linesOf(content)) {
        if (_stricmp(trimmed(line).c_str(), key) == 0) return true;
    }
    return false;
}

// Known differences of Wine from Windows, where the gateway follows Windows;
// the reason, or nothing when the two must agree.
const char* knownReadDifference(const Bytes& content, const char* key, const Bytes& gateway,
                                const Bytes& system) {
    // Wine reads a line that only names a key as no key at all; Windows, and
    // the gateway, as that key with an empty value.
    if (gateway.empty() && system == kAbsent && hasBareKeyLine(content, key)) {
        return "bare key line";
    }
    // Wine skips a UTF-8 byte-order mark; Windows takes its bytes as part of
    // the first line, so a section named on that line is not found.
    if (content.starts_with("\xEF\xBB\xBF") && gateway == kAbsent) return "UTF-8 mark";
    return nullptr;
}

// Wine writes every line anew from what it parsed: a value that a NUL cut
// short is saved as the part before the NUL, whose blanks then go as well.
// Windows changes only the written line and leaves that one as it was.
const char* knownWriteDifference(const Bytes& content, const Bytes& ours, const Bytes& theirs) {
    if (content.find('\0') != Bytes::npos && trimmed(ours) == theirs) return "NUL line rewritten";
    return nullptr;
}

class ProfileDifferential : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static const win::SystemWideText converter;
        profile::useWideText(converter);
    }
    void SetUp() override {
        ASSERT_EQ(GetACP(), 949u) << "the system's code page must be CP949: run the test in a "
                                     "Korean locale (run_in_korean_locale.sh)";
    }
    testing::TempFolder folder;
    int reads = 0;
    std::map<std::string, int> knownDifferences;

    void report(const char* what, std::size_t files) const {
        std::printf("%s: %zu files, %d reads; known differences:", what, files, reads);
        for (const auto& [reason, count] : knownDifferences) {
            std::printf(" %s %d;", reason.c_str(), count);
        }
        std::printf("\n");
    }

    void compareReads(const Case& c, const fs::path& file, const std::string& when) {
        for (const char* section : kSections) {
            for (const char* key : kKeys) {
                const Bytes gateway = gatewayRead(file, section, key);
                const Bytes system = systemRead(file, section, key);
                ++reads;
                if (gateway == system) continue;
                if (const char* reason = knownReadDifference(c.content, key, gateway, system)) {
                    ++knownDifferences[reason];
                    continue;
                }
                ADD_FAILURE() << c.name << when << ": [" << section << "] " << key
                              << "\n  gateway: " << ::testing::PrintToString(gateway)
                              << "\n  system:  " << ::testing::PrintToString(system);
            }
        }
    }
};

TEST_F(ProfileDifferential, GatewayReadsWhatTheSystemReads) {
    const auto cases = corpus();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const fs::path file = folder / ("read" + std::to_string(i) + ".ini");
        writeBytes(file, cases[i].content);
        compareReads(cases[i], file, "");
    }
    report("read", cases.size());
}

// Wine writes the whole file anew in its own layout where Windows edits the
// one line in place, so the files are compared by what both readers find in
// them afterwards, not byte for byte; only their encoding must agree.
TEST_F(ProfileDifferential, GatewayWritesWhatTheSystemWrites) {
    const auto cases = corpus();
    const struct {
        const char* section;
        const char* key;
        Bytes value;
    } writes[] = {{"VORN", "EcPort", "4"},
                  {"vorn", "LastData", kKorean + " x"},
                  {"Other", "Bare", ""},
                  {"New", "EcSpeed", "9600"},
                  {"VORN", "ecport", "5"}};
    int written = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        // Wine finds the section behind a UTF-8 mark and writes there, the
        // gateway adds one as Windows would: the reads above cover it.
        if (cases[i].content.starts_with("\xEF\xBB\xBF")) continue;
        const auto& w = writes[i % std::size(writes)];
        const fs::path ours = folder / ("ours" + std::to_string(i) + ".ini");
        const fs::path theirs = folder / ("theirs" + std::to_string(i) + ".ini");
        writeBytes(ours, cases[i].content);
        writeBytes(theirs, cases[i].content);
        profile::writeValue(ours, w.section, w.key, w.value);
        ASSERT_TRUE(
            WritePrivateProfileStringA(w.section, w.key, w.value.c_str(), theirs.string().c_str()));
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, theirs.string().c_str());
        ++written;

        EXPECT_EQ(isUtf16(readBytes(ours)), isUtf16(readBytes(theirs))) << cases[i].name;
        compareReads(cases[i], ours, " after the gateway's write");
        for (const char* section : kSections) {
            for (const char* key : kKeys) {
                ++reads;
                const Bytes fromOurs = systemRead(ours, section, key);
                const Bytes fromTheirs = systemRead(theirs, section, key);
                if (fromOurs == fromTheirs) continue;
                if (const char* reason =
                        knownWriteDifference(cases[i].content, fromOurs, fromTheirs)) {
                    ++knownDifferences[reason];
                    continue;
                }
                ADD_FAILURE() << cases[i].name << ": [" << section << "] " << key
                              << " after writing " << w.key
                              << "\n  gateway's file: " << ::testing::PrintToString(fromOurs)
                              << "\n  system's file:  " << ::testing::PrintToString(fromTheirs);
            }
        }
    }
    report("written both ways, then read", static_cast<std::size_t>(written));
}

}  // namespace
}  // namespace tavorline
