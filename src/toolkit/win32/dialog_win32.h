#pragma once
// Dialogs on the raw Win32 API: a top-level window with a fixed dialog frame and only a close
// button, centred on its monitor and laid out for that monitor's DPI. Labels are STATIC
// controls, so screen readers read them as texts; a label that is a link, picture boxes and the
// browser's area are small window classes of our own, the link and the area answering screen
// readers themselves; the browser is an OLE control in its area. The window's own message loop gives it
// the keys of a dialog: Tab and Shift+Tab between its stops, Esc to close.
#include <windows.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/win32/handles.h"
#include "toolkit/dialog.h"
#include "toolkit/win32/web_browser_host.h"

namespace varnlet::toolkit::win32 {

class DialogsWin32 final : public Dialogs {
 public:
  // Control windows have the id kFirstControlId + their index in the design's table.
  static constexpr int kFirstControlId = 100;
  static constexpr wchar_t kPictureBoxClass[] = L"Varnlet.PictureBox";
  static constexpr wchar_t kBrowserAreaClass[] = L"Varnlet.BrowserArea";
  static constexpr wchar_t kLinkClass[] = L"Varnlet.Link";

  // Whether high contrast is on: the system's answer unless a test gives its own.
  using HighContrastQuery = bool (*)();
  static bool SystemHighContrast();

  // Resources (icons, pictures) come from `instance`; browsers from `browsers`, which must
  // outlive every dialog.
  DialogsWin32(HINSTANCE instance, BrowserFactory& browsers, HighContrastQuery highContrast = &SystemHighContrast);
  ~DialogsWin32() override;
  DialogsWin32(const DialogsWin32&) = delete;
  DialogsWin32& operator=(const DialogsWin32&) = delete;

  std::unique_ptr<Dialog> LoadDialog(const DialogDesign& design, DialogEvents& events) override;

 private:
  class DialogImpl;
  // Loaded once and kept for the toolkit's life: the tray holds the handle the window gives out.
  HICON SharedIcon(int resource, bool small);

  HINSTANCE instance_;
  BrowserFactory& browsers_;
  HighContrastQuery highContrast_;
  // Two or three icons: a vector, not a map, whose tree code would be 3 KiB of the exe.
  std::vector<std::pair<std::pair<int, bool>, platform::win32::UniqueHicon>> icons_;
};

}  // namespace varnlet::toolkit::win32
