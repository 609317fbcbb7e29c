#include <gtest/gtest.h>

#include <string>

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

// The buffer starts at 16 bytes and doubles while it comes back full.
TEST(EnumerateProcessIds, AttemptsDoubleUntilTheBufferIsNotFull) {
  struct Case {
    std::size_t processes;
    std::size_t attempts;
  };
  for (const Case c : {Case{0, 1}, Case{3, 1}, Case{4, 2}, Case{7, 2}, Case{8, 3}, Case{1000, 9}, Case{5000, 12}}) {
    FakeProcessTable table;
    table.AddMany(c.processes, R"(C:\x\a.exe)");
    const auto ids = EnumerateProcessIds(table);
    SCOPED_TRACE(c.processes);
    EXPECT_EQ(ids.size(), c.processes);
    ASSERT_EQ(table.enumSizes().size(), c.attempts);
    std::uint32_t expected = 16;
    for (const std::uint32_t size : table.enumSizes()) {
      EXPECT_EQ(size, expected);
      expected *= 2;
    }
  }
}

TEST(EnumerateProcessIds, AFailedEnumerationGivesZeroIdsThatOpenNothing) {
  FakeProcessTable table;
  table.Add(R"(C:\f\firefox.exe)");
  table.faults().Inject("EnumProcesses");
  const auto ids = EnumerateProcessIds(table);
  // The count starts at 96 bytes: the loop ends at 128 bytes with 24 zero ids.
  EXPECT_EQ(ids.size(), 24u);
  for (const auto id : ids) EXPECT_EQ(id, 0u);
  TrimMozillaProcesses(table);
  EXPECT_TRUE(table.trimmed().empty());
  EXPECT_EQ(table.openHandles(), 0u);
}

TEST(TrimMozillaProcesses, TrimsOnlyTheTargetsAndClosesEveryHandle) {
  FakeProcessTable table;
  const auto firefox = table.Add(R"(C:\Program Files\Mozilla Firefox\firefox.exe)");
  const auto notepad = table.Add(R"(C:\Windows\notepad.exe)");
  const auto thunderbird = table.Add(R"(C:\Program Files\Mozilla Thunderbird\thunderbird.exe)");
  const auto shouting = table.Add(R"(C:\FF\FIREFOX.EXE)");
  const auto inFolder = table.Add(R"(C:\t\firefox.exe.d\notepad.exe)");
  const auto xul = table.Add(R"(C:\x\xulrunner.exe)");
  const auto system = table.Add(R"(C:\Windows\System32\firefox.exe)");
  table.Get(system).refuseOpen = true;

  TrimMozillaProcesses(table);

  EXPECT_EQ(table.trimmed(), (std::vector<std::uint32_t>{firefox, thunderbird, inFolder, xul}));
  EXPECT_EQ(table.Get(notepad).trims, 0);
  EXPECT_EQ(table.Get(shouting).trims, 0);
  EXPECT_EQ(table.Get(system).trims, 0);
  EXPECT_EQ(table.openHandles(), 0u);
  EXPECT_EQ(table.maxOpenHandles(), 1u);
  EXPECT_EQ(table.badCloses(), 0u);
  EXPECT_EQ(table.ownTrims(), 0);
}

// Each open asks for the limited query and the quota right, no more: a process that grants
// exactly those is trimmed, one that grants less (lsass.exe to a non-system caller) is skipped.
// A failed path query trims nothing, whatever was read before.
TEST(TrimMozillaProcesses, AsksForTheTrimRightsOnlyAndSkipsAProcessThatRefusesThem) {
  FakeProcessTable table;
  const auto firefox = table.Add(R"(C:\f\firefox.exe)");
  table.Get(firefox).grants = FakeProcessTable::kQueryLimited | FakeProcessTable::kSetQuota;
  const auto guarded = table.Add(R"(C:\f\firefox.exe)");
  table.Get(guarded).grants = FakeProcessTable::kQueryLimited;
  const auto hidden = table.Add(R"(C:\f\firefox.exe)");
  table.Get(hidden).failPathQuery = true;
  const auto after = table.Add(R"(C:\w\calc.exe)");
  const auto last = table.Add(R"(C:\Program Files\Mozilla Firefox\firefox.exe)");

  TrimMozillaProcesses(table);

  EXPECT_EQ(table.trimmed(), (std::vector<std::uint32_t>{firefox, last}));
  EXPECT_EQ(table.Get(guarded).trims + table.Get(hidden).trims + table.Get(after).trims, 0);
  ASSERT_EQ(table.openAccess().size(), 5u);
  for (const auto access : table.openAccess()) EXPECT_EQ(access, 0x1100u);
  EXPECT_EQ(table.openHandles(), 0u);
  EXPECT_EQ(table.maxOpenHandles(), 1u);
}

TEST(TrimMozillaProcesses, APathLongerThan254CharactersIsNotRead) {
  FakeProcessTable table;
  const std::string name = "firefox.exe";
  // The name ends exactly at character 254: the path fits with its NUL.
  const auto fits = table.Add("C:\\" + std::string(254 - 3 - 1 - name.size(), 'a') + "\\" + name);
  // One character longer: the query fails rather than cut it.
  const auto cut = table.Add("C:\\" + std::string(254 - 3 - name.size(), 'a') + "\\" + name);
  ASSERT_EQ(table.Get(fits).path.size(), 254u);
  ASSERT_EQ(table.Get(cut).path.size(), 255u);

  TrimMozillaProcesses(table);

  EXPECT_EQ(table.Get(fits).trims, 1);
  EXPECT_EQ(table.Get(cut).trims, 0);
}

TEST(TrimMozillaProcesses, ThousandsOfProcessesHoldOneHandleAtATime) {
  FakeProcessTable table;
  table.AddMany(2500, R"(C:\w\svchost.exe)");
  table.AddMany(2500, R"(C:\m\firefox.exe)");
  TrimMozillaProcesses(table);
  EXPECT_EQ(table.trimmed().size(), 2500u);
  EXPECT_EQ(table.maxOpenHandles(), 1u);
  EXPECT_EQ(table.openHandles(), 0u);
}

TEST(TrimMozillaProcesses, AnErrorInOneProcessMovesOnToTheNext) {
  FakeProcessTable table;
  const auto first = table.Add(R"(C:\f\firefox.exe)");
  const auto second = table.Add(R"(C:\f\firefox.exe)");
  // The path query of the first process raises: its handle is still closed, the second is trimmed.
  table.faults().Inject("QueryFullProcessImageNameA", 1, FaultKind::Throw);
  TrimMozillaProcesses(table);
  EXPECT_EQ(table.Get(first).trims, 0);
  EXPECT_EQ(table.Get(second).trims, 1);
  EXPECT_EQ(table.openHandles(), 0u);

  // An enumeration that raises ends the pass without touching any process.
  FakeProcessTable broken;
  broken.Add(R"(C:\f\firefox.exe)");
  broken.faults().Inject("EnumProcesses", 0, FaultKind::Throw);
  TrimMozillaProcesses(broken);
  EXPECT_TRUE(broken.trimmed().empty());
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
  EXPECT_TRUE(table.enumSizes().empty());
}

}  // namespace
}  // namespace varnlet::trim
