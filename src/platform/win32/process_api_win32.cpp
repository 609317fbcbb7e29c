#include "platform/win32/process_api_win32.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <iterator>

#include "platform/win32/system_library.h"

namespace {
// psapi.h maps this name to its kernel32 K32 form with a macro; call it through the macro here,
// then drop the macro so the adapter's own member keeps the system's name.
BOOL SysEmptyWorkingSet(HANDLE process) { return EmptyWorkingSet(process); }
}  // namespace
#undef EmptyWorkingSet

namespace varnlet::platform {
namespace {
HANDLE ToHandle(ProcessHandle h) { return reinterpret_cast<HANDLE>(h); }

using ReadEntryFn = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32W);

// Reads one entry into the system's whole structure and hands on the fields the trimmer reads.
// A structure smaller than the one announced is refused, as the system refuses it. The two names
// are of one size (src/checks/sdk_constants.cpp).
bool ReadEntry(ReadEntryFn read, ProcessHandle snapshot, ProcessEntry32W* lppe) {
  if (lppe->dwSize < sizeof *lppe) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  if (read(ToHandle(snapshot), &entry) == FALSE) return false;
  lppe->th32ProcessID = entry.th32ProcessID;
  std::copy(std::begin(entry.szExeFile), std::end(entry.szExeFile), lppe->szExeFile.begin());
  return true;
}
}  // namespace

ProcessHandle ProcessApiWin32::CreateToolhelp32Snapshot(std::uint32_t dwFlags, std::uint32_t th32ProcessID) {
  return reinterpret_cast<ProcessHandle>(::CreateToolhelp32Snapshot(dwFlags, th32ProcessID));
}

bool ProcessApiWin32::Process32FirstW(ProcessHandle hSnapshot, ProcessEntry32W* lppe) {
  return ReadEntry(&::Process32FirstW, hSnapshot, lppe);
}

bool ProcessApiWin32::Process32NextW(ProcessHandle hSnapshot, ProcessEntry32W* lppe) {
  return ReadEntry(&::Process32NextW, hSnapshot, lppe);
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

bool ProcessApiWin32::SetProcessInformation(ProcessHandle hProcess, std::int32_t ProcessInformationClass,
                                            void* ProcessInformation, std::uint32_t ProcessInformationSize) {
  // Windows 8 added it: found at run time, so that Windows 7 starts the program as before.
  using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
  static const auto set =
      win32::ProcAddress<SetProcessInformationFn>(::GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation");
  return set != nullptr && set(ToHandle(hProcess), static_cast<PROCESS_INFORMATION_CLASS>(ProcessInformationClass),
                               ProcessInformation, ProcessInformationSize) != FALSE;
}

}  // namespace varnlet::platform
