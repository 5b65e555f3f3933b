#include "host/cipher_library.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tavorline {
namespace {

constexpr std::size_t kDesBlock = 8;
constexpr char kDes3KeyText[] = "QWVRMXZL50381627";

template <typename Fn>
Fn entry(DynamicLibrary& library, const char* name) {
    return reinterpret_cast<Fn>(library.resolve(name));
}

template <typename Fn>
Fn require(Fn fn, const char* name) {
    if (fn == nullptr) throw CipherUnavailable(std::string("VornLib: ") + name + " is not available");
    return fn;
}

}  // namespace

std::size_t keyExchangeAreaSize(std::size_t inputLength) {
    return kKeyExchangeOutputSize + 4 * inputLength;
}

CipherLibrary::CipherLibrary(DynamicLibrary& library) : library_(library) {}

void CipherLibrary::load() {
    if (!library_.load()) return;
    seed_ = entry<SeedFn>(library_, "SEED_Vorn");
    encDes3_ = entry<Des3Fn>(library_, "EncDES3");
    decDes3_ = entry<Des3Fn>(library_, "DecDES3");
    rsaKey_ = entry<RsaKeyFn>(library_, "GetRsa3DesKey");
    rasEnc_ = entry<RasEncFn>(library_, "GetRasEncData");
    rasDec_ = entry<RasDecFn>(library_, "GetRasDecData");
}

void CipherLibrary::unload() {
    seed_ = nullptr;
    encDes3_ = decDes3_ = nullptr;
    rsaKey_ = nullptr;
    rasEnc_ = nullptr;
    rasDec_ = nullptr;
    library_.unload();
}

int CipherLibrary::SEED_Vorn(const char* mode, const char* input, char* output) {
    return require(seed_, "SEED_Vorn")(mode, input, output);
}

void CipherLibrary::EncDES3(const unsigned char* in8, const char* key16, unsigned char* out8) {
    require(encDes3_, "EncDES3")(in8, key16, out8);
}

void CipherLibrary::DecDES3(const unsigned char* in8, const char* key16, unsigned char* out8) {
    require(decDes3_, "DecDES3")(in8, key16, out8);
}

int CipherLibrary::GetRsa3DesKey(const unsigned char* data, int len, unsigned char* cipherKey20,
                                 unsigned char* out) {
    return require(rsaKey_, "GetRsa3DesKey")(data, len, cipherKey20, out);
}

int CipherLibrary::GetRasEncData(const char* tag, const unsigned char* data, int len,
                                 unsigned char* cipherKey20, unsigned char* out) {
    return require(rasEnc_, "GetRasEncData")(tag, data, len, cipherKey20, out);
}

int CipherLibrary::GetRasDecData(const unsigned char* data, int len, unsigned char* cipherKey20,
                                 unsigned char* out) {
    return require(rasDec_, "GetRasDecData")(data, len, cipherKey20, out);
}

Bytes CipherLibrary::Des3Crypt(char mode, BytesView input) {
    Bytes result;
    std::size_t position = 0;
    do {
        // The library reads one block; the spare bytes keep a sloppy reader
        // inside the area.
        unsigned char block[2 * kDesBlock + 1] = {};
        const std::size_t taken = std::min(kDesBlock, input.size() - position);
        std::copy_n(input.data() + position, taken, block);
        position += kDesBlock;
        unsigned char out[kDesBlock] = {};
        if (mode == 'E') {
            EncDES3(block, kDes3KeyText, out);
        } else {
            DecDES3(block, kDes3KeyText, out);
        }
        result.append(reinterpret_cast<const char*>(out), kDesBlock);
    } while (position < input.size());
    return result;
}

int CipherLibrary::SeedCrypt(char mode, BytesView input, Bytes& output) {
    std::vector<char> area(kSeedOutputSize);
    const char modeText[] = {mode, '\0'};
    const std::string text(input);
    int count = -1;
    try {
        count = SEED_Vorn(modeText, text.c_str(), area.data());
    } catch (const CipherUnavailable&) {
        return -1;
    }
    const auto valid = std::min<std::size_t>(count > 0 ? count : 0, area.size());
    output.assign(area.data(), valid);
    return count;
}

}  // namespace tavorline
