#include "qt/headless_ui.h"

#include <QByteArray>
#include <QString>

#include "qt/cp949.h"

namespace tavorline {
namespace {

// A readers' line is one text: line breaks inside it would split it.
void writeLine(std::FILE* stream, const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray utf8 = line.toUtf8() + '\n';
    std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stream);
    std::fflush(stream);
}

}  // namespace

HeadlessUi::HeadlessUi(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

void HeadlessUi::showStatus(BytesView text) { writeLine(out_, fromCp949(text)); }

void HeadlessUi::setTitle(BytesView) {}

void HeadlessUi::setAddress(BytesView) {}

void HeadlessUi::setDisplayField(DisplayField, BytesView) {}

void HeadlessUi::clearDisplay() {}

void HeadlessUi::showDisplayWindow() {}

void HeadlessUi::reportError(BytesView message) {
    writeLine(err_, QStringLiteral("tavorline: ") + fromCp949(message));
}

}  // namespace tavorline
