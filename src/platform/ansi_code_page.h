#pragma once
// The one conversion between the program's wide strings and the system's ANSI code page, used
// at every ANSI system call. Windows converts with CP_ACP; the tests use Windows-1252, so that
// "Descripción" keeps one byte per character.
#include <string>
#include <string_view>

namespace varnlet::platform {

class AnsiCodePage {
 public:
  virtual ~AnsiCodePage() = default;
  // Characters the code page lacks become its default character ("?").
  virtual std::string ToAnsi(std::wstring_view text) const = 0;
  virtual std::wstring FromAnsi(std::string_view text) const = 0;
};

// Windows-1252, the code page of Western European Windows; portable, used by the fakes and tests.
class Windows1252 final : public AnsiCodePage {
 public:
  std::string ToAnsi(std::wstring_view text) const override;
  std::wstring FromAnsi(std::string_view text) const override;
};

}  // namespace varnlet::platform
