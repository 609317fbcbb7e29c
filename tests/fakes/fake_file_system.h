#pragma once
// An in-memory file system behind the file boundary: files with attributes, directories, the
// Windows, system and temporary directories, unique temporary names, and failures on demand.
// Beside it, the paths as the autostart switch and the installers' checks see them: drives and
// their buses, links, final paths, owners and DACLs.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fault_injector.h"
#include "platform/file_api.h"
#include "platform/file_security_api.h"

namespace varnlet::fakes {

class FakeFileSystem final : public platform::FileApi {
 public:
  static constexpr std::uint32_t kReadOnly = 0x1;
  static constexpr std::uint32_t kHidden = 0x2;
  static constexpr std::uint32_t kNormal = 0x80;

  std::string windowsDirectory = R"(C:\windows)";
  std::string systemDirectory = R"(C:\windows\system32)";
  std::string tempDirectory = R"(C:\users\tester\Temp\)";

  // Test access to the files; names compare without regard to case, as on Windows.
  void Write(const std::string& path, std::string content, std::uint32_t attributes = kNormal);
  std::optional<std::string> Read(const std::string& path) const;
  bool Exists(const std::string& path) const { return Find(path) != nullptr; }
  std::optional<std::uint32_t> Attributes(const std::string& path) const;
  std::size_t FileCount() const { return files_.size(); }
  // Files and directories whose full name starts with `prefix`.
  std::size_t CountStartingWith(const std::string& prefix) const;
  // Every directory made, with the access it was asked for, in order.
  std::vector<std::pair<std::string, platform::DirectoryAccess>> directoriesMade;
  // Every file name in the system, in their stored spelling.
  std::map<std::string, std::string> Snapshot() const;

  FaultInjector& faults() { return faults_; }

  std::uint32_t GetWindowsDirectoryA(char* lpBuffer, std::uint32_t uSize) override;
  std::uint32_t GetSystemDirectoryA(char* lpBuffer, std::uint32_t uSize) override;
  std::uint32_t GetTempPathA(std::uint32_t nBufferLength, char* lpBuffer) override;
  bool SetFileAttributesA(const char* lpFileName, std::uint32_t dwFileAttributes) override;
  bool DeleteFileA(const char* lpFileName) override;
  bool CopyFileA(const char* lpExistingFileName, const char* lpNewFileName, bool bFailIfExists) override;
  bool CreateDirectoryA(const char* lpPathName, platform::DirectoryAccess access) override;
  bool RemoveDirectoryA(const char* lpPathName) override;
  std::uint32_t GetLastError() override { return lastError_; }

 private:
  struct File {
    std::string name;
    std::string content;
    std::uint32_t attributes = kNormal;
  };
  const File* Find(const std::string& path) const;
  File* Find(const std::string& path);
  std::uint32_t CopyDirectory(const std::string& directory, char* buffer, std::uint32_t size);

  bool Failed(std::uint32_t error) {
    lastError_ = error;
    return false;
  }

  std::map<std::string, File> files_;           // by upper-cased name
  std::map<std::string, std::string> folders_;  // upper-cased name to stored name
  std::uint32_t lastError_ = 0;
  FaultInjector faults_;
};

// Paths as the system resolves them. Every path exists, as a folder, unless it or a folder above
// it is `absent`; names compare as written. Without "\\?\" a name loses its trailing dots and
// spaces, as the system's path rules drop them; with it, names are taken as written. A link
// leads the rest of the path to its target, except where the call asks for the link itself.
class FakeFileSecurity final : public platform::FileSecurityApi {
 public:
  // Each drive letter's kind, a fixed disk where none is given; its disk, a fixed SATA disk where
  // none is given, neither removable nor hot-pluggable.
  std::map<wchar_t, std::uint32_t> driveTypes;
  std::map<wchar_t, platform::StorageDeviceDescriptor> devices;
  std::map<wchar_t, platform::StorageHotplugInfo> hotplug;
  // Each path's owner and DACL; where none is given, that of a folder only administrators may
  // change (Program Files).
  std::map<std::wstring, platform::FileSecurity> security;
  static platform::FileSecurity AdministratorsOnly();
  // Junctions and symbolic links: a path and the path it leads to.
  std::map<std::wstring, std::wstring> links;
  std::set<std::wstring> absent;
  // The attributes of paths that are no plain folder (files, say); also listed in their folder.
  std::map<std::wstring, std::uint32_t> attributes;
  // Every folder made, with the descriptor it was made with, in order.
  std::vector<std::pair<std::wstring, std::wstring>> foldersMade;

  std::size_t openHandles() const { return handles_.size(); }
  FaultInjector& faults() { return faults_; }

  std::uint32_t GetDriveTypeW(const wchar_t* lpRootPathName) override;
  std::uint32_t QueryStorageDeviceProperty(const wchar_t* lpVolumeName,
                                           platform::StorageDeviceDescriptor& descriptor) override;
  std::uint32_t GetStorageHotplugInfo(const wchar_t* lpVolumeName, platform::StorageHotplugInfo& info) override;
  std::uint32_t GetFileAttributesW(const wchar_t* lpFileName) override;
  platform::FileHandle CreateFileW(const wchar_t* lpFileName, std::uint32_t dwDesiredAccess, std::uint32_t dwShareMode,
                                   std::uint32_t dwCreationDisposition, std::uint32_t dwFlagsAndAttributes) override;
  bool CloseHandle(platform::FileHandle hObject) override;
  std::uint32_t GetFinalPathNameByHandleW(platform::FileHandle hFile, wchar_t* lpszFilePath, std::uint32_t cchFilePath,
                                          std::uint32_t dwFlags) override;
  bool GetFileAttributesByHandle(platform::FileHandle hFile, std::uint32_t& attributes) override;
  std::uint32_t GetSecurityInfo(platform::FileHandle handle, platform::FileSecurity& security) override;
  std::uint32_t ListFolder(const wchar_t* lpFolder, std::vector<platform::FolderEntry>& entries) override;
  bool CreateDirectoryW(const wchar_t* lpPathName, const wchar_t* sddl) override;
  std::uint32_t GetLastError() override { return lastError_; }

 private:
  // The path a name leads to; with `followLast` false, a link at its end is not followed.
  std::wstring Resolve(const wchar_t* name, bool followLast) const;
  bool Exists(const std::wstring& path) const;
  std::uint32_t AttributesOf(const std::wstring& path) const;

  std::map<platform::FileHandle, std::wstring> handles_;
  std::set<std::wstring> made_;
  platform::FileHandle nextHandle_ = 0x100;
  std::uint32_t lastError_ = 0;
  FaultInjector faults_;
};

}  // namespace varnlet::fakes
