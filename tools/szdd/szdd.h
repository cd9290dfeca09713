#pragma once
// SZDD compression, the format of the MS-DOS and Windows "compress" tool that
// Windows' LZ expand functions (LZOpenFile, LZCopy) read.
//
// Layout: the magic 53 5A 44 44 88 F0 27 33, the mode 'A', the last character
// of the original name (0 here), the expanded length (32-bit little-endian),
// then LZSS data: a flag byte before every eight items, bit set for a literal
// byte, bit clear for a two-byte match of 3 to 18 bytes from a 4096-byte ring
// that starts filled with spaces, written from position 0xFF0.

#include <cstdint>
#include <vector>

namespace szdd {

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& input);

// The reference expander, for the packer's own checks.
bool Expand(const std::vector<std::uint8_t>& packed, std::vector<std::uint8_t>& output);

} // namespace szdd
