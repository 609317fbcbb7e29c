#pragma once
// The process status, tool help and kernel calls the trimmer makes, and the program's own
// registration with the Restart Manager and request for efficiency mode, one virtual per system
// call, with the system's arguments and results. The Win32 adapter forwards; tests pass a process
// table.
#include <array>
#include <cstdint>

#include "platform/file_api.h"  // kMaxPath

namespace varnlet::platform {

inline constexpr std::uint32_t kRestartNoCrash = 1;
inline constexpr std::uint32_t kRestartNoHang = 2;
inline constexpr std::uint32_t kRestartNoReboot = 8;

// A kernel HANDLE value; 0 means none. The pseudo-handle of the own process is all bits set.
using ProcessHandle = std::uintptr_t;
// INVALID_HANDLE_VALUE: what CreateToolhelp32Snapshot returns when it takes no snapshot.
inline constexpr ProcessHandle kInvalidHandleValue = ~ProcessHandle{0};
inline constexpr std::uint32_t kTh32csSnapProcess = 2;

// SetProcessInformation's ProcessPowerThrottling class and its PROCESS_POWER_THROTTLING_STATE: the
// version of the structure, and the flag that asks for execution-speed throttling (EcoQoS).
inline constexpr std::int32_t kProcessPowerThrottling = 4;
inline constexpr std::uint32_t kProcessPowerThrottlingCurrentVersion = 1;
inline constexpr std::uint32_t kProcessPowerThrottlingExecutionSpeed = 1;
struct ProcessPowerThrottlingState {
  std::uint32_t Version = 0;
  std::uint32_t ControlMask = 0;
  std::uint32_t StateMask = 0;
};

// The fields of the system's PROCESSENTRY32W that the trimmer reads. dwSize is set by the caller
// to the size of this structure before each call, as the system requires.
struct ProcessEntry32W {
  std::uint32_t dwSize = 0;
  std::uint32_t th32ProcessID = 0;
  // The image's file name without its folder, NUL-terminated when it fits (always, on Windows).
  std::array<wchar_t, kMaxPath> szExeFile{};
};

class ProcessApi {
 public:
  virtual ~ProcessApi() = default;

  // A snapshot of the process list, closed with CloseHandle; kInvalidHandleValue on failure.
  virtual ProcessHandle CreateToolhelp32Snapshot(std::uint32_t dwFlags, std::uint32_t th32ProcessID) = 0;
  // The first, then each next process of the snapshot; false when there is none (or on failure).
  virtual bool Process32FirstW(ProcessHandle hSnapshot, ProcessEntry32W* lppe) = 0;
  virtual bool Process32NextW(ProcessHandle hSnapshot, ProcessEntry32W* lppe) = 0;
  // 0 when the process cannot be opened.
  virtual ProcessHandle OpenProcess(std::uint32_t dwDesiredAccess, bool bInheritHandle, std::uint32_t dwProcessId) = 0;
  // The image's full Win32 path; *lpdwSize is the buffer's size in characters with the NUL, and
  // on success the characters written without it. A path that does not fit fails; nothing is cut.
  virtual bool QueryFullProcessImageNameA(ProcessHandle hProcess, std::uint32_t dwFlags, char* lpExeName,
                                          std::uint32_t* lpdwSize) = 0;
  virtual bool EmptyWorkingSet(ProcessHandle hProcess) = 0;
  virtual bool CloseHandle(ProcessHandle hObject) = 0;
  virtual ProcessHandle GetCurrentProcess() = 0;
  // Asks the Restart Manager to start the program again after it closed it for an installer.
  // Returns the system's HRESULT (0 on success; E_NOTIMPL where the system lacks the call).
  virtual std::int32_t RegisterApplicationRestart(const wchar_t* pwzCommandline, std::uint32_t dwFlags) = 0;
  // Sets a class of information of a process. False, with nothing done, where the system lacks
  // the call (before Windows 8) or does not know the class (ProcessPowerThrottling: before
  // Windows 10 1709).
  virtual bool SetProcessInformation(ProcessHandle hProcess, std::int32_t ProcessInformationClass,
                                     void* ProcessInformation, std::uint32_t ProcessInformationSize) = 0;
};

}  // namespace varnlet::platform
