// The registry calls themselves, as the class relies on them: the in-memory registry must answer
// exactly as the real one does. Buffers are filled with a sentinel to show what a call left alone.
#include <gtest/gtest.h>

#include <set>

#include "contract/registry_fixture.h"

namespace varnlet::contract {
namespace {

constexpr char kSentinel = '\x5A';

class RegistryApiTest : public RegistryTest {
 protected:
  RegKey Open(const std::string& below, std::uint32_t access = registry::kKeyAllAccess) {
    RegKey key = 0;
    EXPECT_EQ(api().RegOpenKeyExA(kHkeyCurrentUser, Scratch(below).c_str(), 0, access, &key), 0);
    return key;
  }
  std::uint8_t* Bytes(std::string& s) { return reinterpret_cast<std::uint8_t*>(s.data()); }
};

class QueryValueEx : public RegistryApiTest {};
class QueryValue : public RegistryApiTest {};
class SetValues : public RegistryApiTest {};
class Enumerate : public RegistryApiTest {};
class QueryInfoKey : public RegistryApiTest {};
class DeleteKeysAndValues : public RegistryApiTest {};
class OpenCreateClose : public RegistryApiTest {};
class SaveKey : public RegistryApiTest {};
class UserNameCall : public RegistryApiTest {};

TEST_F(QueryValueEx, SizesTypesAndWhatIsLeftUntouched) {
  Put("", "s", 1, "data\0"s);
  Put("", "nonul", 3, "abc"s);
  Put("", "zero", 1, ""s);
  const RegKey key = Open("");
  std::uint32_t type = 99;
  std::uint32_t size = 0;
  std::uint32_t four = 0;
  // The class's probe: no room, so type and size come back with 234.
  EXPECT_EQ(api().RegQueryValueExA(key, "S", nullptr, &type, reinterpret_cast<std::uint8_t*>(&four), &size),
            kErrorMoreData);
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(four, 0u);
  // No buffer: success and the size.
  size = 1;
  EXPECT_EQ(api().RegQueryValueExA(key, "s", nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 5u);
  // An exact fit adds nothing; a larger buffer gets a NUL after unterminated string data only.
  std::string buffer(8, kSentinel);
  size = 5;
  EXPECT_EQ(api().RegQueryValueExA(key, "s", nullptr, &type, Bytes(buffer), &size), 0);
  EXPECT_EQ(buffer, "data\0"s + std::string(3, kSentinel));
  buffer.assign(8, kSentinel);
  size = 8;
  EXPECT_EQ(api().RegQueryValueExA(key, "nonul", nullptr, &type, Bytes(buffer), &size), 0);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(buffer, "abc"s + std::string(5, kSentinel));
  // Too small: 234, the size needed, the buffer untouched.
  buffer.assign(8, kSentinel);
  size = 4;
  EXPECT_EQ(api().RegQueryValueExA(key, "s", nullptr, &type, Bytes(buffer), &size), kErrorMoreData);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(buffer, std::string(8, kSentinel));
  // A string stored with no bytes.
  size = 8;
  EXPECT_EQ(api().RegQueryValueExA(key, "zero", nullptr, &type, Bytes(buffer), &size), 0);
  EXPECT_EQ(size, 0u);
  // Missing values and the unset default: 2; without a buffer the size becomes 0, with one it stays.
  size = 7;
  EXPECT_EQ(api().RegQueryValueExA(key, "missing", nullptr, nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(size, 0u);
  size = 7;
  EXPECT_EQ(api().RegQueryValueExA(key, "missing", nullptr, nullptr, Bytes(buffer), &size), kErrorFileNotFound);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(api().RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(api().RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(api().RegQueryValueExA(key, "s", nullptr, nullptr, nullptr, nullptr), 0);
  // A buffer without a size, or a reserved pointer: 87.
  EXPECT_EQ(api().RegQueryValueExA(key, "s", nullptr, nullptr, Bytes(buffer), nullptr), kErrorInvalidParameter);
  std::uint32_t reserved = 0;
  EXPECT_EQ(api().RegQueryValueExA(key, "s", &reserved, nullptr, nullptr, &size), kErrorInvalidParameter);
  // An over-long name is simply not there.
  EXPECT_EQ(api().RegQueryValueExA(key, std::string(20000, 'n').c_str(), nullptr, nullptr, nullptr, &size),
            kErrorFileNotFound);
  EXPECT_EQ(api().RegCloseKey(key), 0);
  EXPECT_EQ(api().RegQueryValueExA(0x12345, "s", nullptr, nullptr, nullptr, &size), kErrorInvalidHandle);
}

TEST_F(QueryValue, TheDefaultValueOfASubkeyAsText) {
  Put("sub", "", 1, "data\0"s);
  MakeKey("unset");
  std::string buffer(8, kSentinel);
  auto size = static_cast<std::int32_t>(buffer.size());
  const std::string scratch = Scratch();
  EXPECT_EQ(api().RegQueryValueA(kHkeyCurrentUser, (scratch + "\\sub").c_str(), buffer.data(), &size), 0);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(buffer.substr(0, 5), "data\0"s);
  EXPECT_EQ(api().RegQueryValueA(kHkeyCurrentUser, (scratch + "\\sub").c_str(), nullptr, &size), 0);
  EXPECT_EQ(size, 5);
  buffer.assign(8, kSentinel);
  size = 4;
  EXPECT_EQ(api().RegQueryValueA(kHkeyCurrentUser, (scratch + "\\sub").c_str(), buffer.data(), &size), kErrorMoreData);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(buffer, std::string(8, kSentinel));
  // An unset default value reads as the empty string.
  size = 8;
  EXPECT_EQ(api().RegQueryValueA(kHkeyCurrentUser, (scratch + "\\unset").c_str(), buffer.data(), &size), 0);
  EXPECT_EQ(size, 1);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(api().RegQueryValueA(kHkeyCurrentUser, (scratch + "\\missing").c_str(), buffer.data(), &size),
            kErrorFileNotFound);
  EXPECT_EQ(api().RegQueryValueA(kHkeyCurrentUser, (scratch + "\\sub").c_str(), buffer.data(), nullptr),
            kErrorInvalidParameter);
  EXPECT_EQ(api().RegQueryValueA(0x12345, "x", buffer.data(), &size), kErrorInvalidHandle);
  EXPECT_EQ(api().RegQueryValueA(0, "x", buffer.data(), &size), kErrorInvalidHandle);
}

TEST_F(SetValues, WhatIsStoredForEachWayOfWriting) {
  const RegKey key = Open("");
  // Exactly the bytes given; NT adds the terminator that follows counted string data.
  const std::string abc = "abc";
  EXPECT_EQ(api().RegSetValueExA(key, "counted", 0, 1, reinterpret_cast<const std::uint8_t*>(abc.c_str()), 3), 0);
  EXPECT_EQ(Stored("", "counted")->data, "abc\0"s);
  const std::string abcx = "abcx";
  EXPECT_EQ(api().RegSetValueExA(key, "short", 0, 1, reinterpret_cast<const std::uint8_t*>(abcx.c_str()), 3), 0);
  EXPECT_EQ(Stored("", "short")->data, "abc"s);
  EXPECT_EQ(api().RegSetValueExA(key, "binary", 0, 3, reinterpret_cast<const std::uint8_t*>(abc.c_str()), 3), 0);
  EXPECT_EQ(Stored("", "binary")->data, "abc"s);
  // Size 0 stores an empty value, also without data.
  for (const std::uint32_t type : {1u, 2u, 3u}) {
    EXPECT_EQ(api().RegSetValueExA(key, "empty", 0, type, nullptr, 0), 0);
    EXPECT_EQ(Stored("", "empty")->data, ""s);
    EXPECT_EQ(Stored("", "empty")->type, type);
  }
  EXPECT_EQ(api().RegSetValueExA(key, "nodata", 0, 3, nullptr, 4), kErrorNoAccess);
  // Names compare without regard to case; setting again replaces type and data.
  const std::uint32_t number = 7;
  EXPECT_EQ(api().RegSetValueExA(key, "COUNTED", 0, 4, reinterpret_cast<const std::uint8_t*>(&number), 4), 0);
  EXPECT_EQ(Stored("", "counted")->type, 4u);
  EXPECT_EQ(Stored("", "counted")->data, "\x07\x00\x00\x00"s);
  EXPECT_EQ(api().RegSetValueExA(key, std::string(16384, 'n').c_str(), 0, 3, nullptr, 0), kErrorInvalidParameter);
  EXPECT_EQ(api().RegSetValueExA(key, std::string(16383, 'n').c_str(), 0, 3, nullptr, 0), 0);
  // RegSetValueA: REG_SZ only, the text to its first NUL, creating the subkey chain.
  EXPECT_EQ(api().RegSetValueA(key, "a\\b", 1, "text\0more", 2), 0);
  EXPECT_EQ(Stored("a\\b", "")->data, "text\0"s);
  EXPECT_EQ(api().RegSetValueA(key, "", 1, "own", 0), 0);
  EXPECT_EQ(Stored("", "")->data, "own\0"s);
  EXPECT_EQ(api().RegSetValueA(key, "c", 4, "x", 2), kErrorInvalidParameter);
  EXPECT_EQ(api().RegSetValueA(key, "c", 1, nullptr, 2), kErrorInvalidParameter);
  EXPECT_FALSE(KeyExists("c"));
  EXPECT_EQ(api().RegCloseKey(key), 0);
  EXPECT_EQ(api().RegSetValueExA(key, "x", 0, 3, nullptr, 0), kErrorInvalidHandle);
}

TEST_F(Enumerate, ValuesAndSubkeysByIndex) {
  Put("", "", 1, "default\0"s);
  Put("", "alpha", 1, "data\0"s);
  Put("", "beta", 4, "\x01\x00\x00\x00"s);
  MakeKey("k1");
  MakeKey("k22");
  const RegKey key = Open("");
  // All values, the default one with an empty name among them; the order is the registry's.
  std::set<std::string> names;
  for (std::uint32_t i = 0;; ++i) {
    char name[16];
    std::uint32_t length = sizeof name;
    std::uint32_t size = 0;
    const RegStatus status = api().RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, &size);
    if (status == kErrorNoMoreItems) break;
    ASSERT_EQ(status, 0);
    EXPECT_EQ(length, std::string(name).size());
    names.insert(name);
    ASSERT_LT(i, 3u);
  }
  EXPECT_EQ(names, (std::set<std::string>{"", "alpha", "beta"}));
  std::uint32_t alpha = 0;
  for (std::uint32_t i = 0; i < 3; ++i) {
    char name[16];
    std::uint32_t length = sizeof name;
    std::uint32_t size = 0;
    api().RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, &size);
    if (std::string(name) == "alpha") alpha = i;
  }
  // The class's probe: a name length of 0 never fits, yet type and data size come back.
  char one[1] = {kSentinel};
  std::uint32_t nameLength = 0;
  std::uint32_t type = 99;
  std::uint32_t four = 0;
  std::uint32_t dataSize = 0;
  EXPECT_EQ(api().RegEnumValueA(key, alpha, one, &nameLength, nullptr, &type, reinterpret_cast<std::uint8_t*>(&four),
                                &dataSize),
            kErrorMoreData);
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(dataSize, 5u);
  EXPECT_EQ(nameLength, 0u);
  EXPECT_EQ(one[0], kSentinel);
  // The data does not fit: 234 with its size, the buffers and the name length as they were.
  std::string name(16, kSentinel);
  std::string data(8, kSentinel);
  nameLength = 16;
  dataSize = 2;
  EXPECT_EQ(api().RegEnumValueA(key, alpha, name.data(), &nameLength, nullptr, &type, Bytes(data), &dataSize),
            kErrorMoreData);
  EXPECT_EQ(dataSize, 5u);
  EXPECT_EQ(nameLength, 16u);
  EXPECT_EQ(data, std::string(8, kSentinel));
  // Everything fits: the name length without its NUL.
  dataSize = 8;
  EXPECT_EQ(api().RegEnumValueA(key, alpha, name.data(), &nameLength, nullptr, &type, Bytes(data), &dataSize), 0);
  EXPECT_EQ(nameLength, 5u);
  EXPECT_EQ(name.substr(0, 6), "alpha\0"s);
  EXPECT_EQ(dataSize, 5u);
  EXPECT_EQ(data.substr(0, 5), "data\0"s);
  // (Wine writes the data size without looking whether there is a place for it: always pass one.)
  EXPECT_EQ(api().RegEnumValueA(key, 3, name.data(), &nameLength, nullptr, &type, nullptr, &dataSize),
            kErrorNoMoreItems);
  EXPECT_EQ(api().RegEnumValueA(key, 0, nullptr, &nameLength, nullptr, &type, nullptr, &dataSize),
            kErrorInvalidParameter);
  EXPECT_EQ(api().RegEnumValueA(key, 0, name.data(), &nameLength, nullptr, &type, Bytes(data), nullptr),
            kErrorInvalidParameter);
  std::uint32_t reserved = 0;
  EXPECT_EQ(api().RegEnumValueA(key, 0, name.data(), &nameLength, &reserved, &type, nullptr, &dataSize),
            kErrorInvalidParameter);

  // Subkeys: a name that does not fit copies nothing and keeps the length.
  std::set<std::string> subkeys;
  for (std::uint32_t i = 0;; ++i) {
    std::string buffer(8, kSentinel);
    std::uint32_t length = 2;
    const RegStatus tooSmall = api().RegEnumKeyExA(key, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (tooSmall == kErrorNoMoreItems) break;
    ASSERT_EQ(tooSmall, kErrorMoreData);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(buffer, std::string(8, kSentinel));
    length = 8;
    platform::FileTime written;
    ASSERT_EQ(api().RegEnumKeyExA(key, i, buffer.data(), &length, nullptr, nullptr, nullptr, &written), 0);
    EXPECT_EQ(length, std::string(buffer.c_str()).size());
    subkeys.insert(buffer.c_str());
    ASSERT_LT(i, 2u);
  }
  EXPECT_EQ(subkeys, (std::set<std::string>{"k1", "k22"}));
  std::uint32_t length = 8;
  EXPECT_EQ(api().RegEnumKeyExA(key, 0, name.data(), &length, &reserved, nullptr, nullptr, nullptr),
            kErrorInvalidParameter);
  EXPECT_EQ(api().RegCloseKey(key), 0);
}

TEST_F(QueryInfoKey, CountsAndLongestNamesAndData) {
  MakeKey("empty");
  const RegKey empty = Open("empty");
  std::uint32_t subkeys = 9, longestSubkey = 9, values = 9, longestName = 9, longestData = 9;
  EXPECT_EQ(api().RegQueryInfoKeyA(empty, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values,
                                   &longestName, &longestData, nullptr, nullptr),
            0);
  EXPECT_EQ(subkeys + longestSubkey + values + longestName + longestData, 0u);
  EXPECT_EQ(api().RegCloseKey(empty), 0);

  Put("", "", 1, "default value\0"s);
  Put("", "name", 1, "data\0"s);
  Put("", "bin", 3, "123456789"s);
  MakeKey("abc");
  MakeKey("abcdef");
  const RegKey key = Open("");
  EXPECT_EQ(api().RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values,
                                   &longestName, &longestData, nullptr, nullptr),
            0);
  EXPECT_EQ(subkeys, 3u);  // abc, abcdef and "empty"
  EXPECT_EQ(longestSubkey, 6u);
  EXPECT_EQ(values, 3u);
  EXPECT_EQ(longestName, 4u);
  // Strings count in their stored UTF-16 form: 14 ANSI bytes are 28.
  EXPECT_EQ(longestData, 28u);
  EXPECT_EQ(api().RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr),
            0);
  char className[4];
  EXPECT_EQ(api().RegQueryInfoKeyA(key, className, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr),
            kErrorInvalidParameter);
  EXPECT_EQ(api().RegCloseKey(key), 0);
  EXPECT_EQ(api().RegQueryInfoKeyA(0, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr),
            kErrorInvalidHandle);
}

TEST_F(DeleteKeysAndValues, KeysGoOnlyWithoutSubkeysAndTheirHandlesDie) {
  MakeKey("parent\\child");
  Put("gone", "v", 1, "x\0"s);
  Put("", "", 1, "default\0"s);
  const RegKey scratch = Open("");
  EXPECT_EQ(api().RegDeleteKeyA(scratch, "parent"), kErrorAccessDenied);
  EXPECT_EQ(api().RegDeleteKeyA(scratch, "missing"), kErrorFileNotFound);
  EXPECT_EQ(api().RegDeleteKeyA(scratch, nullptr), kErrorInvalidParameter);
  const RegKey gone = Open("gone");
  EXPECT_EQ(api().RegDeleteKeyA(scratch, "GONE"), 0);
  EXPECT_FALSE(KeyExists("gone"));
  std::uint32_t size = 0;
  RegKey other = 0;
  EXPECT_EQ(api().RegQueryValueExA(gone, "v", nullptr, nullptr, nullptr, &size), kErrorKeyDeleted);
  EXPECT_EQ(api().RegSetValueExA(gone, "v", 0, 3, nullptr, 0), kErrorKeyDeleted);
  EXPECT_EQ(api().RegOpenKeyExA(gone, "", 0, registry::kKeyRead, &other), kErrorKeyDeleted);
  EXPECT_EQ(api().RegCreateKeyA(gone, "x", &other), kErrorKeyDeleted);
  EXPECT_EQ(api().RegQueryInfoKeyA(gone, nullptr, nullptr, nullptr, &size, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr),
            kErrorKeyDeleted);
  EXPECT_EQ(api().RegCloseKey(gone), 0);
  // Values: a missing one gives 2, the empty name is the default value.
  EXPECT_EQ(api().RegDeleteValueA(scratch, "missing"), kErrorFileNotFound);
  EXPECT_EQ(api().RegDeleteValueA(scratch, std::string(20000, 'n').c_str()), kErrorFileNotFound);
  EXPECT_EQ(api().RegDeleteValueA(scratch, ""), 0);
  EXPECT_FALSE(Stored("", ""));
  // An empty subkey deletes the handle's own key.
  const RegKey child = Open("parent\\child");
  EXPECT_EQ(api().RegDeleteKeyA(child, ""), 0);
  EXPECT_FALSE(KeyExists("parent\\child"));
  EXPECT_EQ(api().RegCloseKey(child), 0);
  EXPECT_EQ(api().RegCloseKey(scratch), 0);
}

TEST_F(OpenCreateClose, PathsHandlesAndRights) {
  MakeKey("a\\b");
  const std::string scratch = Scratch();
  RegKey key = 0x1234;
  // Trailing backslashes are ignored; a leading one is refused, except by the classes root.
  EXPECT_EQ(api().RegOpenKeyExA(kHkeyCurrentUser, (scratch + "\\a\\b\\\\").c_str(), 0, registry::kKeyRead, &key), 0);
  EXPECT_EQ(api().RegCloseKey(key), 0);
  EXPECT_EQ(api().RegOpenKeyExA(kHkeyCurrentUser, ("\\" + scratch).c_str(), 0, registry::kKeyRead, &key),
            kErrorBadPathName);
  EXPECT_EQ(api().RegCreateKeyA(kHkeyCurrentUser, ("\\" + scratch).c_str(), &key), kErrorBadPathName);
  EXPECT_EQ(api().RegOpenKeyExA(kHkeyClassesRoot, "\\", 0, registry::kKeyRead, &key), 0);
  EXPECT_EQ(api().RegCloseKey(key), 0);
  // Missing: 2 and no handle.
  key = 0x1234;
  EXPECT_EQ(api().RegOpenKeyExA(kHkeyCurrentUser, (scratch + "\\x").c_str(), 0, registry::kKeyRead, &key),
            kErrorFileNotFound);
  EXPECT_EQ(key, 0u);
  // A path longer than a counted string may be: 87, the result untouched.
  key = 0x1234;
  EXPECT_EQ(api().RegOpenKeyExA(kHkeyCurrentUser, std::string(100000, 'p').c_str(), 0, registry::kKeyRead, &key),
            kErrorInvalidParameter);
  EXPECT_EQ(key, 0x1234u);
  // Wine converts an ANSI path through a buffer of MAX_PATH characters and answers 234 for a
  // longer one; Windows refuses the over-long key name.
  EXPECT_EQ(api().RegCreateKeyA(kHkeyCurrentUser, std::string(300, 'p').c_str(), &key),
            env_->isWine() ? kErrorMoreData : kErrorInvalidParameter);
  // A root with an empty subkey is the root itself; an ordinary key gives a new handle.
  EXPECT_EQ(api().RegOpenKeyExA(kHkeyCurrentUser, "", 0, registry::kKeyRead, &key), 0);
  EXPECT_EQ(key, kHkeyCurrentUser);
  const RegKey a1 = Open("a");
  RegKey a2 = 0;
  EXPECT_EQ(api().RegOpenKeyExA(a1, "", 0, registry::kKeyRead, &a2), 0);
  EXPECT_NE(a1, a2);
  EXPECT_EQ(api().RegCloseKey(a2), 0);
  // Create opens an existing key and makes every missing level.
  EXPECT_EQ(api().RegCreateKeyA(a1, "b", &a2), 0);
  EXPECT_EQ(api().RegCloseKey(a2), 0);
  EXPECT_EQ(api().RegCreateKeyA(a1, "c\\d\\e", &a2), 0);
  EXPECT_EQ(api().RegCloseKey(a2), 0);
  EXPECT_TRUE(KeyExists("a\\c\\d\\e"));
  // Windows refuses a missing result pointer; Wine writes through it and faults.
  if (!env_->isWine()) {
    EXPECT_EQ(api().RegCreateKeyA(a1, "x", nullptr), kErrorInvalidParameter);
  }
  EXPECT_EQ(api().RegCreateKeyA(a1, std::string(257, 'p').c_str(), &a2), kErrorInvalidParameter);
  EXPECT_EQ(api().RegCreateKeyA(a1, std::string(255, 'p').c_str(), &a2), 0);
  EXPECT_EQ(api().RegCloseKey(a2), 0);
  // Rights: a handle may do only what it was opened for.
  const RegKey query = Open("a", registry::kKeyQueryValue);
  std::uint32_t size = 0;
  char name[8];
  std::uint32_t length = sizeof name;
  EXPECT_EQ(api().RegSetValueExA(query, "v", 0, 3, nullptr, 0), kErrorAccessDenied);
  EXPECT_EQ(api().RegEnumKeyExA(query, 0, name, &length, nullptr, nullptr, nullptr, nullptr), kErrorAccessDenied);
  EXPECT_EQ(api().RegCloseKey(query), 0);
  const RegKey none = Open("a", 0);
  EXPECT_EQ(api().RegQueryValueExA(none, "v", nullptr, nullptr, nullptr, &size), kErrorAccessDenied);
  EXPECT_EQ(api().RegCloseKey(none), 0);
  // Closing: roots always succeed, a handle once, garbage never.
  EXPECT_EQ(api().RegCloseKey(a1), 0);
  EXPECT_EQ(api().RegCloseKey(a1), kErrorInvalidHandle);
  EXPECT_EQ(api().RegCloseKey(kHkeyCurrentUser), 0);
  EXPECT_EQ(api().RegCloseKey(kHkeyCurrentUser), 0);
  EXPECT_EQ(api().RegCloseKey(0), kErrorInvalidHandle);
  // 0x80000007 is the local-settings root of later systems: closing it does nothing either.
  EXPECT_EQ(api().RegCloseKey(0x80000007), 0);
  EXPECT_EQ(api().RegCloseKey(0x12345), kErrorInvalidHandle);
  EXPECT_EQ(api().RegOpenKeyExA(0, "x", 0, registry::kKeyRead, &key), kErrorInvalidHandle);
  EXPECT_EQ(api().RegOpenKeyExA(0x12345, "x", 0, registry::kKeyRead, &key), kErrorInvalidHandle);
}

TEST_F(SaveKey, NeedsTheBackupPrivilegeAndANewFile) {
  Put("", "v", 1, "x\0"s);
  const std::string file = env_->ScratchFolder() + "save.dat";
  env_->RemoveFile(file);
  const RegKey key = Open("", 0);
  EXPECT_EQ(api().RegSaveKeyA(key, file.c_str(), nullptr), kErrorPrivilegeNotHeld);
  env_->RemoveFile(file);  // Wine makes the file before it checks the privilege
  ASSERT_TRUE(env_->SetBackupPrivilege(true));
  EXPECT_EQ(api().RegSaveKeyA(key, file.c_str(), nullptr), 0);
  EXPECT_TRUE(env_->ReadFile(file));
  // Windows refuses to overwrite a file; Wine overwrites it.
  EXPECT_EQ(api().RegSaveKeyA(key, file.c_str(), nullptr), env_->isWine() ? 0 : kErrorAlreadyExists);
  EXPECT_EQ(api().RegSaveKeyA(key, "", nullptr), kErrorInvalidParameter);
  EXPECT_EQ(api().RegSaveKeyA(0, file.c_str(), nullptr), kErrorInvalidHandle);
  EXPECT_EQ(api().RegCloseKey(key), 0);
  env_->SetBackupPrivilege(false);
  env_->RemoveFile(file);
}

TEST_F(UserNameCall, ABufferTooSmallGivesFalseAndTheSizeNeeded) {
  char name[256] = {};
  std::uint32_t size = sizeof name;
  ASSERT_TRUE(api().GetUserNameA(name, &size));
  const std::size_t length = std::string(name).size();
  EXPECT_EQ(size, length + 1);
  std::string small(length, kSentinel);
  size = static_cast<std::uint32_t>(length);
  EXPECT_FALSE(api().GetUserNameA(small.data(), &size));
  // Windows asks for about twice the length here, Wine for the exact size.
  EXPECT_GE(size, length + 1);
  EXPECT_EQ(small, std::string(length, kSentinel));
}

}  // namespace
}  // namespace varnlet::contract
