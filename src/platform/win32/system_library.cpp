#include "platform/win32/system_library.h"

#include <string>

namespace varnlet::platform::win32 {

void RestrictDllSearchToSystem32() noexcept {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto set =
      ProcAddress<SetDefaultDllDirectoriesFn>(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

UniqueHmodule LoadSystemLibrary(const wchar_t* name) noexcept {
  UniqueHmodule module(::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // A system without the search flags: name the file by its full System32 path instead.
  wchar_t folder[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return module;
  try {
    const std::wstring path = std::wstring(folder, n) + L"\\" + name;
    return UniqueHmodule(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  } catch (...) {
    return module;
  }
}

}  // namespace varnlet::platform::win32
