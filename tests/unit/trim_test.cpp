#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii_case.h"
#include "fakes/fake_process_table.h"
#include "trim/working_set_trimmer.h"

namespace varnlet::trim {
namespace {

using fakes::FakeProcessTable;
using fakes::FaultKind;

// The examples are made of the build's target names: `name` as it is, in capitals, with a capital
// first letter, and widened for the process list.
std::string Upper(std::string name) {
  for (char& c : name) c = AsciiUpper(c);
  return name;
}
std::string Capitalised(std::string name) {
  name[0] = AsciiUpper(name[0]);
  return name;
}
std::wstring Wide(std::string_view ascii) {
  std::wstring wide;
  for (const char c : ascii) wide += static_cast<wchar_t>(c);
  return wide;
}

TEST(IsMozillaPath, MatchesEveryTargetNameAnywhereAndCaseSensitively) {
  for (const auto& target : kTargetProcesses) {
    const std::string name(target.exeName);
    SCOPED_TRACE(name);
    EXPECT_TRUE(IsMozillaPath(R"(C:\Program Files\Mozilla\)" + name));
    EXPECT_TRUE(IsMozillaPath(name));
    // Inside a folder name or a longer file name still counts.
    EXPECT_TRUE(IsMozillaPath(R"(C:\tools\)" + name + R"(.d\notepad.exe)"));
    EXPECT_TRUE(IsMozillaPath(R"(C:\x\my)" + name + ".bak"));
    EXPECT_FALSE(IsMozillaPath(R"(C:\Program Files\Mozilla\)" + Upper(name)));
    EXPECT_FALSE(IsMozillaPath(R"(C:\Program Files\Mozilla\)" + Capitalised(name)));
    EXPECT_FALSE(IsMozillaPath(name.substr(0, name.size() - 1)));
  }
  EXPECT_FALSE(IsMozillaPath(R"(C:\Windows\notepad.exe)"));
  EXPECT_FALSE(IsMozillaPath(""));
}

// One pass over one table: the list names the candidates, the path decides. Only a candidate is
// opened, with the trim rights and no more, one handle at a time, each closed.
TEST(TrimMozillaProcesses, OpensTheCandidatesOnlyAndTrimsThoseWhosePathMatches) {
  const std::string name(kTargetProcesses.front().exeName);
  const std::string target = fakes::TargetPath(R"(C:\Program Files\Mozilla)");
  struct Row {
    std::string what;
    std::string path;
    std::function<void(FakeProcessTable::Process&)> setUp;
    bool opened;
    bool trimmed;
  };
  std::vector<Row> rows;
  for (std::size_t i = 0; i < kTargetProcesses.size(); ++i) {
    rows.push_back({std::string(kTargetProcesses[i].exeName), fakes::TargetPath(R"(D:\apps)", i), nullptr, true, true});
  }
  rows.insert(
      rows.end(),
      {
          {"a longer file name", R"(C:\x\my)" + name + ".bak", nullptr, true, true},
          {"notepad", R"(C:\Windows\notepad.exe)", nullptr, false, false},
          {"capitals", R"(C:\FF\)" + Upper(name), nullptr, false, false},
          {"the name in a folder only", R"(C:\)" + name + R"(\tool.exe)", nullptr, false, false},
          // A wide character whose low byte is an ASCII letter is not that letter.
          {"a listed name with a letter beyond ASCII", target,
           [&](auto& p) { p.exeName = static_cast<wchar_t>(0x0100 + name[0]) + Wide(name).substr(1); }, false, false},
          {"a listed name the path lacks", R"(C:\w\calc.exe)", [&](auto& p) { p.exeName = Wide(name); }, true, false},
          {"refuses the open", target, [](auto& p) { p.refuseOpen = true; }, true, false},
          {"grants less than the trim rights", target, [](auto& p) { p.grants = FakeProcessTable::kQueryLimited; },
           true, false},
          {"grants exactly the trim rights", target,
           [](auto& p) { p.grants = FakeProcessTable::kQueryLimited | FakeProcessTable::kSetQuota; }, true, true},
          {"hides its path", target, [](auto& p) { p.failPathQuery = true; }, true, false},
          {"reports a path size past the buffer", target, [](auto& p) { p.reportedPathSize = 0xFFFFFFFF; }, true, true},
          // The name ends at character 254: the path fits with its NUL. One more and the query fails.
          {"a path of 254 characters", "C:\\" + std::string(254 - 4 - name.size(), 'a') + "\\" + name, nullptr, true,
           true},
          {"a path of 255 characters", "C:\\" + std::string(255 - 4 - name.size(), 'a') + "\\" + name, nullptr, true,
           false},
          // A name that fills the entry without a NUL is read to the entry's end and no further.
          {"an unterminated name ending in the target", target,
           [&](auto& p) { p.exeName = std::wstring(platform::kMaxPath - name.size(), L'a') + Wide(name); }, true, true},
          {"an unterminated name cut inside the target", target,
           [&](auto& p) { p.exeName = std::wstring(platform::kMaxPath - name.size() + 1, L'a') + Wide(name); }, false,
           false},
      });
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
    const auto first = table.Add(fakes::TargetPath(R"(C:\f)"));
    table.Add(R"(C:\w\notepad.exe)");
    const auto second = table.Add(fakes::TargetPath(R"(C:\f)"));
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
  table.AddMany(2500, fakes::TargetPath(R"(C:\m)"));
  TrimMozillaProcesses(table);
  EXPECT_EQ(table.opened().size(), 2500u);
  EXPECT_EQ(table.trimmed().size(), 2500u);
  EXPECT_EQ(table.maxOpenHandles(), 1u);
  EXPECT_EQ(table.openHandles(), 0u);
}

TEST(TrimOwnProcess, UsesThePseudoHandleAndNeverClosesIt) {
  FakeProcessTable table;
  table.Add(fakes::TargetPath(R"(C:\f)"));
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
