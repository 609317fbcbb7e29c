// A stand-in for a DLL that someone put where a program might load it: when any process loads it,
// it leaves a file "<its own path>.loaded" behind (or "<its name>.loaded" in the folder
// VARNLET_PLANTED_MARKERS names, where its own folder may be deleted after it), and does nothing
// else.
#include <windows.h>

#include "platform/win32/handles.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[2 * MAX_PATH + 8];
  const DWORD n = ::GetModuleFileNameW(instance, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  wchar_t markers[2 * MAX_PATH + 8];
  const DWORD m = ::GetEnvironmentVariableW(L"VARNLET_PLANTED_MARKERS", markers, MAX_PATH);
  if (m > 0 && m < MAX_PATH) {
    const wchar_t* name = path + n;
    while (name > path && name[-1] != L'\\') --name;
    ::lstrcpyW(markers + m, L"\\");
    ::lstrcatW(markers + m, name);
    ::lstrcpyW(path, markers);
  }
  ::lstrcatW(path, L".loaded");
  const varnlet::platform::win32::UniqueHandle marker(
      ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return TRUE;
}
