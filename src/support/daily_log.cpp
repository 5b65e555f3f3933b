#include "support/daily_log.h"

#include "support/path_text.h"
#include "support/text_format.h"

namespace tavorline {

namespace fs = std::filesystem;

namespace {

// The line and its CR LF are handed to the system together (one write while
// they fit the stream's buffer), so a reader rarely sees half a line.
bool appendLine(std::FILE* out, BytesView line) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fwrite("\r\n", 1, 2, out);
    return std::fflush(out) == 0 && std::ferror(out) == 0;
}

}  // namespace

DailyLog::DailyLog(fs::path programFolder, const Clock& clock, const FileIdentityProbe* identity,
                   FileStore& files)
    : programFolder_(std::move(programFolder)), clock_(clock), identity_(identity), files_(files) {}

DailyLog::~DailyLog() { closeToday(); }

const fs::path& DailyLog::todaysPath() const {
    Bytes date = DateText(clock_.now());
    if (date != pathDate_ || todaysPath_.empty()) {
        // "LOG" as Load_Config creates it: on Linux the case of the name counts.
        todaysPath_ = programFolder_ / "LOG" / ("log" + date + ".txt");
        pathDate_ = std::move(date);
    }
    return todaysPath_;
}

void DailyLog::Write_Log(BytesView line, BytesView file) const {
    try {
        if (!file.empty()) {
            files_.appendLine(pathFromText(file), line);
        } else if (identity_ == nullptr) {
            files_.appendLine(todaysPath(), line);
        } else {
            appendKeepingOpen(todaysPath(), line);
        }
    } catch (...) {
        // The line is lost; the call it describes goes on.
    }
}

void DailyLog::appendKeepingOpen(const fs::path& path, BytesView line) const {
    std::FILE* out = todaysFile(path);
    if (out == nullptr) return;
    // A file that failed (a full disk, say) is opened again for the next
    // line rather than left in its error state.
    if (!appendLine(out, line)) closeToday();
}

// "ab" creates a missing file, so a log removed while we run comes back.
std::FILE* DailyLog::todaysFile(const fs::path& path) const {
    if (open_ != nullptr && path == openPath_ && stillAt(path)) return open_;
    closeToday();
    open_ = std::fopen(path.string().c_str(), "ab");
    if (open_ == nullptr) return nullptr;
    openPath_ = path;
    if (identity_ != nullptr) openIdentity_ = identity_->ofStream(open_);
    return open_;
}

bool DailyLog::stillAt(const fs::path& path) const {
    if (identity_ == nullptr || !openIdentity_) return false;
    return identity_->ofPath(path) == openIdentity_;
}

void DailyLog::closeToday() const {
    if (open_ == nullptr) return;
    std::fclose(open_);
    open_ = nullptr;
    openIdentity_.reset();
}

}  // namespace tavorline
