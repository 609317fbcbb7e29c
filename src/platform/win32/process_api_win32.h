#pragma once
#include "platform/process_api.h"

namespace varnlet::platform {

class ProcessApiWin32 final : public ProcessApi {
 public:
  ProcessHandle CreateToolhelp32Snapshot(std::uint32_t dwFlags, std::uint32_t th32ProcessID) override;
  bool Process32FirstW(ProcessHandle hSnapshot, ProcessEntry32W* lppe) override;
  bool Process32NextW(ProcessHandle hSnapshot, ProcessEntry32W* lppe) override;
  ProcessHandle OpenProcess(std::uint32_t dwDesiredAccess, bool bInheritHandle, std::uint32_t dwProcessId) override;
  bool QueryFullProcessImageNameA(ProcessHandle hProcess, std::uint32_t dwFlags, char* lpExeName,
                                  std::uint32_t* lpdwSize) override;
  bool EmptyWorkingSet(ProcessHandle hProcess) override;
  bool CloseHandle(ProcessHandle hObject) override;
  ProcessHandle GetCurrentProcess() override;
  std::int32_t RegisterApplicationRestart(const wchar_t* pwzCommandline, std::uint32_t dwFlags) override;
  bool SetProcessInformation(ProcessHandle hProcess, std::int32_t ProcessInformationClass, void* ProcessInformation,
                             std::uint32_t ProcessInformationSize) override;
};

}  // namespace varnlet::platform
