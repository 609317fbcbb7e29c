#include "platform/win32/ansi_code_page_win32.h"

#include <windows.h>

#include <limits>
#include <stdexcept>

namespace varnlet::platform {
namespace {
int CheckedLength(std::size_t n) {
  if (n > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw std::length_error("text too long");
  return static_cast<int>(n);
}
}  // namespace

std::string AnsiCodePageWin32::ToAnsi(std::wstring_view text) const {
  if (text.empty()) return {};
  const int inLength = CheckedLength(text.size());
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), inLength, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), inLength, out.data(), n, nullptr, nullptr);
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
