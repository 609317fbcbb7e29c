// cQueryReg's reading, writing and deleting, on the registry this build runs against.
#include <gtest/gtest.h>

#include <stdexcept>

#include "contract/registry_fixture.h"

namespace varnlet::contract {
namespace {

using registry::ByteArray;
using registry::Empty;
using registry::Variant;

class Reading : public RegistryTest {};
class Writing : public RegistryTest {};
class Deleting : public RegistryTest {};
class BadInput : public RegistryTest {};

std::string Dword(std::uint32_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

struct ReadCase {
  const char* name;
  std::uint32_t type;
  std::string data;
  Variant getReg;
  Variant getRegText;
  std::wstring getRegString;
  std::int32_t dword;
  std::wstring dwordText;
  ByteArray binary;
  std::wstring binaryText;
};

// Every type through each reader, with and without bAsString.
TEST_F(Reading, EveryTypeThroughEveryReader) {
  const std::wstring zero = L"0x00000000 (0)";
  const std::vector<ReadCase> cases = {
      {"sz", 1, "hello\0"s, L"hello", L"hello", L"hello", 0, zero, {0}, L""},
      {"empty", 1, "\0"s, L"", L"", L"", 0, zero, {0}, L""},
      {"number", 1, "5\0"s, L"5", L"5", L"5", 0, zero, {0}, L""},
      {"embedded", 1, "a\0b\0"s, L"a\0b"s, L"a\0b"s, L"a\0b"s, 0, zero, {0}, L""},
      {"expand",
       2,
       "%SystemRoot%\\x\0"s,
       L"%SystemRoot%\\x",
       L"%SystemRoot%\\x",
       L"%SystemRoot%\\x",
       0,
       zero,
       {0},
       L""},
      {"multi", 7, "one\0two\0\0"s, L"one two", L"one two", L"", 0, zero, {0}, L""},
      {"multigap", 7, "a\0\0b\0\0"s, L"a  b", L"a  b", L"", 0, zero, {0}, L""},
      {"dword", 4, Dword(255), 255, L"0x000000FF (255)", L"", 255, L"0x000000FF (255)", {0}, L""},
      {"dwordmin",
       4,
       Dword(0x80000000u),
       INT32_MIN,
       L"0x80000000 (-2147483648)",
       L"",
       INT32_MIN,
       L"0x80000000 (-2147483648)",
       {0},
       L""},
      {"dwordall", 4, Dword(0xFFFFFFFFu), -1, L"0xFFFFFFFF (-1)", L"", -1, L"0xFFFFFFFF (-1)", {0}, L""},
      {"binary", 3, "\x0A\xFF"s, ByteArray{0x0A, 0xFF, 0}, L"0A FF ", L"", 0, zero, {0x0A, 0xFF, 0}, L"A FF "},
      {"binzero",
       3,
       "\x00\x01\x10"s,
       ByteArray{0, 1, 0x10, 0},
       L"00 01 10 ",
       L"",
       0,
       zero,
       {0, 1, 0x10, 0},
       L"0 1 10 "},
      {"binempty", 3, ""s, ByteArray{0}, L"", L"", 0, zero, {0}, L""},
      {"bigendian", 5, "\x00\x00\x00\x01"s, Empty{}, Empty{}, L"", 0, zero, {0}, L""},
      {"qword", 11, "\x01\x00\x00\x00\x00\x00\x00\x00"s, Empty{}, Empty{}, L"", 0, zero, {0}, L""},
      {"none", 0, "\x01\x02"s, Empty{}, Empty{}, L"", 0, zero, {0}, L""},
  };
  for (const ReadCase& c : cases) Put("", c.name, c.type, c.data);

  const std::wstring key = Path();
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring name = Wide(c.name);
    EXPECT_EQ(reg().GetReg(key, name), c.getReg);
    EXPECT_EQ(reg().GetReg(key, name, kHkeyCurrentUser, true), c.getRegText);
    EXPECT_EQ(reg().GetRegString(key, name), c.getRegString);
    EXPECT_EQ(reg().GetRegDWord(key, name), Variant(c.dword));
    EXPECT_EQ(reg().GetRegDWord(key, name, kHkeyCurrentUser, true), Variant(c.dwordText));
    EXPECT_EQ(reg().GetRegBinary(key, name), Variant(c.binary));
    EXPECT_EQ(reg().GetRegBinary(key, name, kHkeyCurrentUser, true), Variant(c.binaryText));
    EXPECT_EQ(reg().GetRegType(key, name), c.type);
  }

  // A missing value, a missing key and the unset default value give each reader's empty result.
  for (const auto& [path, name] :
       {std::pair{key, L"missing"}, std::pair{Path(L"missing"), L"sz"}, std::pair{key, L""}}) {
    EXPECT_EQ(reg().GetReg(path, name), Variant(Empty{}));
    EXPECT_EQ(reg().GetReg(path, name, kHkeyCurrentUser, true), Variant(Empty{}));
    EXPECT_EQ(reg().GetRegString(path, name), L"");
    EXPECT_EQ(reg().GetRegDWord(path, name), Variant(0));
    EXPECT_EQ(reg().GetRegDWord(path, name, kHkeyCurrentUser, true), Variant(zero));
    EXPECT_EQ(reg().GetRegBinary(path, name), Variant(ByteArray{0}));
    EXPECT_EQ(reg().GetRegBinary(path, name, kHkeyCurrentUser, true), Variant(L""s));
    EXPECT_EQ(reg().GetRegType(path, name), 0u);
  }
  // Names compare without regard to case.
  EXPECT_EQ(reg().GetRegString(key, L"SZ"), L"hello");
}

TEST_F(Writing, SetRegStoresEveryTypeItKnowsAndNothingForOthers) {
  struct WriteCase {
    const char* name;
    std::uint32_t type;
    Variant value;
    std::optional<std::string> stored;  // nullopt: nothing written
  };
  const std::vector<WriteCase> cases = {
      {"text", 1, std::wstring(L"C:\\Program Files\\Varnlet\\varnlet.exe"),
       "C:\\Program Files\\Varnlet\\varnlet.exe\0"s},
      {"expand", 2, std::wstring(L"%TEMP%\\x"), "%TEMP%\\x\0"s},
      {"integertext", 1, 42, "42\0"s},
      {"negativetext", 2, -7, "-7\0"s},
      {"emptytext", 1, Empty{}, "\0"s},
      {"emptystring", 1, std::wstring(), "\0"s},
      {"dword", 4, -1, "\xFF\xFF\xFF\xFF"s},
      {"dwordtext", 4, std::wstring(L"  123 "), Dword(123)},
      {"dwordempty", 4, Empty{}, Dword(0)},
      {"binary", 3, ByteArray{1, 2, 3, 0}, "\x01\x02\x03"s},
      {"binaryspare", 3, ByteArray{1, 2, 3, 9}, "\x01\x02\x03"s},
      {"binaryempty", 3, ByteArray{0}, ""s},
      {"multi", 7, std::wstring(L"a"), std::nullopt},
      {"none", 0, std::wstring(L"a"), std::nullopt},
      {"bigendian", 5, 1, std::nullopt},
      {"qword", 11, 1, std::nullopt},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(reg().SetReg(Path(), Wide(c.name), c.value, kHkeyCurrentUser, c.type), 0);
    const auto stored = Stored("", c.name);
    ASSERT_EQ(stored.has_value(), c.stored.has_value());
    if (!stored) continue;
    EXPECT_EQ(stored->type, c.type);
    EXPECT_EQ(stored->data, *c.stored);
  }
  // An array read back is written back byte for byte; an empty text reads back empty.
  const Variant binary = reg().GetReg(Path(), L"binary");
  EXPECT_EQ(reg().SetReg(Path(), L"copy", binary, kHkeyCurrentUser, 3), 0);
  EXPECT_EQ(Stored("", "copy")->data, "\x01\x02\x03"s);
  EXPECT_EQ(reg().GetRegString(Path(), L"emptytext"), L"");
  // Setting a value again replaces its type and data.
  EXPECT_EQ(reg().SetReg(Path(), L"TEXT", 7, kHkeyCurrentUser, 4), 0);
  EXPECT_EQ(reg().GetRegType(Path(), L"text"), 4u);
}

TEST_F(Writing, SetRegCreatesTheMissingChainOnlyWhenAsked) {
  EXPECT_EQ(reg().SetReg(Path(L"a\\b\\c"), L"v", std::wstring(L"x"), kHkeyCurrentUser, 1, false), kErrorFileNotFound);
  EXPECT_FALSE(KeyExists("a"));
  EXPECT_EQ(reg().SetReg(Path(L"a\\b\\c"), L"v", std::wstring(L"x"), kHkeyCurrentUser, 1, true), 0);
  EXPECT_EQ(Stored("a\\b\\c", "v")->data, "x\0"s);
  EXPECT_EQ(reg().SetReg(Path(L"a\\b\\c"), L"", 9, kHkeyCurrentUser, 4, false), 0);
  EXPECT_EQ(Stored("a\\b\\c", "")->data, Dword(9));
}

TEST_F(Writing, AValueThatCannotBeConvertedRaisesAndWritesNothing) {
  EXPECT_THROW(reg().SetReg(Path(L"new"), L"v", std::wstring(L"abc"), kHkeyCurrentUser, 4), registry::TypeMismatch);
  // The key made on the way stays; the value is not written.
  EXPECT_TRUE(KeyExists("new"));
  EXPECT_FALSE(Stored("new", "v"));
  EXPECT_THROW(reg().SetReg(Path(), L"v", std::wstring(L"4294967296"), kHkeyCurrentUser, 4), varnlet::Overflow);
  EXPECT_THROW(reg().SetReg(Path(), L"v", std::wstring(L"-2147483649"), kHkeyCurrentUser, 4), varnlet::Overflow);
  EXPECT_THROW(reg().SetReg(Path(), L"v", std::wstring(L"1x"), kHkeyCurrentUser, 4), registry::TypeMismatch);
  EXPECT_THROW(reg().SetReg(Path(), L"v", std::wstring(L"12"), kHkeyCurrentUser, 3), registry::TypeMismatch);
  EXPECT_THROW(reg().SetReg(Path(), L"v", 12, kHkeyCurrentUser, 3), registry::TypeMismatch);
  EXPECT_THROW(reg().SetReg(Path(), L"v", ByteArray{}, kHkeyCurrentUser, 3), varnlet::OutOfRange);
  EXPECT_THROW(reg().SetReg(Path(), L"v", ByteArray{1, 0}, kHkeyCurrentUser, 1), registry::TypeMismatch);
  EXPECT_FALSE(Stored("", "v"));
  EXPECT_EQ(reg().SetReg(Path(), L"v", std::wstring(L"-2147483648"), kHkeyCurrentUser, 4), 0);
  EXPECT_EQ(Stored("", "v")->data, Dword(0x80000000u));
}

// RegSetValue2 always writes REG_SZ of the text's characters, through the caller's handle.
TEST_F(Writing, RegSetValue2WritesTheTextAsStringThroughAHandle) {
  RegKey key = 0;
  ASSERT_EQ(reg().OpenKeyEx(kHkeyCurrentUser, Wide(Scratch()), 0, registry::kKeyWrite, key), 0);
  std::wstring data = L"Descripción";
  EXPECT_EQ(reg().RegSetValue2(key, L"v", 4, data, 100), 0);
  EXPECT_EQ(data, L"Descripción");
  EXPECT_EQ(reg().CloseKey(key), 0);
  const auto stored = Stored("", "v");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->type, 1u);
  // The class counts the characters only; NT then keeps the NUL that follows them in the buffer.
  EXPECT_EQ(stored->data, env_->ansi().ToAnsi(L"Descripción") + '\0');
  EXPECT_EQ(reg().GetRegString(Path(), L"v"), L"Descripción");
}

TEST_F(Deleting, DeleteValueRemovesOneNamedValueAndKeepsTheKey) {
  Put("", "v", 1, "x\0"s);
  Put("", "", 1, "default\0"s);
  EXPECT_EQ(reg().DeleteValue(Path(), L"V"), 0);
  EXPECT_FALSE(Stored("", "v"));
  EXPECT_TRUE(KeyExists(""));
  EXPECT_EQ(reg().DeleteValue(Path(), L"v"), kErrorFileNotFound);
  // An empty name does nothing: the default value stays.
  EXPECT_EQ(reg().DeleteValue(Path(), L""), 0);
  EXPECT_TRUE(Stored("", ""));
  EXPECT_EQ(reg().DeleteValue(Path(L"missing"), L"v"), kErrorFileNotFound);
  // A path without a root follows hKey.
  EXPECT_EQ(reg().DeleteValue(Wide(Scratch()), L"", kHkeyLocalMachine), 0);
  EXPECT_EQ(reg().DeleteValue(Wide(Scratch()), L"x", kHkeyLocalMachine), kErrorFileNotFound);
}

TEST_F(Deleting, DeleteKeyRemovesAWholeTreeOrOneValue) {
  for (const char* path : {"tree\\a\\a1\\a11", "tree\\a\\a2", "tree\\b\\b1\\b11", "tree\\b\\b1\\b12", "tree\\c"}) {
    Put(path, "v", 1, "x\0"s);
  }
  Put("tree", "v", 1, "x\0"s);
  Put("sibling", "v", 1, "x\0"s);
  EXPECT_EQ(reg().DeleteKey(Path(L"tree"), L"v"), 0);
  EXPECT_FALSE(Stored("tree", "v"));
  EXPECT_TRUE(KeyExists("tree\\a\\a1\\a11"));
  EXPECT_EQ(reg().DeleteKey(Path(L"tree")), 0);
  EXPECT_FALSE(KeyExists("tree"));
  EXPECT_TRUE(KeyExists("sibling"));
  EXPECT_EQ(reg().DeleteKey(Path(L"tree")), kErrorFileNotFound);
  EXPECT_EQ(reg().DeleteKey(Path(L"sibling"), L"missing"), kErrorFileNotFound);
  EXPECT_EQ(reg().DeleteKey(Path(L"missing"), L"v"), kErrorFileNotFound);
}

// How AsociarIcono removes an icon it made: a path without a root under HKEY_LOCAL_MACHINE.
TEST_F(Deleting, DeleteKeyFollowsHKeyForAPathWithoutRoot) {
  const std::string progId = Unique("VarnletContract");
  CleanUpLater(kHkeyLocalMachine, "Software\\Classes\\" + progId);
  Put(kHkeyLocalMachine, "Software\\Classes\\" + progId + "\\DefaultIcon\\sub", "", 1, "x\0"s);
  const std::wstring icon = L"Software\\Classes\\" + Wide(progId) + L"\\DefaultIcon";
  EXPECT_EQ(reg().DeleteKey(icon, L"", kHkeyLocalMachine), 0);
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\" + progId + "\\DefaultIcon"));
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\" + progId));
}

// A path that names only a root never deletes the root's tree (the in-memory registry's test
// checks every such path); on the real registry too, nothing goes.
TEST_F(Deleting, DeleteKeyOfAPathThatNamesOnlyARootDeletesNothing) {
  Put("", "v", 1, "x\0"s);
  const std::string classes = Unique("VarnletContract");
  CleanUpLater(kHkeyClassesRoot, classes);
  MakeKey(kHkeyClassesRoot, classes);
  for (const std::wstring& path : {L""s, L"  \\  "s, L"HKEY_CURRENT_USER\\"s, L"HKCR\\\\\\"s}) {
    EXPECT_EQ(reg().DeleteKey(path, L"", kHkeyClassesRoot), kErrorAccessDenied);
  }
  EXPECT_TRUE(Stored("", "v"));
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, classes));
}

// The platform decides whether a key with subkeys goes; NT refuses.
TEST_F(Deleting, DeleteKeyWin95IsOnePlainDeletion) {
  MakeKey("plain");
  MakeKey("parent\\child");
  const std::wstring scratch = Wide(Scratch());
  EXPECT_EQ(reg().DeleteKeyWin95(kHkeyCurrentUser, scratch + L"\\plain"), 0);
  EXPECT_FALSE(KeyExists("plain"));
  EXPECT_EQ(reg().DeleteKeyWin95(kHkeyCurrentUser, scratch + L"\\parent"), kErrorAccessDenied);
  EXPECT_TRUE(KeyExists("parent\\child"));
  EXPECT_EQ(reg().DeleteKeyWin95(kHkeyCurrentUser, L"HKCU\\" + scratch + L"\\parent"), kErrorFileNotFound);
}

TEST_F(BadInput, LongOddAndForeignPathsGiveTheEmptyResultOrAStatus) {
  Put("", "v", 1, "x\0"s);
  for (const std::size_t length : {0u, 1u, 255u, 10000u, 32767u, 32768u, 100000u}) {
    SCOPED_TRACE(length);
    const std::wstring path = Path() + L"\\" + std::wstring(length, L'k');
    EXPECT_EQ(reg().GetRegString(path, L"v"), length == 0 ? L"x" : L"");
    EXPECT_EQ(reg().GetReg(path, L"v"), length == 0 ? Variant(L"x"s) : Variant(Empty{}));
  }
  // A subkey that starts with a backslash is no path.
  EXPECT_FALSE(reg().ExistKey(L"\\\\Software"));
  // Longer than a key name may be: the write fails with a status, nothing is made.
  EXPECT_NE(reg().SetReg(Path(std::wstring(300, L'k')), L"v", std::wstring(L"x")), 0);
  EXPECT_NE(reg().SetReg(Path(std::wstring(100000, L'k')), L"v", std::wstring(L"x")), 0);
  EXPECT_NE(reg().CreateKey(Path(std::wstring(100000, L'k'))), 0);
  EXPECT_NE(reg().DeleteKey(Path(std::wstring(100000, L'k'))), 0);

  // Text outside ASCII, in names and data.
  EXPECT_EQ(reg().SetReg(Path(L"Año"), L"Descripción", std::wstring(L"¡Sí! €")), 0);
  EXPECT_EQ(reg().GetRegString(Path(L"AÑO"), L"Descripción"), L"¡Sí! €");
  EXPECT_EQ(Stored("A\xF1o", "Descripci\xF3n")->data, "\xA1S\xED! \x80\0"s);

  // Every root value, predefined or not.
  for (const RegKey root : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0x80000002u, 0x80000003u, 0x80000005u,
                            0x80000007u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(root);
    EXPECT_EQ(reg().GetRegString(L"VarnletContract\\none", L"v", root), L"");
    EXPECT_EQ(reg().GetRegType(L"VarnletContract\\none", L"v", root), 0u);
    EXPECT_EQ(reg().DeleteValue(L"VarnletContract\\none", L"v", root), kErrorFileNotFound);
  }
  // The performance and 9x dynamic roots answer differently on every system: they only must not
  // break anything.
  for (const RegKey root : {0x80000004u, 0x80000006u}) {
    reg().GetRegString(L"VarnletContract\\none", L"v", root);
    reg().GetReg(L"VarnletContract\\none", L"v", root, true);
    EXPECT_NE(reg().DeleteValue(L"VarnletContract\\none", L"v", root), 0);
  }
}

TEST_F(BadInput, ValuesFromNoBytesTo16MiBRoundTrip) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4096}, std::size_t{16} << 20}) {
    SCOPED_TRACE(size);
    ByteArray array(size + 1);
    for (std::size_t i = 0; i < size; ++i) array[i] = static_cast<std::uint8_t>(i * 7);
    array[size] = 0;
    ASSERT_EQ(reg().SetReg(Path(), L"big", array, kHkeyCurrentUser, 3), 0);
    EXPECT_EQ(reg().GetReg(Path(), L"big"), Variant(array));
    EXPECT_EQ(reg().GetRegBinary(Path(), L"big"), Variant(array));
    const std::wstring text(size, L't');
    ASSERT_EQ(reg().SetReg(Path(), L"text", text), 0);
    EXPECT_EQ(reg().GetRegString(Path(), L"text"), text);
  }
}

}  // namespace
}  // namespace varnlet::contract
