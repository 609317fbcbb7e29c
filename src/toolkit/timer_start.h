#pragma once
// How the toolkit starts a timer: with a tolerance, so that Windows may serve its ticks together
// with other timers instead of waking the processor for it alone, and the plain timer where the
// system has no such call.
#include <cstdint>

#include "platform/user_api.h"

namespace varnlet::toolkit {

// Starts timer `id` of `hwnd`, whose ticks arrive as WM_TIMER every `interval` ms: coalescable,
// each tick at most `tolerance` ms late, where the system offers it (Windows 8 and later); else,
// and should that call refuse, the plain timer Windows 7 has. The system's answer: 0 when no
// timer runs.
inline std::uintptr_t StartTimer(platform::UserApi& user, platform::Hwnd hwnd, std::uintptr_t id,
                                 std::uint32_t interval, std::uint32_t tolerance) {
  if (const std::uintptr_t started = user.SetCoalescableTimer(hwnd, id, interval, 0, tolerance); started != 0) {
    return started;
  }
  return user.SetTimer(hwnd, id, interval, 0);
}

}  // namespace varnlet::toolkit
