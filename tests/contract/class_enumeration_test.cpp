// cQueryReg's enumeration, on the registry this build runs against. Values are made in the
// order of their names: Windows enumerates values in the order they were made and Wine by name,
// so the two orders agree here.
#include <gtest/gtest.h>

#include <array>

#include "contract/registry_fixture.h"

namespace varnlet::contract {
namespace {

using Strings = std::vector<std::wstring>;

class EnumKeys : public RegistryTest {};
class EnumValues : public RegistryTest {
 protected:
  // Longest data 14 bytes: "%PATH%" and its NUL, counted as UTF-16.
  void MakeValues() {
    Put("v", "", 1, "def\0"s);
    Put("v", "b1", 3, "\x0A\xFF"s);
    Put("v", "d1", 4, "\xFF\xFF\xFF\xFF"s);
    Put("v", "e1", 2, "%PATH%\0"s);
    Put("v", "m1", 7, "a\0b\0\0"s);
    Put("v", "n1", 0, "\x01"s);
    Put("v", "s1", 1, "text\0"s);
  }
};
class EnumWrappers : public RegistryTest {};

TEST_F(EnumKeys, ListsSubkeyNamesAfterAnEmptyElementZero) {
  MakeKey("none");
  for (const char* name : {"Alpha", "beta", "Gamma 3", "\xD1u"}) MakeKey(std::string("keys\\") + name);
  MakeKey("keys\\beta\\deeper");
  Strings keys{L"stale"};
  EXPECT_TRUE(reg().EnumKeys(keys, Path(L"none")));
  EXPECT_EQ(keys, Strings{L""});
  EXPECT_TRUE(reg().EnumKeys(keys, L"HKCU\\" + Wide(Scratch("keys")) + L"\\"));
  EXPECT_EQ(keys, (Strings{L"", L"Alpha", L"beta", L"Gamma 3", L"Ñu"}));
  EXPECT_FALSE(reg().EnumKeys(keys, Path(L"missing")));
  EXPECT_EQ(keys, Strings{L""});
  // Without a root the path is below HKEY_CLASSES_ROOT.
  const std::string classes = Unique("VarnletContract");
  CleanUpLater(kHkeyClassesRoot, classes);
  MakeKey(kHkeyClassesRoot, classes + "\\Software\\Sub");
  EXPECT_TRUE(reg().EnumKeys(keys, Wide(classes) + L"\\Software"));
  EXPECT_EQ(keys, (Strings{L"", L"Sub"}));
}

TEST_F(EnumValues, RendersEveryTypeInPairsAfterTheDefaultValue) {
  MakeValues();
  Strings values;
  EXPECT_TRUE(reg().EnumValues(values, Path(L"v")));
  const Strings expected = {L"",
                            L"(Default)",
                            L"def",
                            L"",
                            L"def",
                            L"b1",
                            L"0A FF ",
                            L"d1",
                            L"-1",
                            L"e1",
                            L"%PATH%",
                            L"m1",
                            L"a b" + std::wstring(10, L' '),
                            L"n1",
                            L"01 ",
                            L"s1",
                            L"text"};
  EXPECT_EQ(values, expected);
}

TEST_F(EnumValues, ByTypeKeepsTheDefaultPairAndOneTypeOrTheThreeStringTypes) {
  MakeValues();
  const std::wstring multi = L"a b" + std::wstring(10, L' ');
  struct Case {
    std::uint32_t tDT;
    Strings expected;
  };
  const Case cases[] = {
      {1, {L"", L"(Default)", L"def", L"", L"def", L"e1", L"%PATH%", L"m1", multi, L"s1", L"text"}},
      {2, {L"", L"(Default)", L"def", L"e1", L"%PATH%"}},
      {3, {L"", L"(Default)", L"def", L"b1", L"0A FF "}},
      {4, {L"", L"(Default)", L"def", L"d1", L"-1"}},
      {7, {L"", L"(Default)", L"def", L"m1", multi}},
      {0, {L"", L"(Default)", L"def", L"n1", L"01 "}},
      {11, {L"", L"(Default)", L"def"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tDT);
    Strings values;
    EXPECT_TRUE(reg().EnumValuesByType(values, Path(L"v"), c.tDT));
    EXPECT_EQ(values, c.expected);
  }
  Strings values;
  EXPECT_TRUE(reg().EnumValuesByType(values, Path(L"v")));
  EXPECT_EQ(values, cases[0].expected);
}

TEST_F(EnumValues, EmptyDataMissingKeysAndPathsWithoutRoot) {
  // With no data anywhere, the types shown in hex are left out; empty strings stay.
  Put("empty", "x", 3, ""s);
  Put("empty", "y", 1, ""s);
  Strings values;
  EXPECT_TRUE(reg().EnumValues(values, Path(L"empty")));
  EXPECT_EQ(values, (Strings{L"", L"(Default)", L"", L"y", L""}));
  EXPECT_FALSE(reg().EnumValues(values, Path(L"missing")));
  EXPECT_EQ(values, (Strings{L"", L"(Default)", L""}));
  EXPECT_FALSE(reg().EnumValuesByType(values, Path(L"missing"), 4));
  EXPECT_EQ(values, (Strings{L"", L"(Default)", L""}));
  const std::string classes = Unique("VarnletContract");
  CleanUpLater(kHkeyClassesRoot, classes);
  Put(kHkeyClassesRoot, classes, "", 1, "root\0"s);
  EXPECT_TRUE(reg().EnumValues(values, Wide(classes)));
  EXPECT_EQ(values, (Strings{L"", L"(Default)", L"root", L"", L"root"}));
}

TEST_F(EnumWrappers, PassTheSystemsAnswersThroughAndNeverAnnounceMoreThanTheBuffers) {
  Put("", "alpha", 1, "data\0"s);
  Put("", "beta", 3, "\x01\x02\x03"s);
  MakeKey("sub");
  RegKey key = 0;
  ASSERT_EQ(reg().OpenKeyEx(kHkeyCurrentUser, Wide(Scratch()), 0, registry::kKeyRead, key), 0);
  std::uint32_t longestName = 99;
  EXPECT_EQ(reg().QueryInfoKey(key, longestName), 0);
  EXPECT_EQ(longestName, 5u);

  std::array<std::uint32_t, 2> indexes{};  // alpha, beta: found by name, the order is the registry's
  for (std::uint32_t i = 0; i < 2; ++i) {
    std::wstring name(16, L'\0');
    std::uint32_t nameSize = 16;
    std::uint32_t type = 0;
    std::wstring data(16, L'\0');
    std::uint32_t dataSize = 16;
    ASSERT_EQ(reg().EnumValueString(key, i, name, nameSize, 0, type, data, dataSize), 0);
    indexes[name.starts_with(L"alpha") ? 0 : 1] = i;
  }
  std::wstring name(16, L'\0');
  std::uint32_t nameSize = 16;
  std::uint32_t type = 0;
  std::wstring data(16, L'\0');
  std::uint32_t dataSize = 16;
  EXPECT_EQ(reg().EnumValueString(key, indexes[0], name, nameSize, 0, type, data, dataSize), 0);
  EXPECT_EQ(name.substr(0, 6), L"alpha\0"s);
  EXPECT_EQ(name.size(), 16u);
  EXPECT_EQ(nameSize, 5u);
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(data.substr(0, 5), L"data\0"s);
  EXPECT_EQ(dataSize, 5u);
  // The caller announces more than its strings hold: the system is told only what they hold,
  // and answers for that; the size it left comes back.
  name = L"ab";
  nameSize = 100;
  data = std::wstring(16, L'\0');
  dataSize = 16;
  EXPECT_EQ(reg().EnumValueString(key, indexes[0], name, nameSize, 0, type, data, dataSize), kErrorMoreData);
  EXPECT_EQ(name.size(), 2u);
  EXPECT_EQ(nameSize, 2u);
  name = std::wstring(16, L'\0');
  nameSize = 16;
  data = L"xy";
  dataSize = 1000;
  EXPECT_EQ(reg().EnumValueString(key, indexes[0], name, nameSize, 0, type, data, dataSize), kErrorMoreData);
  EXPECT_EQ(data, L"xy");
  EXPECT_EQ(dataSize, 5u);
  // A reserved value other than 0 is refused, never used as an address.
  EXPECT_EQ(reg().EnumValueString(key, indexes[0], name, nameSize, 0x12345678, type, data, dataSize),
            kErrorInvalidParameter);
  EXPECT_EQ(reg().EnumValueString(key, 2, name, nameSize, 0, type, data, dataSize), kErrorNoMoreItems);

  // EnumValue reads into the caller's own byte area.
  std::array<std::uint8_t, 8> area{};
  area.fill(0x5A);
  name = std::wstring(16, L'\0');
  nameSize = 16;
  dataSize = 8;
  EXPECT_EQ(reg().EnumValue(key, indexes[1], name, nameSize, 0, type, area, dataSize), 0);
  EXPECT_EQ(type, 3u);
  EXPECT_EQ(dataSize, 3u);
  EXPECT_EQ(area[0], 1);
  EXPECT_EQ(area[2], 3);
  EXPECT_EQ(area[3], 0x5A);
  std::array<std::uint8_t, 2> small{0x5A, 0x5A};
  dataSize = 64;
  EXPECT_EQ(reg().EnumValue(key, indexes[1], name, nameSize, 0, type, small, dataSize), kErrorMoreData);
  EXPECT_EQ(dataSize, 3u);
  EXPECT_EQ(small[0], 0x5A);

  std::wstring subkey(8, L'\0');
  std::uint32_t subkeySize = 8;
  EXPECT_EQ(reg().EnumKeyEx(key, 0, subkey, subkeySize), 0);
  EXPECT_EQ(subkey.substr(0, 4), L"sub\0"s);
  EXPECT_EQ(subkeySize, 3u);
  subkey = L"s";
  subkeySize = 50;
  EXPECT_EQ(reg().EnumKeyEx(key, 0, subkey, subkeySize), kErrorMoreData);
  EXPECT_EQ(subkeySize, 50u);
  EXPECT_EQ(reg().EnumKeyEx(key, 1, subkey, subkeySize), kErrorNoMoreItems);
  EXPECT_EQ(reg().CloseKey(key), 0);
}

}  // namespace
}  // namespace varnlet::contract
