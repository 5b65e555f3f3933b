// A stand-in for a shop's build of VornLib.dll, built twice: stdcall with
// mingw's decorated export names (SEED_Vorn@12), and cdecl with plain names.
// Its results are easy to write down by hand, and SEED_Vorn names the build
// it comes from. DecDES3 and the key exchange are left out on purpose.
#include <cstring>
#include <initializer_list>

#ifdef FAKE_VORNLIB_STDCALL
#define FAKE_VORNLIB_CALL __stdcall
#else
#define FAKE_VORNLIB_CALL __cdecl
#endif

extern "C" {

// "<build>:<mode>:<input>"
__declspec(dllexport) int FAKE_VORNLIB_CALL
    SEED_Vorn(const char* mode, const char* input, char* output) {
    std::size_t length = 0;
    for (const char* part : {FAKE_VORNLIB_BUILD, ":", mode, ":", input}) {
        std::strcpy(output + length, part);
        length += std::strlen(part);
    }
    return static_cast<int>(length);
}

// Each byte XOR the key's byte at its place.
__declspec(dllexport) void FAKE_VORNLIB_CALL
    EncDES3(const unsigned char* in8, const char* key16, unsigned char* out8) {
    for (int i = 0; i < 8; ++i) out8[i] = in8[i] ^ static_cast<unsigned char>(key16[i]);
}
}
