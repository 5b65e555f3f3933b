#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "support/bytes.h"

namespace tavorline {

// A file that could not be written; the text says which and why.
class FileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where the engine's files live: the configuration file, the LOG folder and
// the log files. The program and its tests keep them on disk; a fuzzer that
// runs thousands of calls a second keeps them in memory, where the file
// system's own cost and state do not come between one input and the next.
class FileStore {
public:
    virtual ~FileStore() = default;

    // The whole file; nothing when it is missing or cannot be read.
    virtual std::optional<Bytes> read(const std::filesystem::path& file) const = 0;
    // Whether anything is at `file`. Throws std::filesystem::filesystem_error
    // when that cannot be told.
    virtual bool exists(const std::filesystem::path& file) const = 0;
    // Puts `content` in place of the file, whose content is `old` (empty when
    // there is none yet). A failure leaves the old content. Throws
    // FileWriteError.
    virtual void replace(const std::filesystem::path& file, BytesView content, BytesView old) = 0;
    // Makes the folder and any missing parents. Whether the folder is there
    // now; `error` says what went wrong, when anything did.
    virtual bool makeFolders(const std::filesystem::path& folder, std::error_code& error) = 0;
    // Appends `line` and CR LF, creating a missing file. A line that cannot
    // be written is lost without a word.
    virtual void appendLine(const std::filesystem::path& file, BytesView line) = 0;
};

// The files on disk, as the program keeps them: a file is replaced with a
// rename, and written over in place where its folder allows no new file.
FileStore& diskFiles();

}  // namespace tavorline
