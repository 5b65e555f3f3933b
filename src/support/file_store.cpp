#include "support/file_store.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>

#include "support/path_text.h"

namespace tavorline {

namespace fs = std::filesystem;

namespace {

// Beside the file, so that the final rename stays within one file system.
fs::path temporarySibling(const fs::path& file) {
    static std::atomic<unsigned> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto suffix = std::to_string(stamp) + "-" + std::to_string(++serial);
    fs::path name = file.filename();
    name += "." + suffix + ".tmp";
    return file.parent_path() / name;
}

// Writes `content` over the file where it stands, without truncating first,
// so that the blocks of the old content stay the file's own until the new
// content is complete; NotOpened leaves the file as it was.
enum class Overwrite { Done, NotOpened, Failed };

Overwrite overwrite(const fs::path& file, BytesView content) {
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    if (!out.is_open()) return Overwrite::NotOpened;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    out.close();
    if (out.fail()) return Overwrite::Failed;
    std::error_code ec;
    fs::resize_file(file, content.size(), ec);
    return ec ? Overwrite::Failed : Overwrite::Done;
}

// A shop may keep the program in a folder it cannot write to, with only the
// configuration file writable. No file can be made beside it there, so it is
// written over where it stands, as the platform's own profile functions do.
// A write that fails half way (a full disk) gets the old content back, which
// fits where the new content did not.
void rewriteInPlace(const fs::path& file, BytesView content, BytesView old) {
    switch (overwrite(file, content)) {
        case Overwrite::Done:
            return;
        case Overwrite::NotOpened:
            throw FileWriteError("cannot write " + pathText(file));
        case Overwrite::Failed:
            if (overwrite(file, old) != Overwrite::Done) {
                throw FileWriteError("cannot write " + pathText(file) +
                                     ", and its old content could not be put back");
            }
            throw FileWriteError("cannot write " + pathText(file) + "; its old content is back");
    }
}

// Only a folder that refuses new files sends the write in place: any other
// reason (a full disk, a name too long) would fail the same way there, after
// the old content was already given up.
bool folderForbidsNewFiles(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

class DiskFiles : public FileStore {
public:
    // istream::read turns a read error (a folder by the name, say) into
    // badbit; reading through a streambuf iterator would let the library's
    // exception escape instead.
    std::optional<Bytes> read(const fs::path& file) const override {
        std::ifstream in(file, std::ios::binary);
        if (!in) return std::nullopt;
        Bytes content;
        char chunk[4096];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
            content.append(chunk, static_cast<std::size_t>(in.gcount()));
        }
        if (in.bad()) return std::nullopt;
        return content;
    }

    bool exists(const fs::path& file) const override { return fs::exists(file); }

    // The old file stays untouched until the complete new one replaces it
    // with a rename, which the file system does in one step. Closing the
    // stream hands the bytes to the operating system, which keeps them
    // across a crash of the gateway; surviving a power cut as well would
    // need the platform's sync call.
    void replace(const fs::path& file, BytesView content, BytesView old) override {
        std::error_code ec;
        // Write through a link, so that the link itself survives.
        fs::path target = file;
        if (fs::is_symlink(file, ec)) target = fs::canonical(file, ec);
        if (ec) target = file;

        const fs::path temporary = temporarySibling(target);
        {
            errno = 0;
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            if (!out.is_open()) {
                const int error = errno;
                if (!folderForbidsNewFiles(error)) {
                    throw FileWriteError("cannot create " + pathText(temporary) + ": " +
                                         std::generic_category().message(error));
                }
                rewriteInPlace(target, content, old);
                return;
            }
            out.write(content.data(), static_cast<std::streamsize>(content.size()));
            out.flush();
            out.close();
            if (out.fail()) {
                fs::remove(temporary, ec);
                throw FileWriteError("cannot write " + pathText(temporary));
            }
        }
        const auto oldStatus = fs::status(target, ec);
        if (!ec && fs::exists(oldStatus)) {
            fs::permissions(temporary, oldStatus.permissions(), ec);
        }
        fs::rename(temporary, target, ec);
        if (ec) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw FileWriteError("cannot replace " + pathText(target) + ": " + ec.message());
        }
    }

    bool makeFolders(const fs::path& folder, std::error_code& error) override {
        fs::create_directories(folder, error);
        return !error && fs::is_directory(folder, error);
    }

    // Opened through the path itself (by its wide name on Windows), so a
    // folder name in any script works. "app" creates a missing file.
    void appendLine(const fs::path& file, BytesView line) override {
        std::ofstream out(file, std::ios::binary | std::ios::app);
        if (!out.is_open()) return;
        out << line << "\r\n";
    }
};

}  // namespace

FileStore& diskFiles() {
    static DiskFiles files;
    return files;
}

}  // namespace tavorline
