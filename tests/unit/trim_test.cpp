#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "fakes/fake_process_table.h"
#include "trim/working_set_trimmer.h"

namespace varnlet::trim {
namespace {

using fakes::FakeProcessTable;
using fakes::FaultKind;

TEST(IsMozillaPath, MatchesTheThreeNamesAnywhereAndCaseSensitively) {
  EXPECT_TRUE(IsMozillaPath(R"(C:\Program Files\Mozilla Firefox\firefox.exe)"));
  EXPECT_TRUE(IsMozillaPath(R"(C:\Program Files\Mozilla Thunderbird\thunderbird.exe)"));
  EXPECT_TRUE(IsMozillaPath(R"(D:\xr\xulrunner.exe)"));
  EXPECT_TRUE(IsMozillaPath("firefox.exe"));
  // Inside a folder name or a longer file name still counts.
  EXPECT_TRUE(IsMozillaPath(R"(C:\tools\firefox.exe.d\notepad.exe)"));
  EXPECT_TRUE(IsMozillaPath(R"(C:\x\myfirefox.exe.bak)"));
  EXPECT_FALSE(IsMozillaPath(R"(C:\Program Files\Mozilla Firefox\FIREFOX.EXE)"));
  EXPECT_FALSE(IsMozillaPath(R"(C:\Program Files\Mozilla Firefox\Firefox.exe)"));
  EXPECT_FALSE(IsMozillaPath(R"(C:\Windows\notepad.exe)"));
  EXPECT_FALSE(IsMozillaPath("firefox.ex"));
  EXPECT_FALSE(IsMozillaPath(""));
}

// One pass over one table: the list names the candidates, the path decides. Only a candidate is
// opened, with the trim rights and no more, one handle at a time, each closed.
TEST(TrimMozillaProcesses, OpensTheCandidatesOnlyAndTrimsThoseWhosePathMatches) {
  const std::string firefox = R"(C:\Program Files\Mozilla Firefox\firefox.exe)";
  const std::string name = "firefox.exe";
  struct Row {
    const char* what;
    std::string path;
    std::function<void(FakeProcessTable::Process&)> setUp;
    bool opened;
    bool trimmed;
  };
  const std::vector<Row> rows = {
      {"firefox", firefox, nullptr, true, true},
      {"thunderbird", R"(C:\Program Files\Mozilla Thunderbird\thunderbird.exe)", nullptr, true, true},
      {"xulrunner", R"(D:\xr\xulrunner.exe)", nullptr, true, true},
      {"a longer file name", R"(C:\x\myfirefox.exe.bak)", nullptr, true, true},
      {"notepad", R"(C:\Windows\notepad.exe)", nullptr, false, false},
      {"capitals", R"(C:\FF\FIREFOX.EXE)", nullptr, false, false},
      {"the name in a folder only", R"(C:\firefox.exe\tool.exe)", nullptr, false, false},
      // A wide character whose low byte is an ASCII letter is not that letter.
      {"a listed name with a letter beyond ASCII", firefox, [](auto& p) { p.exeName = L"\u0166irefox.exe"; }, false,
       false},
      {"a listed name the path lacks", R"(C:\w\calc.exe)", [](auto& p) { p.exeName = L"firefox.exe"; }, true, false},
      {"refuses the open", firefox, [](auto& p) { p.refuseOpen = true; }, true, false},
      {"grants less than the trim rights", firefox, [](auto& p) { p.grants = FakeProcessTable::kQueryLimited; }, true,
       false},
      {"grants exactly the trim rights", firefox,
       [](auto& p) { p.grants = FakeProcessTable::kQueryLimited | FakeProcessTable::kSetQuota; }, true, true},
      {"hides its path", firefox, [](auto& p) { p.failPathQuery = true; }, true, false},
      {"reports a path size past the buffer", firefox, [](auto& p) { p.reportedPathSize = 0xFFFFFFFF; }, true, true},
      // The name ends at character 254: the path fits with its NUL. One more and the query fails.
      {"a path of 254 characters", "C:\\" + std::string(254 - 4 - name.size(), 'a') + "\\" + name, nullptr, true, true},
      {"a path of 255 characters", "C:\\" + std::string(255 - 4 - name.size(), 'a') + "\\" + name, nullptr, true,
       false},
      // A name that fills the entry without a NUL is read to the entry's end and no further.
      {"an unterminated name ending in the target", firefox,
       [&](auto& p) { p.exeName = std::wstring(platform::kMaxPath - name.size(), L'a') + L"firefox.exe"; }, true, true},
      {"an unterminated name cut inside the target", firefox,
       [&](auto& p) { p.exeName = std::wstring(platform::kMaxPath - name.size() + 1, L'a') + L"firefox.exe"; }, false,
       false},
  };
  FakeProcessTable table;
  std::vector<std::uint32_t> pids;
  for (const Row& row : rows) {
    pids.push_back(table.Add(row.path));
    if (row.setUp) row.setUp(table.Get(pids.back()));
  }

  TrimMozillaProcesses(table);

  std::vector<std::uint32_t> opened, trimmed;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].opened) opened.push_back(pids[i]);
    if (rows[i].trimmed) trimmed.push_back(pids[i]);
    SCOPED_TRACE(rows[i].what);
    EXPECT_EQ(std::count(table.opened().begin(), table.opened().end(), pids[i]), rows[i].opened ? 1 : 0);
    EXPECT_EQ(table.Get(pids[i]).trims, rows[i].trimmed ? 1 : 0);
  }
  EXPECT_EQ(table.opened(), opened) << "in the order of the list";
  EXPECT_EQ(table.trimmed(), trimmed);
  for (const auto access : table.openAccess()) EXPECT_EQ(access, 0x1100u);
  EXPECT_EQ(table.snapshots(), 1u);
  EXPECT_EQ(table.openHandles(), 0u) << "the snapshot and every process handle are closed";
  EXPECT_EQ(table.maxOpenHandles(), 1u) << "the snapshot is closed before the first open";
  EXPECT_EQ(table.badCloses(), 0u);
  EXPECT_EQ(table.ownTrims(), 0);
}

// A call that fails or raises: the pass keeps what it had and goes on where it can, closes what
// it opened, and the next pass starts afresh.
TEST(TrimMozillaProcesses, AFailureEndsOnlyWhatItMustAndTheNextPassTriesAgain) {
  struct Case {
    const char* call;
    int nth;
    FaultKind kind;
    bool firstTrimmed, secondTrimmed;
  };
  for (const Case c :
       {Case{"CreateToolhelp32Snapshot", 1, FaultKind::Fail, false, false},
        Case{"CreateToolhelp32Snapshot", 1, FaultKind::Throw, false, false},
        Case{"Process32FirstW", 1, FaultKind::Fail, false, false},
        // The walk keeps the entries read before it broke off.
        Case{"Process32NextW", 1, FaultKind::Fail, true, false},
        Case{"Process32NextW", 2, FaultKind::Throw, true, false}, Case{"OpenProcess", 1, FaultKind::Throw, false, true},
        Case{"QueryFullProcessImageNameA", 1, FaultKind::Throw, false, true},
        Case{"EmptyWorkingSet", 1, FaultKind::Throw, false, true}}) {
    SCOPED_TRACE(std::string(c.call) + (c.kind == FaultKind::Throw ? " raises" : " fails"));
    FakeProcessTable table;
    const auto first = table.Add(R"(C:\f\firefox.exe)");
    table.Add(R"(C:\w\notepad.exe)");
    const auto second = table.Add(R"(C:\f\firefox.exe)");
    table.faults().Inject(c.call, c.nth, c.kind);
    TrimMozillaProcesses(table);
    EXPECT_EQ(table.Get(first).trims, c.firstTrimmed ? 1 : 0);
    EXPECT_EQ(table.Get(second).trims, c.secondTrimmed ? 1 : 0);
    EXPECT_EQ(table.openHandles(), 0u);
    EXPECT_EQ(table.badCloses(), 0u);
    TrimMozillaProcesses(table);
    EXPECT_EQ(table.Get(first).trims + table.Get(second).trims,
              (c.firstTrimmed ? 1 : 0) + (c.secondTrimmed ? 1 : 0) + 2);
    EXPECT_EQ(table.snapshots(), 2u);
  }
}

TEST(TrimMozillaProcesses, ThousandsOfProcessesOpenOnlyTheCandidates) {
  FakeProcessTable table;
  table.AddMany(2500, R"(C:\w\svchost.exe)");
  table.AddMany(2500, R"(C:\m\firefox.exe)");
  TrimMozillaProcesses(table);
  EXPECT_EQ(table.opened().size(), 2500u);
  EXPECT_EQ(table.trimmed().size(), 2500u);
  EXPECT_EQ(table.maxOpenHandles(), 1u);
  EXPECT_EQ(table.openHandles(), 0u);
}

TEST(TrimOwnProcess, UsesThePseudoHandleAndNeverClosesIt) {
  FakeProcessTable table;
  table.Add(R"(C:\f\firefox.exe)");
  TrimOwnProcess(table);
  TrimOwnProcess(table);
  EXPECT_EQ(table.ownTrims(), 2);
  EXPECT_TRUE(table.openAccess().empty()) << "the own trim opens nothing";
  EXPECT_TRUE(table.trimmed().empty());
  EXPECT_EQ(table.badCloses(), 0u);
  EXPECT_EQ(table.snapshots(), 0u);
}

}  // namespace
}  // namespace varnlet::trim
