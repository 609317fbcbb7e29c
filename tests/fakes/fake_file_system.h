#pragma once
// An in-memory file system behind the file boundary: files with attributes, directories, the
// Windows, system and temporary directories, unique temporary names, and failures on demand.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fault_injector.h"
#include "platform/file_api.h"

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

  // Each drive letter's kind, a fixed disk where none is given; each path's owner and DACL, where
  // none is given that of a folder only administrators may change (Program Files).
  std::map<wchar_t, std::uint32_t> driveTypes;
  std::map<std::wstring, platform::FileSecurity> security;
  static platform::FileSecurity AdministratorsOnly();

  std::uint32_t GetWindowsDirectoryA(char* lpBuffer, std::uint32_t uSize) override;
  std::uint32_t GetSystemDirectoryA(char* lpBuffer, std::uint32_t uSize) override;
  std::uint32_t GetTempPathA(std::uint32_t nBufferLength, char* lpBuffer) override;
  std::uint32_t GetTempFileNameA(const char* lpPathName, const char* lpPrefixString, std::uint32_t uUnique,
                                 char* lpTempFileName) override;
  bool SetFileAttributesA(const char* lpFileName, std::uint32_t dwFileAttributes) override;
  bool DeleteFileA(const char* lpFileName) override;
  bool CopyFileA(const char* lpExistingFileName, const char* lpNewFileName, bool bFailIfExists) override;
  bool CreateDirectoryA(const char* lpPathName, platform::DirectoryAccess access) override;
  bool RemoveDirectoryA(const char* lpPathName) override;
  std::uint32_t GetLastError() override { return lastError_; }
  std::uint32_t GetDriveTypeW(const wchar_t* lpRootPathName) override;
  std::uint32_t GetNamedSecurityInfoW(const wchar_t* pObjectName, platform::FileSecurity& out) override;

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
  std::uint32_t nextUnique_ = 0x1A2B;
};

}  // namespace varnlet::fakes
