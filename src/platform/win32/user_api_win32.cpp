#include "platform/win32/user_api_win32.h"

#include <windows.h>

#include "platform/win32/handles.h"
#include "platform/win32/system_library.h"

namespace varnlet::platform {
namespace {

using win32::FromHwnd;
using win32::ToHwnd;

// The program's objects are reached from the window through properties, so the system-facing
// procedures below hold no state of their own.
constexpr wchar_t kWindowProcProp[] = L"Varnlet.WindowProcTarget";
constexpr wchar_t kTimerProcProp[] = L"Varnlet.TimerProcTarget";

LRESULT CALLBACK WindowProcTrampoline(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* target = static_cast<WindowProcTarget*>(::GetPropW(hwnd, kWindowProcProp));
  if (msg == WM_NCDESTROY) {
    ::RemovePropW(hwnd, kWindowProcProp);
    ::RemovePropW(hwnd, kTimerProcProp);
  }
  if (target == nullptr) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
  try {
    return target->WindowProc(FromHwnd(hwnd), msg, wParam, lParam);
  } catch (...) {
    // Nothing may cross into the system's frames.
    return 0;
  }
}

VOID CALLBACK TimerProcTrampoline(HWND hwnd, UINT msg, UINT_PTR id, DWORD time) {
  auto* target = static_cast<TimerProcTarget*>(::GetPropW(hwnd, kTimerProcProp));
  if (target == nullptr) return;
  try {
    target->TimerProc(FromHwnd(hwnd), msg, id, time);
  } catch (...) {
    // Nothing may cross into the system's frames.
  }
}

}  // namespace

std::intptr_t UserApiWin32::WindowProcAddress(Hwnd hwnd, WindowProcTarget& target) {
  ::SetPropW(ToHwnd(hwnd), kWindowProcProp, &target);
  return reinterpret_cast<std::intptr_t>(&WindowProcTrampoline);
}

std::intptr_t UserApiWin32::TimerProcAddress(Hwnd hwnd, TimerProcTarget& target) {
  ::SetPropW(ToHwnd(hwnd), kTimerProcProp, &target);
  return reinterpret_cast<std::intptr_t>(&TimerProcTrampoline);
}

std::intptr_t UserApiWin32::SetWindowLongA(Hwnd hWnd, std::int32_t nIndex, std::intptr_t dwNewLong) {
  return ::SetWindowLongPtrA(ToHwnd(hWnd), nIndex, dwNewLong);
}

std::intptr_t UserApiWin32::CallWindowProcA(std::intptr_t lpPrevWndFunc, Hwnd hWnd, std::uint32_t Msg,
                                            std::uintptr_t wParam, std::intptr_t lParam) {
  return ::CallWindowProcA(reinterpret_cast<WNDPROC>(lpPrevWndFunc), ToHwnd(hWnd), Msg, wParam, lParam);
}

std::int32_t UserApiWin32::SetForegroundWindow(Hwnd hWnd) { return ::SetForegroundWindow(ToHwnd(hWnd)); }

std::uintptr_t UserApiWin32::SetTimer(Hwnd hWnd, std::uintptr_t nIDEvent, std::uint32_t uElapse,
                                      std::intptr_t lpTimerFunc) {
  return ::SetTimer(ToHwnd(hWnd), nIDEvent, uElapse, reinterpret_cast<TIMERPROC>(lpTimerFunc));
}

std::uintptr_t UserApiWin32::SetCoalescableTimer(Hwnd hWnd, std::uintptr_t nIDEvent, std::uint32_t uElapse,
                                                 std::intptr_t lpTimerFunc, std::uint32_t uToleranceDelay) {
  // Found at run time: Windows 7 lacks it.
  using Fn = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC, ULONG);
  static const auto set = win32::ProcAddress<Fn>(::GetModuleHandleW(L"user32.dll"), "SetCoalescableTimer");
  return set != nullptr
             ? set(ToHwnd(hWnd), nIDEvent, uElapse, reinterpret_cast<TIMERPROC>(lpTimerFunc), uToleranceDelay)
             : 0;
}

std::int32_t UserApiWin32::KillTimer(Hwnd hWnd, std::uintptr_t uIDEvent) { return ::KillTimer(ToHwnd(hWnd), uIDEvent); }

std::int32_t UserApiWin32::PostMessageA(Hwnd hWnd, std::uint32_t Msg, std::uintptr_t wParam, std::intptr_t lParam) {
  return ::PostMessageA(ToHwnd(hWnd), Msg, wParam, lParam);
}

std::uint32_t UserApiWin32::RegisterWindowMessageA(const char* lpString) { return ::RegisterWindowMessageA(lpString); }

std::int32_t UserApiWin32::ChangeWindowMessageFilterEx(Hwnd hwnd, std::uint32_t message, std::uint32_t action) {
  // Found at run time: Windows Vista has only the process-wide form.
  using Fn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  static const auto filter = win32::ProcAddress<Fn>(::GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx");
  return filter != nullptr ? filter(ToHwnd(hwnd), message, action, nullptr) : 0;
}

}  // namespace varnlet::platform
