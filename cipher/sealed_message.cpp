#include "sealed_message.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "gcrypt_runtime.h"
#include "secure_bytes.h"
#include "session_key.h"
#include "vornlib.h"
#include "vornlib_host.h"

namespace vornlib {
namespace {

constexpr std::size_t kIvSize = kDesBlockSize;

constexpr std::size_t sealedSize(std::size_t plainSize) {
    return kHeaderSize + kIvSize + (plainSize / kDesBlockSize + 1) * kDesBlockSize;
}
static_assert(sealedSize(0) == VORNHOST_SEALED_SIZE(0) && sealedSize(8) == VORNHOST_SEALED_SIZE(8));

// Printable ASCII without the blank, so a tag always reads as a word in logs.
bool isTagByte(unsigned char c) { return c > 0x20 && c < 0x7F; }

bool isValidTag(const unsigned char* tag) { return std::all_of(tag, tag + kTagSize, isTagByte); }

// The session key, wiped from the stack on every way out.
class LoadedKey {
public:
    explicit LoadedKey(const unsigned char* cipherKey20) : ok_(loadSessionKey(cipherKey20, key_)) {}
    ~LoadedKey() { wipe(key_.data(), key_.size()); }
    LoadedKey(const LoadedKey&) = delete;
    LoadedKey& operator=(const LoadedKey&) = delete;
    bool ok() const { return ok_; }
    const unsigned char* data() const { return key_.data(); }

private:
    Des2Key key_{};
    bool ok_;
};

}  // namespace

int sealMessage(const char* tag, std::span<const unsigned char> plain,
                const unsigned char* cipherKey20, std::span<unsigned char> out) {
    if (tag == nullptr || strnlen(tag, kTagSize + 1) != kTagSize) return -1;
    const auto* tagBytes = reinterpret_cast<const unsigned char*>(tag);
    const std::size_t total = sealedSize(plain.size());
    if (!isValidTag(tagBytes) || total - kHeaderSize > kMaxBodySize || total > out.size()) {
        return -1;
    }
    const LoadedKey key(cipherKey20);
    if (!key.ok()) return -1;

    // Built in scratch so a failure leaves `out` as it was.
    std::vector<unsigned char> sealed(total + kDesBlockSize);
    const std::size_t body = total - kHeaderSize;
    std::copy_n(tagBytes, kTagSize, sealed.begin());
    sealed[kTagSize] = static_cast<unsigned char>(body >> 8);
    sealed[kTagSize + 1] = static_cast<unsigned char>(body & 0xFF);
    const auto iv = std::span(sealed).subspan(kHeaderSize, kIvSize);
    if (!randomBytes(iv)) return -1;
    const int n = runCipher(Cipher::Des2Cbc, key.data(), iv.data(), true, true, plain,
                            std::span(sealed).subspan(kHeaderSize + kIvSize));
    if (n < 0 || kHeaderSize + kIvSize + static_cast<std::size_t>(n) != total) return -1;
    std::copy_n(sealed.begin(), total, out.begin());
    return static_cast<int>(total);
}

int openMessage(std::span<const unsigned char> message, const unsigned char* cipherKey20,
                std::span<unsigned char> out) {
    if (message.size() < kHeaderSize + kIvSize + kDesBlockSize || !isValidTag(message.data())) {
        return -1;
    }
    const std::size_t body = (std::size_t{message[kTagSize]} << 8) | message[kTagSize + 1];
    // The chunk must be exactly one message: a split or a second message
    // behind it would otherwise decrypt to garbage or be lost silently.
    if (body != message.size() - kHeaderSize || (body - kIvSize) % kDesBlockSize != 0) return -1;
    // Padding removes at most one block, so a longer text cannot fit `out`.
    if (body - kIvSize > out.size() + kDesBlockSize) return -1;
    const LoadedKey key(cipherKey20);
    if (!key.ok()) return -1;

    const auto iv = message.subspan(kHeaderSize, kIvSize);
    const auto cipherText = message.subspan(kHeaderSize + kIvSize);
    std::vector<unsigned char> plain(cipherText.size() + kDesBlockSize);
    const int n = runCipher(Cipher::Des2Cbc, key.data(), iv.data(), false, true, cipherText, plain);
    const bool fits = n >= 0 && static_cast<std::size_t>(n) <= out.size();
    if (fits) std::copy_n(plain.begin(), n, out.begin());
    wipe(plain.data(), plain.size());
    return fits ? n : -1;
}

}  // namespace vornlib

namespace {

// The C entry points: reject what a span cannot express, then never let an
// exception (out of memory) cross into the caller.
bool validArea(const void* data, int len) { return len >= 0 && (data != nullptr || len == 0); }

int sealChecked(const char* tag, const unsigned char* data, int len,
                const unsigned char* cipherKey20, unsigned char* out, int outSize) {
    if (!validArea(data, len) || out == nullptr || outSize < 0) return -1;
    try {
        return vornlib::sealMessage(tag, {data, static_cast<std::size_t>(len)}, cipherKey20,
                                    {out, static_cast<std::size_t>(outSize)});
    } catch (...) {
        return -1;
    }
}

int openChecked(const unsigned char* data, int len, const unsigned char* cipherKey20,
                unsigned char* out, int outSize) {
    if (data == nullptr || len < 0 || out == nullptr || outSize < 0) return -1;
    try {
        return vornlib::openMessage({data, static_cast<std::size_t>(len)}, cipherKey20,
                                    {out, static_cast<std::size_t>(outSize)});
    } catch (...) {
        return -1;
    }
}

}  // namespace

extern "C" {

int VORNLIB_CALL GetRasEncData(const char* tag, const unsigned char* data, int len,
                               unsigned char* cipherKey20, unsigned char* out) {
    return sealChecked(tag, data, len, cipherKey20, out, VORNLIB_EXCHANGE_AREA_SIZE);
}

int VORNLIB_CALL GetRasDecData(const unsigned char* data, int len, unsigned char* cipherKey20,
                               unsigned char* out) {
    return openChecked(data, len, cipherKey20, out, VORNLIB_EXCHANGE_AREA_SIZE);
}

int VORNLIB_CALL VornHost_Seal(const char* tag, const unsigned char* data, int len,
                               const unsigned char* cipherKey20, unsigned char* out, int outSize) {
    return sealChecked(tag, data, len, cipherKey20, out, outSize);
}

int VORNLIB_CALL VornHost_Open(const unsigned char* data, int len, const unsigned char* cipherKey20,
                               unsigned char* out, int outSize) {
    return openChecked(data, len, cipherKey20, out, outSize);
}

}  // extern "C"
