#pragma once
// A recording dialog toolkit: every load, navigation, modal show and unload goes to the journal;
// a test clicks controls by name and closes the window from inside the modal show.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_toolkit.h"
#include "fakes/fault_injector.h"
#include "fakes/journal.h"
#include "toolkit/dialog.h"

namespace varnlet::fakes {

class FakeDialogs;

class FakeDialog final : public toolkit::Dialog,
                         public FakeWindowState<FakeDialogs, toolkit::DialogDesign, toolkit::DialogEvents>,
                         private toolkit::WebBrowser {
 public:
  FakeDialog(FakeDialogs& dialogs, toolkit::Hwnd hwnd, const toolkit::DialogDesign& design,
             toolkit::DialogEvents& events);
  ~FakeDialog() override;

  toolkit::Hwnd hWnd() const override { return loaded ? hwnd : 0; }
  bool Loaded() const override { return loaded; }
  std::uintptr_t Icon() const override;
  std::uintptr_t SmallIcon() const override;
  toolkit::WebBrowser& Browser(std::size_t control) override;
  void ShowModal() override;

  // What the window does when the user clicks the named control.
  void Click(std::wstring_view controlName);
  // What the named browser control does when its policy sends out a link the user followed.
  void FollowLink(std::wstring_view controlName, std::wstring_view url);
  // What the close button does: the window and its browser go.
  void Close();

  bool loaded = true;
  bool browserCreated = false;

 private:
  std::size_t IndexOf(std::wstring_view controlName) const;
  bool Navigate(std::wstring_view URL) override;
  void Resize(int, int) override {}
  bool ShowsPage() const override { return false; }
  void Focus() override {}
};

class FakeDialogs final : public toolkit::Dialogs {
 public:
  explicit FakeDialogs(Journal* log = nullptr) : journal(log) {}

  std::unique_ptr<toolkit::Dialog> LoadDialog(const toolkit::DialogDesign& design,
                                              toolkit::DialogEvents& events) override;

  void Log(const std::string& entry) {
    if (journal != nullptr) journal->Add(entry);
  }

  Journal* journal;
  // "Navigate" (Fail: the browser refuses; Throw: a run-time error), "BrowserCreate" (Fail),
  // "LoadDialog" (the window cannot be created: throws).
  FaultInjector faults;
  // Every address asked for, across all loads.
  std::vector<std::wstring> navigations;
  int loads = 0;
  int unloads = 0;
  int browsersMade = 0;
  int browsersReleased = 0;
  // The dialog loaded now, or null.
  FakeDialog* current = nullptr;
  // Runs inside ShowModal, standing in for the user and the timers while the window is shown.
  std::function<void(FakeDialog&)> whileShown;
  std::uintptr_t icon = 0x0BAD1C0;
  std::uintptr_t smallIcon = 0x0BAD160;
  toolkit::Hwnd nextHwnd = 0x20020;
};

}  // namespace varnlet::fakes
