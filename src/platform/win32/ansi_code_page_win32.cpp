#include "platform/win32/ansi_code_page_win32.h"

#include <windows.h>

#include <limits>

#include "base/errors.h"

namespace varnlet::platform {
namespace {
int CheckedLength(std::size_t n) {
  if (n > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw Overflow("text too long");
  return static_cast<int>(n);
}
}  // namespace

std::string AnsiCodePageWin32::WideCharToMultiByte(std::uint32_t dwFlags, std::wstring_view text) const {
  if (text.empty()) return {};
  const int inLength = CheckedLength(text.size());
  // Where the ANSI code page is UTF-8 (a Windows 10 option) every character has its own bytes,
  // so there is no best fit, and the system refuses the flag with ERROR_INVALID_FLAGS.
  if (::GetACP() == CP_UTF8) dwFlags &= ~static_cast<std::uint32_t>(WC_NO_BEST_FIT_CHARS);
  const int n = ::WideCharToMultiByte(CP_ACP, dwFlags, text.data(), inLength, nullptr, 0, nullptr, nullptr);
  // A conversion the system refuses must not become an empty name: that would name the root.
  if (n <= 0) throw Error("text the ANSI code page cannot take");
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, dwFlags, text.data(), inLength, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring AnsiCodePageWin32::FromAnsi(std::string_view text) const {
  if (text.empty()) return {};
  const int inLength = CheckedLength(text.size());
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), inLength, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), inLength, out.data(), n);
  return out;
}

}  // namespace varnlet::platform
