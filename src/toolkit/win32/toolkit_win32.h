#pragma once
// The window toolkit on the raw Win32 API: hidden forms with real windows, timer controls on a
// message-only window, the application object and the message loop.
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/user_api_win32.h"
#include "toolkit/toolkit.h"

namespace varnlet::toolkit::win32 {

class ToolkitWin32 final : public Toolkit {
 public:
  // singleInstanceName names the session-local mutex behind the previous-instance flag.
  ToolkitWin32(HINSTANCE instance, std::wstring singleInstanceName, std::wstring title);
  ~ToolkitWin32() override;
  ToolkitWin32(const ToolkitWin32&) = delete;
  ToolkitWin32& operator=(const ToolkitWin32&) = delete;

  Application& App() override;
  std::unique_ptr<Form> CreateForm(const FormDesign& design, FormEvents& events) override;
  std::unique_ptr<Timer> CreateTimer(std::uint32_t intervalMs, std::uint32_t toleranceMs,
                                     std::function<void()> onTick) override;
  std::unique_ptr<Menu> CreateMenu(std::wstring caption, std::vector<MenuItemDesign> items,
                                   std::function<void(std::int16_t)> onClick) override;
  std::int32_t MsgBox(std::wstring_view prompt, std::uint32_t buttons, std::wstring_view title) override;
  std::uintptr_t ProgramIcon() override;
  std::unique_ptr<Icon> LoadNotifyIcon() override;
  void RunMessageLoop() override;

  HINSTANCE instance() const { return instance_; }

 private:
  class AppImpl;
  class FormImpl;
  class TimerImpl;
  class MenuImpl;
  class IconImpl;
  static LRESULT CALLBACK TimerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void DispatchTick(UINT_PTR id);

  HINSTANCE instance_;
  platform::UserApiWin32 user_;
  std::unique_ptr<AppImpl> app_;
  platform::win32::UniqueHwnd timerWindow_;
  // A handful of timers: a vector, not a map, whose tree code would be 3 KiB of the exe.
  std::vector<std::pair<UINT_PTR, TimerImpl*>> timers_;
  UINT_PTR nextTimerId_ = 1;
};

}  // namespace varnlet::toolkit::win32
