#pragma once

#include <filesystem>

#include "support/bytes.h"
#include "support/clock.h"

namespace tavorline {

// The daily log LOG/logYYYYMMDD.txt in the program's folder. Each line is
// appended in its own open-write-close, so the file is always complete on
// disk and may be read or removed while the gateway runs. Lines end in CR LF.
class DailyLog {
public:
    DailyLog(std::filesystem::path programFolder, const Clock& clock);

    // `file` empty: today's daily log; otherwise a path used unchanged
    // (relative to the current directory). Every file error is swallowed:
    // a payment must never fail because its log line could not be written.
    void Write_Log(BytesView line, BytesView file = {}) const;

    std::filesystem::path todaysPath() const;

private:
    std::filesystem::path programFolder_;
    const Clock& clock_;
};

}  // namespace tavorline
