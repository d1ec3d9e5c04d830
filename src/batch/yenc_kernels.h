#pragma once

#include <cstddef>

// The decode loops behind yenc::decode, one per instruction set; only yenc.cpp calls them.
namespace yenc::kernel {

// Decodes n bytes; `escaped` says the first byte was escaped by a "=" before it.
size_t scalar(const unsigned char* in, size_t n, unsigned char* out, bool escaped = false);
size_t ssse3(const unsigned char* in, size_t n, unsigned char* out);
size_t avx2(const unsigned char* in, size_t n, unsigned char* out);

} // namespace yenc::kernel
