#pragma once
#include <windows.h>

#include "platform/file_security_api.h"

namespace varnlet::platform {

// kernel32's and advapi32's calls on paths, forwarded; descriptors and volume properties converted.
class FileSecurityApiWin32 final : public FileSecurityApi {
 public:
  std::uint32_t GetDriveTypeW(const wchar_t* lpRootPathName) override;
  std::uint32_t QueryStorageDeviceProperty(const wchar_t* lpVolumeName, StorageDeviceDescriptor& descriptor) override;
  std::uint32_t GetStorageHotplugInfo(const wchar_t* lpVolumeName, StorageHotplugInfo& info) override;
  std::uint32_t GetFileAttributesW(const wchar_t* lpFileName) override;
  FileHandle CreateFileW(const wchar_t* lpFileName, std::uint32_t dwDesiredAccess, std::uint32_t dwShareMode,
                         std::uint32_t dwCreationDisposition, std::uint32_t dwFlagsAndAttributes) override;
  bool CloseHandle(FileHandle hObject) override;
  std::uint32_t GetFinalPathNameByHandleW(FileHandle hFile, wchar_t* lpszFilePath, std::uint32_t cchFilePath,
                                          std::uint32_t dwFlags) override;
  bool GetFileAttributesByHandle(FileHandle hFile, std::uint32_t& attributes) override;
  std::uint32_t GetSecurityInfo(FileHandle handle, FileSecurity& security) override;
  std::uint32_t ListFolder(const wchar_t* lpFolder, std::vector<FolderEntry>& entries) override;
  bool CreateDirectoryW(const wchar_t* lpPathName, const wchar_t* sddl) override;
  std::uint32_t GetLastError() override;
};

// The owner and DACL of a security descriptor's parts, converted; the system's error, 0 on success.
std::uint32_t ConvertSecurity(PSID owner, PACL dacl, FileSecurity& security);

}  // namespace varnlet::platform
