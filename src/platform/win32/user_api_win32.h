#pragma once
#include "platform/user_api.h"

namespace varnlet::platform {

class UserApiWin32 final : public UserApi {
 public:
  std::intptr_t WindowProcAddress(Hwnd hwnd, WindowProcTarget& target) override;
  std::intptr_t TimerProcAddress(Hwnd hwnd, TimerProcTarget& target) override;
  std::intptr_t SetWindowLongA(Hwnd hWnd, std::int32_t nIndex, std::intptr_t dwNewLong) override;
  std::intptr_t CallWindowProcA(std::intptr_t lpPrevWndFunc, Hwnd hWnd, std::uint32_t Msg, std::uintptr_t wParam,
                                std::intptr_t lParam) override;
  std::int32_t SetForegroundWindow(Hwnd hWnd) override;
  std::uintptr_t SetTimer(Hwnd hWnd, std::uintptr_t nIDEvent, std::uint32_t uElapse,
                          std::intptr_t lpTimerFunc) override;
  std::uintptr_t SetCoalescableTimer(Hwnd hWnd, std::uintptr_t nIDEvent, std::uint32_t uElapse,
                                     std::intptr_t lpTimerFunc, std::uint32_t uToleranceDelay) override;
  std::int32_t KillTimer(Hwnd hWnd, std::uintptr_t uIDEvent) override;
  std::int32_t PostMessageA(Hwnd hWnd, std::uint32_t Msg, std::uintptr_t wParam, std::intptr_t lParam) override;
  std::uint32_t RegisterWindowMessageA(const char* lpString) override;
  std::int32_t ChangeWindowMessageFilterEx(Hwnd hwnd, std::uint32_t message, std::uint32_t action) override;
};

}  // namespace varnlet::platform
