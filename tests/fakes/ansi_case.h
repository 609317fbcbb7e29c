#pragma once
// Case folding of Windows-1252 text as the system compares key, value and file names: without
// regard to case, by the upper-case form of each character.
#include <string>
#include <string_view>

#include "base/ascii_case.h"

namespace varnlet::fakes {

// The upper-case form of a Windows-1252 byte. Not only AsciiUpper: the system folds the code
// page's own letters too (é, š), and the fakes must compare as it does.
inline unsigned char AnsiUpper(unsigned char c) {
  if (c < 0x80) return AsciiUpper(c);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A:
      return 0x8A;  // š
    case 0x9C:
      return 0x8C;  // œ
    case 0x9E:
      return 0x8E;  // ž
    case 0xFF:
      return 0x9F;  // ÿ
    default:
      return c;
  }
}

inline std::string AnsiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(AnsiUpper(static_cast<unsigned char>(c)));
  return out;
}

inline bool AnsiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AnsiUpper(static_cast<unsigned char>(a[i])) != AnsiUpper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace varnlet::fakes
