#include "fakes/fake_user.h"

#include <algorithm>

namespace varnlet::fakes {

std::intptr_t FakeUser::WindowProcAddress(Hwnd, platform::WindowProcTarget& target) {
  windowTarget_ = &target;
  return kTrayProc;
}

std::intptr_t FakeUser::TimerProcAddress(Hwnd, platform::TimerProcTarget& target) {
  timerTarget_ = &target;
  return kTimerProc;
}

std::intptr_t FakeUser::ProcOf(Hwnd hwnd) const {
  const auto it = procs_.find(hwnd);
  return it == procs_.end() ? kOriginalProc : it->second;
}

std::intptr_t FakeUser::SetWindowLongA(Hwnd hWnd, std::int32_t nIndex, std::intptr_t dwNewLong) {
  Log("SetWindowLongA(" + std::to_string(dwNewLong) + ")");
  if (faults.ShouldFail("SetWindowLongA") || nIndex != platform::kGwlWndProc || hWnd == 0) return 0;
  const std::intptr_t previous = ProcOf(hWnd);
  procs_[hWnd] = dwNewLong;
  return previous;
}

std::intptr_t FakeUser::CallWindowProcA(std::intptr_t lpPrevWndFunc, Hwnd hWnd, std::uint32_t Msg,
                                        std::uintptr_t wParam, std::intptr_t lParam) {
  if (faults.ShouldFail("CallWindowProcA")) return 0;
  if (lpPrevWndFunc == kOriginalProc) {
    reachedOriginal.push_back(Msg);
    return static_cast<std::intptr_t>(Msg) + 1;
  }
  if (lpPrevWndFunc == kTrayProc && windowTarget_ != nullptr) {
    return windowTarget_->WindowProc(hWnd, Msg, wParam, lParam);
  }
  return 0;
}

std::intptr_t FakeUser::Send(Hwnd hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  // Delivered by the system, not through the program's CallWindowProcA.
  const std::intptr_t proc = ProcOf(hwnd);
  if (proc == kTrayProc && windowTarget_ != nullptr) return windowTarget_->WindowProc(hwnd, msg, wParam, lParam);
  if (proc == kOriginalProc) {
    reachedOriginal.push_back(msg);
    return static_cast<std::intptr_t>(msg) + 1;
  }
  return 0;
}

std::int32_t FakeUser::SetForegroundWindow(Hwnd hWnd) {
  Log("SetForegroundWindow(" + std::to_string(hWnd) + ")");
  return faults.ShouldFail("SetForegroundWindow") ? 0 : 1;
}

std::uintptr_t FakeUser::SetTimer(Hwnd, std::uintptr_t nIDEvent, std::uint32_t uElapse, std::intptr_t lpTimerFunc) {
  Log("SetTimer(" + std::to_string(nIDEvent) + "," + std::to_string(uElapse) + ")");
  // The tray's timers call its procedure; the toolkit's (0) post WM_TIMER to their window.
  if (faults.ShouldFail("SetTimer") || (lpTimerFunc != kTimerProc && lpTimerFunc != 0)) return 0;
  const std::uintptr_t result = setTimerResult(nIDEvent);
  if (result != 0) {
    timers[nIDEvent] = uElapse;
    tolerances.erase(nIDEvent);
  }
  return result;
}

std::uintptr_t FakeUser::SetCoalescableTimer(Hwnd, std::uintptr_t nIDEvent, std::uint32_t uElapse,
                                             std::intptr_t lpTimerFunc, std::uint32_t uToleranceDelay) {
  if (!hasCoalescableTimers) return 0;
  Log("SetCoalescableTimer(" + std::to_string(nIDEvent) + "," + std::to_string(uElapse) + "," +
      std::to_string(uToleranceDelay) + ")");
  if (faults.ShouldFail("SetCoalescableTimer") || (lpTimerFunc != kTimerProc && lpTimerFunc != 0)) return 0;
  if (uToleranceDelay > platform::kTimervCoalescingMax && uToleranceDelay != 0xFFFFFFFF) return 0;
  timers[nIDEvent] = uElapse;
  tolerances[nIDEvent] = uToleranceDelay;
  return nIDEvent;
}

std::int32_t FakeUser::KillTimer(Hwnd, std::uintptr_t uIDEvent) {
  Log("KillTimer(" + std::to_string(uIDEvent) + ")");
  if (faults.ShouldFail("KillTimer")) return 0;
  tolerances.erase(uIDEvent);
  return timers.erase(uIDEvent) != 0 ? 1 : 0;
}

std::int32_t FakeUser::PostMessageA(Hwnd hWnd, std::uint32_t Msg, std::uintptr_t wParam, std::intptr_t lParam) {
  Log("PostMessageA(" + std::to_string(Msg) + ")");
  if (faults.ShouldFail("PostMessageA")) return 0;
  posted.push_back({hWnd, Msg, wParam, lParam});
  return 1;
}

std::uint32_t FakeUser::RegisterWindowMessageA(const char* lpString) {
  if (faults.ShouldFail("RegisterWindowMessageA")) return 0;
  return std::string(lpString) == "TaskbarCreated" ? kTaskbarCreated : 0xC200;
}

std::int32_t FakeUser::ChangeWindowMessageFilterEx(Hwnd hwnd, std::uint32_t message, std::uint32_t action) {
  Log("ChangeWindowMessageFilterEx(" + std::to_string(message) + ")");
  if (faults.ShouldFail("ChangeWindowMessageFilterEx") || action != platform::kMsgfltAllow) return 0;
  allowed.emplace_back(hwnd, message);
  return 1;
}

std::intptr_t FakeUser::SendFromShell(Hwnd hwnd, std::uint32_t msg) {
  const bool let = std::find(allowed.begin(), allowed.end(), std::make_pair(hwnd, msg)) != allowed.end();
  return !elevated || let ? Send(hwnd, msg, 0, 0) : 0;
}

void FakeUser::FireTimer(Hwnd hwnd, std::uintptr_t id) {
  if (timerTarget_ != nullptr && timers.count(id) != 0) timerTarget_->TimerProc(hwnd, platform::kWmTimer, id, 1234);
}

}  // namespace varnlet::fakes
