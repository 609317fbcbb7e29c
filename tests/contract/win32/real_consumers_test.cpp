// What the class writes, read by the system's own consumers: the shell's association lookup,
// the reg tool, and the prefix's real shell folders and directories. Windows only.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/autostart_trust.h"
#include "contract/registry_fixture.h"
#include "platform/win32/registry_api_win32.h"

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

// A path's DACL, one "type flags mask SID" line per entry, and whether it is protected.
struct Dacl {
  bool isProtected = false;
  std::vector<std::string> entries;
};
Dacl ReadDacl(const std::string& path) {
  Dacl out;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
    return out;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(descriptor, &control, &revision);
  out.isProtected = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* raw = nullptr;
    if (::GetAce(dacl, i, &raw) == FALSE) continue;
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    char* sid = nullptr;
    ::ConvertSidToStringSidA(&ace->SidStart, &sid);
    char line[160];
    std::snprintf(line, sizeof line, "%u %u %lx %s", ace->Header.AceType, ace->Header.AceFlags,
                  static_cast<unsigned long>(ace->Mask), sid != nullptr ? sid : "?");
    ::LocalFree(sid);
    out.entries.emplace_back(line);
  }
  ::LocalFree(descriptor);
  return out;
}

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

// The key dump's folder: one entry, full control for the user the program runs as, handed down
// to what is made inside, and nothing inherited from the temporary folder.
TEST_F(RealConsumers, APrivateFolderLetsInItsCreatorOnly) {
  platform::FileApiWin32 files;
  const std::string folder = env_->ScratchFolder() + UniqueWord("private");
  ASSERT_TRUE(files.CreateDirectoryA(folder.c_str(), platform::DirectoryAccess::OwnerOnly));
  EXPECT_FALSE(files.CreateDirectoryA(folder.c_str(), platform::DirectoryAccess::OwnerOnly));
  EXPECT_EQ(files.GetLastError(), static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS));
  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  std::vector<BYTE> user(256);
  DWORD size = 0;
  ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size));
  ::CloseHandle(token);
  char* sid = nullptr;
  ASSERT_TRUE(::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid));
  const std::string owner = sid;
  ::LocalFree(sid);

  const Dacl dacl = ReadDacl(folder);
  EXPECT_TRUE(files.RemoveDirectoryA(folder.c_str()));
  EXPECT_EQ(::GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
  if (env_->isWine()) {
    // Wine keeps no DACL on a file: it maps ours onto the Unix mode (0750) and reports, from
    // that, SYSTEM and the owner only; nobody else gets an entry.
    EXPECT_EQ(dacl.entries, (std::vector<std::string>{"0 3 1f01ff S-1-5-18", "0 3 1f01ff " + owner}));
  } else {
    EXPECT_TRUE(dacl.isProtected);
    EXPECT_EQ(dacl.entries, std::vector<std::string>{"0 3 1f01ff " + owner});
  }
}

// What the autostart switch reads of a path, from the system: the drive, the owner and each entry.
TEST_F(RealConsumers, TheSwitchReadsWhoMayChangeAPath) {
  platform::FileApiWin32 files;
  EXPECT_EQ(files.GetDriveTypeW(L"C:\\"), platform::kDriveFixed);
  const std::wstring scratch = Wide(env_->ScratchFolder());
  const auto made = [&](const std::string& word, const wchar_t* sddl) {
    const std::wstring folder = scratch + Wide(UniqueWord(word));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    EXPECT_TRUE(::CreateDirectoryW(folder.c_str(), &attributes));
    ::LocalFree(descriptor);
    const std::wstring exe = folder + L"\\varnlet.exe";
    ::CloseHandle(::CreateFileW(exe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return folder;
  };
  // Wine keeps no DACL: it reports one from the Unix mode, which it never widens past the umask
  // from a DACL. The Unix /tmp, writable by all, stands in for a folder anyone may change.
  const std::wstring open =
      env_->isWine() ? L"Z:\\tmp" : made("open", L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)");
  const std::wstring closed = made("closed", L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
  platform::FileSecurity security;
  ASSERT_EQ(files.GetNamedSecurityInfoW(open.c_str(), security), 0u);
  EXPECT_TRUE(security.hasDacl);
  EXPECT_FALSE(security.owner.empty());
  // Everyone may add and remove files there, whatever else the system reports.
  EXPECT_TRUE(std::any_of(security.dacl.begin(), security.dacl.end(), [](const platform::AccessEntry& e) {
    return e.kind == platform::AceKind::Allowed && e.sid == L"S-1-1-0" && (e.mask & 0x42) == 0x42;
  }));
  ASSERT_EQ(files.GetNamedSecurityInfoW(closed.c_str(), security), 0u);
  EXPECT_TRUE(std::none_of(security.dacl.begin(), security.dacl.end(), [&](const platform::AccessEntry& e) {
    return e.kind == platform::AceKind::Allowed && (e.mask & 0x50046) != 0 && e.sid != L"S-1-5-18" &&
           e.sid != L"S-1-5-32-544" && e.sid != security.owner;
  }));
  // Windows: the test's own scratch folder lies under the user's profile; Wine: every file is the
  // Unix user's, who is no administrator's group. Either way not an exe to run at every logon.
  EXPECT_EQ(app::JudgeRunValueTarget(closed + L"\\varnlet.exe", files), app::ExecutableTrust::WritableByOthers);
  EXPECT_EQ(files.GetNamedSecurityInfoW((closed + L"\\missing.exe").c_str(), security),
            static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(app::JudgeRunValueTarget(closed + L"\\missing.exe", files), app::ExecutableTrust::Unknown);
  EXPECT_EQ(app::JudgeRunValueTarget(L"\\\\server\\share\\varnlet.exe", files), app::ExecutableTrust::NotLocal);
  for (const std::wstring& folder : {open, closed}) {
    if (folder == L"Z:\\tmp") continue;
    ::DeleteFileW((folder + L"\\varnlet.exe").c_str());
    EXPECT_TRUE(::RemoveDirectoryW(folder.c_str()));
  }
}

}  // namespace
}  // namespace varnlet::contract
