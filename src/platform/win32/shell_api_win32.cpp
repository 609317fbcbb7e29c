#include "platform/win32/shell_api_win32.h"

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstring>

#include "platform/win32/handles.h"
#include "tray/notify_icon_record.h"

namespace {
// The program builds the record in bytes; it must match the system's own for this architecture.
constexpr const varnlet::tray::NotifyIconLayout& kLayout = varnlet::tray::kNativeLayout;
static_assert(offsetof(NOTIFYICONDATAA, cbSize) == kLayout.cbSize);
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == kLayout.hWnd);
static_assert(offsetof(NOTIFYICONDATAA, uID) == kLayout.uID);
static_assert(offsetof(NOTIFYICONDATAA, uFlags) == kLayout.uFlags);
static_assert(offsetof(NOTIFYICONDATAA, uCallbackMessage) == kLayout.uCallbackMessage);
static_assert(offsetof(NOTIFYICONDATAA, hIcon) == kLayout.hIcon);
static_assert(offsetof(NOTIFYICONDATAA, szTip) == kLayout.szTip);
static_assert(offsetof(NOTIFYICONDATAA, dwState) == kLayout.dwState);
static_assert(offsetof(NOTIFYICONDATAA, dwStateMask) == kLayout.dwStateMask);
static_assert(offsetof(NOTIFYICONDATAA, szInfo) == kLayout.szInfo);
static_assert(offsetof(NOTIFYICONDATAA, uTimeout) == kLayout.uTimeout);
static_assert(offsetof(NOTIFYICONDATAA, uVersion) == kLayout.uTimeout);
static_assert(offsetof(NOTIFYICONDATAA, szInfoTitle) == kLayout.szInfoTitle);
static_assert(offsetof(NOTIFYICONDATAA, dwInfoFlags) == kLayout.dwInfoFlags);
static_assert(offsetof(NOTIFYICONDATAA, guidItem) == kLayout.guidItem);
static_assert(sizeof(HWND) == kLayout.handleWidth && sizeof(HICON) == kLayout.handleWidth);
static_assert(NOTIFYICONDATAA_V1_SIZE == kLayout.sizeShell4);
static_assert(NOTIFYICONDATAA_V2_SIZE == kLayout.sizeShell5);
static_assert(NOTIFYICONDATAA_V3_SIZE == kLayout.sizeShell6);
static_assert(sizeof(NOTIFYICONDATAA) >= kLayout.length);
}  // namespace

namespace varnlet::platform {

std::int32_t ShellApiWin32::Shell_NotifyIconA(std::uint32_t dwMessage, const std::uint8_t* lpData) {
  // The shell reads only cbSize bytes; copy into a real record so nothing is read past ours.
  NOTIFYICONDATAA record{};
  DWORD cbSize = 0;
  std::memcpy(&cbSize, lpData, sizeof cbSize);
  std::memcpy(&record, lpData, cbSize < sizeof record ? cbSize : sizeof record);
  return ::Shell_NotifyIconA(dwMessage, &record);
}

std::intptr_t ShellApiWin32::ShellExecuteA(toolkit::Hwnd hwnd, const char* lpOperation, const char* lpFile,
                                           const char* lpParameters, const char* lpDirectory,
                                           std::int32_t nShowCmd) {
  return reinterpret_cast<std::intptr_t>(
      ::ShellExecuteA(win32::ToHwnd(hwnd), lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd));
}

}  // namespace varnlet::platform
