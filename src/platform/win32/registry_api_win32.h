#pragma once
#include "platform/file_api.h"
#include "platform/registry_api.h"

namespace varnlet::platform {

// advapi32's ANSI registry calls. Root and key values are 32 bits in the interface and are
// sign-extended to HKEY on 64-bit builds, where predefined roots are negative pointers.
class RegistryApiWin32 final : public RegistryApi {
 public:
  RegStatus RegOpenKeyExA(RegKey hKey, const char* lpSubKey, std::uint32_t ulOptions, std::uint32_t samDesired,
                          RegKey* phkResult) override;
  RegStatus RegCreateKeyA(RegKey hKey, const char* lpSubKey, RegKey* phkResult) override;
  RegStatus RegCloseKey(RegKey hKey) override;
  RegStatus RegQueryValueA(RegKey hKey, const char* lpSubKey, char* lpData, std::int32_t* lpcbData) override;
  RegStatus RegQueryValueExA(RegKey hKey, const char* lpValueName, std::uint32_t* lpReserved, std::uint32_t* lpType,
                             std::uint8_t* lpData, std::uint32_t* lpcbData) override;
  RegStatus RegSetValueA(RegKey hKey, const char* lpSubKey, std::uint32_t dwType, const char* lpData,
                         std::uint32_t cbData) override;
  RegStatus RegSetValueExA(RegKey hKey, const char* lpValueName, std::uint32_t Reserved, std::uint32_t dwType,
                           const std::uint8_t* lpData, std::uint32_t cbData) override;
  RegStatus RegDeleteValueA(RegKey hKey, const char* lpValueName) override;
  RegStatus RegDeleteKeyA(RegKey hKey, const char* lpSubKey) override;
  RegStatus RegEnumKeyExA(RegKey hKey, std::uint32_t dwIndex, char* lpName, std::uint32_t* lpcchName,
                          std::uint32_t* lpReserved, char* lpClass, std::uint32_t* lpcchClass,
                          FileTime* lpftLastWriteTime) override;
  RegStatus RegEnumValueA(RegKey hKey, std::uint32_t dwIndex, char* lpValueName, std::uint32_t* lpcchValueName,
                          std::uint32_t* lpReserved, std::uint32_t* lpType, std::uint8_t* lpData,
                          std::uint32_t* lpcbData) override;
  RegStatus RegQueryInfoKeyA(RegKey hKey, char* lpClass, std::uint32_t* lpcchClass, std::uint32_t* lpReserved,
                             std::uint32_t* lpcSubKeys, std::uint32_t* lpcbMaxSubKeyLen, std::uint32_t* lpcbMaxClassLen,
                             std::uint32_t* lpcValues, std::uint32_t* lpcbMaxValueNameLen,
                             std::uint32_t* lpcbMaxValueLen, std::uint32_t* lpcbSecurityDescriptor,
                             FileTime* lpftLastWriteTime) override;
  RegStatus RegSaveKeyA(RegKey hKey, const char* lpFile, const void* lpSecurityAttributes) override;
  bool GetUserNameA(char* lpBuffer, std::uint32_t* pcbBuffer) override;
};

// kernel32's file and directory calls, forwarded.
class FileApiWin32 final : public FileApi {
 public:
  std::uint32_t GetWindowsDirectoryA(char* lpBuffer, std::uint32_t uSize) override;
  std::uint32_t GetSystemDirectoryA(char* lpBuffer, std::uint32_t uSize) override;
  std::uint32_t GetTempPathA(std::uint32_t nBufferLength, char* lpBuffer) override;
  bool SetFileAttributesA(const char* lpFileName, std::uint32_t dwFileAttributes) override;
  bool DeleteFileA(const char* lpFileName) override;
  bool CopyFileA(const char* lpExistingFileName, const char* lpNewFileName, bool bFailIfExists) override;
  bool CreateDirectoryA(const char* lpPathName, DirectoryAccess access) override;
  bool RemoveDirectoryA(const char* lpPathName) override;
  std::uint32_t GetLastError() override;
};

}  // namespace varnlet::platform
