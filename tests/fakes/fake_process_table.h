#pragma once
// An in-memory process table behind the process boundary: any number of processes with any
// paths and listed names, snapshots of the list, opens that are refused, path queries that fail
// or report a size beyond the buffer, and a count of the handles held.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fakes/fault_injector.h"
#include "fakes/journal.h"
#include "platform/process_api.h"

namespace varnlet::fakes {

// A path in `folder` of a program the trimming pass is after: the build's `index`th target.
std::string TargetPath(std::string_view folder, std::size_t index = 0);

class FakeProcessTable final : public platform::ProcessApi {
 public:
  static constexpr platform::ProcessHandle kPseudoHandle = ~platform::ProcessHandle{0};
  static constexpr std::uint32_t kOwnPid = 4242;
  static constexpr std::uint32_t kAllAccess = 0x1FFFFF;
  static constexpr std::uint32_t kQueryLimited = 0x1000;  // what the image-name query needs
  static constexpr std::uint32_t kSetQuota = 0x0100;      // with kQueryLimited, what a trim needs

  struct Process {
    std::uint32_t pid = 0;
    std::string path;
    // The name the snapshot lists: the path's file name unless a test sets another. One of
    // kMaxPath characters or more fills the entry without a NUL, as a careless system might.
    std::wstring exeName;
    bool refuseOpen = false;
    // The rights an open may ask for; asking for any other refuses the open, as a process's
    // security descriptor does (lsass.exe grants a non-system caller no more than the limited query).
    std::uint32_t grants = kAllAccess;
    bool failPathQuery = false;
    // A path query that succeeds but reports this many characters written, whatever fits.
    std::uint32_t reportedPathSize = 0;
    int trims = 0;
  };

  explicit FakeProcessTable(Journal* journal = nullptr) : journal_(journal) {}

  std::uint32_t Add(std::string path);
  void AddMany(std::size_t count, const std::string& path);
  Process& Get(std::uint32_t pid) { return processes_.at(pid); }
  void Remove(std::uint32_t pid) { processes_.erase(pid); }
  std::size_t size() const { return processes_.size(); }

  // How many snapshots were asked for.
  std::size_t snapshots() const { return snapshots_; }
  // The process id, and the access mask, of every OpenProcess call in order.
  const std::vector<std::uint32_t>& opened() const { return opened_; }
  const std::vector<std::uint32_t>& openAccess() const { return openAccess_; }
  std::size_t openHandles() const { return handles_.size() + snapshotHandles_.size(); }
  std::size_t maxOpenHandles() const { return maxOpen_; }
  std::size_t badCloses() const { return badCloses_; }
  int ownTrims() const { return ownTrims_; }
  // pids in the order they were trimmed.
  const std::vector<std::uint32_t>& trimmed() const { return trimmed_; }
  FaultInjector& faults() { return faults_; }

  // The id list the program listed processes with before the snapshot; only the benchmark's
  // raw loop of those calls uses it. Fills up to cb / 4 ids and sets the bytes written.
  bool EnumProcesses(std::uint32_t* lpidProcess, std::uint32_t cb, std::uint32_t* lpcbNeeded);
  platform::ProcessHandle CreateToolhelp32Snapshot(std::uint32_t dwFlags, std::uint32_t th32ProcessID) override;
  bool Process32FirstW(platform::ProcessHandle hSnapshot, platform::ProcessEntry32W* lppe) override;
  bool Process32NextW(platform::ProcessHandle hSnapshot, platform::ProcessEntry32W* lppe) override;
  platform::ProcessHandle OpenProcess(std::uint32_t dwDesiredAccess, bool bInheritHandle,
                                      std::uint32_t dwProcessId) override;
  bool QueryFullProcessImageNameA(platform::ProcessHandle hProcess, std::uint32_t dwFlags, char* lpExeName,
                                  std::uint32_t* lpdwSize) override;
  bool EmptyWorkingSet(platform::ProcessHandle hProcess) override;
  bool CloseHandle(platform::ProcessHandle hObject) override;
  platform::ProcessHandle GetCurrentProcess() override;
  std::int32_t RegisterApplicationRestart(const wchar_t* pwzCommandline, std::uint32_t dwFlags) override;

  bool SetProcessInformation(platform::ProcessHandle hProcess, std::int32_t ProcessInformationClass,
                             void* ProcessInformation, std::uint32_t ProcessInformationSize) override;

  // False: a system before Windows 10 1709, which has no efficiency mode and refuses the class.
  bool offersEfficiencyMode = true;
  // The power throttling states set on the own process, in order.
  std::vector<platform::ProcessPowerThrottlingState> powerThrottling;

  struct RestartRegistration {
    std::wstring commandLine;
    std::uint32_t flags;
  };
  std::vector<RestartRegistration> restartRegistrations;

 private:
  struct OpenHandle {
    std::uint32_t pid;
    std::uint32_t access;
  };
  struct Snapshot {
    std::vector<std::pair<std::uint32_t, std::wstring>> entries;  // id and name, as at the time
    std::size_t next = 0;
  };
  // The process behind an open handle that holds every right in `needs`, or null.
  Process* Opened(platform::ProcessHandle handle, std::uint32_t needs);
  // Copies the snapshot's entry `index` out, if there is one and the structure is big enough.
  bool ReadEntry(platform::ProcessHandle hSnapshot, std::size_t index, platform::ProcessEntry32W* lppe);
  platform::ProcessHandle NewHandle();
  void Log(const std::string& entry) {
    if (journal_ != nullptr) journal_->Add(entry);
  }

  Journal* journal_;
  FaultInjector faults_;
  std::map<std::uint32_t, Process> processes_;  // ordered by pid, as the system lists them
  std::map<platform::ProcessHandle, OpenHandle> handles_;
  std::map<platform::ProcessHandle, Snapshot> snapshotHandles_;
  std::size_t snapshots_ = 0;
  std::vector<std::uint32_t> opened_;
  std::vector<std::uint32_t> openAccess_;
  std::vector<std::uint32_t> trimmed_;
  std::uint32_t nextPid_ = 8;
  platform::ProcessHandle nextHandle_ = 0x40;
  std::size_t maxOpen_ = 0;
  std::size_t badCloses_ = 0;
  int ownTrims_ = 0;
};

}  // namespace varnlet::fakes
