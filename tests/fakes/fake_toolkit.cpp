#include "fakes/fake_toolkit.h"

#include <algorithm>

namespace varnlet::fakes {

void FakeApplication::End() {
  ++endCalls;
  ended = true;
  if (journal_ != nullptr) journal_->Add("App.End");
}

FakeForm::FakeForm(FakeToolkit& tk, toolkit::Hwnd h, toolkit::FormDesign d, toolkit::FormEvents& e)
    : FakeWindowState{tk, h, std::move(d), e} {
  maker.forms.push_back(this);
}

FakeForm::~FakeForm() { std::erase(maker.forms, this); }

void FakeForm::SetVisible(bool v) {
  maker.faults.ShouldFail("Form.SetVisible");
  maker.Log(v ? "Form.Visible=true" : "Form.Visible=false");
  visible = v;
}

void FakeForm::Hide() {
  maker.faults.ShouldFail("Form.Hide");
  maker.Log("Form.Hide");
  visible = false;
}

void FakeForm::Close() {
  std::int16_t cancel = 0;
  try {
    events.Form_Unload(cancel);
  } catch (...) {
    // As the real toolkit: an error no handler took ends the program.
    maker.app.End();
    destroyed = true;
    return;
  }
  if (cancel == 0) destroyed = true;
}

bool FakeForm::PopupMenu(toolkit::Menu& menu, std::int16_t defaultItem) {
  maker.faults.ShouldFail("Form.PopupMenu");
  maker.lastPopupDefault = defaultItem;
  maker.Log("PopupMenu(" + std::to_string(defaultItem) + ")");
  if (!maker.menuChoice) return false;
  const std::int16_t choice = *maker.menuChoice;
  maker.menuChoice.reset();
  dynamic_cast<FakeMenu&>(menu).Click(choice);
  return true;
}

FakeTimer::FakeTimer(FakeToolkit& tk, std::uint32_t i, std::uint32_t t, std::function<void()> f)
    : toolkit(tk), interval(i), tolerance(t), onTick(std::move(f)) {
  toolkit.timers.push_back(this);
}

FakeTimer::~FakeTimer() { std::erase(toolkit.timers, this); }

void FakeTimer::Fire() {
  if (!toolkit.app.ended) onTick();
}

FakeIcon::FakeIcon(FakeToolkit& tk, std::uintptr_t handle) : toolkit_(tk), handle_(handle) { ++toolkit_.liveIcons; }

FakeIcon::~FakeIcon() {
  --toolkit_.liveIcons;
  toolkit_.Log("DestroyIcon(" + std::to_string(handle_) + ")");
}

std::unique_ptr<toolkit::Icon> FakeToolkit::LoadNotifyIcon() {
  Log("LoadNotifyIcon");
  if (faults.ShouldFail("LoadNotifyIcon")) return nullptr;
  nextIcon += 0x10;
  return std::make_unique<FakeIcon>(*this, nextIcon);
}

std::unique_ptr<toolkit::Form> FakeToolkit::CreateForm(const toolkit::FormDesign& design, toolkit::FormEvents& events) {
  Log("CreateForm");
  const toolkit::Hwnd hwnd = nextHwnd;
  nextHwnd += 0x10;
  return std::make_unique<FakeForm>(*this, hwnd, design, events);
}

std::unique_ptr<toolkit::Timer> FakeToolkit::CreateTimer(std::uint32_t intervalMs, std::uint32_t toleranceMs,
                                                         std::function<void()> onTick) {
  Log("CreateTimer(" + std::to_string(intervalMs) + ")");
  return std::make_unique<FakeTimer>(*this, intervalMs, toleranceMs, std::move(onTick));
}

std::unique_ptr<toolkit::Menu> FakeToolkit::CreateMenu(std::wstring caption, std::vector<toolkit::MenuItemDesign> items,
                                                       std::function<void(std::int16_t)> onClick) {
  Log("CreateMenu");
  auto menu = std::make_unique<FakeMenu>(std::move(caption), std::move(items), std::move(onClick));
  menus.push_back(menu.get());
  return menu;
}

std::int32_t FakeToolkit::MsgBox(std::wstring_view prompt, std::uint32_t buttons, std::wstring_view title) {
  faults.ShouldFail("MsgBox");
  msgBoxes.push_back({std::wstring(prompt), buttons, title.empty() ? app.Title() : std::wstring(title)});
  Log("MsgBox");
  if (whileMsgBox) whileMsgBox();
  return 1;  // IDOK
}

void FakeToolkit::RunMessageLoop() {
  Log("RunMessageLoop");
  if (whileRunning) whileRunning();
}

FakeForm* FakeToolkit::FindForm(const std::wstring& windowClass) const {
  const auto it =
      std::find_if(forms.begin(), forms.end(), [&](const FakeForm* f) { return f->design.windowClass == windowClass; });
  return it == forms.end() ? nullptr : *it;
}

FakeTimer* FakeToolkit::TimerWithInterval(std::uint32_t interval) const {
  const auto it =
      std::find_if(timers.begin(), timers.end(), [&](const FakeTimer* t) { return t->interval == interval; });
  return it == timers.end() ? nullptr : *it;
}

}  // namespace varnlet::fakes
