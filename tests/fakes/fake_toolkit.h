#pragma once
// A recording window toolkit: forms with made-up window handles, timers that fire when a test
// says so, and an application object whose flags a test sets.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "build_config.h"
#include "fakes/fault_injector.h"
#include "fakes/journal.h"
#include "toolkit/toolkit.h"

namespace varnlet::fakes {

// What a fake window keeps: what made it, its made-up handle, its design, where its events go,
// and whether it shows.
template <class Maker, class Design, class Events>
struct FakeWindowState {
  Maker& maker;
  toolkit::Hwnd hwnd;
  Design design;
  Events& events;
  bool visible = false;
};

class FakeApplication final : public toolkit::Application {
 public:
  explicit FakeApplication(Journal* journal) : journal_(journal) {}
  bool PrevInstance() override { return prevInstance; }
  std::wstring Path() override { return path; }
  std::wstring EXEName() override { return exeName; }
  // The title the program gives its toolkit.
  std::wstring Title() const { return std::wstring(config::kTitle); }
  void End() override;
  bool Ended() const override { return ended; }

  bool prevInstance = false;
  std::wstring path = L"C:\\Program Files\\Varnlet";
  std::wstring exeName = L"varnlet";
  bool ended = false;
  int endCalls = 0;

 private:
  Journal* journal_;
};

class FakeToolkit;

class FakeMenu final : public toolkit::Menu {
 public:
  FakeMenu(std::wstring c, std::vector<toolkit::MenuItemDesign> i, std::function<void(std::int16_t)> f)
      : caption(std::move(c)), items(std::move(i)), onClick(std::move(f)) {}
  bool Checked(std::int16_t index) const override { return items.at(static_cast<std::size_t>(index)).checked; }
  void SetChecked(std::int16_t index, bool checked) override {
    items.at(static_cast<std::size_t>(index)).checked = checked;
  }
  void Click(std::int16_t index) { onClick(index); }

  std::wstring caption;
  std::vector<toolkit::MenuItemDesign> items;
  std::function<void(std::int16_t)> onClick;
};

struct MsgBoxCall {
  std::wstring prompt;
  std::uint32_t buttons;
  std::wstring title;
};

class FakeToolkit;

class FakeForm final : public toolkit::Form,
                       public FakeWindowState<FakeToolkit, toolkit::FormDesign, toolkit::FormEvents> {
 public:
  FakeForm(FakeToolkit& toolkit, toolkit::Hwnd hwnd, toolkit::FormDesign design, toolkit::FormEvents& events);
  ~FakeForm() override;
  toolkit::Hwnd hWnd() const override { return destroyed ? 0 : hwnd; }
  void SetVisible(bool visible) override;
  void Hide() override;
  bool PopupMenu(toolkit::Menu& menu, std::int16_t defaultItem) override;

  // What the window does with WM_CLOSE: unload unless cancelled.
  void Close();

  bool destroyed = false;
};

class FakeTimer final : public toolkit::Timer {
 public:
  FakeTimer(FakeToolkit& toolkit, std::uint32_t interval, std::uint32_t tolerance, std::function<void()> onTick);
  ~FakeTimer() override;
  void Fire();

  FakeToolkit& toolkit;
  std::uint32_t interval;
  std::uint32_t tolerance;
  std::function<void()> onTick;
};

// A loaded icon: counted live until its holder lets it go.
class FakeIcon final : public toolkit::Icon {
 public:
  FakeIcon(FakeToolkit& toolkit, std::uintptr_t handle);
  ~FakeIcon() override;
  FakeIcon(const FakeIcon&) = delete;
  FakeIcon& operator=(const FakeIcon&) = delete;
  std::uintptr_t Handle() const override { return handle_; }

 private:
  FakeToolkit& toolkit_;
  std::uintptr_t handle_;
};

class FakeToolkit final : public toolkit::Toolkit {
 public:
  explicit FakeToolkit(Journal* log = nullptr) : journal(log), app(log) {}

  toolkit::Application& App() override { return app; }
  std::unique_ptr<toolkit::Form> CreateForm(const toolkit::FormDesign& design, toolkit::FormEvents& events) override;
  std::unique_ptr<toolkit::Timer> CreateTimer(std::uint32_t intervalMs, std::uint32_t toleranceMs,
                                              std::function<void()> onTick) override;
  std::unique_ptr<toolkit::Menu> CreateMenu(std::wstring caption, std::vector<toolkit::MenuItemDesign> items,
                                            std::function<void(std::int16_t)> onClick) override;
  std::int32_t MsgBox(std::wstring_view prompt, std::uint32_t buttons, std::wstring_view title) override;
  std::uintptr_t ProgramIcon() override { return programIcon; }
  // Each load a new handle; fails when the faults say so.
  std::unique_ptr<toolkit::Icon> LoadNotifyIcon() override;
  void RunMessageLoop() override;

  void Log(const std::string& entry) {
    if (journal != nullptr) journal->Add(entry);
  }
  FakeForm* FindForm(const std::wstring& windowClass) const;
  FakeTimer* TimerWithInterval(std::uint32_t interval) const;

  Journal* journal;
  FakeApplication app;
  FaultInjector faults;
  std::vector<FakeForm*> forms;
  std::vector<FakeTimer*> timers;
  std::vector<FakeMenu*> menus;
  std::vector<MsgBoxCall> msgBoxes;
  // What the user picks in the next popup menu; nothing closes it without a choice.
  std::optional<std::int16_t> menuChoice;
  std::int16_t lastPopupDefault = -1;
  std::uintptr_t programIcon = 0x7700;
  std::uintptr_t nextIcon = 0x1C000;
  int liveIcons = 0;
  // Runs inside RunMessageLoop, standing in for what the user does while the program runs.
  std::function<void()> whileRunning;
  // Runs inside MsgBox, standing in for what the user does while the box is open.
  std::function<void()> whileMsgBox;
  toolkit::Hwnd nextHwnd = 0x10010;
};

}  // namespace varnlet::fakes
