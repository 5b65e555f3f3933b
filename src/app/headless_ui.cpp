#include "app/headless_ui.h"

#include <algorithm>

namespace tavorline {
namespace {

// A reader's line is one text: line breaks inside it would split it.
void writeLine(std::FILE* stream, std::string line) {
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

}  // namespace

HeadlessUi::HeadlessUi(Utf8FromCp949 toUtf8, std::FILE* out, std::FILE* err)
    : toUtf8_(std::move(toUtf8)), out_(out), err_(err) {}

void HeadlessUi::showStatus(BytesView text) { writeLine(out_, toUtf8_(text)); }

void HeadlessUi::setTitle(BytesView) {}

void HeadlessUi::setAddress(BytesView) {}

void HeadlessUi::setDisplayField(DisplayField, BytesView) {}

void HeadlessUi::clearDisplay() {}

void HeadlessUi::showDisplayWindow() {}

void HeadlessUi::reportError(BytesView message) {
    writeLine(err_, "tavorline: " + toUtf8_(message));
}

}  // namespace tavorline
