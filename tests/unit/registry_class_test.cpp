// cQueryReg against the in-memory registry where only it can go: failures of single calls,
// keys that may not be opened, values that change between two calls, faulty sizes, and what
// the class announces to the system.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "registry_class_fixture.h"

namespace varnlet::registry {
namespace {

using namespace std::string_literals;
using fakes::FakeFileSystem;
using fakes::FakeRegistry;

constexpr RegKey kHkcu = kHkeyCurrentUser;

class RegistryClass : public RegistryClassTest {};

class Construction : public ::testing::Test {
 protected:
  platform::Windows1252 ansi_;
  FakeFileSystem files_;
  FakeRegistry registry_{&files_};
};

TEST_F(Construction, ReadsTheUserNameOnceAndKeepsTheBlankBufferOnFailure) {
  registry_.SetUserName("Zo\xEB");
  {
    const cQueryReg reg(registry_, files_, ansi_);
    EXPECT_EQ(reg.UserName(), L"Zoë");
  }
  registry_.FailWith("GetUserNameA", 0);
  {
    const cQueryReg reg(registry_, files_, ansi_);
    EXPECT_EQ(reg.UserName(), std::wstring(255, L' '));
  }
  // A name longer than the buffer fails the call as well.
  registry_.SetUserName(std::string(300, 'n'));
  EXPECT_EQ(cQueryReg(registry_, files_, ansi_).UserName(), std::wstring(255, L' '));
  // A faulty size never reaches past the buffer.
  registry_.SetUserName("ann");
  registry_.ReportFaultySize("GetUserNameA", 0xFFFFFFFF);
  EXPECT_EQ(cQueryReg(registry_, files_, ansi_).UserName(), L"ann"s + L'\0' + std::wstring(251, L' '));
  registry_.ReportFaultySize("GetUserNameA", 0);
  EXPECT_EQ(cQueryReg(registry_, files_, ansi_).UserName(), L"");
}

TEST_F(RegistryClass, AKeyThatMayNotBeOpenedGivesEachOperationsEmptyResultOrTheStatus) {
  registry_.SetValue(kHkcu, "Locked", "v", 1, "x\0"s);
  registry_.SetValue(kHkcu, "Locked", "d", 4, "\x01\x00\x00\x00"s);
  registry_.DenyAccess(kHkcu, "Locked");
  EXPECT_EQ(reg_.GetRegString(L"HKCU\\Locked", L"v"), L"");
  EXPECT_EQ(reg_.GetReg(L"HKCU\\Locked", L"v"), Variant(Empty{}));
  EXPECT_EQ(reg_.GetRegDWord(L"HKCU\\Locked", L"d"), Variant(0));
  EXPECT_EQ(reg_.GetRegBinary(L"HKCU\\Locked", L"d"), Variant(ByteArray{0}));
  EXPECT_EQ(reg_.GetRegType(L"HKCU\\Locked", L"v"), 0u);
  EXPECT_FALSE(reg_.ExistKey(L"HKCU\\Locked"));
  // Neither the open nor the create may reach it: the create's status comes back.
  EXPECT_EQ(reg_.SetReg(L"HKCU\\Locked", L"v", L"y"s), 5);
  EXPECT_EQ(reg_.SetReg(L"HKCU\\Locked", L"v", L"y"s, kHkcu, 1, false), 5);
  EXPECT_EQ(reg_.CreateKey(L"HKCU\\Locked"), 5);
  EXPECT_EQ(reg_.DeleteValue(L"HKCU\\Locked", L"v"), 5);
  EXPECT_EQ(reg_.DeleteKey(L"HKCU\\Locked"), 5);
  EXPECT_EQ(registry_.GetValue(kHkcu, "Locked", "v")->data, "x\0"s);
}

TEST_F(RegistryClass, FailingCallsReturnTheirStatusAndCloseEveryKey) {
  registry_.CreateKeyPath(kHkcu, "K");
  registry_.FailWith("RegSetValueExA", 1021);
  EXPECT_EQ(reg_.SetReg(L"HKCU\\K", L"v", 1), 1021);
  EXPECT_FALSE(registry_.GetValue(kHkcu, "K", "v"));

  // A close that fails is not reported.
  registry_.FailWith("RegCloseKey", 6);
  EXPECT_EQ(reg_.SetReg(L"HKCU\\K", L"v", 1), 0);
  registry_.FailWith("RegCloseKey", 6);
  EXPECT_EQ(reg_.CreateKey(L"HKCU\\K"), 0);
  registry_.FailWith("RegCloseKey", 6);
  EXPECT_EQ(reg_.GetRegString(L"HKCU\\K", L"v"), L"1");

  // CreateKey: the open fails, the create works.
  registry_.FailWith("RegOpenKeyExA", 5);
  EXPECT_EQ(reg_.CreateKey(L"HKCU\\K\\New"), 0);
  EXPECT_TRUE(registry_.KeyExists(kHkcu, "K\\New"));
  // Both fail: the create's status.
  registry_.FailWith("RegOpenKeyExA", 5);
  registry_.FailWith("RegCreateKeyA", 1010);
  EXPECT_EQ(reg_.CreateKey(L"HKCU\\K\\Other"), 1010);
  // SetReg without creating: the open's status.
  registry_.FailWith("RegOpenKeyExA", 1018);
  EXPECT_EQ(reg_.SetReg(L"HKCU\\K", L"v", 1, kHkcu, 4, false), 1018);

  registry_.FailWith("RegDeleteValueA", 5);
  EXPECT_EQ(reg_.DeleteValue(L"HKCU\\K", L"v"), 5);
  EXPECT_TRUE(registry_.GetValue(kHkcu, "K", "v"));
  registry_.FailWith("RegQueryInfoKeyA", 1018);
  EXPECT_EQ(reg_.DeleteKey(L"HKCU\\K"), 1018);
  EXPECT_TRUE(registry_.KeyExists(kHkcu, "K\\New"));
}

TEST_F(RegistryClass, DeleteKeySkipsWhatItCannotDeleteAndReportsTheFinalDeletion) {
  for (const char* path : {"T\\a\\a1", "T\\b", "T\\c\\c1\\c2"}) registry_.CreateKeyPath(kHkcu, path);
  registry_.DenyAccess(kHkcu, "T\\b");
  EXPECT_EQ(reg_.DeleteKey(L"HKCU\\T"), 5);
  EXPECT_EQ(registry_.SubkeyNames(kHkcu, "T"), std::vector<std::string>{"b"});
  // One level open at a time per depth: the deepest tree above is three levels below T.
  EXPECT_EQ(registry_.maxOpenHandles(), 4u);

  // A subkey whose enumeration fails is skipped.
  registry_.CreateKeyPath(kHkcu, "U\\a");
  registry_.CreateKeyPath(kHkcu, "U\\b");
  registry_.FailWith("RegEnumKeyExA", 259, 1);
  EXPECT_EQ(reg_.DeleteKey(L"HKCU\\U"), 5);
  EXPECT_EQ(registry_.SubkeyNames(kHkcu, "U"), std::vector<std::string>{"b"});
}

// The mended fault: a tree whose subkey names no key is a whole root; nothing is deleted.
TEST_F(RegistryClass, DeleteKeyOfARootAloneLeavesTheWholeRegistryAsItWas) {
  registry_.SetValue(kHkcu, "Software\\A", "v", 1, "x\0"s);
  registry_.SetValue(kHkeyLocalMachine, "Software\\Classes\\.txt", "", 1, "txtfile\0"s);
  registry_.SetValue(kHkeyUsers, ".DEFAULT\\Software", "v", 4, "\x01\x00\x00\x00"s);
  const auto before = std::vector{registry_.Dump(kHkcu), registry_.Dump(kHkeyLocalMachine), registry_.Dump(kHkeyUsers)};
  for (const std::wstring& path :
       {L""s, L"  "s, L"\\"s, L"\\\\"s, L"\\\\\\\\"s, L"HKEY_CURRENT_USER"s, L"HKEY_CURRENT_USER\\"s,
        L" HKEY_LOCAL_MACHINE\\ "s, L"HKCU\\\\"s, L"HKCR\\\\\\"s, L"HKU\\\\\\\\"s, L"HKEY_USERS\\\\\\"s}) {
    for (RegKey hKey = 0x7FFFFFFF; hKey != 0x80000007; ++hKey) {
      EXPECT_EQ(reg_.DeleteKey(path, L"", hKey), 5) << std::string(path.begin(), path.end());
    }
  }
  EXPECT_TRUE(Entries("RegDeleteKeyA").empty());
  EXPECT_EQ(before,
            (std::vector{registry_.Dump(kHkcu), registry_.Dump(kHkeyLocalMachine), registry_.Dump(kHkeyUsers)}));
}

TEST_F(RegistryClass, AValueThatChangesBetweenProbeAndReadKeepsTheProbesLength) {
  // Sets the value to `before`, and to `after` right after the next probe.
  auto changeAfterProbe = [&](const char* name, std::uint32_t type, const std::string& before, std::string after) {
    registry_.SetValue(kHkcu, "K", name, type, before);
    registry_.AfterCall([this, name, type, after, calls = 0](const std::string& call) mutable {
      if (call == "RegQueryValueExA" && ++calls == 1) registry_.SetValue(kHkcu, "K", name, type, after);
    });
  };
  // Grown: the read does not fit and leaves the buffer as it was.
  changeAfterProbe("s", 1, "abcd\0"s, "abcdefghij\0"s);
  EXPECT_EQ(reg_.GetRegString(L"HKCU\\K", L"s"), std::wstring(4, L'\0'));
  changeAfterProbe("s", 1, "abcd\0"s, "abcdefghij\0"s);
  EXPECT_EQ(reg_.GetReg(L"HKCU\\K", L"s"), Variant(std::wstring(4, L'\0')));
  // Shrunk: the shorter text, then what the buffer held.
  changeAfterProbe("s", 1, "abcd\0"s, "xy\0"s);
  EXPECT_EQ(reg_.GetRegString(L"HKCU\\K", L"s"), L"xy\0\0"s);
  changeAfterProbe("b", 3, "\x01\x02"s, "\x09\x08\x07\x06"s);
  EXPECT_EQ(reg_.GetRegBinary(L"HKCU\\K", L"b"), Variant(ByteArray{0, 0, 0}));
  changeAfterProbe("b", 3, "\x01\x02\x03\x04"s, "\x09"s);
  EXPECT_EQ(reg_.GetReg(L"HKCU\\K", L"b"), Variant(ByteArray{0x09, 0, 0, 0, 0}));
  // A DWORD that grew past 4 bytes is not read.
  changeAfterProbe("d", 4, "\x05\x00\x00\x00"s, "\x01\x02\x03\x04\x05\x06\x07\x08"s);
  EXPECT_EQ(reg_.GetRegDWord(L"HKCU\\K", L"d"), Variant(0));
  registry_.AfterCall(nullptr);
}

TEST_F(RegistryClass, SizesNearThe32BitLimitRaiseAndLeaveNoKeyOpen) {
  registry_.SetValue(kHkcu, "K", "s", 1, "abcd\0"s);
  registry_.SetValue(kHkcu, "K", "b", 3, "\x01\x02"s);
  for (const std::uint32_t size : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u}) {
    SCOPED_TRACE(size);
    registry_.ReportFaultySize("RegQueryValueExA", size);
    EXPECT_THROW(reg_.GetRegString(L"HKCU\\K", L"s"), varnlet::Overflow);
    EXPECT_THROW(reg_.GetReg(L"HKCU\\K", L"s"), varnlet::Overflow);
    EXPECT_THROW(reg_.GetReg(L"HKCU\\K", L"b"), varnlet::Overflow);
    EXPECT_THROW(reg_.GetRegBinary(L"HKCU\\K", L"b"), varnlet::Overflow);
    // The type alone needs no buffer.
    EXPECT_EQ(reg_.GetRegType(L"HKCU\\K", L"s"), 1u);
    EXPECT_EQ(registry_.openHandles(), 0u);
  }
  registry_.ReportFaultySize("RegQueryValueExA", 0);
  EXPECT_EQ(reg_.GetRegString(L"HKCU\\K", L"s"), L"");
  EXPECT_EQ(reg_.GetRegBinary(L"HKCU\\K", L"b"), Variant(ByteArray{0}));

  registry_.CreateKeyPath(kHkcu, "T\\a");
  registry_.ReportFaultySize("RegQueryInfoKeyA", 0xFFFFFFFF);
  EXPECT_THROW(reg_.DeleteKey(L"HKCU\\T"), varnlet::Overflow);
  EXPECT_TRUE(registry_.KeyExists(kHkcu, "T\\a"));
}

TEST_F(RegistryClass, QueryRegBaseNeverReadsPastItsBuffer) {
  registry_.SetValue(kHkeyLocalMachine, "Software\\Classes\\.x", "", 1, "xfile\0"s);
  registry_.ReportFaultySize("RegQueryValueA", 100000);
  EXPECT_EQ(reg_.QueryRegBase(L".x"), L"xfile" + std::wstring(295, L'\0'));
  registry_.ReportFaultySize("RegQueryValueA", 0xFFFFFFFF);
  EXPECT_EQ(reg_.QueryRegBase(L".x"), L"");
  registry_.ReportFaultySize("RegQueryValueA", 1);
  EXPECT_EQ(reg_.QueryRegBase(L".x"), L"");
}

// What reaches the system: the sizes the class announces.
TEST_F(RegistryClass, AnnouncedSizes) {
  registry_.CreateKeyPath(kHkcu, "K");
  RegKey key = 0;
  ASSERT_EQ(reg_.OpenKeyEx(kHkcu, L"K", 0, kKeyAllAccess, key), 0);
  std::wstring text = L"abc";
  journal_.Clear();
  reg_.RegSetValue2(key, L"v", 4, text, 100);
  // The characters only, without the terminator.
  EXPECT_EQ(journal_.entries().back(), "RegSetValueExA(v,1,3)");
  EXPECT_EQ(reg_.CloseKey(key), 0);

  EXPECT_EQ(reg_.SetReg(L"HKCU\\K", L"s", L"abc"s), 0);
  EXPECT_EQ(journal_.entries().back(), "RegSetValueExA(s,1,4)");
  EXPECT_EQ(reg_.SetReg(L"HKCU\\K", L"b", ByteArray{7, 8, 9}, kHkcu, 3), 0);
  EXPECT_EQ(journal_.entries().back(), "RegSetValueExA(b,3,2)");
  EXPECT_EQ(reg_.SetReg(L"HKCU\\K", L"d", 1, kHkcu, 4), 0);
  EXPECT_EQ(journal_.entries().back(), "RegSetValueExA(d,4,4)");

  // The probe announces no room; the read announces what the probe found.
  journal_.Clear();
  EXPECT_EQ(reg_.GetRegBinary(L"HKCU\\K", L"b"), Variant(ByteArray{7, 8, 0}));
  EXPECT_EQ(journal_.entries()[1], "RegQueryValueExA(b,0)");
  EXPECT_EQ(journal_.entries()[2], "RegQueryValueExA(b,2)");
  journal_.Clear();
  EXPECT_EQ(reg_.GetRegDWord(L"HKCU\\K", L"d"), Variant(1));
  EXPECT_EQ(journal_.entries()[2], "RegQueryValueExA(d,4)");
}

TEST_F(RegistryClass, OpenKeyQueryAsksForQueryValueOnlyAndOpenKeyExForWhatItIsGiven) {
  registry_.CreateKeyPath(kHkcu, "K");
  RegKey key = 0x1234;
  journal_.Clear();
  EXPECT_EQ(reg_.OpenKeyQuery(kHkcu, L"K", 7, kKeyAllAccess, key), 0);
  EXPECT_EQ(journal_.entries().back(), "RegOpenKeyExA(K,1)");
  EXPECT_EQ(reg_.CloseKey(key), 0);
  EXPECT_EQ(reg_.OpenKeyEx(kHkcu, L"K", 7, 0x20006, key), 0);
  EXPECT_EQ(journal_.entries().back(), "RegOpenKeyExA(K,131078)");
  EXPECT_EQ(reg_.CloseKey(key), 0);
  // The caller's variable is written only by the system: a failed open sets it to 0.
  key = 0x1234;
  EXPECT_EQ(reg_.OpenKeyEx(kHkcu, L"Missing", 0, kKeyRead, key), 2);
  EXPECT_EQ(key, 0u);
}

}  // namespace
}  // namespace varnlet::registry
