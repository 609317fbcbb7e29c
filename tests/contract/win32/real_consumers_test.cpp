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

#include "contract/registry_fixture.h"
#include "platform/win32/file_security_win32.h"
#include "platform/win32/registry_api_win32.h"
#include "trust/autostart_trust.h"

namespace varnlet::contract {
namespace {

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

// What the autostart switch and the installers' checks read of a path, from the system: the
// drive and its bus, links, final paths, the owner and each entry through a handle, a folder's
// entries; and a folder made with its rights.
TEST_F(RealConsumers, TheChecksReadWhoMayChangeAPath) {
  platform::FileSecurityApiWin32 files;
  EXPECT_EQ(files.GetDriveTypeW(L"C:\\"), platform::kDriveFixed);
  // Wine answers for its drives as for a SCSI disk; a Windows machine's system disk is internal.
  platform::StorageDeviceDescriptor device{platform::StorageBus::Usb, true};
  ASSERT_EQ(files.QueryStorageDeviceProperty(L"\\\\.\\C:", device), 0u);
  EXPECT_NE(device.busType, platform::StorageBus::Usb);
  EXPECT_FALSE(device.removableMedia);
  EXPECT_NE(files.QueryStorageDeviceProperty(L"\\\\.\\Q:", device), 0u) << "no such volume";
  // Wine has no answer to the hot-plug question, which the checks then take for a refusal.
  platform::StorageHotplugInfo hotplug{true, true};
  EXPECT_EQ(files.GetStorageHotplugInfo(L"\\\\.\\C:", hotplug),
            static_cast<std::uint32_t>(env_->isWine() ? ERROR_NOT_SUPPORTED : ERROR_SUCCESS));
  EXPECT_TRUE(env_->isWine() || !hotplug.mediaRemovable);
  EXPECT_NE(files.GetStorageHotplugInfo(L"\\\\.\\Q:", hotplug), 0u) << "no such volume";

  const std::wstring scratch = Wide(env_->ScratchFolder());
  const auto made = [&](const std::string& word, const wchar_t* sddl) {
    const std::wstring folder = scratch + Wide(UniqueWord(word));
    EXPECT_TRUE(files.CreateDirectoryW(folder.c_str(), sddl));
    EXPECT_FALSE(files.CreateDirectoryW(folder.c_str(), sddl)) << "a name already taken";
    EXPECT_EQ(files.GetLastError(), static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS));
    const std::wstring exe = folder + L"\\varnlet.exe";
    ::CloseHandle(::CreateFileW(exe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return folder;
  };
  // Wine keeps no DACL: it reports one from the Unix mode, which it never widens past the umask
  // from a DACL. The Unix /tmp, writable by all, stands in for a folder anyone may change.
  const std::wstring open =
      env_->isWine() ? L"Z:\\tmp" : made("open", L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)");
  const std::wstring closed = made("closed", L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
  const auto security = [&](const std::wstring& path) {
    platform::FileSecurity read;
    const platform::UniqueFileHandle handle = platform::OpenForInspection(files, path);
    EXPECT_TRUE(handle) << std::string(path.begin(), path.end());
    EXPECT_EQ(files.GetSecurityInfo(handle.get(), read), 0u);
    return read;
  };
  const platform::FileSecurity opened = security(open);
  EXPECT_TRUE(opened.hasDacl);
  EXPECT_FALSE(opened.owner.empty());
  // Everyone may add and remove files there, whatever else the system reports.
  EXPECT_TRUE(std::any_of(opened.dacl.begin(), opened.dacl.end(), [](const platform::AccessEntry& e) {
    return e.kind == platform::AceKind::Allowed && e.sid == L"S-1-1-0" && (e.mask & 0x42) == 0x42;
  }));
  const platform::FileSecurity kept = security(closed);
  EXPECT_TRUE(std::none_of(kept.dacl.begin(), kept.dacl.end(), [&](const platform::AccessEntry& e) {
    return e.kind == platform::AceKind::Allowed && (e.mask & 0x50046) != 0 && e.sid != L"S-1-5-18" &&
           e.sid != L"S-1-5-32-544" && e.sid != kept.owner;
  }));
  std::vector<platform::FolderEntry> entries;
  ASSERT_EQ(files.ListFolder(closed.c_str(), entries), 0u);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, L"varnlet.exe");
  EXPECT_EQ(entries[0].attributes & platform::kFileAttributeDirectory, 0u);

  // A link every system has: Debian's /bin leads to /usr/bin (Wine shows a Unix link as a reparse
  // point); Windows' "Documents and Settings" is a junction to C:\Users.
  const std::wstring link = env_->isWine() ? L"Z:\\bin" : L"C:\\Documents and Settings";
  const std::wstring target = env_->isWine() ? L"\\\\?\\Z:\\usr\\bin" : L"\\\\?\\C:\\Users";
  EXPECT_NE(files.GetFileAttributesW(link.c_str()) & platform::kFileAttributeReparsePoint, 0u);
  EXPECT_EQ(files.GetFileAttributesW(closed.c_str()) & platform::kFileAttributeReparsePoint, 0u);
  {
    // Opened through the link, the handle's final path is where the link leads.
    const platform::UniqueFileHandle through(
        files, files.CreateFileW(link.c_str(), platform::kInspectAccess, platform::kFileShareAll,
                                 platform::kOpenExisting, FILE_FLAG_BACKUP_SEMANTICS));
    ASSERT_TRUE(through);
    EXPECT_EQ(platform::FinalPathName(files, through.get()), target);
    std::uint32_t attributes = 0;
    EXPECT_TRUE(files.GetFileAttributesByHandle(through.get(), attributes));
    EXPECT_NE(attributes & platform::kFileAttributeDirectory, 0u);
  }

  const std::wstring exe = closed + L"\\varnlet.exe";
  EXPECT_EQ(trust::JudgeRunValueTarget(exe, files).trust, trust::ExecutableTrust::OneUserAccount)
      << "Windows: the test's own scratch folder lies under the user's profile; Wine: every file is the Unix "
         "user's, who is no administrators' group, and only that account may change it";
  {
    // A file of the user's own in a folder everyone may change: the graver reason is the folder's.
    const std::wstring planted = open + L"\\" + Wide(UniqueWord("planted")) + L".exe";
    ::CloseHandle(
        ::CreateFileW(planted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(trust::JudgeRunValueTarget(planted, files).trust, trust::ExecutableTrust::WritableByOthers);
    EXPECT_TRUE(::DeleteFileW(planted.c_str()));
  }
  EXPECT_EQ(trust::JudgeRunValueTarget(link + L"\\varnlet.exe", files).trust, trust::ExecutableTrust::Linked);
  EXPECT_EQ(trust::JudgeRunValueTarget(closed + L"\\missing.exe", files).trust, trust::ExecutableTrust::Unknown);
  EXPECT_EQ(trust::JudgeRunValueTarget(L"\\\\server\\share\\varnlet.exe", files).trust,
            trust::ExecutableTrust::NotLocal);
  for (const std::wstring& folder : {open, closed}) {
    if (folder == L"Z:\\tmp") continue;
    ::DeleteFileW((folder + L"\\varnlet.exe").c_str());
    EXPECT_TRUE(::RemoveDirectoryW(folder.c_str()));
  }
}

}  // namespace
}  // namespace varnlet::contract
