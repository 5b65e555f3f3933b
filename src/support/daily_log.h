#pragma once

#include <cstdio>
#include <filesystem>

#include "support/bytes.h"
#include "support/clock.h"
#include "support/file_identity.h"
#include "support/file_store.h"

namespace tavorline {

// The daily log LOG/logYYYYMMDD.txt in the program's folder. Lines end in
// CR LF and each is handed to the system as soon as it is written, so the
// file is always complete on disk and may be read while the gateway runs.
//
// Given a way to tell files apart, today's file stays open between lines:
// opening and closing it for every line costs several system calls, and a
// log line follows every message relayed, right where the next message's
// delay is measured. Before each line the path is checked to still name the
// open file; a file removed or replaced (or a new day) is opened afresh.
// Without that probe the file is opened for each line and closed after it,
// by its wide name on Windows, and is free between lines for others to
// copy, rename or delete. The probe's streams are C FILEs, which open by
// narrow name: the kept-open mode is for systems whose paths are bytes, and
// for files on disk; a probe therefore means the disk, whatever the store.
class DailyLog {
public:
    DailyLog(std::filesystem::path programFolder, const Clock& clock,
             const FileIdentityProbe* identity = nullptr, FileStore& files = diskFiles());
    ~DailyLog();
    DailyLog(const DailyLog&) = delete;
    DailyLog& operator=(const DailyLog&) = delete;

    // `file` empty: today's daily log; otherwise a path used unchanged
    // (relative to the current directory), opened for this line only. Every
    // file error is swallowed: a payment must never fail because its log
    // line could not be written.
    void Write_Log(BytesView line, BytesView file = {}) const;

    // Good until the next call of todaysPath or Write_Log.
    const std::filesystem::path& todaysPath() const;

private:
    void appendKeepingOpen(const std::filesystem::path& path, BytesView line) const;
    std::FILE* todaysFile(const std::filesystem::path& path) const;
    bool stillAt(const std::filesystem::path& path) const;
    void closeToday() const;

    std::filesystem::path programFolder_;
    const Clock& clock_;
    const FileIdentityProbe* identity_;
    FileStore& files_;
    // Today's path, made once a day rather than for every line.
    mutable Bytes pathDate_;
    mutable std::filesystem::path todaysPath_;
    // The file a line last went to, while it is open.
    mutable std::FILE* open_ = nullptr;
    mutable std::filesystem::path openPath_;
    mutable std::optional<FileIdentity> openIdentity_;
};

}  // namespace tavorline
