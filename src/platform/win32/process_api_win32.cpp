#include "platform/win32/process_api_win32.h"

#include <windows.h>
#include <psapi.h>

#include "platform/win32/system_library.h"

namespace {
// psapi.h maps these names to their kernel32 K32 forms with macros; call them through the
// macros here, then drop the macros so the adapter's own members keep the system's names.
BOOL SysEnumProcesses(DWORD* ids, DWORD cb, DWORD* needed) { return EnumProcesses(ids, cb, needed); }
BOOL SysEmptyWorkingSet(HANDLE process) { return EmptyWorkingSet(process); }
}  // namespace
#undef EnumProcesses
#undef EmptyWorkingSet

namespace varnlet::platform {
namespace {
HANDLE ToHandle(ProcessHandle h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

static_assert(sizeof(DWORD) == sizeof(std::uint32_t));

bool ProcessApiWin32::EnumProcesses(std::uint32_t* lpidProcess, std::uint32_t cb, std::uint32_t* lpcbNeeded) {
  DWORD needed = *lpcbNeeded;
  const BOOL ok = SysEnumProcesses(reinterpret_cast<DWORD*>(lpidProcess), cb, &needed);
  *lpcbNeeded = needed;
  return ok != FALSE;
}

ProcessHandle ProcessApiWin32::OpenProcess(std::uint32_t dwDesiredAccess, bool bInheritHandle,
                                           std::uint32_t dwProcessId) {
  return reinterpret_cast<ProcessHandle>(::OpenProcess(dwDesiredAccess, bInheritHandle ? TRUE : FALSE, dwProcessId));
}

bool ProcessApiWin32::QueryFullProcessImageNameA(ProcessHandle hProcess, std::uint32_t dwFlags, char* lpExeName,
                                                 std::uint32_t* lpdwSize) {
  DWORD size = *lpdwSize;
  const BOOL ok = ::QueryFullProcessImageNameA(ToHandle(hProcess), dwFlags, lpExeName, &size);
  *lpdwSize = size;
  return ok != FALSE;
}

bool ProcessApiWin32::EmptyWorkingSet(ProcessHandle hProcess) {
  return SysEmptyWorkingSet(ToHandle(hProcess)) != FALSE;
}

bool ProcessApiWin32::CloseHandle(ProcessHandle hObject) { return ::CloseHandle(ToHandle(hObject)) != FALSE; }

ProcessHandle ProcessApiWin32::GetCurrentProcess() { return reinterpret_cast<ProcessHandle>(::GetCurrentProcess()); }

std::int32_t ProcessApiWin32::RegisterApplicationRestart(const wchar_t* pwzCommandline, std::uint32_t dwFlags) {
  // Found at run time: where the system lacks it, the program runs on without a restart.
  static const auto registerRestart = win32::ProcAddress<HRESULT(WINAPI*)(PCWSTR, DWORD)>(
      ::GetModuleHandleW(L"kernel32.dll"), "RegisterApplicationRestart");
  return registerRestart != nullptr ? registerRestart(pwzCommandline, dwFlags) : E_NOTIMPL;
}

}  // namespace varnlet::platform
