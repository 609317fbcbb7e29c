#include "contract/registry_fixture.h"

namespace varnlet::contract {

void RegistryTest::SetUp() {
  env_ = MakeEnvironment();
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  scratch_ = std::string("Software\\VarnletContract\\") + info->test_suite_name() + "." + info->name();
  env_->RemoveTree(registry::kHkeyCurrentUser, scratch_);
  MakeKey(registry::kHkeyCurrentUser, scratch_);
  reg_ = std::make_unique<registry::cQueryReg>(env_->registry(), env_->files(), env_->ansi());
}

void RegistryTest::TearDown() {
  reg_.reset();
  EXPECT_EQ(env_->registry().openHandles(), 0u) << "a key handle was left open";
  for (const auto& [root, path] : cleanUps_) env_->RemoveTree(root, path);
  for (const ValueCleanUp& value : valueCleanUps_) {
    RegKey key = 0;
    if (api().RegOpenKeyExA(value.root, value.path.c_str(), 0, registry::kKeyAllAccess, &key) == 0) {
      api().RegDeleteValueA(key, value.name.c_str());
      api().RegCloseKey(key);
    }
  }
  env_->RemoveTree(registry::kHkeyCurrentUser, scratch_);
  // The shared parent goes only once no other test's key is left in it.
  api().RegDeleteKeyA(registry::kHkeyCurrentUser, "Software\\VarnletContract");
}

std::string RegistryTest::Scratch(const std::string& below) const {
  return below.empty() ? scratch_ : scratch_ + "\\" + below;
}

std::wstring RegistryTest::Path(const std::wstring& below) const {
  std::wstring path = L"HKEY_CURRENT_USER\\" + std::wstring(scratch_.begin(), scratch_.end());
  return below.empty() ? path : path + L"\\" + below;
}

std::string RegistryTest::Unique(const std::string& prefix) const { return prefix + "." + scratch_.substr(25); }

std::string RegistryTest::UniqueWord(const std::string& prefix) const {
  std::uint32_t hash = 2166136261u;
  for (const char c : scratch_) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return prefix + std::to_string(hash);
}

void RegistryTest::MakeKey(RegKey root, const std::string& path) {
  RegKey key = 0;
  ASSERT_EQ(api().RegCreateKeyA(root, path.c_str(), &key), 0) << path;
  api().RegCloseKey(key);
}

void RegistryTest::Put(RegKey root, const std::string& path, const std::string& name, std::uint32_t type,
                       const std::string& data) {
  RegKey key = 0;
  ASSERT_EQ(api().RegCreateKeyA(root, path.c_str(), &key), 0) << path;
  // A string's buffer is followed by a NUL, which NT stores when the size leaves the
  // terminator out; the data is passed with its size exactly as given.
  EXPECT_EQ(api().RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const std::uint8_t*>(data.c_str()),
                                 static_cast<std::uint32_t>(data.size())),
            0);
  api().RegCloseKey(key);
}

std::optional<StoredValue> RegistryTest::Stored(RegKey root, const std::string& path, const std::string& name) {
  RegKey key = 0;
  if (api().RegOpenKeyExA(root, path.c_str(), 0, registry::kKeyRead, &key) != 0) return std::nullopt;
  StoredValue value;
  std::uint32_t size = 0;
  std::optional<StoredValue> result;
  if (api().RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size) == 0) {
    value.data.assign(size, '\0');
    if (api().RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                               reinterpret_cast<std::uint8_t*>(value.data.data()), &size) == 0) {
      value.data.resize(size);
      result = value;
    }
  }
  api().RegCloseKey(key);
  return result;
}

bool RegistryTest::KeyExists(RegKey root, const std::string& path) {
  RegKey key = 0;
  if (api().RegOpenKeyExA(root, path.c_str(), 0, registry::kKeyRead, &key) != 0) return false;
  api().RegCloseKey(key);
  return true;
}

void RegistryTest::RemoveValueLater(RegKey root, const std::string& path, const std::string& name) {
  valueCleanUps_.push_back(ValueCleanUp{root, path, name});
}

void RegistryTest::CleanUpLater(RegKey root, const std::string& path) {
  env_->RemoveTree(root, path);
  cleanUps_.emplace_back(root, path);
}

}  // namespace varnlet::contract
