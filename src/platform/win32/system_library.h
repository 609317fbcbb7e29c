#pragma once
// DLLs that are not KnownDLLs are loaded at run time, and only from System32: Windows would look
// for a statically imported one in the exe's folder first, where anyone who can write a file
// beside the exe (a Downloads folder) could put their own.
#include <windows.h>

#include "platform/win32/handles.h"

namespace varnlet::platform::win32 {

// First thing in the process: later loads, the browser control's own dependencies included,
// search System32 only. Looked up at run time: Windows 7 without KB2533623 lacks it and starts
// as before.
void RestrictDllSearchToSystem32() noexcept;

// The DLL of that name from System32, or none.
UniqueHmodule LoadSystemLibrary(const wchar_t* name) noexcept;

// The export `name` of `module` as a pointer of type F, or null.
template <class F>
F ProcAddress(HMODULE module, const char* name) noexcept {
  if (module == nullptr) return nullptr;
  // Through a pointer to a function without arguments, which converts to any function pointer
  // without a cast-function-type warning.
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace varnlet::platform::win32
