// The program builds the notification-area record in bytes; on Windows the layout of the build's
// architecture must match the system's own NOTIFYICONDATAA. Nothing here runs: the compiler checks.
#include <windows.h>
#include <shellapi.h>

#include <cstddef>

#include "tray/notify_icon_record.h"

namespace {
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
