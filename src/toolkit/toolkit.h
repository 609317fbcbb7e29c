#pragma once
// What the program needs of a window toolkit: the application object, forms with real window
// handles, timer controls and the message loop. The core calls this interface; the Win32
// implementation lives in toolkit/win32 and the tests pass a recording fake.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window_types.h"

namespace varnlet::toolkit {

using platform::Hwnd;

class Application {
 public:
  virtual ~Application() = default;
  // True when another instance of the program already runs in this session.
  virtual bool PrevInstance() = 0;
  // The folder of the running executable, without a trailing backslash except for a drive root.
  virtual std::wstring Path() = 0;
  // The executable's file name without its extension.
  virtual std::wstring EXEName() = 0;
  // Destroys every form and leaves the message loop; no handler of the program runs after it.
  virtual void End() = 0;
  virtual bool Ended() const = 0;
};

class FormEvents {
 public:
  virtual ~FormEvents() = default;
  // The window got WM_CLOSE; a non-zero Cancel keeps the form loaded.
  virtual void Form_Unload(std::int16_t& Cancel) = 0;
};

// One item of a menu control array; the caption "-" makes a separator line.
struct MenuItemDesign {
  std::wstring caption;
  bool checked = false;
};

class Menu {
 public:
  virtual ~Menu() = default;
  virtual bool Checked(std::int16_t index) const = 0;
  virtual void SetChecked(std::int16_t index, bool checked) = 0;
};

struct FormDesign {
  std::wstring caption;
  // Lets tests and other processes find the window (FindWindow).
  std::wstring windowClass;
};

class Form {
 public:
  virtual ~Form() = default;
  virtual Hwnd hWnd() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void Hide() = 0;
  // Opens `menu` as a popup at the mouse pointer with `defaultItem` drawn bold; returns when it
  // has closed, after the chosen item's click handler has run. False when it closed without a
  // choice.
  virtual bool PopupMenu(Menu& menu, std::int16_t defaultItem) = 0;
};

// A running timer; it stops when destroyed.
class Timer {
 public:
  virtual ~Timer() = default;
};

// An icon handle that its holder destroys when it lets it go.
class Icon {
 public:
  virtual ~Icon() = default;
  virtual std::uintptr_t Handle() const = 0;
};

class Toolkit {
 public:
  virtual ~Toolkit() = default;
  virtual Application& App() = 0;
  // Creates the form's window, hidden. Form_Unload arrives through events on WM_CLOSE.
  virtual std::unique_ptr<Form> CreateForm(const FormDesign& design, FormEvents& events) = 0;
  // A timer enabled from now on, ticking every intervalMs; the system may serve a tick up to
  // toleranceMs late, together with other timers. onTick runs on the user-interface thread and is
  // never re-entered.
  virtual std::unique_ptr<Timer> CreateTimer(std::uint32_t intervalMs, std::uint32_t toleranceMs,
                                             std::function<void()> onTick) = 0;
  // A menu control array: `onClick` gets the chosen item's index.
  virtual std::unique_ptr<Menu> CreateMenu(std::wstring caption, std::vector<MenuItemDesign> items,
                                           std::function<void(std::int16_t)> onClick) = 0;
  // A modal message box; an empty title shows the application's title. Returns the button chosen.
  virtual std::int32_t MsgBox(std::wstring_view prompt, std::uint32_t buttons, std::wstring_view title) = 0;
  // The program file's own icon (or the system's application icon when it has none) at the
  // notification area's size, as a handle value the notification area can take. Owned by the
  // system; never destroyed.
  virtual std::uintptr_t ProgramIcon() = 0;
  // The program file's own icon loaded afresh at the notification area's current size: that of
  // the taskbar's monitor's density where the system tells it. Null when it cannot be loaded.
  virtual std::unique_ptr<Icon> LoadNotifyIcon() = 0;
  // Dispatches messages until the application ends.
  virtual void RunMessageLoop() = 0;
};

}  // namespace varnlet::toolkit
