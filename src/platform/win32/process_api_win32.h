#pragma once
#include "platform/process_api.h"

namespace varnlet::platform {

class ProcessApiWin32 final : public ProcessApi {
 public:
  bool EnumProcesses(std::uint32_t* lpidProcess, std::uint32_t cb, std::uint32_t* lpcbNeeded) override;
  ProcessHandle OpenProcess(std::uint32_t dwDesiredAccess, bool bInheritHandle, std::uint32_t dwProcessId) override;
  bool QueryFullProcessImageNameA(ProcessHandle hProcess, std::uint32_t dwFlags, char* lpExeName,
                                  std::uint32_t* lpdwSize) override;
  bool EmptyWorkingSet(ProcessHandle hProcess) override;
  bool CloseHandle(ProcessHandle hObject) override;
  ProcessHandle GetCurrentProcess() override;
  std::int32_t RegisterApplicationRestart(const wchar_t* pwzCommandline, std::uint32_t dwFlags) override;
};

}  // namespace varnlet::platform
