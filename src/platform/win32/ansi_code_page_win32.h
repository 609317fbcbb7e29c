#pragma once
#include "platform/ansi_code_page.h"

namespace varnlet::platform {

// The system's ANSI code page (CP_ACP), as the A functions use it.
class AnsiCodePageWin32 final : public AnsiCodePage {
 public:
  std::wstring FromAnsi(std::string_view text) const override;
  std::string WideCharToMultiByte(std::uint32_t dwFlags, std::wstring_view text) const override;
};

}  // namespace varnlet::platform
