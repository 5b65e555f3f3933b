#include "gcrypt_runtime.h"

#include <gcrypt.h>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <type_traits>

#include "secure_bytes.h"

namespace vornlib {
namespace {

// A library must not decide for the program how libgcrypt runs: when the
// program has initialised it already, that setup stays. Otherwise we do the
// minimum a library may: check the version, go without secure memory (our
// keys live in the caller's areas anyway, and secure memory would need
// privileges on Linux) and declare the initialisation finished.
bool initialise() {
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P) != 0) {
        return gcry_check_version(GCRYPT_VERSION) != nullptr;
    }
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
}

struct CipherSetup {
    int algorithm;
    int mode;
    std::size_t blockSize;
    bool twoKey;
};

constexpr std::size_t kDes2KeySize = 16;
constexpr std::size_t kDes3KeySize = 24;

CipherSetup setupOf(Cipher cipher) {
    switch (cipher) {
        case Cipher::SeedCbc:
            return {GCRY_CIPHER_SEED, GCRY_CIPHER_MODE_CBC, 16, false};
        case Cipher::Des2Ecb:
            return {GCRY_CIPHER_3DES, GCRY_CIPHER_MODE_ECB, 8, true};
        case Cipher::Des2Cbc:
            return {GCRY_CIPHER_3DES, GCRY_CIPHER_MODE_CBC, 8, true};
    }
    return {GCRY_CIPHER_NONE, GCRY_CIPHER_MODE_NONE, 0, false};
}

struct HandleCloser {
    void operator()(std::remove_pointer_t<gcry_cipher_hd_t>* handle) const {
        gcry_cipher_close(handle);
    }
};
using CipherHandle = std::unique_ptr<std::remove_pointer_t<gcry_cipher_hd_t>, HandleCloser>;

// Two-key 3DES is three-key 3DES with K3 = K1. Weak DES keys are allowed, as
// the other side's implementations allow them: refusing one would make an
// exchange fail that works everywhere else.
bool setKey(gcry_cipher_hd_t handle, const CipherSetup& setup, const unsigned char* key) {
    if (!setup.twoKey) return gcry_cipher_setkey(handle, key, setup.blockSize) == 0;
    std::array<unsigned char, kDes3KeySize> key24;
    std::copy_n(key, kDes2KeySize, key24.begin());
    std::copy_n(key, kDes3KeySize - kDes2KeySize, key24.begin() + kDes2KeySize);
    gcry_cipher_ctl(handle, GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
    const gcry_error_t status = gcry_cipher_setkey(handle, key24.data(), key24.size());
    wipe(key24.data(), key24.size());
    return status == 0 || gcry_err_code(status) == GPG_ERR_WEAK_KEY;
}

CipherHandle openCipher(const CipherSetup& setup, const unsigned char* key,
                        const unsigned char* iv) {
    gcry_cipher_hd_t raw = nullptr;
    if (gcry_cipher_open(&raw, setup.algorithm, setup.mode, 0) != 0) return nullptr;
    CipherHandle handle(raw);
    if (!setKey(raw, setup, key)) return nullptr;
    if (setup.mode == GCRY_CIPHER_MODE_CBC && gcry_cipher_setiv(raw, iv, setup.blockSize) != 0) {
        return nullptr;
    }
    return handle;
}

// PKCS#7: the last byte says how many bytes of padding there are (1 to a
// block), and each of them has that value.
std::size_t paddingLength(std::span<const unsigned char> plain, std::size_t blockSize) {
    const std::size_t n = plain.empty() ? 0 : plain.back();
    if (n == 0 || n > blockSize || n > plain.size()) return 0;
    const bool uniform = std::all_of(plain.end() - static_cast<std::ptrdiff_t>(n), plain.end(),
                                     [n](unsigned char b) { return b == n; });
    return uniform ? n : 0;
}

bool transformInPlace(const CipherHandle& handle, bool encrypt, std::span<unsigned char> bytes) {
    if (!handle) return false;
    const gcry_error_t status =
        encrypt ? gcry_cipher_encrypt(handle.get(), bytes.data(), bytes.size(), nullptr, 0)
                : gcry_cipher_decrypt(handle.get(), bytes.data(), bytes.size(), nullptr, 0);
    return status == 0;
}

}  // namespace

bool gcryptReady() {
    static const bool ready = initialise();
    return ready;
}

int runCipher(Cipher cipher, const unsigned char* key, const unsigned char* iv, bool encrypt,
              bool padding, std::span<const unsigned char> in, std::span<unsigned char> out) {
    const CipherSetup setup = setupOf(cipher);
    if (!gcryptReady() || in.size() > INT_MAX / 2 || out.size() < in.size() + setup.blockSize) {
        return -1;
    }
    const std::size_t size =
        encrypt && padding ? (in.size() / setup.blockSize + 1) * setup.blockSize : in.size();
    if (size % setup.blockSize != 0 || (padding && size == 0)) return -1;

    const auto work = out.first(size);
    std::copy(in.begin(), in.end(), work.begin());
    std::fill(work.begin() + static_cast<std::ptrdiff_t>(in.size()), work.end(),
              static_cast<unsigned char>(size - in.size()));
    const bool done = transformInPlace(openCipher(setup, key, iv), encrypt, work);
    const std::size_t removed = !encrypt && padding ? paddingLength(work, setup.blockSize) : 0;
    if (!done || (!encrypt && padding && removed == 0)) {
        wipe(work.data(), work.size());
        return -1;
    }
    return static_cast<int>(size - removed);
}

bool randomBytes(std::span<unsigned char> out) {
    if (!gcryptReady()) return false;
    gcry_randomize(out.data(), out.size(), GCRY_STRONG_RANDOM);
    return true;
}

}  // namespace vornlib
