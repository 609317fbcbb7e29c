// The trimming pass through the real process adapter, against real processes under Wine.
// EmptyWorkingSet changes nothing observable under Wine, so a recording adapter that forwards to
// the real one notes which processes were trimmed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/process_api_win32.h"
#include "trim/working_set_trimmer.h"
#include "win_test_support.h"

namespace varnlet {
namespace {

class RecordingProcessApi final : public platform::ProcessApi {
 public:
  platform::ProcessHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t pid) override {
    ++snapshots;
    const auto h = real_.CreateToolhelp32Snapshot(flags, pid);
    open.insert(h);
    return h;
  }
  bool Process32FirstW(platform::ProcessHandle h, platform::ProcessEntry32W* entry) override {
    return real_.Process32FirstW(h, entry);
  }
  bool Process32NextW(platform::ProcessHandle h, platform::ProcessEntry32W* entry) override {
    return real_.Process32NextW(h, entry);
  }
  platform::ProcessHandle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override {
    accessMasks.insert(access);
    opened.insert(pid);
    const auto h = real_.OpenProcess(access, inherit, pid);
    if (h != 0) open.insert(h);
    return h;
  }
  bool QueryFullProcessImageNameA(platform::ProcessHandle h, std::uint32_t flags, char* name,
                                  std::uint32_t* size) override {
    return real_.QueryFullProcessImageNameA(h, flags, name, size);
  }
  bool EmptyWorkingSet(platform::ProcessHandle h) override {
    trimmed.insert(::GetProcessId(reinterpret_cast<HANDLE>(h)));
    return real_.EmptyWorkingSet(h);
  }
  bool CloseHandle(platform::ProcessHandle h) override {
    open.erase(h);
    return real_.CloseHandle(h);
  }
  platform::ProcessHandle GetCurrentProcess() override { return real_.GetCurrentProcess(); }
  std::int32_t RegisterApplicationRestart(const wchar_t* commandLine, std::uint32_t flags) override {
    return real_.RegisterApplicationRestart(commandLine, flags);
  }
  bool SetProcessInformation(platform::ProcessHandle h, std::int32_t kind, void* info, std::uint32_t size) override {
    return real_.SetProcessInformation(h, kind, info, size);
  }

  int snapshots = 0;
  std::set<std::uint32_t> accessMasks;
  std::set<DWORD> opened;
  std::set<platform::ProcessHandle> open;
  std::set<DWORD> trimmed;

 private:
  platform::ProcessApiWin32 real_;
};

// What holds for every pass: the targets found are exactly the processes opened, one snapshot,
// every handle closed, and only the limited query and quota rights asked for.
void ExpectOpenedOnlyToTrim(const RecordingProcessApi& api) {
  EXPECT_FALSE(api.opened.count(::GetCurrentProcessId()));
  EXPECT_EQ(api.opened, api.trimmed) << "nothing but the Mozilla stand-ins has a target name here";
  EXPECT_EQ(api.snapshots, 1);
  EXPECT_TRUE(api.open.empty()) << "the snapshot and every handle the pass opened are closed";
  EXPECT_EQ(api.accessMasks, (std::set<std::uint32_t>{0x1100})) << "the limited query and the quota right only";
}

// The build's `index`th target name, as a stand-in's file name.
std::wstring TargetName(std::size_t index = 0) {
  const std::string_view name = trim::kTargetProcesses.at(index).exeName;
  return std::wstring(name.begin(), name.end());
}

TEST(ProcessAdapter, OnePassTrimsTheMozillaStandInsOnly) {
  wintest::ScratchFolder folder(L"varnlet-trim");
  std::vector<wintest::StandIn> targets;
  targets.reserve(trim::kTargetProcesses.size());
  for (std::size_t i = 0; i < trim::kTargetProcesses.size(); ++i) targets.emplace_back(folder, TargetName(i));
  wintest::StandIn notepad(folder, L"notepad.exe");
  wintest::StandIn inFolder(folder, TargetName() + L".d\\notepad.exe");

  RecordingProcessApi api;
  trim::TrimMozillaProcesses(api);

  for (const auto& target : targets) EXPECT_TRUE(api.trimmed.count(target.pid()));
  // Only a process whose file name holds a target is opened: the folder's name does not count.
  EXPECT_FALSE(api.opened.count(notepad.pid()));
  EXPECT_FALSE(api.opened.count(inFolder.pid()));
  ExpectOpenedOnlyToTrim(api);
}

// A 32-bit pass reads a 64-bit process's image name only; a 64-bit pass meets 32-bit processes
// where they can run.
TEST(ProcessAdapter, OnePassTrimsTheOtherArchitecturesMozillaStandIns) {
  if (!wintest::OtherArchitectureRuns()) GTEST_SKIP() << "32-bit programs cannot run here: no 32-bit stand-ins";
  wintest::ScratchFolder folder(L"varnlet-trim-other");
  wintest::StandIn target(folder, TargetName(), wintest::Architecture::kOther);
  wintest::StandIn notepad(folder, L"notepad.exe", wintest::Architecture::kOther);

  RecordingProcessApi api;
  trim::TrimMozillaProcesses(api);

  EXPECT_TRUE(api.trimmed.count(target.pid()));
  EXPECT_FALSE(api.opened.count(notepad.pid()));
  ExpectOpenedOnlyToTrim(api);
}

TEST(ProcessAdapter, TheRealCallsAnswerAsTheTrimmerExpects) {
  platform::ProcessApiWin32 api;
  // A path query into a 255-byte buffer never writes more than 254 characters and the NUL.
  const auto self = api.OpenProcess(trim::kTrimAccess, false, ::GetCurrentProcessId());
  ASSERT_NE(self, 0u);
  char path[trim::kPathBufferSize];
  std::fill(std::begin(path), std::end(path), '\x7f');
  std::uint32_t n = trim::kPathBufferSize;
  ASSERT_TRUE(api.QueryFullProcessImageNameA(self, 0, path, &n));
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, trim::kPathBufferSize);
  EXPECT_EQ(path[n], '\0');
  EXPECT_NE(std::string(path).find("win_tests.exe"), std::string::npos);
  // The trim rights are enough to trim.
  EXPECT_TRUE(api.EmptyWorkingSet(self));
  EXPECT_TRUE(api.CloseHandle(self));
  // A process that does not exist cannot be opened.
  EXPECT_EQ(api.OpenProcess(trim::kTrimAccess, false, 0), 0u);
  // The own process's pseudo-handle can be trimmed.
  EXPECT_TRUE(api.EmptyWorkingSet(api.GetCurrentProcess()));
  // The snapshot lists the own process by its file name, terminated; a structure announced
  // smaller than it is is refused.
  const auto snapshot = api.CreateToolhelp32Snapshot(platform::kTh32csSnapProcess, 0);
  ASSERT_NE(snapshot, platform::kInvalidHandleValue);
  platform::ProcessEntry32W entry;
  entry.dwSize = sizeof entry - 1;
  EXPECT_FALSE(api.Process32FirstW(snapshot, &entry));
  std::wstring ownName;
  std::size_t listed = 0;
  entry.dwSize = sizeof entry;
  for (bool more = api.Process32FirstW(snapshot, &entry); more; more = api.Process32NextW(snapshot, &entry)) {
    ++listed;
    const std::size_t length = ::wcsnlen(entry.szExeFile.data(), entry.szExeFile.size());
    EXPECT_LT(length, entry.szExeFile.size());
    if (entry.th32ProcessID == ::GetCurrentProcessId()) ownName.assign(entry.szExeFile.data(), length);
  }
  EXPECT_EQ(ownName, L"win_tests.exe");
  EXPECT_GT(listed, 4u) << "Wine's own processes are listed too";
  EXPECT_TRUE(api.CloseHandle(snapshot));
  // kernel32 has the restart registration, found at run time.
  EXPECT_EQ(api.RegisterApplicationRestart(L"", 11), 0);
}

}  // namespace
}  // namespace varnlet
