#include <gtest/gtest.h>

#include <string>

#include "build_config.h"
#include "registry/key_path.h"

namespace varnlet::registry {
namespace {

struct PathCase {
  std::wstring path;
  RegKey hKey;
  RegKey root;
  std::wstring subkey;
};

TEST(ResolveRootKey, SplitsEveryKindOfPath) {
  constexpr RegKey kOpenedKey = 0x000004C8;
  const PathCase cases[] = {
      // The autostart key: the root named in the path wins over hKey; one trailing backslash goes.
      {std::wstring(config::kRunKeyPath), 0x80000001, kHkeyLocalMachine, std::wstring(config::kRunKey)},
      {L"HKCR\\.txt", 0x80000001, kHkeyClassesRoot, L".txt"},
      {L"HKCU\\Software\\X", 0x80000002, kHkeyCurrentUser, L"Software\\X"},
      {L"HKLM\\Software", 0, kHkeyLocalMachine, L"Software"},
      {L"HKU\\.DEFAULT", 0, kHkeyUsers, L".DEFAULT"},
      {L"HKCC\\System", 0, kHkeyCurrentConfig, L"System"},
      {L"HKDD\\Config", 0, kHkeyDynData, L"Config"},
      {L"HKPD\\Counters", 0, kHkeyPerformanceData, L"Counters"},
      {L"HKEY_CLASSES_ROOT\\CLSID", 0x80000001, kHkeyClassesRoot, L"CLSID"},
      {L"HKEY_USERS\\.DEFAULT\\Software", 0, kHkeyUsers, L".DEFAULT\\Software"},
      {L"HKEY_CURRENT_CONFIG\\Software", 0, kHkeyCurrentConfig, L"Software"},
      {L"HKEY_DYN_DATA\\x", 0, kHkeyDynData, L"x"},
      {L"HKEY_PERFORMANCE_DATA", 0, kHkeyPerformanceData, L""},
      // A root alone, with or without its backslash.
      {L"HKEY_CURRENT_USER", 0x80000002, kHkeyCurrentUser, L""},
      {L"HKEY_CURRENT_USER\\", 0x80000002, kHkeyCurrentUser, L""},
      {L"HKCU\\", 0x80000002, kHkeyLocalMachine, L"HKCU"},
      // "HKLM\" loses its backslash first and is then no abbreviation: a subkey of hKey.
      {L"HKLM\\", 0x80000001, kHkeyCurrentUser, L"HKLM"},
      {L"HKLM", 0x80000001, kHkeyCurrentUser, L"HKLM"},
      {L"HKU", 0x80000003, kHkeyUsers, L"HKU"},
      // Case matters.
      {L"hklm\\Software", 0x80000001, kHkeyCurrentUser, L"hklm\\Software"},
      {L"hkey_local_machine\\Software", 0x80000001, kHkeyCurrentUser, L"hkey_local_machine\\Software"},
      {L"Hkey_Local_Machine\\Software", 0x80000001, kHkeyCurrentUser, L"Hkey_Local_Machine\\Software"},
      // No root: hKey decides, checked.
      {L"Software\\X", 0x80000002, kHkeyLocalMachine, L"Software\\X"},
      {L"Software\\X", 0, kHkeyClassesRoot, L"Software\\X"},
      {L"Software\\X", kOpenedKey, kHkeyClassesRoot, L"Software\\X"},
      {L"Software\\X", 0x80000006, kHkeyDynData, L"Software\\X"},
      {L"Software\\X", 0x80000007, kHkeyClassesRoot, L"Software\\X"},
      {L"Software\\X", 0xFFFFFFFF, kHkeyClassesRoot, L"Software\\X"},
      {L"Software\\X", 0x7FFFFFFF, kHkeyClassesRoot, L"Software\\X"},
      // An unknown root name, or "HKEY_" further in: the name before the first backslash decides.
      {L"HKEY_FOO\\Bar", 0x80000001, kHkeyClassesRoot, L"Bar"},
      {L"Software\\HKEY_X\\Y", 0x80000001, kHkeyClassesRoot, L"HKEY_X\\Y"},
      {L"HKEY_", 0x80000002, kHkeyClassesRoot, L""},
      {L"HKEY_LOCAL_MACHINEX\\a", 0x80000002, kHkeyClassesRoot, L"a"},
      // "HKEY_" in the path with a leading backslash: no root name, and hKey is taken unchecked.
      {L"\\HKEY_X\\Y", kOpenedKey, kOpenedKey, L"HKEY_X\\Y"},
      {L"\\HKEY_X", 0, 0, L"HKEY_X"},
      // Spaces (only U+0020) trimmed; only one trailing backslash removed.
      {L"   HKCU\\Software   ", 0, kHkeyCurrentUser, L"Software"},
      {L"\tHKCU\\Software", 0x80000002, kHkeyLocalMachine, L"\tHKCU\\Software"},
      {L"HKCU\\Software\\\\", 0, kHkeyCurrentUser, L"Software\\"},
      {L"HKCU\\\\", 0, kHkeyCurrentUser, L""},
      {L"HKCU\\\\\\", 0, kHkeyCurrentUser, L"\\"},
      {L" HKCU\\Software\\ ", 0, kHkeyCurrentUser, L"Software"},
      // Empty and degenerate paths.
      {L"", 0x80000001, kHkeyCurrentUser, L""},
      {L"", 0, kHkeyClassesRoot, L""},
      {L"     ", 0x80000002, kHkeyLocalMachine, L""},
      {L"\\", 0x80000002, kHkeyLocalMachine, L""},
      {L"\\\\", 0x80000002, kHkeyLocalMachine, L"\\"},
      {L"Descripción\\Año", 0x80000001, kHkeyCurrentUser, L"Descripción\\Año"},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    std::wstring path = c.path;
    EXPECT_EQ(ResolveRootKey(path, c.hKey), c.root);
    EXPECT_EQ(path, c.subkey);
  }
}

TEST(ResolveRootKey, HandlesLongPathsAndEveryHKeyValue) {
  std::wstring path(100000, L'a');
  EXPECT_EQ(ResolveRootKey(path, 0x80000001), kHkeyCurrentUser);
  EXPECT_EQ(path.size(), 100000u);
  std::wstring slashes(100000, L'\\');
  EXPECT_EQ(ResolveRootKey(slashes, 0x80000001), kHkeyCurrentUser);
  EXPECT_EQ(slashes.size(), 99999u);
  for (std::uint64_t hKey = 0; hKey <= 0xFFFFFFFF; hKey += 0x0FFFFFFF) {
    std::wstring p = L"x";
    const RegKey root = ResolveRootKey(p, static_cast<RegKey>(hKey));
    EXPECT_TRUE(IsPredefinedRoot(root));
  }
}

TEST(CheckRoot, KeepsTheSevenPredefinedRootsOnly) {
  for (RegKey root = 0x80000000; root <= 0x80000006; ++root) EXPECT_EQ(CheckRoot(root), root);
  for (const RegKey other : {0u, 1u, 0x4C8u, 0x7FFFFFFFu, 0x80000007u, 0x8000FFFFu, 0xFFFFFFFFu}) {
    EXPECT_EQ(CheckRoot(other), kHkeyClassesRoot);
  }
}

TEST(NamesNoSubkey, IsTrueForEmptyAndBackslashOnlySubkeys) {
  EXPECT_TRUE(NamesNoSubkey(L""));
  EXPECT_TRUE(NamesNoSubkey(L"\\"));
  EXPECT_TRUE(NamesNoSubkey(L"\\\\\\"));
  EXPECT_FALSE(NamesNoSubkey(L" "));
  EXPECT_FALSE(NamesNoSubkey(L"\\a"));
  EXPECT_FALSE(NamesNoSubkey(L"a\\"));
}

}  // namespace
}  // namespace varnlet::registry
