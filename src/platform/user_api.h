#pragma once
// The user32 calls of the tray and of the toolkit's timers: replacing a window's procedure,
// timers, bringing a window forward and posting messages. Window and timer procedures are the program's objects;
// the platform turns them into addresses the system can call.
#include <cstdint>

#include "platform/window_types.h"

namespace varnlet::platform {

class WindowProcTarget {
 public:
  virtual ~WindowProcTarget() = default;
  virtual std::intptr_t WindowProc(Hwnd hwnd, std::uint32_t uMsg, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

class TimerProcTarget {
 public:
  virtual ~TimerProcTarget() = default;
  virtual std::uint32_t TimerProc(Hwnd hwnd, std::uint32_t uMsg, std::uintptr_t idEvent, std::uint32_t dwTime) = 0;
};

inline constexpr std::int32_t kGwlWndProc = -4;
inline constexpr std::uint32_t kWmNull = 0x0000;
inline constexpr std::uint32_t kWmClose = 0x0010;
inline constexpr std::uint32_t kWmQueryEndSession = 0x0011;
inline constexpr std::uint32_t kWmEndSession = 0x0016;
inline constexpr std::uint32_t kWmTimer = 0x0113;
inline constexpr std::uint32_t kWmSettingChange = 0x001A;
inline constexpr std::uint32_t kWmDisplayChange = 0x007E;
inline constexpr std::uint32_t kWmDpiChanged = 0x02E0;
inline constexpr std::uint32_t kMsgfltAllow = 1;
// The largest tolerance SetCoalescableTimer takes (TIMERV_COALESCING_MAX).
inline constexpr std::uint32_t kTimervCoalescingMax = 0x7FFFFFF5;

class UserApi {
 public:
  virtual ~UserApi() = default;
  // The address of a window procedure that hands the messages of `hwnd` to `target`.
  virtual std::intptr_t WindowProcAddress(Hwnd hwnd, WindowProcTarget& target) = 0;
  // The address of a timer procedure that hands the ticks of `hwnd`'s timers to `target`.
  virtual std::intptr_t TimerProcAddress(Hwnd hwnd, TimerProcTarget& target) = 0;

  // Pointer-sized: on 64-bit Windows this is SetWindowLongPtrA.
  virtual std::intptr_t SetWindowLongA(Hwnd hWnd, std::int32_t nIndex, std::intptr_t dwNewLong) = 0;
  virtual std::intptr_t CallWindowProcA(std::intptr_t lpPrevWndFunc, Hwnd hWnd, std::uint32_t Msg,
                                        std::uintptr_t wParam, std::intptr_t lParam) = 0;
  virtual std::int32_t SetForegroundWindow(Hwnd hWnd) = 0;
  virtual std::uintptr_t SetTimer(Hwnd hWnd, std::uintptr_t nIDEvent, std::uint32_t uElapse,
                                  std::intptr_t lpTimerFunc) = 0;
  // SetTimer with a tolerance: Windows may delay each expiry by up to uToleranceDelay ms to serve
  // it together with other timers (Windows 8 and later; 0, with no timer, where the system lacks
  // the call).
  virtual std::uintptr_t SetCoalescableTimer(Hwnd hWnd, std::uintptr_t nIDEvent, std::uint32_t uElapse,
                                             std::intptr_t lpTimerFunc, std::uint32_t uToleranceDelay) = 0;
  virtual std::int32_t KillTimer(Hwnd hWnd, std::uintptr_t uIDEvent) = 0;
  virtual std::int32_t PostMessageA(Hwnd hWnd, std::uint32_t Msg, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  virtual std::uint32_t RegisterWindowMessageA(const char* lpString) = 0;
  // Lets `message` reach `hwnd` from processes of a lower integrity level (Windows 7 and later;
  // 0 where the system lacks the call).
  virtual std::int32_t ChangeWindowMessageFilterEx(Hwnd hwnd, std::uint32_t message, std::uint32_t action) = 0;
};

}  // namespace varnlet::platform
