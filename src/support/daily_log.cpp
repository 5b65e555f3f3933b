#include "support/daily_log.h"

#include <cstdio>

#include "support/text_format.h"

namespace tavorline {

namespace fs = std::filesystem;

DailyLog::DailyLog(fs::path programFolder, const Clock& clock)
    : programFolder_(std::move(programFolder)), clock_(clock) {}

fs::path DailyLog::todaysPath() const {
    // "LOG" as Load_Config creates it: on Linux the case of the name counts.
    return programFolder_ / "LOG" / ("log" + DateText(clock_.now()) + ".txt");
}

void DailyLog::Write_Log(BytesView line, BytesView file) const {
    try {
        const fs::path path = file.empty() ? todaysPath() : fs::path(Bytes(file));
        // "ab" creates a missing file, so a log removed while we run comes back.
        std::FILE* out = std::fopen(path.string().c_str(), "ab");
        if (out == nullptr) return;
        std::fwrite(line.data(), 1, line.size(), out);
        std::fwrite("\r\n", 1, 2, out);
        std::fclose(out);
    } catch (...) {
        // The line is lost; the call it describes goes on.
    }
}

}  // namespace tavorline
