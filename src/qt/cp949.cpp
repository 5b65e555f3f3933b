#include "qt/cp949.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>

namespace tavorline {
namespace {

// How many input bytes to drop at a sequence iconv rejects.
using SkipRule = std::size_t (*)(unsigned char lead);

std::size_t oneByte(unsigned char) { return 1; }

std::size_t utf8Character(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

std::string convert(const char* to, const char* from, std::string_view input,
                    std::string_view replacement, SkipRule skip) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    std::string output;
    output.reserve(input.size() * 2);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
        output.append(replacement);
        const std::size_t dropped = std::min(skip(static_cast<unsigned char>(*in)), inLeft);
        in += dropped;
        inLeft -= dropped;
    }
    iconv_close(cd);
    return output;
}

}  // namespace

QString fromCp949(BytesView bytes) {
    if (bytes.empty()) return {};
    return QString::fromStdString(convert("UTF-8", "CP949", bytes, "\xEF\xBF\xBD", oneByte));
}

Bytes toCp949(const QString& text) {
    if (text.isEmpty()) return {};
    const QByteArray utf8 = text.toUtf8();
    return convert("CP949", "UTF-8", std::string_view(utf8.constData(), utf8.size()), "?",
                   utf8Character);
}

Bytes Cp949WideText::cp949FromWide(std::u16string_view text) const {
    return toCp949(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
}

std::optional<std::u16string> Cp949WideText::wideFromCp949(BytesView text) const {
    const QString wide = fromCp949(text);
    // fromCp949 marks every byte that is no CP949 character so.
    if (wide.contains(QChar::ReplacementCharacter)) return std::nullopt;
    return wide.toStdU16String();
}

}  // namespace tavorline
