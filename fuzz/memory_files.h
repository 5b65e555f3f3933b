#pragma once

#include <iterator>
#include <map>
#include <set>
#include <string>

#include "support/file_store.h"

namespace tavorline::fuzzing {

// The engine's files in memory: no disk, and nothing of one input left
// behind for the next but what the harness puts back. A replace cannot fail
// half way here, so the disk's in-place fallback has nothing to do.
class MemoryFiles : public FileStore {
public:
    using Path = std::filesystem::path;

    std::optional<Bytes> read(const Path& file) const override {
        const auto found = files.find(file.native());
        if (found == files.end()) return std::nullopt;
        return found->second;
    }
    bool exists(const Path& file) const override {
        return files.contains(file.native()) || folders.contains(file.native());
    }
    void replace(const Path& file, BytesView content, BytesView) override {
        files[file.native()].assign(content);
    }
    bool makeFolders(const Path& folder, std::error_code& error) override {
        error.clear();
        folders.insert(folder.native());
        return true;
    }
    void appendLine(const Path& file, BytesView line) override {
        Bytes& content = files[file.native()];
        content += line;
        content += "\r\n";
    }

    // Back to just this one file with this content. The file keeps its
    // buffer: a reset follows every input.
    void reset(const Path& file, BytesView content) {
        for (auto it = files.begin(); it != files.end();) {
            it = it->first == file.native() ? std::next(it) : files.erase(it);
        }
        files[file.native()].assign(content);
    }

    using Contents = std::map<std::string, Bytes, std::less<>>;
    Contents files;
    std::set<std::string, std::less<>> folders;
};

}  // namespace tavorline::fuzzing
