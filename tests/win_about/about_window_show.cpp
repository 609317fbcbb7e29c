// Shows the About window modally, as "Acerca de..." does, until the file named on the command
// line exists; the screenshot script creates it once it has its picture.
#include <windows.h>

#include "about/Form2.h"
#include "build_config.h"
#include "platform/win32/ansi_code_page_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/shell_api_win32.h"
#include "toolkit/win32/dialog_win32.h"
#include "toolkit/win32/toolkit_win32.h"
#include "toolkit/win32/web_browser_host.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const char* doneFile = argv[1];
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  varnlet::toolkit::win32::ToolkitWin32 toolkit(instance, L"Local\\Varnlet.AboutWindowShow",
                                                std::wstring(varnlet::config::kTitle));
  varnlet::toolkit::win32::WebBrowserFactory browsers;
  varnlet::toolkit::win32::DialogsWin32 dialogs(instance, browsers);
  varnlet::platform::ShellApiWin32 shell;
  varnlet::platform::AnsiCodePageWin32 ansi;
  varnlet::about::Form2 form2({dialogs, shell, ansi});

  if (form2.Icon() == 0) return 1;
  auto timer = toolkit.CreateTimer(100, 0, [&] {
    if (::GetFileAttributesA(doneFile) != INVALID_FILE_ATTRIBUTES) {
      ::PostMessageW(varnlet::platform::win32::ToHwnd(form2.hWnd()), WM_CLOSE, 0, 0);
    }
  });
  form2.ShowModal();
  return form2.Loaded() ? 1 : 0;
}
