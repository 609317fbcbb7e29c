#pragma once
#include "platform/shell_api.h"

namespace varnlet::platform {

class ShellApiWin32 final : public ShellApi {
 public:
  std::int32_t Shell_NotifyIconA(std::uint32_t dwMessage, const std::uint8_t* lpData) override;
  std::intptr_t ShellExecuteA(Hwnd hwnd, const char* lpOperation, const char* lpFile, const char* lpParameters,
                              const char* lpDirectory, std::int32_t nShowCmd) override;
  std::int32_t ShellExecuteFromDesktop(const wchar_t* lpFile, const wchar_t* lpOperation,
                                       std::int32_t nShowCmd) override;
};

}  // namespace varnlet::platform
