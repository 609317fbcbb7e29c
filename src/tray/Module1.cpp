#include "tray/Module1.h"

#include <cstring>
#include <functional>
#include <vector>

#include "toolkit/error_skipping.h"

namespace varnlet::tray {
namespace {
constexpr const char* kShellLibrary = "shell32.dll";
// The major version is the high word of dwFileVersionMS in VS_FIXEDFILEINFO.
constexpr std::size_t kMajorVersionOffset = 10;
}  // namespace

bool Module1::IsShellVersion(std::int32_t required) {
  std::uint32_t handle = 0;
  const auto size = static_cast<std::int32_t>(services_.version.GetFileVersionInfoSizeA(kShellLibrary, &handle));
  if (size <= 0) return false;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
  services_.version.GetFileVersionInfoA(kShellLibrary, 0, static_cast<std::uint32_t>(size), buffer.data());
  const void* info = nullptr;
  std::uint32_t length = 0;
  if (services_.version.VerQueryValueA(buffer.data(), "\\", &info, &length) != 1) return false;
  // Read the major version only where the answer really holds it, inside our buffer.
  const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
  const auto at = reinterpret_cast<std::uintptr_t>(info);
  if (info == nullptr || length < kMajorVersionOffset + 2 || at < begin || at - begin > buffer.size() ||
      buffer.size() - (at - begin) < kMajorVersionOffset + 2) {
    return false;
  }
  std::int16_t major = 0;
  std::memcpy(&major, static_cast<const std::uint8_t*>(info) + kMajorVersionOffset, sizeof major);
  return major >= required;
}

void Module1::InitNotifyIconSize() {
  const NotifyIconLayout& layout = layout_;
  if (IsShellVersion(6)) {
    notifyIconDataSize_ = static_cast<std::int32_t>(layout.sizeShell6);
  } else if (IsShellVersion(5)) {
    notifyIconDataSize_ = static_cast<std::int32_t>(layout.sizeShell5);
  } else {
    notifyIconDataSize_ = static_cast<std::int32_t>(layout.sizeShell4);
  }
}

NotifyIconRecord Module1::NewRecord(Hwnd hWnd) {
  NotifyIconRecord record(layout_);
  if (notifyIconDataSize_ == 0) InitNotifyIconSize();
  const NotifyIconLayout& l = record.layout();
  record.SetDword(l.cbSize, static_cast<std::uint32_t>(notifyIconDataSize_));
  record.SetHandle(l.hWnd, static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(hWnd))));
  record.SetDword(l.uID, TrayIconId);
  return record;
}

bool Module1::AddIcon(const NotifyIconRecord& record) {
  if (services_.shell.Shell_NotifyIconA(kNimAdd, record.data()) != 1) return false;
  services_.shell.Shell_NotifyIconA(kNimSetVersion, record.data());
  return true;
}

void Module1::ShellTrayAdd(Hwnd hWnd, std::uintptr_t icon, std::wstring_view tip) {
  NotifyIconRecord record = NewRecord(hWnd);
  const NotifyIconLayout& l = record.layout();
  record.SetDword(l.uFlags, kNifMessage | kNifIcon | kNifTip | kNifInfo);
  record.SetDword(l.uCallbackMessage, TrayCallbackMessage);
  record.SetHandle(l.hIcon, icon);
  record.SetText(l.szTip, kTipWidth, tip, services_.ansi);
  // Set although NIF_STATE is not among the flags; the shell ignores it.
  record.SetDword(l.dwState, kNisSharedIcon);
  record.SetDword(l.uTimeout, kNotifyIconVersion);
  if (!AddIcon(record)) return;
  added_ = record;
  SubClass(hWnd);
}

void Module1::ShellTrayShowBalloon(Hwnd hWnd, std::int32_t iconKind, std::wstring_view title, std::wstring_view text) {
  NotifyIconRecord record = NewRecord(hWnd);
  const NotifyIconLayout& l = record.layout();
  // Not in a new user's first hour, quiet hours or Focus assist; and a notice that cannot be shown
  // now is dropped, not shown minutes later still saying it goes away in 7 seconds.
  record.SetDword(l.uFlags, kNifInfo | kNifRealtime);
  record.SetDword(l.dwInfoFlags, static_cast<std::uint32_t>(iconKind) | kNiifRespectQuietTime);
  record.SetText(l.szInfoTitle, kInfoTitleWidth, title, services_.ansi);
  record.SetText(l.szInfo, kInfoWidth, text, services_.ansi);
  services_.shell.Shell_NotifyIconA(kNimModify, record.data());
}

void Module1::ShellTrayHideBalloon(Hwnd hWnd) {
  NotifyIconRecord record = NewRecord(hWnd);
  const NotifyIconLayout& l = record.layout();
  // An empty balloon text under kNifInfo takes the balloon away. kNifTip is left out, so the
  // icon keeps its tip.
  record.SetDword(l.uFlags, kNifInfo);
  record.SetDword(l.uTimeout, kNotifyIconVersion);
  services_.shell.Shell_NotifyIconA(kNimModify, record.data());
}

void Module1::ShellTrayRemove(Hwnd hWnd) {
  NotifyIconRecord record = NewRecord(hWnd);
  if (balloonTimerOn_) BalloonTimerStop(hWnd);
  services_.shell.Shell_NotifyIconA(kNimDelete, record.data());
  added_.reset();
}

void Module1::SubClass(Hwnd hWnd) {
  toolkit::SkipErrors([&] {
    // A window that is already subclassed keeps its one predecessor: recording the tray
    // procedure as its own predecessor would make every message loop forever.
    if (prevWndProc_ != 0) return;
    taskbarCreated_ = services_.user.RegisterWindowMessageA("TaskbarCreated");
    // The shell restarts unelevated; an elevated program hears it only if it lets the message
    // through. Without that, the icon would stay away for good. Where it fails, carry on.
    if (taskbarCreated_ != 0) {
      toolkit::SkipErrors(
          [&] { services_.user.ChangeWindowMessageFilterEx(hWnd, taskbarCreated_, platform::kMsgfltAllow); });
    }
    ownWndProc_ = services_.user.WindowProcAddress(hWnd, *this);
    const std::intptr_t previous = services_.user.SetWindowLongA(hWnd, platform::kGwlWndProc, ownWndProc_);
    if (previous != ownWndProc_) prevWndProc_ = previous;
  });
}

void Module1::UnSubClass(Hwnd hWnd) {
  if (prevWndProc_ == 0) return;
  services_.user.SetWindowLongA(hWnd, platform::kGwlWndProc, prevWndProc_);
  prevWndProc_ = 0;
}

std::intptr_t Module1::Forward(Hwnd hWnd, std::uint32_t uMsg, std::uintptr_t wParam, std::intptr_t lParam) {
  return services_.user.CallWindowProcA(prevWndProc_, hWnd, uMsg, wParam, lParam);
}

std::intptr_t Module1::TrayWindowProc(Hwnd hWnd, std::uint32_t uMsg, std::uintptr_t wParam, std::intptr_t lParam) {
  using toolkit::SkipErrors;
  Hwnd form = 0;
  SkipErrors([&] { form = host_.hWnd(); });
  if (hWnd != form || uMsg != TrayCallbackMessage) {
    std::intptr_t result = 0;
    if (uMsg == taskbarCreated_ && taskbarCreated_ != 0 && hWnd == form && added_) {
      // The shell restarted with an empty notification area: put the icon back, without
      // subclassing again.
      SkipErrors([&] { AddIcon(*added_); });
    }
    SkipErrors([&] { result = Forward(hWnd, uMsg, wParam, lParam); });
    return result;
  }
  // A mouse right click ends with WM_CONTEXTMENU right after the release; the keyboard (Shift+F10,
  // the menu key) sends it alone.
  const bool trailingContextMenu = lParam == kWmContextMenu && menuFromRightButton_;
  menuFromRightButton_ = false;
  switch (lParam) {
    case kWmRButtonUp:
      menuFromRightButton_ = true;
      OpenTrayMenu(form, false);
      break;
    case kWmContextMenu:
      if (!trailingContextMenu) OpenTrayMenu(form, true);
      break;
    case kNinKeySelect:
      OpenTrayMenu(form, true);
      break;
    case kNinBalloonShow:
      SkipErrors([&] { BalloonTimerStart(hWnd, BalloonShowTime); });
      break;
    case kNinBalloonHide:
    case kNinBalloonTimeout:
    case kNinBalloonUserClick:
      SkipErrors([&] { BalloonTimerStop(hWnd); });
      break;
    default:
      break;
  }
  return 0;
}

void Module1::OpenTrayMenu(Hwnd form, bool fromKeyboard) {
  using toolkit::SkipErrors;
  SkipErrors([&] { services_.user.SetForegroundWindow(form); });
  bool chosen = false;
  // Returns once the chosen item has run: with the About window or the error box that may be
  // much later, and the menu must open again meanwhile.
  SkipErrors([&] { chosen = host_.PopupTrayMenu(); });
  if (host_.Ended()) return;
  // Without it the menu may not close when the user clicks elsewhere.
  SkipErrors([&] { services_.user.PostMessageA(form, platform::kWmNull, 0, 0); });
  // A keyboard user who closed the menu goes on from the icon, not from nowhere.
  if (fromKeyboard && !chosen) {
    SkipErrors([&] { services_.shell.Shell_NotifyIconA(kNimSetFocus, NewRecord(form).data()); });
  }
}

void Module1::BalloonTimerStart(Hwnd hWnd, std::uint32_t interval) {
  if (balloonTimerOn_ || interval == 0) return;
  const std::uintptr_t id =
      services_.user.SetTimer(hWnd, BalloonTimerId, interval, services_.user.TimerProcAddress(hWnd, *this));
  balloonTimerOn_ = id == BalloonTimerId;
}

void Module1::BalloonTimerStop(Hwnd hWnd) {
  if (!balloonTimerOn_) return;
  services_.user.KillTimer(hWnd, BalloonTimerId);
  balloonTimerOn_ = false;
}

std::uint32_t Module1::TimerProc(Hwnd hwnd, std::uint32_t uMsg, std::uintptr_t idEvent, std::uint32_t dwTime) {
  toolkit::SkipErrors([&] { BalloonTimerProc(hwnd, uMsg, idEvent, dwTime); });
  return 0;
}

std::uint32_t Module1::BalloonTimerProc(Hwnd hWnd, std::uint32_t uMsg, std::uintptr_t idEvent,
                                        std::uint32_t /*dwTime*/) {
  if (uMsg != platform::kWmTimer || idEvent != BalloonTimerId || !balloonTimerOn_) return 0;
  BalloonTimerStop(hWnd);
  ShellTrayHideBalloon(host_.hWnd());
  return 0;
}

}  // namespace varnlet::tray
