// What the class writes, read by the system's own consumers: the shell's association lookup,
// the reg tool, and the prefix's real shell folders and directories. Windows only.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>

#include "contract/registry_fixture.h"

namespace varnlet::contract {
namespace {

using registry::kHkeyClassesRoot;
using registry::kHkeyUsers;

// Runs a command and returns what it printed.
std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = _popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  _pclose(pipe);
  return output;
}

class RealConsumers : public RegistryTest {};

TEST_F(RealConsumers, TheShellAndTheRegToolSeeAnAssociation) {
  const std::string word = UniqueWord("vlt");
  const std::string ext = "." + word;
  CleanUpLater(kHkeyClassesRoot, ext);
  CleanUpLater(kHkeyClassesRoot, "progID" + ext);
  char system[MAX_PATH] = {};
  ::GetSystemDirectoryA(system, MAX_PATH);
  const std::string notepad = std::string(system) + "\\notepad.exe";
  reg().AsociarExt(Wide(word), Wide(notepad));

  const std::string query = RunCommand("reg query HKCR\\" + ext + " /ve");
  EXPECT_NE(query.find("progID" + ext), std::string::npos) << query;
  const std::string command = RunCommand("reg query HKCR\\progID" + ext + "\\shell\\open\\command /ve");
  EXPECT_NE(command.find(notepad + " \"%1\""), std::string::npos) << command;

  char found[1024] = {};
  DWORD length = sizeof found;
  ASSERT_EQ(::AssocQueryStringA(ASSOCF_NONE, ASSOCSTR_COMMAND, ext.c_str(), "open", found, &length), S_OK);
  EXPECT_EQ(std::string(found), notepad + " \"%1\"");
  length = sizeof found;
  ASSERT_EQ(::AssocQueryStringA(ASSOCF_NONE, ASSOCSTR_FRIENDLYDOCNAME, ext.c_str(), nullptr, found, &length), S_OK);
  EXPECT_EQ(std::string(found), "Descripci\xF3n de progID" + ext);

  // A file with the extension opens with our program.
  const std::string file = env_->ScratchFolder() + "document" + ext;
  env_->WriteFile(file, "text");
  char executable[MAX_PATH] = {};
  const auto result = reinterpret_cast<INT_PTR>(::FindExecutableA(file.c_str(), nullptr, executable));
  EXPECT_GT(result, 32);
  EXPECT_EQ(lstrcmpiA(executable, notepad.c_str()), 0) << executable;
  env_->RemoveFile(file);

  reg().DesasociarExt(Wide(ext));
  EXPECT_EQ(RunCommand("reg query HKCR\\" + ext + " /ve").find("progID"), std::string::npos);
}

TEST_F(RealConsumers, ShellFoldersAreThePrefixsFoldersAndDirectories) {
  // Wine keeps the user's hive under a SID, not the logon name, so pass 0 reads the default
  // user's folders when Usuario is false and nothing when it is true.
  const std::string folders = ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  std::vector<std::pair<std::string, std::string>> expected = {{"(Default)", ""}};
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_USERS, folders.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameLength = sizeof name;
    char data[1024];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (::RegEnumValueA(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != 0) break;
    expected.emplace_back(name, type == REG_SZ || type == REG_EXPAND_SZ ? std::string(data) : std::string());
  }
  ::RegCloseKey(key);
  ASSERT_GT(expected.size(), 5u);
  std::vector<std::pair<std::string, std::string>> machine;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameLength = sizeof name;
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    if (::RegEnumValueA(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != 0) break;
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (text && std::string(data).find(":\\") != std::string::npos) machine.emplace_back(name, data);
  }
  ::RegCloseKey(key);
  ASSERT_FALSE(machine.empty());
  char windows[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  char system[MAX_PATH] = {};
  ::GetSystemDirectoryA(system, MAX_PATH);

  auto check = [&](const registry::KeyedCollection& got, std::vector<std::pair<std::string, std::string>> want) {
    want.insert(want.end(), machine.begin(), machine.end());
    want.emplace_back("WindowsDir", windows);
    want.emplace_back("SystemDir", system);
    ASSERT_EQ(got.Count(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(got.Key(i + 1), Wide(want[i].first));
      EXPECT_EQ(got.Item(i + 1), Wide(want[i].second)) << want[i].first;
    }
  };
  ASSERT_FALSE(KeyExists(kHkeyUsers, env_->ansi().ToAnsi(reg().UserName())));
  check(*reg().ShellFolders(false, false), expected);
  check(*reg().ShellFolders(), {});
  EXPECT_EQ(reg().GetFolder(std::wstring(L"windowsdir")), Wide(windows));
  EXPECT_EQ(reg().GetFolder(std::wstring(L"SYSTEMDIR")), Wide(system));
}

}  // namespace
}  // namespace varnlet::contract
