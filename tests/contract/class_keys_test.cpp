// cQueryReg's key paths, keys and handles, on the registry this build runs against.
#include <gtest/gtest.h>

#include "build_config.h"
#include "contract/registry_fixture.h"
#include "platform/ansi_code_page.h"

namespace varnlet::contract {
namespace {

class KeyPaths : public RegistryTest {};
class CreateAndExistKey : public RegistryTest {};
class QueryRegBase : public RegistryTest {};
class KeyHandles : public RegistryTest {};
class UserName : public RegistryTest {};

// The program's autostart value: the root named in the path wins over hKey, and the trailing
// backslash goes.
TEST_F(KeyPaths, TheAutostartPathWritesReadsAndDeletesUnderTheLocalMachine) {
  const std::wstring runKey(config::kRunKeyPath);
  const std::string runPath = platform::Windows1252().ToAnsi(config::kRunKey);
  const std::string name = Unique(platform::Windows1252().ToAnsi(config::kRunValue));
  const std::wstring wideName(name.begin(), name.end());
  const std::wstring exe = L"C:\\Program Files\\Varnlet\\varnlet.exe";
  RemoveValueLater(kHkeyLocalMachine, runPath, name);

  EXPECT_EQ(reg().GetRegString(runKey, wideName), L"");
  ASSERT_EQ(reg().SetReg(runKey, wideName, exe, 0x80000001, 1, true), 0);
  const auto stored = Stored(kHkeyLocalMachine, runPath, name);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->type, 1u);
  EXPECT_EQ(stored->data.size(), exe.size() + 1);
  EXPECT_FALSE(Stored(kHkeyCurrentUser, runPath, name));
  EXPECT_EQ(reg().GetRegString(runKey, wideName), exe);
  EXPECT_EQ(reg().GetRegString(runKey, wideName, 0x80000002), exe);
  EXPECT_EQ(reg().DeleteValue(runKey, wideName), 0);
  EXPECT_EQ(reg().GetRegString(runKey, wideName), L"");
  EXPECT_EQ(reg().DeleteValue(runKey, wideName), kErrorFileNotFound);
}

// How paths split is ResolveRootKey's own test; here only what the registry makes of the split:
// a subkey that keeps one of two trailing backslashes, and a root value that is no root.
TEST_F(KeyPaths, SplitPathsReachTheirKeys) {
  Put("", "v", 1, "scratch\0"s);
  const std::wstring scratch = Wide(Scratch());
  EXPECT_EQ(reg().GetRegString(L"  HKCU\\" + scratch + L"\\\\  ", L"v", kHkeyLocalMachine), L"scratch");
  EXPECT_EQ(reg().GetRegString(scratch, L"v"), L"scratch");
  EXPECT_EQ(reg().GetRegString(scratch, L"v", kHkeyLocalMachine), L"");
  const std::string name = Unique("VarnletContract");
  CleanUpLater(kHkeyClassesRoot, name);
  for (const RegKey hKey : {0u, 0xFFFFFFFFu}) {
    EXPECT_EQ(reg().SetReg(Wide(name), L"v", std::wstring(L"classes"), hKey), 0);
    EXPECT_EQ(Stored(kHkeyClassesRoot, name, "v")->data, "classes\0"s);
    EXPECT_EQ(reg().DeleteValue(Wide(name), L"v", hKey), 0);
  }
}

TEST_F(CreateAndExistKey, CreatesChainsOpensExistingKeysAndLooksUnderTheRightRoot) {
  EXPECT_FALSE(reg().ExistKey(Path(L"a")));
  EXPECT_EQ(reg().CreateKey(Path(L"a\\b\\c")), 0);
  EXPECT_TRUE(KeyExists("a\\b\\c"));
  EXPECT_TRUE(reg().ExistKey(Path(L"a\\b\\c")));
  Put("a\\b\\c", "keep", 4, "\x01\x02\x03\x04"s);
  EXPECT_EQ(reg().CreateKey(Path(L"a\\b\\c")), 0);
  EXPECT_EQ(Stored("a\\b\\c", "keep")->data, "\x01\x02\x03\x04"s);
  // A fullwidth backslash is no separator: it becomes "?", never a look-alike "\\".
  EXPECT_EQ(reg().CreateKey(Path(L"x\uFF3Cy")), 0);
  EXPECT_FALSE(KeyExists("x"));
  EXPECT_TRUE(KeyExists("x?y"));

  // Without a root CreateKey goes to HKEY_CLASSES_ROOT and ExistKey looks in HKEY_LOCAL_MACHINE.
  const std::string name = Unique("VarnletContract");
  CleanUpLater(kHkeyClassesRoot, name);
  EXPECT_EQ(reg().CreateKey(std::wstring(name.begin(), name.end()) + L"\\New"), 0);
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, name + "\\New"));
  EXPECT_TRUE(reg().ExistKey(L"Software"));
  EXPECT_FALSE(reg().ExistKey(Wide(Scratch())));
  EXPECT_TRUE(reg().ExistKey(L"HKCU\\" + Wide(Scratch())));
}

TEST_F(QueryRegBase, ReadsTheDefaultValueOfASubkeyUpTo299Characters) {
  const std::string text299(299, 'x');
  Put("d299", "", 1, text299 + '\0');
  Put("d300", "", 1, std::string(300, 'y') + '\0');
  Put("d1", "", 1, "z\0"s);
  Put("empty", "", 1, "\0"s);
  MakeKey("unset");
  const std::wstring scratch = Wide(Scratch());
  EXPECT_EQ(reg().QueryRegBase(scratch + L"\\d299", kHkeyCurrentUser), std::wstring(299, L'x'));
  EXPECT_EQ(reg().QueryRegBase(scratch + L"\\d300", kHkeyCurrentUser), L"");
  EXPECT_EQ(reg().QueryRegBase(scratch + L"\\d1", kHkeyCurrentUser), L"z");
  EXPECT_EQ(reg().QueryRegBase(scratch + L"\\empty", kHkeyCurrentUser), L"");
  EXPECT_EQ(reg().QueryRegBase(scratch + L"\\unset", kHkeyCurrentUser), L"");
  EXPECT_EQ(reg().QueryRegBase(scratch + L"\\missing", kHkeyCurrentUser), L"");
  // The subkey is taken as it is: a root name in it is not recognised, and hKey defaults to
  // (or falls back to) HKEY_CLASSES_ROOT.
  EXPECT_EQ(reg().QueryRegBase(L"HKEY_CURRENT_USER\\" + scratch + L"\\d1", kHkeyCurrentUser), L"");
  EXPECT_EQ(reg().QueryRegBase(scratch + L"\\d1"), L"");
  EXPECT_EQ(reg().QueryRegBase(scratch + L"\\d1", 0x12345), L"");
}

TEST_F(KeyHandles, OpenKeyExAndOpenKeyQueryHandTheirHandleToTheCallerUntilCloseKey) {
  Put("", "v", 1, "value\0"s);
  RegKey key = 0;
  ASSERT_EQ(reg().OpenKeyEx(kHkeyCurrentUser, Wide(Scratch()), 0, registry::kKeyAllAccess, key), 0);
  EXPECT_EQ(env_->registry().openHandles(), 1u);
  std::wstring data = L"written";
  EXPECT_EQ(reg().RegSetValue2(key, L"w", 0, data, 0), 0);
  EXPECT_EQ(reg().CloseKey(key), 0);
  EXPECT_EQ(env_->registry().openHandles(), 0u);
  EXPECT_EQ(reg().CloseKey(key), kErrorInvalidHandle);

  // A query handle reads values only, whatever access the caller asks for.
  RegKey query = 0;
  ASSERT_EQ(reg().OpenKeyQuery(kHkeyCurrentUser, Wide(Scratch()), 0, registry::kKeyAllAccess, query), 0);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(api().RegQueryValueExA(query, "v", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(reg().RegSetValue2(query, L"w", 1, data, 0), kErrorAccessDenied);
  EXPECT_EQ(reg().CloseKey(query), 0);

  // The subkey is not parsed and the handle may be an opened key.
  RegKey parent = 0;
  ASSERT_EQ(reg().OpenKeyEx(kHkeyCurrentUser, L"Software", 0, registry::kKeyRead, parent), 0);
  RegKey child = 0;
  EXPECT_EQ(reg().OpenKeyEx(parent, L"VarnletContract", 0, registry::kKeyRead, child), 0);
  EXPECT_EQ(reg().CloseKey(child), 0);
  EXPECT_EQ(reg().OpenKeyEx(parent, L"HKCU\\Software", 0, registry::kKeyRead, child), kErrorFileNotFound);
  EXPECT_EQ(reg().CloseKey(parent), 0);

  EXPECT_EQ(reg().OpenKeyEx(kHkeyCurrentUser, Wide(Scratch("missing")), 0, registry::kKeyRead, key),
            kErrorFileNotFound);
  EXPECT_EQ(reg().OpenKeyEx(0x12345, L"x", 0, registry::kKeyRead, key), kErrorInvalidHandle);
  EXPECT_EQ(reg().OpenKeyEx(0x8000ABCD, L"x", 0, registry::kKeyRead, key), kErrorInvalidHandle);
  EXPECT_EQ(reg().CloseKey(0), kErrorInvalidHandle);
  EXPECT_EQ(reg().CloseKey(0x12345), kErrorInvalidHandle);
  EXPECT_EQ(reg().CloseKey(kHkeyCurrentUser), 0);
}

TEST_F(UserName, IsTheLogonNameTheSystemReports) {
  char buffer[256] = {};
  std::uint32_t size = sizeof buffer;
  ASSERT_TRUE(api().GetUserNameA(buffer, &size));
  EXPECT_EQ(reg().UserName(), Wide(buffer));
  EXPECT_FALSE(reg().UserName().empty());
}

}  // namespace
}  // namespace varnlet::contract
