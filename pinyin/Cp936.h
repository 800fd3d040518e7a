#pragma once

#include <cstdint>

namespace pinyin {

// The code page 936 (GBK) code of one UTF-16 code unit, read as a signed 16-bit number:
// a one-byte encoding gives its byte value, a two-byte encoding b1 * 256 + b2 - 65536.
// A unit without an encoding (a lone surrogate, a character outside GBK) gives 63, the
// code of '?'. The table behind it is built once, on first use, and is read-only after.
int16_t Cp936Code(char16_t unit);

// False when the C library has no code page 936 converter: every code would then be 63
// and no drug would get its initials.
bool Cp936Available();

} // namespace pinyin
