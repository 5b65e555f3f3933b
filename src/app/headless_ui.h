#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "app/ui_sink.h"

namespace tavorline {

// The gateway without a desktop: each status text is one UTF-8 line on
// standard output, flushed at once so that a supervising process sees it
// while the gateway blocks; errors go to standard error the same way, after
// "tavorline: ". The shell lends its CP949 to UTF-8 conversion.
class HeadlessUi : public UiSink {
public:
    using Utf8FromCp949 = std::function<std::string(BytesView)>;

    explicit HeadlessUi(Utf8FromCp949 toUtf8, std::FILE* out = stdout, std::FILE* err = stderr);

    void showStatus(BytesView text) override;
    void setTitle(BytesView text) override;
    void setAddress(BytesView text) override;
    void setDisplayField(DisplayField field, BytesView text) override;
    void clearDisplay() override;
    void showDisplayWindow() override;
    void reportError(BytesView message) override;

private:
    Utf8FromCp949 toUtf8_;
    std::FILE* out_;
    std::FILE* err_;
};

}  // namespace tavorline
