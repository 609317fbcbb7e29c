#include "platform/win32/shell_api_win32.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "platform/win32/handles.h"

namespace varnlet::platform {

std::int32_t ShellApiWin32::Shell_NotifyIconA(std::uint32_t dwMessage, const std::uint8_t* lpData) {
  // The shell reads only cbSize bytes; copy into a real record so nothing is read past ours.
  NOTIFYICONDATAA record{};
  DWORD cbSize = 0;
  std::memcpy(&cbSize, lpData, sizeof cbSize);
  std::memcpy(&record, lpData, cbSize < sizeof record ? cbSize : sizeof record);
  return ::Shell_NotifyIconA(dwMessage, &record);
}

std::intptr_t ShellApiWin32::ShellExecuteA(Hwnd hwnd, const char* lpOperation, const char* lpFile,
                                           const char* lpParameters, const char* lpDirectory, std::int32_t nShowCmd) {
  return reinterpret_cast<std::intptr_t>(
      ::ShellExecuteA(win32::ToHwnd(hwnd), lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd));
}

}  // namespace varnlet::platform
