// The Windows entry point: binds the core to the Win32 adapters and toolkit and runs it.
#include <windows.h>

#include "about/Form2.h"
#include "app/Form1.h"
#include "platform/win32/ansi_code_page_win32.h"
#include "platform/win32/process_api_win32.h"
#include "platform/win32/registry_api_win32.h"
#include "platform/win32/shell_api_win32.h"
#include "platform/win32/system_library.h"
#include "platform/win32/user_api_win32.h"
#include "platform/win32/version_api_win32.h"
#include "toolkit/win32/dialog_win32.h"
#include "toolkit/win32/toolkit_win32.h"
#include "toolkit/win32/web_browser_host.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace varnlet;
  platform::win32::RestrictDllSearchToSystem32();
  platform::ProcessApiWin32 process;
  platform::ShellApiWin32 shell;
  platform::VersionApiWin32 version;
  platform::UserApiWin32 user;
  platform::AnsiCodePageWin32 ansi;
  platform::RegistryApiWin32 registry;
  platform::FileApiWin32 files;
  toolkit::win32::ToolkitWin32 toolkit(instance, L"Local\\Varnlet.SingleInstance", std::wstring(app::kAppTitle));
  // Declared before the About window: OLE is uninitialised after the last browser is gone.
  toolkit::win32::WebBrowserFactory browsers;
  toolkit::win32::DialogsWin32 dialogs(instance, browsers);
  about::Form2 form2({dialogs, shell, ansi});
  return app::RunProgram({toolkit, process, shell, version, user, ansi, form2, registry, files});
}
