#include "tray/Module1.h"

#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "base/error_skipping.h"

namespace varnlet::tray {
namespace {
constexpr const char* kShellLibrary = "shell32.dll";
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

bool Module1::EnsureIcon() {
  NotifyIconRecord update = *icon_;
  // Without NIF_INFO: a balloon the icon shows stays.
  update.SetDword(update.layout().uFlags, kNifMessage | kNifIcon | kNifTip);
  if (services_.shell.Shell_NotifyIconA(kNimModify, update.data()) == 1) {
    // An icon the shell added after the add had failed never got the version.
    if (!iconShown_) services_.shell.Shell_NotifyIconA(kNimSetVersion, icon_->data());
    return true;
  }
  return AddIcon(*icon_);
}

bool Module1::TryIcon(Hwnd hWnd, bool first) {
  iconShown_ = first ? AddIcon(*icon_) : EnsureIcon();
  if (!iconShown_) return false;
  IconRetryStop(hWnd);
  if (pendingBalloon_) {
    const NotifyIconRecord balloon = *pendingBalloon_;
    pendingBalloon_.reset();
    services_.shell.Shell_NotifyIconA(kNimModify, balloon.data());
  }
  return true;
}

bool Module1::StartTimer(Hwnd hWnd, std::uintptr_t id, std::uint32_t interval) {
  return services_.user.SetTimer(hWnd, id, interval, services_.user.TimerProcAddress(hWnd, *this)) == id;
}

void Module1::StopTimer(Hwnd hWnd, std::uintptr_t id, bool& on) {
  if (!on) return;
  services_.user.KillTimer(hWnd, id);
  on = false;
}

std::unique_ptr<toolkit::Icon> Module1::FreshIcon() {
  std::unique_ptr<toolkit::Icon> fresh;
  SkipErrors([&] { fresh = host_.LoadTrayIcon(); });
  if (fresh && fresh->Handle() == 0) fresh.reset();
  return fresh;
}

bool Module1::ReloadIcon(Hwnd hWnd) {
  // The replaced picture goes once the shell was handed the new one (or refused it), on every
  // path: the record no longer names it. Without a new picture the old one is handed over again.
  std::unique_ptr<toolkit::Icon> replaced;
  if (std::unique_ptr<toolkit::Icon> fresh = FreshIcon()) {
    icon_->SetHandle(icon_->layout().hIcon, fresh->Handle());
    replaced = std::exchange(iconOwner_, std::move(fresh));
  }
  return TryIcon(hWnd, false);
}

void Module1::IconRetryStart(Hwnd hWnd) {
  retriesLeft_ = kIconRetries;
  if (!retryTimerOn_) retryTimerOn_ = StartTimer(hWnd, IconRetryTimerId, kIconRetryInterval);
}

void Module1::IconRetryStop(Hwnd hWnd) { StopTimer(hWnd, IconRetryTimerId, retryTimerOn_); }

void Module1::IconRetryTimerProc(Hwnd hWnd, std::uint32_t uMsg, std::uintptr_t idEvent) {
  if (uMsg != platform::kWmTimer || idEvent != IconRetryTimerId || !retryTimerOn_ || !icon_) return;
  const bool last = --retriesLeft_ <= 0;
  bool shown = false;
  SkipErrors([&] { shown = TryIcon(hWnd, false); });
  if (!shown && last) IconRetryStop(hWnd);
}

void Module1::ShellTrayAdd(Hwnd hWnd, std::uintptr_t icon, std::wstring_view tip) {
  // The window hears the shell from the start, icon or not: a taskbar created late announces
  // itself with TaskbarCreated, and an icon the shell adds late sends its notifications here.
  SubClass(hWnd);
  std::unique_ptr<toolkit::Icon> fresh = FreshIcon();
  if (fresh) icon = fresh->Handle();
  NotifyIconRecord record = NewRecord(hWnd);
  const NotifyIconLayout& l = record.layout();
  record.SetDword(l.uFlags, kNifMessage | kNifIcon | kNifTip | kNifInfo);
  record.SetDword(l.uCallbackMessage, TrayCallbackMessage);
  record.SetHandle(l.hIcon, icon);
  record.SetText(l.szTip, kTipWidth, tip, services_.ansi);
  // Set although NIF_STATE is not among the flags; the shell ignores it.
  record.SetDword(l.dwState, kNisSharedIcon);
  record.SetDword(l.uTimeout, kNotifyIconVersion);
  icon_ = record;
  iconOwner_ = std::move(fresh);
  bool shown = false;
  SkipErrors([&] { shown = TryIcon(hWnd, true); });
  if (!shown) IconRetryStart(hWnd);
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
  if (icon_ && !iconShown_) {
    pendingBalloon_ = record;
    return;
  }
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
  IconRetryStop(hWnd);
  // Sent whatever the shell answered before: an add that timed out may have gone through.
  services_.shell.Shell_NotifyIconA(kNimDelete, record.data());
  icon_.reset();
  iconOwner_.reset();
  iconShown_ = false;
  pendingBalloon_.reset();
}

void Module1::SubClass(Hwnd hWnd) {
  SkipErrors([&] {
    // A window that is already subclassed keeps its one predecessor: recording the tray
    // procedure as its own predecessor would make every message loop forever.
    if (prevWndProc_ != 0) return;
    taskbarCreated_ = services_.user.RegisterWindowMessageA("TaskbarCreated");
    // The shell restarts unelevated; an elevated program hears it only if it lets the message
    // through. Without that, the icon would stay away for good. Where it fails, carry on.
    if (taskbarCreated_ != 0) {
      SkipErrors([&] { services_.user.ChangeWindowMessageFilterEx(hWnd, taskbarCreated_, platform::kMsgfltAllow); });
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
  Hwnd form = 0;
  SkipErrors([&] { form = host_.hWnd(); });
  if (hWnd == form) {
    switch (uMsg) {
      case TrayCallbackMessage:
        return OnTrayNotification(hWnd, lParam);
      case platform::kWmQueryEndSession:
        return OnQueryEndSession();
      case platform::kWmEndSession:
        if (wParam != 0) return OnEndSession();
        break;
      // A change of scaling, of the displays (docking, Remote Desktop) or of a setting may change
      // the size the notification area asks for.
      case platform::kWmSettingChange:
      case platform::kWmDisplayChange:
      case platform::kWmDpiChanged:
        OnDisplayChanged(hWnd);
        break;
      default:
        // Registered at run time, so no case of its own.
        if (uMsg == taskbarCreated_ && taskbarCreated_ != 0) OnTaskbarCreated(hWnd);
        break;
    }
  }
  // Everything but the tray's own messages and the end of the session also reaches the form.
  std::intptr_t result = 0;
  SkipErrors([&] { result = Forward(hWnd, uMsg, wParam, lParam); });
  return result;
}

std::intptr_t Module1::OnTrayNotification(Hwnd hWnd, std::intptr_t notification) {
  // A mouse right click ends with WM_CONTEXTMENU right after the release; the keyboard (Shift+F10,
  // the menu key) sends it alone.
  const bool trailingContextMenu = notification == kWmContextMenu && menuFromRightButton_;
  menuFromRightButton_ = false;
  switch (notification) {
    case kWmRButtonUp:
      menuFromRightButton_ = true;
      OpenTrayMenu(hWnd, false);
      break;
    case kWmContextMenu:
      if (!trailingContextMenu) OpenTrayMenu(hWnd, true);
      break;
    case kNinKeySelect:
      OpenTrayMenu(hWnd, true);
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

// Never hold up the end of a session.
std::intptr_t Module1::OnQueryEndSession() { return 1; }

std::intptr_t Module1::OnEndSession() {
  // Also the Restart Manager's ENDSESSION_CLOSEAPP: an installer replaces the program.
  SkipErrors([&] { host_.EndSession(); });
  return 0;
}

void Module1::OnDisplayChanged(Hwnd hWnd) {
  // The icon at its new size, updated in place or put back when the shell lost it, without
  // subclassing again.
  if (icon_) SkipErrors([&] { ReloadIcon(hWnd); });
}

void Module1::OnTaskbarCreated(Hwnd hWnd) {
  // A restarted shell, or Explorer announcing itself again after a scaling change while it still
  // shows the icon: the icon as after a change of display, tried again later while the shell
  // still refuses it.
  if (!icon_) return;
  bool shown = false;
  SkipErrors([&] { shown = ReloadIcon(hWnd); });
  if (!shown) SkipErrors([&] { IconRetryStart(hWnd); });
}

void Module1::OpenTrayMenu(Hwnd form, bool fromKeyboard) {
  SkipErrors([&] { services_.user.SetForegroundWindow(form); });
  // Returns once the chosen item has run: with the About window or the error box that may be
  // much later, and the menu must open again meanwhile.
  SkipErrors([&] { host_.PopupTrayMenu(); });
  if (host_.Ended()) return;
  // Without it the menu may not close when the user clicks elsewhere.
  SkipErrors([&] { services_.user.PostMessageA(form, platform::kWmNull, 0, 0); });
  // A keyboard user goes on from the icon, not from nowhere, once the menu is closed and what it
  // opened (the About window, a box) is closed too.
  if (fromKeyboard) {
    SkipErrors([&] { services_.shell.Shell_NotifyIconA(kNimSetFocus, NewRecord(form).data()); });
  }
}

void Module1::BalloonTimerStart(Hwnd hWnd, std::uint32_t interval) {
  if (balloonTimerOn_ || interval == 0) return;
  balloonTimerOn_ = StartTimer(hWnd, BalloonTimerId, interval);
}

void Module1::BalloonTimerStop(Hwnd hWnd) { StopTimer(hWnd, BalloonTimerId, balloonTimerOn_); }

std::uint32_t Module1::TimerProc(Hwnd hwnd, std::uint32_t uMsg, std::uintptr_t idEvent, std::uint32_t dwTime) {
  SkipErrors([&] { BalloonTimerProc(hwnd, uMsg, idEvent, dwTime); });
  SkipErrors([&] { IconRetryTimerProc(hwnd, uMsg, idEvent); });
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
