// cQueryReg's enumeration, key dump and shell folders against the in-memory registry where only
// it can go: what the class announces, files left behind, duplicate names, failing calls.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "registry_class_fixture.h"

namespace varnlet::registry {
namespace {

using namespace std::string_literals;
using fakes::FakeFileSystem;
using fakes::FakeRegistry;
using Strings = std::vector<std::wstring>;

constexpr RegKey kHkcu = kHkeyCurrentUser;
const std::string kUserFolders = "tester\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kDefaultFolders = ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";

class RegistryClassMore : public RegistryClassTest {
 protected:
  std::vector<std::pair<std::wstring, std::wstring>> Contents(const KeyedCollection& c) const {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    for (std::size_t i = 1; i <= c.Count(); ++i) out.emplace_back(c.Key(i), c.Item(i));
    return out;
  }
};

// The mended fault: a DWORD is read with its own 4 bytes announced, never the key's longest data.
TEST_F(RegistryClassMore, EnumValuesAnnouncesNoMoreThanEachBufferHolds) {
  registry_.SetValue(kHkcu, "K", "d", 4, "\x07\x00\x00\x00"s);
  registry_.SetValue(kHkcu, "K", "long", 3, std::string(100, 'x'));
  registry_.SetValue(kHkcu, "K", "s", 1, "text\0"s);
  Strings values;
  EXPECT_TRUE(reg_.EnumValues(values, L"HKCU\\K"));
  EXPECT_EQ(values[4], L"7");
  EXPECT_EQ(Entries("RegEnumValueA(0,"), (std::vector<std::string>{"RegEnumValueA(0,0,0)", "RegEnumValueA(0,5,4)"}));
  EXPECT_EQ(Entries("RegEnumValueA(1,"), (std::vector<std::string>{"RegEnumValueA(1,0,0)", "RegEnumValueA(1,5,100)"}));
  EXPECT_EQ(Entries("RegEnumValueA(2,"), (std::vector<std::string>{"RegEnumValueA(2,0,0)", "RegEnumValueA(2,5,100)"}));

  // A DWORD that grew to 8 bytes since the key was queried stays unread rather than overrunning.
  registry_.AfterCall([this, done = false](const std::string& call) mutable {
    if (call == "RegEnumValueA" && !done) {
      done = true;
      registry_.SetValue(kHkcu, "K", "d", 4, "\x01\x02\x03\x04\x05\x06\x07\x08"s);
    }
  });
  EXPECT_TRUE(reg_.EnumValues(values, L"HKCU\\K"));
  registry_.AfterCall(nullptr);
  // The read fails for want of room and leaves name and number as they were; its status is
  // not looked at.
  EXPECT_EQ(values[3], L"");
  EXPECT_EQ(values[4], L"0");
}

TEST_F(RegistryClassMore, EnumerationSkipsFailedIndexesAndStopsOnTheKeyQuerysInvalidParameter) {
  registry_.SetValue(kHkcu, "K", "a", 1, "1\0"s);
  registry_.SetValue(kHkcu, "K", "b", 1, "2\0"s);
  registry_.CreateKeyPath(kHkcu, "K\\x");
  registry_.CreateKeyPath(kHkcu, "K\\y");
  Strings values;
  registry_.FailWith("RegQueryInfoKeyA", 87);
  EXPECT_FALSE(reg_.EnumValues(values, L"HKCU\\K"));
  EXPECT_EQ(values, (Strings{L"", L"(Default)", L""}));
  // Any other failure of the query leaves the counts at 0: index 0 is still read, into buffers
  // with room for nothing.
  registry_.FailWith("RegQueryInfoKeyA", 5);
  EXPECT_TRUE(reg_.EnumValues(values, L"HKCU\\K"));
  EXPECT_EQ(values, (Strings{L"", L"(Default)", L"", L"", L""}));
  registry_.FailWith("RegEnumValueA", 5, 1);
  EXPECT_TRUE(reg_.EnumValues(values, L"HKCU\\K"));
  EXPECT_EQ(values, (Strings{L"", L"(Default)", L"", L"b", L"2"}));
  registry_.FailWith("RegEnumKeyExA", 1018, 1);
  EXPECT_TRUE(reg_.EnumKeys(values, L"HKCU\\K"));
  EXPECT_EQ(values, (Strings{L"", L"y"}));
  // "No more items" before the counted end (an entry went meanwhile) skips that index only.
  registry_.FailWith("RegEnumKeyExA", 259, 1);
  EXPECT_TRUE(reg_.EnumKeys(values, L"HKCU\\K"));
  EXPECT_EQ(values, (Strings{L"", L"y"}));
  registry_.FailWith("RegEnumValueA", 259, 1);
  EXPECT_TRUE(reg_.EnumValues(values, L"HKCU\\K"));
  EXPECT_EQ(values, (Strings{L"", L"(Default)", L"", L"b", L"2"}));
  registry_.ReportFaultySize("RegQueryInfoKeyA", 0x80000000);
  EXPECT_THROW(reg_.EnumKeys(values, L"HKCU\\K"), varnlet::Overflow);
  EXPECT_THROW(reg_.EnumValues(values, L"HKCU\\K"), varnlet::Overflow);
}

// The mended fault: the wrappers hand the system no more room than the caller's buffers have.
TEST_F(RegistryClassMore, WrappersClampTheCallersSizesToTheirBuffers) {
  registry_.SetValue(kHkcu, "K", "a long value name", 3, std::string(64, 'x'));
  RegKey key = 0;
  ASSERT_EQ(reg_.OpenKeyEx(kHkcu, L"K", 0, kKeyAllAccess, key), 0);
  std::wstring name = L"ab";
  std::uint32_t nameSize = 0xFFFFFFFF;
  std::uint32_t type = 0;
  std::wstring data = L"cd";
  std::uint32_t dataSize = 0x7FFFFFFF;
  journal_.Clear();
  EXPECT_EQ(reg_.EnumValueString(key, 0, name, nameSize, 0, type, data, dataSize), 234);
  EXPECT_EQ(journal_.entries().back(), "RegEnumValueA(0,2,2)");
  // What the call left in the (clamped) size comes back, even when the call did not change it.
  EXPECT_EQ(nameSize, 2u);
  EXPECT_EQ(dataSize, 64u);
  std::vector<std::uint8_t> area(10);
  dataSize = 1000;
  EXPECT_EQ(reg_.EnumValue(key, 0, name, nameSize, 0, type, area, dataSize), 234);
  EXPECT_EQ(journal_.entries().back(), "RegEnumValueA(0,2,10)");
  std::wstring subkey = L"z";
  std::uint32_t subkeySize = 4096;
  registry_.CreateKeyPath(kHkcu, "K\\child");
  EXPECT_EQ(reg_.EnumKeyEx(key, 0, subkey, subkeySize), 234);
  EXPECT_EQ(journal_.entries().back(), "RegEnumKeyExA(0,1)");
  EXPECT_EQ(reg_.CloseKey(key), 0);
}

TEST_F(RegistryClassMore, RegSaveKeyGoesThroughAPrivateFolderOfItsOwnAndNeverTouchesTmpReg) {
  registry_.SetValue(kHkcu, "K\\sub", "v", 1, "x\0"s);
  files_.Write("\\tmp.reg", "someone else's", FakeFileSystem::kHidden | FakeFileSystem::kReadOnly);
  files_.Write("C:\\out\\dump.dat", "old");
  registry_.SetBackupPrivilege(true);
  EXPECT_EQ(reg_.RegSaveKey(L"HKCU\\K", L"C:\\out\\dump.dat"), 0);
  // The dump reached the destination; the temporary file is gone; \tmp.reg is as it was.
  ASSERT_TRUE(files_.Read("C:\\out\\dump.dat"));
  EXPECT_NE(*files_.Read("C:\\out\\dump.dat"), "old");
  EXPECT_EQ(files_.Read("\\tmp.reg"), "someone else's");
  EXPECT_EQ(files_.Attributes("\\tmp.reg"), FakeFileSystem::kHidden | FakeFileSystem::kReadOnly);
  EXPECT_EQ(files_.FileCount(), 2u);
  // The dump was made in a folder of the call's own, which only the caller may enter.
  ASSERT_EQ(files_.directoriesMade.size(), 1u);
  const auto& [folder, access] = files_.directoriesMade[0];
  EXPECT_EQ(folder.rfind("C:\\users\\tester\\Temp\\vrk", 0), 0u);
  EXPECT_EQ(access, platform::DirectoryAccess::OwnerOnly);
  EXPECT_EQ(Entries("RegSaveKeyA("), std::vector<std::string>{"RegSaveKeyA(" + folder + "\\tmp.reg)"});
  EXPECT_EQ(files_.CountStartingWith(files_.tempDirectory), 0u);
  // Loading the dump gives the key back.
  EXPECT_EQ(registry_.LoadKey(kHkeyUsers, "Loaded", "C:\\out\\dump.dat"), 0);
  EXPECT_EQ(registry_.GetValue(kHkeyUsers, "Loaded\\sub", "v")->data, "x\0"s);

  // Every failing path removes the temporary file and reports the save's status.
  registry_.FailWith("RegSaveKeyA", 1314);
  EXPECT_EQ(reg_.RegSaveKey(L"HKCU\\K", L"C:\\out\\second.dat"), 1314);
  EXPECT_FALSE(files_.Exists("C:\\out\\second.dat"));
  files_.faults().Inject("CopyFileA", 1);
  EXPECT_EQ(reg_.RegSaveKey(L"HKCU\\K", L"C:\\out\\second.dat"), 0);
  EXPECT_FALSE(files_.Exists("C:\\out\\second.dat"));
  EXPECT_EQ(reg_.RegSaveKey(L"HKCU\\Missing", L"C:\\out\\third.dat"), 6);
  EXPECT_EQ(reg_.RegSaveKey(L"HKCU\\K", L"C:\\out\\bad|name.dat"), 0);
  EXPECT_EQ(files_.FileCount(), 2u);
  // The whole root.
  EXPECT_EQ(reg_.RegSaveKey(L"HKEY_CURRENT_USER", L"C:\\out\\root.dat"), 0);
  EXPECT_EQ(registry_.LoadKey(kHkeyUsers, "Root", "C:\\out\\root.dat"), 0);
  EXPECT_TRUE(registry_.KeyExists(kHkeyUsers, "Root\\K\\sub"));
  // A dump the system leaves read-only and hidden reaches the caller as an ordinary file, and
  // the temporary file goes all the same.
  registry_.savedFileAttributes = FakeFileSystem::kReadOnly | FakeFileSystem::kHidden;
  EXPECT_EQ(reg_.RegSaveKey(L"HKCU\\K", L"C:\\out\\plain.dat"), 0);
  EXPECT_EQ(files_.Attributes("C:\\out\\plain.dat"), FakeFileSystem::kNormal);
  EXPECT_EQ(files_.FileCount(), 4u);
  registry_.savedFileAttributes = FakeFileSystem::kNormal;
  // Without a folder of its own there is nothing to save through: the reason is the result.
  files_.faults().Inject("GetTempPathA", 1);
  EXPECT_EQ(reg_.RegSaveKey(L"HKCU\\K", L"C:\\out\\fourth.dat"), 3);
  files_.faults().Inject("CreateDirectoryA", 1);
  EXPECT_EQ(reg_.RegSaveKey(L"HKCU\\K", L"C:\\out\\fourth.dat"), 5);
  EXPECT_FALSE(files_.Exists("C:\\out\\fourth.dat"));
  EXPECT_EQ(files_.FileCount(), 4u);
  EXPECT_EQ(files_.CountStartingWith(files_.tempDirectory), 0u);
}

TEST_F(RegistryClassMore, ShellFoldersTakesTwoPassesAndTheTwoDirectories) {
  registry_.SetValue(kHkeyUsers, kUserFolders, "Desktop", 1, "C:\\u\\Desktop\0"s);
  registry_.SetValue(kHkeyUsers, kUserFolders, "Odd", 4, "\x01\x00\x00\x00"s);
  registry_.SetValue(kHkeyUsers, kDefaultFolders, "Desktop", 1, "C:\\default\\Desktop\0"s);
  registry_.SetValue(kHkeyLocalMachine, kCurrentVersion, "ProgramFilesDir", 1, "C:\\Program Files\0"s);
  registry_.SetValue(kHkeyLocalMachine, kCurrentVersion, "ProgramFilesPath", 2, "%ProgramFiles%\0"s);
  registry_.SetValue(kHkeyLocalMachine, kCurrentVersion, "OnD", 1, "D:\\x\0"s);
  using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;
  const Pairs machine = {{L"ProgramFilesDir", L"C:\\Program Files"},
                         {L"OnD", L"D:\\x"},
                         {L"WindowsDir", L"C:\\windows"},
                         {L"SystemDir", L"C:\\windows\\system32"}};
  Pairs user = {{L"(Default)", L""}, {L"Desktop", L"C:\\u\\Desktop"}, {L"Odd", L"1"}};
  user.insert(user.end(), machine.begin(), machine.end());
  EXPECT_EQ(Contents(*reg_.ShellFolders()), user);
  Pairs fallback = {{L"(Default)", L""}, {L"Desktop", L"C:\\default\\Desktop"}};
  fallback.insert(fallback.end(), machine.begin(), machine.end());
  EXPECT_EQ(Contents(*reg_.ShellFolders(false, false)), fallback);
  const auto names = reg_.ShellFolders(true, false);
  ASSERT_EQ(names->Count(), fallback.size());
  for (std::size_t i = 0; i < fallback.size(); ++i) EXPECT_EQ(names->Item(i + 1), fallback[i].first);

  // An empty user name reads the default user's folders; a user without a key adds nothing.
  registry_.SetUserName("");
  EXPECT_EQ(Contents(*cQueryReg(registry_, files_, ansi_).ShellFolders()), fallback);
  registry_.SetUserName("nobody");
  EXPECT_EQ(Contents(*cQueryReg(registry_, files_, ansi_).ShellFolders()), machine);
  // A failing directory call leaves its entry empty.
  files_.faults().Inject("GetSystemDirectoryA", 1);
  EXPECT_EQ(reg_.ShellFolders()->Item(L"systemdir"), L"");
}

TEST_F(RegistryClassMore, ShellFoldersPassesTheDuplicateKeyErrorOnAndKeepsWhatCameBefore) {
  registry_.SetValue(kHkeyUsers, kUserFolders, "Desktop", 1, "C:\\u\\Desktop\0"s);
  registry_.SetValue(kHkeyUsers, kUserFolders, "WindowsDir", 1, "C:\\mine\0"s);
  EXPECT_THROW(reg_.ShellFolders(), DuplicateKey);
  const auto partial = reg_.ShellFolders(false, false);  // the default user's key is missing
  EXPECT_EQ(partial->Count(), 2u);
  registry_.SetValue(kHkeyLocalMachine, kCurrentVersion, "Desktop", 1, "C:\\machine\0"s);
  cQueryReg fresh(registry_, files_, ansi_);
  EXPECT_THROW(fresh.GetFolder(std::wstring(L"Desktop")), DuplicateKey);
  // GetFolder then finds what the failed call left: it fills the collection only when empty.
  EXPECT_EQ(fresh.GetFolder(std::wstring(L"desktop")), L"C:\\u\\Desktop");
  EXPECT_EQ(fresh.GetFolder(std::wstring(L"windowsdir")), L"C:\\mine");
  EXPECT_EQ(fresh.GetFolder(std::wstring(L"systemdir")), L"");
}

TEST_F(RegistryClassMore, GetFolderFillsTheCollectionOnceByKeyOrPosition) {
  registry_.SetValue(kHkeyUsers, kUserFolders, "Desktop", 1, "C:\\u\\Desktop\0"s);
  EXPECT_EQ(reg_.GetFolder(std::wstring(L"WINDOWSDIR")), L"C:\\windows");
  // Not refreshed by later lookups.
  files_.windowsDirectory = "D:\\other";
  registry_.SetValue(kHkeyUsers, kUserFolders, "Desktop", 1, "C:\\changed\0"s);
  EXPECT_EQ(reg_.GetFolder(std::wstring(L"windowsdir")), L"C:\\windows");
  EXPECT_EQ(reg_.GetFolder(2), L"C:\\u\\Desktop");
  EXPECT_EQ(reg_.GetFolder(1), L"");
  for (const Variant& missing : {Variant(0), Variant(-1), Variant(99), Variant(std::wstring(L"nope")), Variant(Empty{}),
                                 Variant(ByteArray{1, 0})}) {
    EXPECT_EQ(reg_.GetFolder(missing), L"");
  }
  // A new ShellFolders call rebuilds it, and a caller's copy stays the old one.
  const auto old = reg_.ShellFolders();
  EXPECT_EQ(reg_.GetFolder(std::wstring(L"windowsdir")), L"D:\\other");
  const auto kept = reg_.ShellFolders();
  reg_.ShellFolders();
  EXPECT_EQ(kept->Item(L"Desktop"), L"C:\\changed");
  EXPECT_EQ(old->Item(L"windowsdir"), L"D:\\other");
}

TEST_F(RegistryClassMore, AssociationsStopEarlyOnFailuresAndReportNothing) {
  registry_.SetValue(kHkeyClassesRoot, ".a", "", 1, "A.File\0"s);
  registry_.FailWith("RegCreateKeyA", 5);
  reg_.AsociarExt(L"a", L"editor");
  EXPECT_FALSE(registry_.KeyExists(kHkeyLocalMachine, "Software\\Classes\\A.File\\shell"));
  // Writes that fail are ignored: the others still happen.
  registry_.FailWith("RegSetValueA", 5, 1);
  reg_.AsociarExt(L"a", L"editor", L"edit");
  EXPECT_FALSE(registry_.GetValue(kHkeyClassesRoot, "A.File\\shell\\edit", ""));
  EXPECT_EQ(registry_.GetValue(kHkeyClassesRoot, "A.File\\shell\\edit\\command", "")->data, "editor.exe \"%1\"\0"s);
  // A ProgID that cannot be written leaves the extension without one: nothing more happens.
  registry_.FailWith("RegSetValueA", 5, 0);
  reg_.AsociarExt(L"b", L"editor");
  registry_.faults().Clear();
  EXPECT_FALSE(registry_.KeyExists(kHkeyClassesRoot, ".b"));
  EXPECT_FALSE(registry_.KeyExists(kHkeyClassesRoot, "progID.b"));
  registry_.FailWith("RegCreateKeyA", 5);
  reg_.AsociarIcono(L"a", L"editor");
  EXPECT_FALSE(registry_.KeyExists(kHkeyClassesRoot, "A.File\\DefaultIcon"));
}

TEST_F(RegistryClassMore, DesasociarExtDeletesOnlyAPlainClassNameWithItsTree) {
  for (const std::string& progId : {"CLSID"s, "clsid"s, "Interface"s, "TypeLib"s, "AppID"s, "*"s, "Folder"s, "exefile"s,
                                    ".txt"s, "Mine\\Sub"s, "Plain.File"s}) {
    registry_.SetValue(kHkeyClassesRoot, ".e", "", 1, progId + '\0');
    registry_.SetValue(kHkeyClassesRoot, progId + "\\keep", "", 1, "x\0"s);
    reg_.DesasociarExt(L"e");
    EXPECT_FALSE(registry_.KeyExists(kHkeyClassesRoot, ".e"));
    EXPECT_EQ(registry_.KeyExists(kHkeyClassesRoot, progId + "\\keep"), progId != "Plain.File") << progId;
  }
  EXPECT_EQ(registry_.openHandles(), 0u);
}

// The fuzzer starts every input from a copy of one registry: the copy must share nothing with
// it, keep the classes root inside the machine's, and keep handles, denials and failures.
TEST(FakeRegistryCopy, SharesNothingAndKeepsWhatTheOriginalHeld) {
  FakeFileSystem files;
  FakeRegistry original;
  original.SetValue(kHkcu, "a\\b", "v", 4, "\x01\x02\x03\x04"s);
  original.DenyAccess(kHkcu, "no");
  RegKey held = 0;
  ASSERT_EQ(original.RegOpenKeyExA(kHkcu, "a", 0, 0x20019, &held), 0);
  original.FailWith("RegDeleteKeyA", 5);

  FakeRegistry copy(original, &files);
  copy.SetValue(kHkcu, "a\\b", "v", 1, "x"s);
  copy.SetValue(kHkeyClassesRoot, ".txt", "", 1, "t"s);
  EXPECT_EQ(original.GetValue(kHkcu, "a\\b", "v")->type, 4u);
  EXPECT_FALSE(original.KeyExists(kHkeyClassesRoot, ".txt"));
  EXPECT_TRUE(copy.KeyExists(kHkeyLocalMachine, "Software\\Classes\\.txt"));
  RegKey sub = 0;
  EXPECT_EQ(copy.RegOpenKeyExA(held, "b", 0, 0x20019, &sub), 0);
  EXPECT_EQ(copy.RegCloseKey(sub), 0);
  EXPECT_EQ(copy.RegOpenKeyExA(kHkcu, "no", 0, 0x20019, &sub), 5);
  EXPECT_EQ(copy.RegDeleteKeyA(held, "b"), 5);
  EXPECT_EQ(copy.RegCloseKey(held), 0);
  EXPECT_EQ(copy.openHandles(), 0u);
  EXPECT_EQ(original.openHandles(), 1u);
  EXPECT_EQ(original.RegCloseKey(held), 0);
}

}  // namespace
}  // namespace varnlet::registry
