// The Windows entry point: binds the core to the Win32 adapters and toolkit and runs it.
#include <windows.h>

#include <algorithm>
#include <string_view>

#include "about/Form2.h"
#include "app/Form1.h"
#include "base/error_skipping.h"
#include "build_config.h"
#include "platform/win32/ansi_code_page_win32.h"
#include "platform/win32/file_security_win32.h"
#include "platform/win32/process_api_win32.h"
#include "platform/win32/process_token.h"
#include "platform/win32/registry_api_win32.h"
#include "platform/win32/shell_api_win32.h"
#include "platform/win32/system_library.h"
#include "platform/win32/user_api_win32.h"
#include "platform/win32/version_api_win32.h"
#include "toolkit/win32/dialog_win32.h"
#include "toolkit/win32/toolkit_win32.h"
#include "toolkit/win32/web_browser_host.h"

namespace {

// Runs before anything else of the program or its runtime: the loader calls the exe's TLS
// callbacks before its entry point, and so before the C runtime's start-up, whose stack
// protector set-up asks the system for random bytes through a cryptographic provider DLL. Once
// the search is restricted, that DLL, like every later one, comes from System32 only.
void NTAPI RestrictDllSearchFirst(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_PROCESS_ATTACH) varnlet::platform::win32::RestrictDllSearchToSystem32();
}

}  // namespace

// Sorted before the runtime's own callbacks (.CRT$XLC and later), which the runtime's TLS
// directory lists from .CRT$XLA to .CRT$XLZ.
#if defined(_MSC_VER)
#pragma comment(linker, "/INCLUDE:_tls_used")
#pragma section(".CRT$XLB", read)
extern "C" __declspec(allocate(".CRT$XLB")) const PIMAGE_TLS_CALLBACK varnletRestrictDllSearch = RestrictDllSearchFirst;
#else
extern "C" [[gnu::section(".CRT$XLB"), gnu::used]] const PIMAGE_TLS_CALLBACK varnletRestrictDllSearch =
    RestrictDllSearchFirst;
#endif

namespace {

// A skipped step's line, for a debugger or DebugView; nothing is written anywhere else.
void SkippedStepToDebugger(std::string_view line) noexcept {
  wchar_t text[512];
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, line.data(),
                                      static_cast<int>(std::min<std::size_t>(line.size(), 500)), text, 500);
  if (n <= 0) return;
  text[n] = L'\n';
  text[n + 1] = L'\0';
  ::OutputDebugStringW(text);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace varnlet;
  SetSkippedStepHook(&SkippedStepToDebugger);
  platform::ProcessApiWin32 process;
  platform::ShellApiWin32 shell;
  platform::VersionApiWin32 version;
  platform::UserApiWin32 user;
  platform::AnsiCodePageWin32 ansi;
  platform::RegistryApiWin32 registry;
  platform::FileApiWin32 files;
  platform::FileSecurityApiWin32 fileSecurity;
  toolkit::win32::ToolkitWin32 toolkit(instance, std::wstring(config::kSingleInstanceName),
                                       std::wstring(app::kAppTitle));
  // Declared before the About window: OLE is uninitialised after the last browser is gone.
  toolkit::win32::WebBrowserFactory browsers;
  toolkit::win32::DialogsWin32 dialogs(instance, browsers);
  about::Form2 form2({dialogs, shell, ansi, platform::win32::ProcessTokenElevated()});
  return app::RunProgram({toolkit, process, shell, version, user, ansi, form2, registry, files, fileSecurity});
}
