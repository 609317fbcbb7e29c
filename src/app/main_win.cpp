// The Windows entry point: binds the core to the Win32 adapters and toolkit and runs it.
#include <windows.h>

#include "app/Form1.h"
#include "platform/win32/process_api_win32.h"
#include "toolkit/win32/toolkit_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  varnlet::platform::ProcessApiWin32 process;
  varnlet::toolkit::win32::ToolkitWin32 toolkit(instance, L"Local\\Varnlet.SingleInstance",
                                                std::wstring(varnlet::app::kAppTitle));
  return varnlet::app::RunProgram({toolkit, process});
}
