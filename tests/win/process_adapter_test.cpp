// The trimming pass through the real process adapter, against real processes under Wine.
// EmptyWorkingSet changes nothing observable under Wine, so a recording adapter that forwards to
// the real one notes which processes were trimmed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>

#include "platform/win32/process_api_win32.h"
#include "trim/working_set_trimmer.h"
#include "win_test_support.h"

namespace varnlet {
namespace {

class RecordingProcessApi final : public platform::ProcessApi {
 public:
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t cb, std::uint32_t* needed) override {
    enumSizes.push_back(cb);
    return real_.EnumProcesses(ids, cb, needed);
  }
  platform::ProcessHandle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override {
    accessMasks.insert(access);
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

  std::vector<std::uint32_t> enumSizes;
  std::set<std::uint32_t> accessMasks;
  std::set<platform::ProcessHandle> open;
  std::set<DWORD> trimmed;

 private:
  platform::ProcessApiWin32 real_;
};

TEST(ProcessAdapter, OnePassTrimsTheMozillaStandInsOnly) {
  wintest::ScratchFolder folder(L"varnlet-trim");
  wintest::StandIn firefox(folder, L"firefox.exe");
  wintest::StandIn thunderbird(folder, L"thunderbird.exe");
  wintest::StandIn xulrunner(folder, L"xulrunner.exe");
  wintest::StandIn notepad(folder, L"notepad.exe");
  wintest::StandIn inFolder(folder, L"firefox.exe.d\\notepad.exe");
  // Processes of the other architecture: a 32-bit pass reads a 64-bit one's image name only.
  // Where 32-bit programs cannot run, a 64-bit pass goes without them and says so.
  std::optional<wintest::StandIn> otherFirefox, otherNotepad;
  if (wintest::OtherArchitectureRuns()) {
    otherFirefox.emplace(folder, L"other\\firefox.exe", wintest::Architecture::kOther);
    otherNotepad.emplace(folder, L"other\\notepad.exe", wintest::Architecture::kOther);
  } else {
    std::printf("[   NOTE   ] 32-bit programs cannot run here: no stand-ins of the other architecture\n");
  }

  RecordingProcessApi api;
  trim::TrimMozillaProcesses(api);

  EXPECT_TRUE(api.trimmed.count(firefox.pid()));
  EXPECT_TRUE(api.trimmed.count(thunderbird.pid()));
  EXPECT_TRUE(api.trimmed.count(xulrunner.pid()));
  EXPECT_TRUE(api.trimmed.count(inFolder.pid()));
  if (otherFirefox) {
    EXPECT_TRUE(api.trimmed.count(otherFirefox->pid()));
  }
  EXPECT_FALSE(api.trimmed.count(notepad.pid()));
  if (otherNotepad) {
    EXPECT_FALSE(api.trimmed.count(otherNotepad->pid()));
  }
  EXPECT_FALSE(api.trimmed.count(::GetCurrentProcessId()));
  EXPECT_TRUE(api.open.empty()) << "every handle the pass opened is closed";
  EXPECT_EQ(api.accessMasks, (std::set<std::uint32_t>{0x1100})) << "the limited query and the quota right only";
  // Wine runs a handful of its own processes besides ours: more than 4, so at least two attempts.
  ASSERT_GE(api.enumSizes.size(), 2u);
  EXPECT_EQ(api.enumSizes.front(), 16u);
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
  // kernel32 has the restart registration, found at run time.
  EXPECT_EQ(api.RegisterApplicationRestart(L"", 11), 0);
}

}  // namespace
}  // namespace varnlet
