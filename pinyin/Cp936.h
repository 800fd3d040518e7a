#pragma once

#include <QString>

#include <cstdint>

namespace pinyin {

// The code page 936 (GBK) code of one UTF-16 code unit, read as a signed 16-bit number:
// a one-byte encoding gives its byte value, a two-byte encoding b1 * 256 + b2 - 65536.
// A unit without an encoding (a lone surrogate, a character outside GBK) gives 63, the
// code of '?'. The table behind it is built once, on first use, and is read-only after.
int16_t cp936Code(char16_t unit);

// False when the C library has no code page 936 converter: every code would then be 63
// and no drug would get its initials.
bool cp936Available();

// Why nothing that needs initials can run without that converter, in Chinese.
inline const QString ConverterMissingMessage =
    QStringLiteral("本机缺少 GBK（代码页 936）字符转换器（glibc 的 gconv 模块），无法计算药名的拼音首字母。"
                   "请安装或修复 C 库的字符转换模块后再试。");

} // namespace pinyin
