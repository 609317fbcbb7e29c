#pragma once
// The texts the registry class makes of values.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace varnlet::registry {

// "0x" + eight upper-case hex digits + " (" + signed decimal + ")": 255 gives "0x000000FF (255)".
std::wstring DwordText(std::int32_t value);
// Signed decimal, as std::to_wstring writes it: -5 gives "-5".
std::wstring DecimalText(std::int64_t value);
// Two upper-case hex digits and a space per byte: 0x0A 0xFF give "0A FF ".
std::wstring HexByteText(std::span<const std::uint8_t> bytes);
// Hex digits without a leading zero and a space per byte: 0x0A 0xFF give "A FF ".
std::wstring ShortHexByteText(std::span<const std::uint8_t> bytes);
// A NUL-padded buffer as text: the text before the first NUL; or, for multi-strings, the text
// before the last NUL with every other NUL turned into a space.
std::wstring BufferToText(std::wstring_view sBuffer, bool bMultiString);
// A program's path as the first word of a command line: in double quotes when it holds a space,
// since Windows would otherwise try each prefix ("C:\Program.exe" for "C:\Program Files\...").
// A path already quoted, or without a space, stays as it is.
std::wstring QuotedIfSpaced(std::wstring_view path);

}  // namespace varnlet::registry
