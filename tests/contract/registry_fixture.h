#pragma once
// Each test owns a scratch key under HKEY_CURRENT_USER that it removes before and after itself,
// and ends with no key handle open. Values are set up and checked with raw registry calls, so a
// test of the class never depends on the class for what it asserts.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contract/registry_environment.h"
#include "registry/cQueryReg.h"

namespace varnlet::contract {

using registry::RegKey;
using registry::RegStatus;
using namespace platform;  // the error numbers
// What every suite names: byte strings with NULs in them, and the roots.
using namespace std::string_literals;
using registry::kHkeyClassesRoot;
using registry::kHkeyCurrentUser;
using registry::kHkeyLocalMachine;
using registry::kHkeyUsers;

struct StoredValue {
  std::uint32_t type = 0;
  std::string data;
};

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  platform::RegistryApi& api() { return env_->registry(); }
  registry::cQueryReg& reg() { return *reg_; }

  // The scratch key's path below HKEY_CURRENT_USER, and a path below it.
  std::string Scratch(const std::string& below = "") const;
  // The same as the class takes it: "HKEY_CURRENT_USER\<scratch>\below".
  std::wstring Path(const std::wstring& below = L"") const;
  std::wstring Wide(const std::string& text) { return env_->ansi().FromAnsi(text); }

  // Raw registry access below any root; paths below HKEY_CURRENT_USER default to the scratch key.
  void Put(RegKey root, const std::string& path, const std::string& name, std::uint32_t type, const std::string& data);
  void Put(const std::string& below, const std::string& name, std::uint32_t type, const std::string& data) {
    Put(registry::kHkeyCurrentUser, Scratch(below), name, type, data);
  }
  void MakeKey(RegKey root, const std::string& path);
  void MakeKey(const std::string& below) { MakeKey(registry::kHkeyCurrentUser, Scratch(below)); }
  std::optional<StoredValue> Stored(RegKey root, const std::string& path, const std::string& name);
  std::optional<StoredValue> Stored(const std::string& below, const std::string& name) {
    return Stored(registry::kHkeyCurrentUser, Scratch(below), name);
  }
  bool KeyExists(RegKey root, const std::string& path);
  bool KeyExists(const std::string& below) { return KeyExists(registry::kHkeyCurrentUser, Scratch(below)); }
  // Removes root\path when the test ends, also when it fails.
  void CleanUpLater(RegKey root, const std::string& path);
  // Removes one value when the test ends, also when it fails.
  void RemoveValueLater(RegKey root, const std::string& path, const std::string& name);
  // A name unique to this test, for keys outside the scratch key.
  std::string Unique(const std::string& prefix) const;
  // The same without dots or other punctuation: letters and digits only.
  std::string UniqueWord(const std::string& prefix) const;

  std::unique_ptr<RegistryEnvironment> env_;
  std::unique_ptr<registry::cQueryReg> reg_;

 private:
  std::string scratch_;
  std::vector<std::pair<RegKey, std::string>> cleanUps_;
  struct ValueCleanUp {
    RegKey root;
    std::string path;
    std::string name;
  };
  std::vector<ValueCleanUp> valueCleanUps_;
};

}  // namespace varnlet::contract
