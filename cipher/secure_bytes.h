#pragma once

#include <cstddef>

namespace vornlib {

// Overwrites key material with zeros in a way the compiler may not drop.
void wipe(void* data, std::size_t size);

// Compares in a time that does not depend on where the bytes differ.
bool equalInConstantTime(const unsigned char* a, const unsigned char* b, std::size_t size);

}  // namespace vornlib
