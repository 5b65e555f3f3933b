#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "vornlib_host.h"

namespace vornlib_test {

// The built library, opened by path and never closed, as the gateway keeps it
// for its whole run.
#ifdef _WIN32
// LoadLibrary wants backslashes; the build hands the path with forward ones.
inline std::wstring windowsPath(const char* path) {
    std::wstring wide;
    for (const char* p = path; *p != '\0'; ++p) wide.push_back(*p == '/' ? L'\\' : *p);
    return wide;
}

inline HMODULE libraryHandle() {
    static const HMODULE handle = LoadLibraryW(windowsPath(VORNLIB_PATH).c_str());
    if (handle == nullptr) throw std::runtime_error("cannot load " VORNLIB_PATH);
    return handle;
}

// By plain name, as the gateway asks for it: a decorated stdcall name
// (name@bytes) in the export table would not be found.
inline void* symbolOf(const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(libraryHandle(), name));
}
#else
inline void* libraryHandle() {
    static void* const handle = dlopen(VORNLIB_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error("cannot load " VORNLIB_PATH);
    return handle;
}

inline void* symbolOf(const char* name) { return dlsym(libraryHandle(), name); }
#endif

template <typename Fn>
Fn exportOf(const char* name) {
    const auto fn = reinterpret_cast<Fn>(symbolOf(name));
    if (fn == nullptr) throw std::runtime_error(std::string("missing export ") + name);
    return fn;
}

// Each export looked up by name, as the gateway and a host simulator do; the
// headers only lend the types.
#define VORNLIB_EXPORT_OF(name) decltype(&::name) name = exportOf<decltype(&::name)>(#name)
struct Exports {
    VORNLIB_EXPORT_OF(SEED_Vorn);
    VORNLIB_EXPORT_OF(EncDES3);
    VORNLIB_EXPORT_OF(DecDES3);
    VORNLIB_EXPORT_OF(GetRsa3DesKey);
    VORNLIB_EXPORT_OF(GetRasEncData);
    VORNLIB_EXPORT_OF(GetRasDecData);
    VORNLIB_EXPORT_OF(VornHost_NewRsaKey);
    VORNLIB_EXPORT_OF(VornHost_PublicKeyDer);
    VORNLIB_EXPORT_OF(VornHost_UnwrapSessionKey);
    VORNLIB_EXPORT_OF(VornHost_Seal);
    VORNLIB_EXPORT_OF(VornHost_Open);
};

inline const Exports& vornLib() {
    static const Exports exports;
    return exports;
}

using Bytes = std::vector<unsigned char>;
using CipherKey = std::array<unsigned char, VORNLIB_CIPHER_KEY_SIZE>;

inline const unsigned char* bytesOf(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// An output area followed by poison bytes: anything a call writes beyond the
// `declared` size it was promised changes a poison byte.
class GuardedArea {
public:
    explicit GuardedArea(std::size_t declared, std::size_t guard = 256)
        : declared_(declared), bytes_(declared + guard, kPoison) {}
    unsigned char* data() { return bytes_.data(); }
    std::string text(int n) const { return std::string(bytes_.begin(), bytes_.begin() + n); }
    bool guardIntact() const {
        return std::all_of(bytes_.begin() + declared_, bytes_.end(),
                           [](unsigned char b) { return b == kPoison; });
    }

private:
    static constexpr unsigned char kPoison = 0xA5;
    std::ptrdiff_t declared_;
    Bytes bytes_;
};

// RSA generation is the slow part of these tests, so each host key is made
// once and kept for the whole run.
inline VornHostKey* hostKey(int which = 0) {
    static VornHostKey* const keys[] = {vornLib().VornHost_NewRsaKey(2048),
                                        vornLib().VornHost_NewRsaKey(2048)};
    return keys[which];
}

inline Bytes publicKeyDer(VornHostKey* key) {
    Bytes der(4096);
    der.resize(std::max(0, vornLib().VornHost_PublicKeyDer(key, der.data(), 4096)));
    return der;
}

// Both ends' CipherKey after the key exchange of mode "AR", and the answer
// that went from gateway to host.
struct SessionKeys {
    CipherKey gateway{};
    CipherKey host{};
    Bytes answer = Bytes(VORNLIB_EXCHANGE_AREA_SIZE);
};

inline SessionKeys exchangeKeys() {
    SessionKeys keys;
    const Bytes der = publicKeyDer(hostKey());
    const int n = vornLib().GetRsa3DesKey(der.data(), static_cast<int>(der.size()),
                                          keys.gateway.data(), keys.answer.data());
    keys.answer.resize(std::max(0, n));
    vornLib().VornHost_UnwrapSessionKey(hostKey(), keys.answer.data(), n, keys.host.data());
    return keys;
}

}  // namespace vornlib_test
