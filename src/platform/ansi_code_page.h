#pragma once
// The one conversion between the program's wide strings and the system's ANSI code page, used
// at every ANSI system call. Windows converts with CP_ACP; the tests use Windows-1252, so that
// "Descripción" keeps one byte per character.
#include <cstdint>
#include <string>
#include <string_view>

namespace varnlet::platform {

// WC_NO_BEST_FIT_CHARS: a character the code page lacks becomes its default character instead
// of a look-alike.
inline constexpr std::uint32_t kWcNoBestFitChars = 0x400;

class AnsiCodePage {
 public:
  virtual ~AnsiCodePage() = default;
  // Characters the code page lacks become its default character ("?"), never a look-alike: a
  // fullwidth backslash (U+FF3C) would otherwise name another key or file, and a fullwidth
  // quotation mark (U+FF02) end a quoted path.
  std::string ToAnsi(std::wstring_view text) const { return WideCharToMultiByte(kWcNoBestFitChars, text); }
  virtual std::wstring FromAnsi(std::string_view text) const = 0;
  // The system's conversion with the given WC_ flags; without kWcNoBestFitChars a character
  // the code page lacks may become a look-alike ("best fit").
  virtual std::string WideCharToMultiByte(std::uint32_t dwFlags, std::wstring_view text) const = 0;
};

// Windows-1252, the code page of Western European Windows, with the system's best-fit mapping of
// the characters it lacks; portable, used by the fakes and tests.
class Windows1252 final : public AnsiCodePage {
 public:
  std::wstring FromAnsi(std::string_view text) const override;
  std::string WideCharToMultiByte(std::uint32_t dwFlags, std::wstring_view text) const override;
};

}  // namespace varnlet::platform
