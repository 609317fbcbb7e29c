#pragma once
// A user32 that keeps each window's procedure and timers in memory: a test sends messages
// through whatever procedure is installed and fires timers by hand.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fault_injector.h"
#include "fakes/journal.h"
#include "platform/user_api.h"

namespace varnlet::fakes {

using platform::Hwnd;

class FakeUser final : public platform::UserApi {
 public:
  static constexpr std::intptr_t kOriginalProc = 0x1000;
  static constexpr std::intptr_t kTrayProc = 0x2000;
  static constexpr std::intptr_t kTimerProc = 0x3000;
  static constexpr std::uint32_t kTaskbarCreated = 0xC123;

  struct Posted {
    Hwnd hwnd;
    std::uint32_t msg;
    std::uintptr_t wParam;
    std::intptr_t lParam;
  };

  explicit FakeUser(Journal* journal = nullptr) : journal_(journal) {}

  std::intptr_t WindowProcAddress(Hwnd hwnd, platform::WindowProcTarget& target) override;
  std::intptr_t TimerProcAddress(Hwnd hwnd, platform::TimerProcTarget& target) override;
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

  // Delivers a message to the window through its installed procedure, as DispatchMessage would.
  std::intptr_t Send(Hwnd hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);
  // A message the unelevated shell sends: an elevated program (as Windows' privilege isolation
  // does) receives it only once the window let it through; otherwise it is dropped (0).
  std::intptr_t SendFromShell(Hwnd hwnd, std::uint32_t msg);
  bool elevated = false;
  std::vector<std::pair<Hwnd, std::uint32_t>> allowed;  // ChangeWindowMessageFilterEx calls
  // The window's own procedure: records what reaches it and answers msg + 1.
  std::vector<std::uint32_t> reachedOriginal;
  // Runs the timer procedure of a running timer, as the system would when it is due.
  void FireTimer(Hwnd hwnd, std::uintptr_t id);

  std::intptr_t ProcOf(Hwnd hwnd) const;
  std::map<std::uintptr_t, std::uint32_t> timers;      // id -> interval, running timers
  std::map<std::uintptr_t, std::uint32_t> tolerances;  // id -> tolerance, of coalescable ones
  // False: Windows 7, which lacks SetCoalescableTimer.
  bool hasCoalescableTimers = true;
  std::vector<Posted> posted;
  FaultInjector faults;
  // What SetTimer answers; by default the id it was given.
  std::function<std::uintptr_t(std::uintptr_t)> setTimerResult = [](std::uintptr_t id) { return id; };

 private:
  void Log(const std::string& entry) {
    if (journal_ != nullptr) journal_->Add(entry);
  }
  Journal* journal_;
  std::map<Hwnd, std::intptr_t> procs_;
  platform::WindowProcTarget* windowTarget_ = nullptr;
  platform::TimerProcTarget* timerTarget_ = nullptr;
};

}  // namespace varnlet::fakes
