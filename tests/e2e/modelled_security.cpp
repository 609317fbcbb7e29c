// The installers' checks over a model of Windows' file security, for the tests under Wine, which
// keeps no owner or list on a file (every file is the Unix user's). VARNLET_SECURITY_MODEL names a
// file of lines "C:\path|SDDL": an object at or below a listed path has the descriptor of the
// longest such path, as what it inherited; a folder the checks make is added with the descriptor
// it was made with, as Windows keeps it; a disk is a fixed internal one where Wine cannot say
// (whether it may be unplugged). Everything else is the system's own answer. This library goes
// into the installers the tests run only, never into a package.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/file_security_win32.h"
#include "platform/win32/handles.h"
#include "setup/win32/setup_file_security.h"
#include "trust/autostart_trust.h"

namespace varnlet::setup {
namespace {

using platform::FileHandle;

std::wstring ModelFile() {
  wchar_t path[MAX_PATH] = {};
  const DWORD got = ::GetEnvironmentVariableW(L"VARNLET_SECURITY_MODEL", path, MAX_PATH);
  return got == 0 || got >= MAX_PATH ? std::wstring() : std::wstring(path, got);
}

// The model's lines, read anew at every question: the tests change it between installs.
std::vector<std::pair<std::wstring, std::wstring>> ReadModel() {
  std::vector<std::pair<std::wstring, std::wstring>> model;
  const std::wstring file = ModelFile();
  FILE* in = file.empty() ? nullptr : ::_wfopen(file.c_str(), L"rb");
  if (in == nullptr) return model;
  std::wstring line;
  for (int c = std::fgetc(in);; c = std::fgetc(in)) {
    if (c == EOF || c == '\n') {
      if (!line.empty() && line.back() == L'\r') line.pop_back();
      if (const std::size_t bar = line.find(L'|'); bar != std::wstring::npos) {
        model.emplace_back(line.substr(0, bar), line.substr(bar + 1));
      }
      line.clear();
      if (c == EOF) break;
    } else {
      line += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
  }
  std::fclose(in);
  return model;
}

bool AtOrBelow(const std::wstring& path, const std::wstring& listed) {
  if (path.size() < listed.size() ||
      ::CompareStringOrdinal(path.c_str(), static_cast<int>(listed.size()), listed.c_str(),
                             static_cast<int>(listed.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  return path.size() == listed.size() || listed.back() == L'\\' || path[listed.size()] == L'\\';
}

class ModelledFileSecurity final : public platform::FileSecurityApi {
 public:
  std::uint32_t GetDriveTypeW(const wchar_t* root) override { return real_.GetDriveTypeW(root); }
  std::uint32_t QueryStorageDeviceProperty(const wchar_t* volume, platform::StorageDeviceDescriptor& device) override {
    return real_.QueryStorageDeviceProperty(volume, device);
  }
  // Wine answers no IOCTL_STORAGE_GET_HOTPLUG_INFO (ERROR_NOT_SUPPORTED on its C: drive), so the
  // model's disks are fixed internal ones, neither removable nor hot-pluggable: any volume whose
  // descriptor the system gives.
  std::uint32_t GetStorageHotplugInfo(const wchar_t* volume, platform::StorageHotplugInfo& info) override {
    platform::StorageDeviceDescriptor device;
    if (const std::uint32_t error = real_.QueryStorageDeviceProperty(volume, device); error != 0) return error;
    info = {};
    return 0;
  }
  std::uint32_t GetFileAttributesW(const wchar_t* name) override { return real_.GetFileAttributesW(name); }
  FileHandle CreateFileW(const wchar_t* name, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                         std::uint32_t flags) override {
    return real_.CreateFileW(name, access, share, disposition, flags);
  }
  bool CloseHandle(FileHandle handle) override { return real_.CloseHandle(handle); }
  std::uint32_t GetFinalPathNameByHandleW(FileHandle handle, wchar_t* path, std::uint32_t size,
                                          std::uint32_t flags) override {
    return real_.GetFinalPathNameByHandleW(handle, path, size, flags);
  }
  bool GetFileAttributesByHandle(FileHandle handle, std::uint32_t& attributes) override {
    return real_.GetFileAttributesByHandle(handle, attributes);
  }
  std::uint32_t ListFolder(const wchar_t* folder, std::vector<platform::FolderEntry>& entries) override {
    return real_.ListFolder(folder, entries);
  }
  std::uint32_t GetLastError() override { return real_.GetLastError(); }

  std::uint32_t GetSecurityInfo(FileHandle handle, platform::FileSecurity& security) override {
    const std::optional<std::wstring> path = trust::OrdinaryFinalPath(platform::FinalPathName(real_, handle));
    const std::wstring* sddl = nullptr;
    std::size_t longest = 0;
    const auto model = ReadModel();
    for (const auto& [listed, descriptor] : model) {
      if (path && AtOrBelow(*path, listed) && listed.size() >= longest) {
        longest = listed.size();
        sddl = &descriptor;
      }
    }
    if (sddl == nullptr) return real_.GetSecurityInfo(handle, security);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl->c_str(), SDDL_REVISION_1, &descriptor, nullptr) ==
        FALSE) {
      return ::GetLastError();
    }
    const platform::win32::UniqueLocal owned(descriptor);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    if (::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) == FALSE ||
        ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) == FALSE) {
      return ::GetLastError();
    }
    return platform::ConvertSecurity(owner, present ? dacl : nullptr, security);
  }

  bool CreateDirectoryW(const wchar_t* path, const wchar_t* sddl) override {
    if (!real_.CreateDirectoryW(path, sddl)) return false;
    const std::wstring file = ModelFile();
    if (FILE* out = file.empty() ? nullptr : ::_wfopen(file.c_str(), L"ab"); out != nullptr) {
      std::string line;
      for (const wchar_t* c = path; *c != L'\0'; ++c) line += static_cast<char>(*c);
      line += '|';
      for (const wchar_t* c = sddl; *c != L'\0'; ++c) line += static_cast<char>(*c);
      line += '\n';
      std::fwrite(line.data(), 1, line.size(), out);
      std::fclose(out);
    }
    return true;
  }

 private:
  platform::FileSecurityApiWin32 real_;
};

}  // namespace

platform::FileSecurityApi& SetupFileSecurity() {
  static ModelledFileSecurity files;
  return files;
}

}  // namespace varnlet::setup
