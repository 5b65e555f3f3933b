#include "secure_bytes.h"

namespace vornlib {

void wipe(void* data, std::size_t size) {
    // Stores through a volatile pointer are observable, so they survive
    // dead-store elimination on every compiler and platform.
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) p[i] = 0;
}

bool equalInConstantTime(const unsigned char* a, const unsigned char* b, std::size_t size) {
    unsigned char difference = 0;
    for (std::size_t i = 0; i < size; ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace vornlib
