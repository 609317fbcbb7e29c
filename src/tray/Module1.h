#pragma once
// The notification-area icon: its record and the four operations on it, the window procedure
// that receives the shell's notifications, and the timer that takes the balloon away.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "build_config.h"
#include "platform/ansi_code_page.h"
#include "platform/shell_api.h"
#include "platform/user_api.h"
#include "platform/version_api.h"
#include "toolkit/toolkit.h"
#include "tray/notify_icon_record.h"

namespace varnlet::tray {

using toolkit::Hwnd;

// The tray's numbers are the build's (CMakeLists.txt).
inline constexpr std::uint32_t TrayIconId = config::kTrayIconId;
inline constexpr std::uint32_t TrayCallbackMessage = config::kTrayCallbackMessage;
inline constexpr std::uintptr_t BalloonTimerId = config::kBalloonTimerId;
inline constexpr std::uint32_t BalloonShowTime = config::kBalloonShowTime;
// An icon the shell refused (a taskbar not created yet, a shell too busy to answer) is tried
// again every 5 s for 5 minutes, and at every TaskbarCreated.
inline constexpr std::uintptr_t IconRetryTimerId = config::kIconRetryTimerId;
inline constexpr std::uint32_t kIconRetryInterval = config::kIconRetryInterval;
inline constexpr int kIconRetries = 5 * 60 * 1000 / kIconRetryInterval;
// Where VS_FIXEDFILEINFO keeps the major file version: the high word of dwFileVersionMS.
inline constexpr std::size_t kMajorVersionOffset = 10;

inline constexpr std::uint32_t kNimAdd = 0;
inline constexpr std::uint32_t kNimModify = 1;
inline constexpr std::uint32_t kNimDelete = 2;
inline constexpr std::uint32_t kNimSetFocus = 3;
inline constexpr std::uint32_t kNimSetVersion = 4;
inline constexpr std::uint32_t kNifMessage = 1;
inline constexpr std::uint32_t kNifIcon = 2;
inline constexpr std::uint32_t kNifTip = 4;
inline constexpr std::uint32_t kNifInfo = 16;
inline constexpr std::uint32_t kNifRealtime = 0x40;
inline constexpr std::uint32_t kNisSharedIcon = 2;
inline constexpr std::uint32_t kNotifyIconVersion = 3;
inline constexpr std::int32_t kNiifInfo = 1;
inline constexpr std::uint32_t kNiifRespectQuietTime = 0x80;

inline constexpr std::intptr_t kWmContextMenu = 0x7B;
inline constexpr std::intptr_t kWmRButtonUp = 0x205;
inline constexpr std::intptr_t kNinKeySelect = 0x401;
inline constexpr std::intptr_t kNinBalloonShow = 0x402;
inline constexpr std::intptr_t kNinBalloonHide = 0x403;
inline constexpr std::intptr_t kNinBalloonTimeout = 0x404;
inline constexpr std::intptr_t kNinBalloonUserClick = 0x405;

// What the tray needs of the main form.
class TrayHost {
 public:
  virtual ~TrayHost() = default;
  virtual Hwnd hWnd() const = 0;
  // Pops up the tray menu at the mouse pointer with "Salir" as its default item; returns when
  // the menu has closed (and a chosen item has run).
  virtual void PopupTrayMenu() = 0;
  // True once the program has ended (say, "Salir" chosen inside a window the menu opened): a
  // handler interrupted by the end does nothing more.
  virtual bool Ended() const = 0;
  // The session ends (log-off, shut-down, or an installer's Restart Manager closing the
  // program): end the program now, as "Salir" does. Whatever runs after the message returns may
  // be cut short, so nothing is posted.
  virtual void EndSession() = 0;
  // The tray's picture loaded afresh at the notification area's current size; null when it
  // cannot be loaded.
  virtual std::unique_ptr<toolkit::Icon> LoadTrayIcon() = 0;
};

class Module1 final : private platform::WindowProcTarget, private platform::TimerProcTarget {
 public:
  struct Services {
    platform::ShellApi& shell;
    platform::VersionApi& version;
    platform::UserApi& user;
    const platform::AnsiCodePage& ansi;
  };

  // The layout is the build's own; tests build the other architecture's too.
  Module1(const Services& services, TrayHost& host, const NotifyIconLayout& layout = kNativeLayout)
      : services_(services), host_(host), layout_(layout) {}
  Module1(const Module1&) = delete;
  Module1& operator=(const Module1&) = delete;

  // True when shell32.dll's major file version is at least `required`.
  bool IsShellVersion(std::int32_t required);
  void InitNotifyIconSize();

  // Subclasses the window, then adds the icon with its tip and sets the interface version. An
  // icon the shell refuses is tried again until it is there. The icon is the host's, loaded at
  // the notification area's size; `icon` stands in when that load fails.
  void ShellTrayAdd(Hwnd hWnd, std::uintptr_t icon, std::wstring_view tip);
  // A balloon asked for before the icon is there is shown once, when the icon first appears.
  void ShellTrayShowBalloon(Hwnd hWnd, std::int32_t iconKind, std::wstring_view title, std::wstring_view text);
  // Takes the balloon away; the tip stays.
  void ShellTrayHideBalloon(Hwnd hWnd);
  // Stops the balloon and retry timers if they run, then deletes the icon.
  void ShellTrayRemove(Hwnd hWnd);

  void SubClass(Hwnd hWnd);
  void UnSubClass(Hwnd hWnd);
  std::intptr_t TrayWindowProc(Hwnd hWnd, std::uint32_t uMsg, std::uintptr_t wParam, std::intptr_t lParam);

  void BalloonTimerStart(Hwnd hWnd, std::uint32_t interval);
  void BalloonTimerStop(Hwnd hWnd);
  std::uint32_t BalloonTimerProc(Hwnd hWnd, std::uint32_t uMsg, std::uintptr_t idEvent, std::uint32_t dwTime);
  void IconRetryTimerProc(Hwnd hWnd, std::uint32_t uMsg, std::uintptr_t idEvent);

  std::int32_t NotifyIconDataSize() const { return notifyIconDataSize_; }
  std::intptr_t PrevWndProc() const { return prevWndProc_; }
  bool BalloonTimerOn() const { return balloonTimerOn_; }
  // True from ShellTrayAdd until ShellTrayRemove: the icon is there, or is being tried again.
  bool IconWanted() const { return icon_.has_value(); }
  // True while the shell holds the icon, as far as its answers tell.
  bool IconShown() const { return iconShown_; }
  bool IconRetryTimerOn() const { return retryTimerOn_; }

 private:
  std::intptr_t WindowProc(Hwnd hwnd, std::uint32_t uMsg, std::uintptr_t wParam, std::intptr_t lParam) override {
    return TrayWindowProc(hwnd, uMsg, wParam, lParam);
  }
  // Called by the system: an error must not travel back into it.
  std::uint32_t TimerProc(Hwnd hwnd, std::uint32_t uMsg, std::uintptr_t idEvent, std::uint32_t dwTime) override;

  // TrayWindowProc's handlers, one a message of the form's window; those that return answer the
  // message, which then goes no further.
  std::intptr_t OnTrayNotification(Hwnd hWnd, std::intptr_t notification);
  static std::intptr_t OnQueryEndSession();
  std::intptr_t OnEndSession();
  void OnDisplayChanged(Hwnd hWnd);
  void OnTaskbarCreated(Hwnd hWnd);

  NotifyIconRecord NewRecord(Hwnd hWnd);
  // The menu for a right-button release or for the keyboard: the form brought forward, then the
  // popup; after a keyboard menu has closed, the focus goes back to the icon.
  void OpenTrayMenu(Hwnd form, bool fromKeyboard);
  // NIM_ADD, then NIM_SETVERSION when the shell answered exactly 1.
  bool AddIcon(const NotifyIconRecord& record);
  // Makes sure the shell holds the icon: one it already has (added late after an add that timed
  // out, or kept through a TaskbarCreated) is updated in place, else it is added.
  bool EnsureIcon();
  // One try at showing the icon (`first`: the plain add at start); on success the retries stop
  // and a balloon that waited for the icon is shown.
  bool TryIcon(Hwnd hWnd, bool first);
  // A timer of the window calling TimerProc; true when the system started it under its id.
  bool StartTimer(Hwnd hWnd, std::uintptr_t id, std::uint32_t interval);
  // Kills the timer when `on`, and clears `on`.
  void StopTimer(Hwnd hWnd, std::uintptr_t id, bool& on);
  // The host's icon at the current size; null when none came.
  std::unique_ptr<toolkit::Icon> FreshIcon();
  // After a change of density, display or shell: the icon loaded again at the size the
  // notification area now asks for, handed over in place (added only when the shell lost it);
  // the handle it replaced is destroyed. False when the shell refused it.
  bool ReloadIcon(Hwnd hWnd);
  // (Re)starts the retries: kIconRetries more tries.
  void IconRetryStart(Hwnd hWnd);
  void IconRetryStop(Hwnd hWnd);
  std::intptr_t Forward(Hwnd hWnd, std::uint32_t uMsg, std::uintptr_t wParam, std::intptr_t lParam);

  Services services_;
  TrayHost& host_;
  const NotifyIconLayout& layout_;
  std::int32_t notifyIconDataSize_ = 0;
  std::intptr_t prevWndProc_ = 0;
  std::intptr_t ownWndProc_ = 0;
  bool balloonTimerOn_ = false;
  bool retryTimerOn_ = false;
  int retriesLeft_ = 0;
  std::uint32_t taskbarCreated_ = 0;
  // A right-button release just opened the menu: the WM_CONTEXTMENU the shell sends after it
  // (inside the menu's loop, or after it) belongs to the same click.
  bool menuFromRightButton_ = false;
  // The add record, kept to try again and to put the icon back when the shell restarts.
  std::optional<NotifyIconRecord> icon_;
  // Owns the handle in icon_ when the host loaded it; null for the caller's stand-in.
  std::unique_ptr<toolkit::Icon> iconOwner_;
  bool iconShown_ = false;
  std::optional<NotifyIconRecord> pendingBalloon_;
};

}  // namespace varnlet::tray
