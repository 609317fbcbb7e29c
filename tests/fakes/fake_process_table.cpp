#include "fakes/fake_process_table.h"

#include <algorithm>
#include <cstring>

#include "trim/working_set_trimmer.h"

namespace varnlet::fakes {

std::string TargetPath(std::string_view folder, std::size_t index) {
  return std::string(folder) + '\\' + std::string(trim::kTargetProcesses.at(index).exeName);
}

std::uint32_t FakeProcessTable::Add(std::string path) {
  const std::uint32_t pid = nextPid_;
  nextPid_ += 4;
  // The fake's paths are ASCII (or Latin-1 as Windows-1252 mostly is), so each byte widens as is.
  const std::size_t slash = path.find_last_of('\\');
  const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  std::wstring exeName(file.size(), L'\0');
  std::transform(file.begin(), file.end(), exeName.begin(), [](char c) { return static_cast<unsigned char>(c); });
  processes_[pid] = Process{pid, std::move(path), std::move(exeName)};
  return pid;
}

void FakeProcessTable::AddMany(std::size_t count, const std::string& path) {
  for (std::size_t i = 0; i < count; ++i) Add(path);
}

bool FakeProcessTable::EnumProcesses(std::uint32_t* lpidProcess, std::uint32_t cb, std::uint32_t* lpcbNeeded) {
  Log("EnumProcesses(" + std::to_string(cb) + ")");
  const std::size_t room = cb / sizeof(std::uint32_t);
  std::size_t n = 0;
  for (const auto& [pid, process] : processes_) {
    if (n == room) break;
    lpidProcess[n++] = pid;
  }
  *lpcbNeeded = static_cast<std::uint32_t>(n * sizeof(std::uint32_t));
  return true;
}

platform::ProcessHandle FakeProcessTable::NewHandle() {
  const platform::ProcessHandle h = nextHandle_;
  nextHandle_ += 4;
  return h;
}

platform::ProcessHandle FakeProcessTable::CreateToolhelp32Snapshot(std::uint32_t dwFlags, std::uint32_t th32ProcessID) {
  ++snapshots_;
  Log("CreateToolhelp32Snapshot");
  if (faults_.ShouldFail("CreateToolhelp32Snapshot") || dwFlags != platform::kTh32csSnapProcess) {
    return platform::kInvalidHandleValue;
  }
  static_cast<void>(th32ProcessID);  // ignored for a process list
  Snapshot snapshot;
  snapshot.entries.reserve(processes_.size());
  for (const auto& [pid, process] : processes_) snapshot.entries.emplace_back(pid, process.exeName);
  const platform::ProcessHandle h = NewHandle();
  snapshotHandles_[h] = std::move(snapshot);
  maxOpen_ = std::max(maxOpen_, openHandles());
  return h;
}

bool FakeProcessTable::ReadEntry(platform::ProcessHandle hSnapshot, std::size_t index,
                                 platform::ProcessEntry32W* lppe) {
  const auto it = snapshotHandles_.find(hSnapshot);
  if (it == snapshotHandles_.end() || lppe->dwSize < sizeof *lppe) return false;
  Snapshot& snapshot = it->second;
  if (index >= snapshot.entries.size()) return false;
  snapshot.next = index + 1;
  const auto& [pid, name] = snapshot.entries[index];
  lppe->th32ProcessID = pid;
  const std::size_t n = std::min(name.size(), lppe->szExeFile.size());
  std::copy_n(name.begin(), n, lppe->szExeFile.begin());
  if (n < lppe->szExeFile.size()) lppe->szExeFile[n] = L'\0';
  return true;
}

bool FakeProcessTable::Process32FirstW(platform::ProcessHandle hSnapshot, platform::ProcessEntry32W* lppe) {
  if (faults_.ShouldFail("Process32FirstW")) return false;
  return ReadEntry(hSnapshot, 0, lppe);
}

bool FakeProcessTable::Process32NextW(platform::ProcessHandle hSnapshot, platform::ProcessEntry32W* lppe) {
  if (faults_.ShouldFail("Process32NextW")) return false;
  const auto it = snapshotHandles_.find(hSnapshot);
  return it != snapshotHandles_.end() && ReadEntry(hSnapshot, it->second.next, lppe);
}

platform::ProcessHandle FakeProcessTable::OpenProcess(std::uint32_t dwDesiredAccess, bool bInheritHandle,
                                                      std::uint32_t dwProcessId) {
  Log("OpenProcess(" + std::to_string(dwProcessId) + ")");
  opened_.push_back(dwProcessId);
  openAccess_.push_back(dwDesiredAccess);
  if (faults_.ShouldFail("OpenProcess")) return 0;
  const auto it = processes_.find(dwProcessId);
  if (it == processes_.end() || it->second.refuseOpen || dwDesiredAccess == 0 || bInheritHandle ||
      (dwDesiredAccess & ~it->second.grants) != 0) {
    return 0;
  }
  const platform::ProcessHandle h = NewHandle();
  handles_[h] = OpenHandle{dwProcessId, dwDesiredAccess};
  maxOpen_ = std::max(maxOpen_, openHandles());
  return h;
}

bool FakeProcessTable::QueryFullProcessImageNameA(platform::ProcessHandle hProcess, std::uint32_t dwFlags,
                                                  char* lpExeName, std::uint32_t* lpdwSize) {
  if (faults_.ShouldFail("QueryFullProcessImageNameA")) return false;
  const Process* process = Opened(hProcess, kQueryLimited);
  if (process == nullptr || dwFlags != 0 || process->failPathQuery) return false;
  // Unlike the module path, a path that does not fit with its NUL is not cut: the call fails.
  if (process->path.size() + 1 > *lpdwSize) return false;
  std::memcpy(lpExeName, process->path.c_str(), process->path.size() + 1);
  *lpdwSize =
      process->reportedPathSize != 0 ? process->reportedPathSize : static_cast<std::uint32_t>(process->path.size());
  return true;
}

FakeProcessTable::Process* FakeProcessTable::Opened(platform::ProcessHandle handle, std::uint32_t needs) {
  const auto h = handles_.find(handle);
  if (h == handles_.end() || (h->second.access & needs) != needs) return nullptr;
  return &processes_.at(h->second.pid);
}

bool FakeProcessTable::EmptyWorkingSet(platform::ProcessHandle hProcess) {
  if (faults_.ShouldFail("EmptyWorkingSet")) return false;
  if (hProcess == kPseudoHandle) {
    ++ownTrims_;
    Log("EmptyWorkingSet(own)");
    return true;
  }
  Process* process = Opened(hProcess, kQueryLimited | kSetQuota);
  if (process == nullptr) return false;
  ++process->trims;
  trimmed_.push_back(process->pid);
  Log("EmptyWorkingSet(" + std::to_string(process->pid) + ")");
  return true;
}

bool FakeProcessTable::CloseHandle(platform::ProcessHandle hObject) {
  // An injected failure (or error) still releases the handle: the caller has nothing left to do
  // with it.
  const bool known = handles_.erase(hObject) + snapshotHandles_.erase(hObject) != 0;
  if (!known) ++badCloses_;
  const bool fail = faults_.ShouldFail("CloseHandle");
  return known && !fail;
}

platform::ProcessHandle FakeProcessTable::GetCurrentProcess() { return kPseudoHandle; }

std::int32_t FakeProcessTable::RegisterApplicationRestart(const wchar_t* pwzCommandline, std::uint32_t dwFlags) {
  Log("RegisterApplicationRestart");
  if (faults_.ShouldFail("RegisterApplicationRestart")) return static_cast<std::int32_t>(0x80070057);  // E_INVALIDARG
  // A null command line and an empty one mean the same to the system.
  restartRegistrations.push_back({pwzCommandline != nullptr ? pwzCommandline : L"", dwFlags});
  return 0;
}

bool FakeProcessTable::SetProcessInformation(platform::ProcessHandle hProcess, std::int32_t ProcessInformationClass,
                                             void* ProcessInformation, std::uint32_t ProcessInformationSize) {
  Log("SetProcessInformation(" + std::to_string(ProcessInformationClass) + ")");
  if (faults_.ShouldFail("SetProcessInformation") || !offersEfficiencyMode) return false;
  if (hProcess != kPseudoHandle || ProcessInformationClass != platform::kProcessPowerThrottling ||
      ProcessInformationSize != sizeof(platform::ProcessPowerThrottlingState)) {
    return false;
  }
  powerThrottling.push_back(*static_cast<const platform::ProcessPowerThrottlingState*>(ProcessInformation));
  return true;
}

}  // namespace varnlet::fakes
