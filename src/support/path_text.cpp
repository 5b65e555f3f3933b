#include "support/path_text.h"

#include <string>

namespace tavorline {

namespace fs = std::filesystem;

#ifdef _WIN32

Bytes pathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return Bytes(text.begin(), text.end());
}

fs::path pathFromText(BytesView text) {
    try {
        return fs::path(std::u8string(text.begin(), text.end()));
    } catch (const fs::filesystem_error&) {
        return fs::path(Bytes(text));
    }
}

#else

Bytes pathText(const fs::path& path) { return path.string(); }

fs::path pathFromText(BytesView text) { return fs::path(Bytes(text)); }

#endif

}  // namespace tavorline
