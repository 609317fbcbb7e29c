// A stand-in for a version.dll that someone put beside the exe: when any process loads it, it
// leaves a file "<its own path>.loaded" behind, and does nothing else.
#include <windows.h>

#include "platform/win32/handles.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 8];
  const DWORD n = ::GetModuleFileNameW(instance, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  ::lstrcpyW(path + n, L".loaded");
  const varnlet::platform::win32::UniqueHandle marker(
      ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return TRUE;
}
