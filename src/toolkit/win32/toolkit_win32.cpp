#include "toolkit/win32/toolkit_win32.h"

#include <sddl.h>

#include <algorithm>
#include <vector>

#include "base/errors.h"
#include "base/scope_guard.h"
#include "platform/win32/process_token.h"
#include "platform/win32/system_library.h"
#include "toolkit/single_instance.h"
#include "toolkit/timer_start.h"
#include "toolkit/win32/window_object.h"

namespace varnlet::toolkit::win32 {
namespace {

using platform::win32::FromHwnd;
using platform::win32::UniqueHandle;
using platform::win32::UniqueHwnd;

constexpr wchar_t kTimerWindowClass[] = L"Varnlet.Timers";

std::wstring ModuleFileName() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

// The density of the monitor the taskbar is on; 0 where the system cannot tell. A scaling change
// reaches a per-monitor aware program there, never through GetSystemMetrics, which keeps the
// density of the logon.
UINT TaskbarDpi() {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  constexpr int kMdtEffectiveDpi = 0;
  // Windows 8.1 added it: found at run time, and from System32 only, never from the program's
  // folder.
  static const platform::win32::UniqueHmodule shcore = platform::win32::LoadSystemLibrary(L"shcore.dll");
  static const auto getDpiForMonitor =
      platform::win32::ProcAddress<GetDpiForMonitorFn>(shcore.get(), "GetDpiForMonitor");
  const HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
  if (getDpiForMonitor == nullptr || taskbar == nullptr) return 0;
  UINT dpiX = 0;
  UINT dpiY = 0;
  const HMONITOR monitor = ::MonitorFromWindow(taskbar, MONITOR_DEFAULTTOPRIMARY);
  if (FAILED(getDpiForMonitor(monitor, kMdtEffectiveDpi, &dpiX, &dpiY))) return 0;
  return dpiY;
}

// One of the small-icon metrics at the taskbar's density, or the system's where that is unknown.
int SmallIconMetric(int index, UINT dpi) {
  using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
  // Windows 10 added it: found at run time.
  static const auto forDpi = platform::win32::ProcAddress<GetSystemMetricsForDpiFn>(::GetModuleHandleW(L"user32.dll"),
                                                                                    "GetSystemMetricsForDpi");
  if (forDpi != nullptr && dpi != 0) {
    if (const int size = forDpi(index, dpi); size > 0) return size;
  }
  return ::GetSystemMetrics(index);
}

// The single-instance mutex's security: the user the program runs as may wait on it at any
// integrity level, so an unelevated start sees an elevated copy's mutex as its own user's (an
// elevated token's default DACL grants only Administrators and SYSTEM); nobody else may.
class InstanceMutexSecurity {
 public:
  InstanceMutexSecurity() {
    const std::wstring user = platform::win32::CurrentUser().SidText();
    if (user.empty()) return;
    const std::wstring dacl = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;" + user + L")";
    // A low label that forbids writes from below; where the system takes no label, the DACL alone.
    for (const std::wstring& sddl : {dacl + L"S:(ML;;NW;;;LW)", dacl}) {
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr) !=
          FALSE) {
        descriptor_.reset(descriptor);
        attributes_ = {sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
        return;
      }
    }
  }
  // Null when no descriptor could be made: the mutex then gets the default one.
  SECURITY_ATTRIBUTES* get() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  platform::win32::UniqueLocal descriptor_;
  SECURITY_ATTRIBUTES attributes_{};
};

BOOL CALLBACK DestroyThreadWindow(HWND hwnd, LPARAM) {
  ::DestroyWindow(hwnd);
  return TRUE;
}

}  // namespace

class ToolkitWin32::AppImpl final : public Application {
 public:
  AppImpl(std::wstring mutexName, std::wstring title) : mutexName_(std::move(mutexName)), title_(std::move(title)) {}

  bool PrevInstance() override {
    if (!checked_) {
      checked_ = true;
      InstanceMutexSecurity security;
      // Only the right to wait: enough to hold the name, and what the descriptor grants the user.
      mutex_.reset(::CreateMutexExW(security.get(), mutexName_.c_str(), 0, SYNCHRONIZE));
      prevInstance_ = AnotherInstanceHolds(static_cast<bool>(mutex_), ::GetLastError());
    }
    return prevInstance_;
  }

  std::wstring Path() override {
    std::wstring path = ModuleFileName();
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    path.resize(slash);
    // A drive's root keeps its backslash, as "C:\".
    if (path.size() == 2 && path[1] == L':') path += L'\\';
    return path;
  }

  std::wstring EXEName() override {
    std::wstring name = ModuleFileName();
    const auto slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    const auto dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    return name;
  }

  const std::wstring& Title() const { return title_; }

  void End() override {
    if (ended_) return;
    ended_ = true;
    ::EnumThreadWindows(::GetCurrentThreadId(), DestroyThreadWindow, 0);
    ::PostQuitMessage(0);
  }

  bool Ended() const override { return ended_; }

 private:
  std::wstring mutexName_;
  std::wstring title_;
  UniqueHandle mutex_;
  bool checked_ = false;
  bool prevInstance_ = false;
  bool ended_ = false;
};

class ToolkitWin32::MenuImpl final : public Menu {
 public:
  MenuImpl(std::wstring caption, const std::vector<MenuItemDesign>& items, std::function<void(std::int16_t)> onClick)
      : caption_(std::move(caption)), menu_(::CreatePopupMenu()), onClick_(std::move(onClick)) {
    for (std::size_t i = 0; i < items.size(); ++i) {
      captions_.push_back(items[i].caption);
      if (items[i].caption == L"-") {
        ::AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr);
      } else {
        ::AppendMenuW(menu_.get(), MF_STRING | (items[i].checked ? MF_CHECKED : MF_UNCHECKED), i + 1,
                      items[i].caption.c_str());
      }
    }
  }

  bool Checked(std::int16_t index) const override {
    return (::GetMenuState(menu_.get(), Position(index), MF_BYPOSITION) & MF_CHECKED) != 0;
  }
  void SetChecked(std::int16_t index, bool checked) override {
    ::CheckMenuItem(menu_.get(), Position(index), MF_BYPOSITION | (checked ? MF_CHECKED : MF_UNCHECKED));
  }

  HMENU handle() const { return menu_.get(); }
  void Click(std::int16_t index) {
    if (onClick_) onClick_(index);
  }

 private:
  UINT Position(std::int16_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= captions_.size()) throw OutOfRange("no such menu item");
    return static_cast<UINT>(index);
  }

  std::wstring caption_;
  platform::win32::UniqueHmenu menu_;
  std::vector<std::wstring> captions_;
  std::function<void(std::int16_t)> onClick_;
};

class ToolkitWin32::FormImpl final : public Form {
 public:
  FormImpl(ToolkitWin32& toolkit, const FormDesign& design, FormEvents& events) : toolkit_(toolkit), events_(events) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &FormImpl::WindowProc;
    wc.hInstance = toolkit.instance();
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = design.windowClass.c_str();
    ::RegisterClassExW(&wc);  // fails harmlessly when the class exists
    // A top-level window, never shown: the shell's broadcasts reach only top-level windows.
    ::CreateWindowExW(0, design.windowClass.c_str(), design.caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, toolkit.instance(), this);
  }
  ~FormImpl() override = default;

  Hwnd hWnd() const override { return FromHwnd(hwnd_.get()); }
  void SetVisible(bool visible) override {
    if (hwnd_) ::ShowWindow(hwnd_.get(), visible ? SW_SHOW : SW_HIDE);
  }
  void Hide() override { SetVisible(false); }
  bool PopupMenu(Menu& menu, std::int16_t defaultItem) override {
    auto& popup = dynamic_cast<MenuImpl&>(menu);
    POINT at{};
    ::GetCursorPos(&at);
    ::SetMenuDefaultItem(popup.handle(), static_cast<UINT>(defaultItem), TRUE);
    // The toolkit's defaults (left-aligned at the pointer, left button); the command comes back
    // here so its click runs after the menu has closed.
    const int chosen = static_cast<int>(::TrackPopupMenuEx(
        popup.handle(), TPM_LEFTALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD, at.x, at.y, hwnd_.get(), nullptr));
    if (chosen <= 0) return false;
    popup.Click(static_cast<std::int16_t>(chosen - 1));
    return true;
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowObject<FormImpl>(hwnd, msg, lParam);
    if (msg == WM_NCCREATE && self != nullptr) self->hwnd_.reset(hwnd);
    if (self != nullptr) {
      switch (msg) {
        case WM_CLOSE:
          self->OnClose();
          return 0;
        case WM_NCDESTROY:
          ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
          self->hwnd_.release();
          break;
        default:
          break;
      }
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }

  void OnClose() {
    std::int16_t cancel = 0;
    try {
      events_.Form_Unload(cancel);
    } catch (...) {
      // An error no handler took ends the program, as an unhandled run-time error does; it must
      // not cross the window procedure, nor leave a process running without its window.
      toolkit_.App().End();
      return;
    }
    if (cancel == 0 && hwnd_) hwnd_.reset();
  }

  ToolkitWin32& toolkit_;
  FormEvents& events_;
  UniqueHwnd hwnd_;
};

class ToolkitWin32::TimerImpl final : public Timer {
 public:
  TimerImpl(ToolkitWin32& toolkit, UINT_PTR id, std::uint32_t interval, std::uint32_t tolerance,
            std::function<void()> onTick)
      : toolkit_(toolkit), id_(id), onTick_(std::move(onTick)) {
    toolkit_.timers_.emplace_back(id_, this);
    StartTimer(toolkit_.user_, FromHwnd(toolkit_.timerWindow_.get()), id_, interval, tolerance);
  }
  ~TimerImpl() override {
    if (toolkit_.timerWindow_) ::KillTimer(toolkit_.timerWindow_.get(), id_);
    std::erase_if(toolkit_.timers_, [this](const auto& timer) { return timer.first == id_; });
  }

  void Tick() {
    // A tick that falls due while the handler runs (inside a modal loop) is dropped, never nested.
    if (running_) return;
    running_ = true;
    const ScopeGuard done([this] { running_ = false; });
    try {
      onTick_();
    } catch (...) {
      // Tick handlers skip their own errors; nothing may cross the window procedure.
    }
  }

 private:
  ToolkitWin32& toolkit_;
  UINT_PTR id_;
  std::function<void()> onTick_;
  bool running_ = false;
};

ToolkitWin32::ToolkitWin32(HINSTANCE instance, std::wstring singleInstanceName, std::wstring title)
    : instance_(instance), app_(std::make_unique<AppImpl>(std::move(singleInstanceName), std::move(title))) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &ToolkitWin32::TimerWindowProc;
  wc.hInstance = instance_;
  wc.lpszClassName = kTimerWindowClass;
  ::RegisterClassExW(&wc);
  timerWindow_.reset(
      ::CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, nullptr));
  ::SetWindowLongPtrW(timerWindow_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ToolkitWin32::~ToolkitWin32() {
  if (timerWindow_) ::SetWindowLongPtrW(timerWindow_.get(), GWLP_USERDATA, 0);
}

Application& ToolkitWin32::App() { return *app_; }

std::unique_ptr<Form> ToolkitWin32::CreateForm(const FormDesign& design, FormEvents& events) {
  return std::make_unique<FormImpl>(*this, design, events);
}

std::unique_ptr<Timer> ToolkitWin32::CreateTimer(std::uint32_t intervalMs, std::uint32_t toleranceMs,
                                                 std::function<void()> onTick) {
  return std::make_unique<TimerImpl>(*this, nextTimerId_++, intervalMs, toleranceMs, std::move(onTick));
}

std::unique_ptr<Menu> ToolkitWin32::CreateMenu(std::wstring caption, std::vector<MenuItemDesign> items,
                                               std::function<void(std::int16_t)> onClick) {
  return std::make_unique<MenuImpl>(std::move(caption), items, std::move(onClick));
}

std::int32_t ToolkitWin32::MsgBox(std::wstring_view prompt, std::uint32_t buttons, std::wstring_view title) {
  const std::wstring text(prompt);
  const std::wstring caption = title.empty() ? app_->Title() : std::wstring(title);
  // The style as given; the message loop inside keeps the timers ticking.
  return ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), buttons);
}

std::uintptr_t ToolkitWin32::ProgramIcon() {
  const int cx = ::GetSystemMetrics(SM_CXSMICON);
  const int cy = ::GetSystemMetrics(SM_CYSMICON);
  auto icon = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON, cx, cy, LR_SHARED));
  if (icon == nullptr) {
    icon = static_cast<HICON>(
        ::LoadImageW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION), IMAGE_ICON, cx, cy, LR_SHARED));
  }
  return reinterpret_cast<std::uintptr_t>(icon);
}

class ToolkitWin32::IconImpl final : public Icon {
 public:
  explicit IconImpl(HICON icon) : icon_(icon) {}
  std::uintptr_t Handle() const override { return reinterpret_cast<std::uintptr_t>(icon_.get()); }

 private:
  platform::win32::UniqueHicon icon_;
};

std::unique_ptr<Icon> ToolkitWin32::LoadNotifyIcon() {
  const UINT dpi = TaskbarDpi();
  // Not LR_SHARED: each load is a handle of its own, destroyed once the next one replaced it.
  const auto icon =
      static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON, SmallIconMetric(SM_CXSMICON, dpi),
                                      SmallIconMetric(SM_CYSMICON, dpi), 0));
  if (icon == nullptr) return nullptr;
  return std::make_unique<IconImpl>(icon);
}

void ToolkitWin32::RunMessageLoop() {
  MSG msg;
  while (!app_->Ended() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

LRESULT CALLBACK ToolkitWin32::TimerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER) {
    if (auto* self = reinterpret_cast<ToolkitWin32*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
      self->DispatchTick(wParam);
      return 0;
    }
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

void ToolkitWin32::DispatchTick(UINT_PTR id) {
  if (app_->Ended()) return;
  const auto it = std::find_if(timers_.begin(), timers_.end(), [id](const auto& timer) { return timer.first == id; });
  if (it != timers_.end()) it->second->Tick();
}

}  // namespace varnlet::toolkit::win32
