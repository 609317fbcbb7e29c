// cQueryReg's key dump and shell folders, on the registry this build runs against. A saved key
// is read back by the system's own loader.
#include <gtest/gtest.h>

#include "contract/registry_fixture.h"

namespace varnlet::contract {
namespace {

using Strings = std::vector<std::wstring>;

class RegSaveKey : public RegistryTest {
 protected:
  void TearDown() override {
    env_->SetBackupPrivilege(false);
    RegistryTest::TearDown();
  }
  std::string TempFolder() {
    char folder[300] = {};
    env_->files().GetTempPathA(sizeof folder, folder);
    return folder;
  }
  // Subkeys and values below root\path, read with raw calls, as "path|name|type|data" lines.
  std::vector<std::string> Snapshot(RegKey root, const std::string& path, const std::string& below = "") {
    std::vector<std::string> lines{"key " + below};
    RegKey key = 0;
    if (api().RegOpenKeyExA(root, path.c_str(), 0, registry::kKeyRead, &key) != 0) return lines;
    for (std::uint32_t i = 0;; ++i) {
      char name[300];
      std::uint32_t nameSize = sizeof name;
      std::uint32_t type = 0;
      std::string data(4096, '\0');
      auto size = static_cast<std::uint32_t>(data.size());
      if (api().RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<std::uint8_t*>(data.data()),
                              &size) != 0) {
        break;
      }
      lines.push_back(below + "|" + name + "|" + std::to_string(type) + "|" + data.substr(0, size));
    }
    std::vector<std::string> subkeys;
    for (std::uint32_t i = 0;; ++i) {
      char name[300];
      std::uint32_t nameSize = sizeof name;
      if (api().RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != 0) break;
      subkeys.push_back(name);
    }
    api().RegCloseKey(key);
    for (const std::string& sub : subkeys) {
      const auto inner = Snapshot(root, path + "\\" + sub, below + "\\" + sub);
      lines.insert(lines.end(), inner.begin(), inner.end());
    }
    return lines;
  }
};
class ShellFolders : public RegistryTest {};

// The file calls of the system, except that the first folder asked for is already taken by a
// file of someone else's, as if its name had been guessed.
class TakenFirstName final : public platform::FileApi {
 public:
  explicit TakenFirstName(RegistryEnvironment& env) : env_(env), files_(env.files()) {}
  std::string taken;

  std::uint32_t GetWindowsDirectoryA(char* b, std::uint32_t n) override { return files_.GetWindowsDirectoryA(b, n); }
  std::uint32_t GetSystemDirectoryA(char* b, std::uint32_t n) override { return files_.GetSystemDirectoryA(b, n); }
  std::uint32_t GetTempPathA(std::uint32_t n, char* b) override { return files_.GetTempPathA(n, b); }
  bool SetFileAttributesA(const char* f, std::uint32_t a) override { return files_.SetFileAttributesA(f, a); }
  bool DeleteFileA(const char* f) override { return files_.DeleteFileA(f); }
  bool CopyFileA(const char* f, const char* t, bool e) override { return files_.CopyFileA(f, t, e); }
  bool CreateDirectoryA(const char* path, platform::DirectoryAccess access) override {
    if (taken.empty()) {
      taken = path;
      env_.WriteFile(taken, "someone else's");
    }
    return files_.CreateDirectoryA(path, access);
  }
  bool RemoveDirectoryA(const char* path) override { return files_.RemoveDirectoryA(path); }
  std::uint32_t GetLastError() override { return files_.GetLastError(); }

 private:
  RegistryEnvironment& env_;
  platform::FileApi& files_;
};

TEST_F(RegSaveKey, ASavedKeyLoadsBackWithItsSubkeysAndValues) {
  Put("tree", "", 1, "default\0"s);
  Put("tree", "text", 1, "Descripci\xF3n\0"s);
  Put("tree", "number", 4, "\x01\x02\x03\x04"s);
  Put("tree\\a\\b", "bytes", 3, "\x00\xFF\x10"s);
  Put("tree\\c", "multi", 7, "one\0two\0\0"s);
  const std::string file = env_->ScratchFolder() + "dump.dat";
  env_->WriteFile(file, "an older file of that name");
  const std::size_t temporaries = env_->CountFiles(TempFolder(), "vrk");

  ASSERT_TRUE(env_->SetBackupPrivilege(true));
  ASSERT_EQ(reg().RegSaveKey(Path(L"tree"), Wide(file)), 0);
  EXPECT_EQ(env_->CountFiles(TempFolder(), "vrk"), temporaries);
  ASSERT_TRUE(env_->ReadFile(file));
  EXPECT_NE(*env_->ReadFile(file), "an older file of that name");

  const std::string loaded = UniqueWord("VarnletLoaded");
  ASSERT_EQ(env_->LoadKey(kHkeyUsers, loaded, file), 0);
  const auto original = Snapshot(kHkeyCurrentUser, Scratch("tree"));
  const auto copy = Snapshot(kHkeyUsers, loaded);
  EXPECT_EQ(env_->UnLoadKey(kHkeyUsers, loaded), 0);
  EXPECT_EQ(copy, original);
  EXPECT_EQ(original.size(), 9u);
  env_->RemoveFile(file);
}

TEST_F(RegSaveKey, AFailedSaveCopiesNothingAndLeavesNoTemporaryFile) {
  MakeKey("tree");
  const std::string file = env_->ScratchFolder() + "kept.dat";
  env_->WriteFile(file, "kept");
  const std::size_t temporaries = env_->CountFiles(TempFolder(), "vrk");
  // Without the backup privilege the system refuses.
  EXPECT_EQ(reg().RegSaveKey(Path(L"tree"), Wide(file)), kErrorPrivilegeNotHeld);
  EXPECT_EQ(env_->ReadFile(file), "kept");
  EXPECT_EQ(env_->CountFiles(TempFolder(), "vrk"), temporaries);
  // A key that cannot be opened: the save of no key fails.
  ASSERT_TRUE(env_->SetBackupPrivilege(true));
  EXPECT_NE(reg().RegSaveKey(Path(L"missing"), Wide(file)), 0);
  EXPECT_EQ(env_->ReadFile(file), "kept");
  EXPECT_EQ(env_->CountFiles(TempFolder(), "vrk"), temporaries);
  // A path without a root is below HKEY_CURRENT_USER; a copy that fails is not reported.
  EXPECT_EQ(reg().RegSaveKey(Wide(Scratch("tree")), Wide(env_->ScratchFolder() + "no\\such\\folder\\x.dat")), 0);
  EXPECT_EQ(env_->CountFiles(TempFolder(), "vrk"), temporaries);
  env_->RemoveFile(file);
}

TEST_F(RegSaveKey, AFileHoldingTheNameOfTheFolderDoesNotStopTheSave) {
  Put("tree", "v", 1, "x\0"s);
  const std::string file = env_->ScratchFolder() + "taken.dat";
  const std::size_t temporaries = env_->CountFiles(TempFolder(), "vrk");
  TakenFirstName files(*env_);
  registry::cQueryReg squatted(api(), files, env_->ansi());
  ASSERT_TRUE(env_->SetBackupPrivilege(true));
  EXPECT_EQ(squatted.RegSaveKey(Path(L"tree"), Wide(file)), 0);
  EXPECT_TRUE(env_->ReadFile(file));
  // The other file is as it was, and nothing of the save is left.
  EXPECT_EQ(env_->ReadFile(files.taken), "someone else's");
  EXPECT_EQ(env_->CountFiles(TempFolder(), "vrk"), temporaries + 1);
  env_->RemoveFile(files.taken);
  env_->RemoveFile(file);
}

TEST_F(ShellFolders, TheUsersFoldersTheMachinesDrivePathsAndTheSystemDirectories) {
  const std::wstring user = reg().UserName();
  const std::string userKey = env_->ansi().ToAnsi(user) + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
  if (KeyExists(kHkeyUsers, env_->ansi().ToAnsi(user))) GTEST_SKIP() << "the user has a real key under HKEY_USERS";
  CleanUpLater(kHkeyUsers, env_->ansi().ToAnsi(user));
  Put(kHkeyUsers, userKey + "\\Shell Folders", "Desktop", 1, "C:\\Users\\u\\Desktop\0"s);
  Put(kHkeyUsers, userKey + "\\Shell Folders", "Fonts", 1, "C:\\Windows\\Fonts\0"s);
  Put(kHkeyUsers, userKey + "\\Shell Folders", "NoPath", 1, "not a path\0"s);

  // What the machine's CurrentVersion key holds that looks like a drive-rooted path.
  std::vector<std::pair<std::wstring, std::wstring>> machine;
  std::vector<std::wstring> pairs;
  if (reg().EnumValues(pairs, L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion")) {
    for (std::size_t k = 1; k + 1 < pairs.size(); k += 2) {
      if (pairs[k + 1].find(L":\\") != std::wstring::npos) machine.emplace_back(pairs[k], pairs[k + 1]);
    }
  }
  char directory[300] = {};
  env_->files().GetWindowsDirectoryA(directory, sizeof directory);
  const std::wstring windows = Wide(directory);
  env_->files().GetSystemDirectoryA(directory, sizeof directory);
  const std::wstring system = Wide(directory);

  const auto folders = reg().ShellFolders();
  std::vector<std::pair<std::wstring, std::wstring>> expected = {{L"(Default)", L""},
                                                                 {L"Desktop", L"C:\\Users\\u\\Desktop"},
                                                                 {L"Fonts", L"C:\\Windows\\Fonts"},
                                                                 {L"NoPath", L"not a path"}};
  expected.insert(expected.end(), machine.begin(), machine.end());
  expected.emplace_back(L"WindowsDir", windows);
  expected.emplace_back(L"SystemDir", system);
  ASSERT_EQ(folders->Count(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(folders->Key(i + 1), expected[i].first);
    EXPECT_EQ(folders->Item(i + 1), expected[i].second);
  }
  EXPECT_EQ(reg().GetFolder(std::wstring(L"windowsdir")), windows);
  EXPECT_EQ(reg().GetFolder(std::wstring(L"DESKTOP")), L"C:\\Users\\u\\Desktop");
  EXPECT_EQ(reg().GetFolder(1), L"");
  EXPECT_EQ(reg().GetFolder(2), L"C:\\Users\\u\\Desktop");
  EXPECT_EQ(reg().GetFolder(std::wstring(L"missing")), L"");
  EXPECT_EQ(reg().GetFolder(0), L"");
  EXPECT_EQ(reg().GetFolder(static_cast<std::int32_t>(expected.size() + 1)), L"");

  // The names alone, in the same order.
  const auto names = reg().ShellFolders(true);
  ASSERT_EQ(names->Count(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(names->Item(i + 1), expected[i].first);
}

}  // namespace
}  // namespace varnlet::contract
