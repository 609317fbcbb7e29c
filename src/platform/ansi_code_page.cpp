#include "platform/ansi_code_page.h"

#include <algorithm>
#include <array>
#include <type_traits>

namespace varnlet::platform {
namespace {

// 0x80..0x9F of Windows-1252; 0 marks the five bytes the code page leaves undefined.
constexpr std::array<char16_t, 32> kHigh = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                            0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// A sample of what the system's best fit makes of characters the code page lacks (measured under
// Wine with code page 1252): the look-alikes that turn text into separators and quotes.
char BestFit(std::uint32_t u) {
  // Fullwidth forms U+FF01..U+FF5E: their ASCII originals, U+FF3C giving '\\' and U+FF02 '"'.
  if (u >= 0xFF01 && u <= 0xFF5E) return static_cast<char>(u - 0xFF01 + 0x21);
  switch (u) {
    case 0x2215:  // division slash
    case 0x2044:  // fraction slash
      return '/';
    case 0x2216:  // set minus
      return '\\';
    case 0x0141:  // L with stroke
      return 'L';
    case 0x0142:
      return 'l';
    default:
      return '?';
  }
}

char ToByte(wchar_t c, bool bestFit) {
  // wchar_t is signed on some systems: read its bits as a code unit.
  const auto u = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
  // The five undefined bytes stand for the C1 controls of the same value, both ways.
  if (u < 0xA0 && kHigh[u - 0x80] == 0) return static_cast<char>(u);
  for (std::size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] != 0 && kHigh[i] == u) return static_cast<char>(0x80 + i);
  }
  return bestFit ? BestFit(u) : '?';
}

}  // namespace

std::string Windows1252::WideCharToMultiByte(std::uint32_t dwFlags, std::wstring_view text) const {
  const bool bestFit = (dwFlags & kWcNoBestFitChars) == 0;
  std::string out(text.size(), '\0');
  std::transform(text.begin(), text.end(), out.begin(), [bestFit](wchar_t c) { return ToByte(c, bestFit); });
  return out;
}

std::wstring Windows1252::FromAnsi(std::string_view text) const {
  std::wstring out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 && b < 0xA0) {
      // Undefined bytes map to the C1 control of the same value, as Windows does.
      const char16_t mapped = kHigh[b - 0x80];
      out.push_back(static_cast<wchar_t>(mapped != 0 ? mapped : b));
    } else {
      out.push_back(static_cast<wchar_t>(b));
    }
  }
  return out;
}

}  // namespace varnlet::platform
