#include "platform/win32/registry_api_win32.h"

#include <windows.h>

#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/process_token.h"
#include "platform/win32/registry_handles.h"

namespace varnlet::platform {
namespace {

using win32::FromHkey;
using win32::ToHkey;

// The sizes that make these casts sound are checked in src/checks/sdk_constants.cpp.
DWORD* AsDword(std::uint32_t* p) { return reinterpret_cast<DWORD*>(p); }
FILETIME* AsFiletime(FileTime* p) { return reinterpret_cast<FILETIME*>(p); }

// The security of a directory only its creator may use: a protected DACL (nothing inherited from
// the parent) with one entry, full control for the user the calling thread acts for, inherited by
// files and folders made inside. The SID, ACL and descriptor live in this object.
class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity() {
    const PSID sid = user_.Sid();
    if (sid == nullptr) return;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid));
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    const bool built = ::InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) != FALSE &&
                       ::AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                               FILE_ALL_ACCESS, sid) != FALSE &&
                       ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) != FALSE &&
                       ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) != FALSE &&
                       ::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED) != FALSE;
    if (built) attributes_ = {sizeof(SECURITY_ATTRIBUTES), &descriptor_, FALSE};
  }
  OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
  OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;
  // Null when the descriptor could not be built.
  SECURITY_ATTRIBUTES* get() { return attributes_.lpSecurityDescriptor != nullptr ? &attributes_ : nullptr; }

 private:
  win32::CurrentUser user_;
  std::vector<BYTE> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

// Writes a key the system returned back to the caller's 32-bit variable, only when the system
// wrote one: a failed open leaves the caller's value as the system leaves its own.
RegStatus StoreKey(LSTATUS status, HKEY key, HKEY before, RegKey* phkResult) {
  if (key != before) *phkResult = FromHkey(key);
  return status;
}

}  // namespace

RegStatus RegistryApiWin32::RegOpenKeyExA(RegKey hKey, const char* lpSubKey, std::uint32_t ulOptions,
                                          std::uint32_t samDesired, RegKey* phkResult) {
  if (phkResult == nullptr) return ::RegOpenKeyExA(ToHkey(hKey), lpSubKey, ulOptions, samDesired, nullptr);
  const HKEY before = ToHkey(*phkResult);
  HKEY key = before;
  const LSTATUS status = ::RegOpenKeyExA(ToHkey(hKey), lpSubKey, ulOptions, samDesired, &key);
  return StoreKey(status, key, before, phkResult);
}

RegStatus RegistryApiWin32::RegCreateKeyA(RegKey hKey, const char* lpSubKey, RegKey* phkResult) {
  if (phkResult == nullptr) return ::RegCreateKeyA(ToHkey(hKey), lpSubKey, nullptr);
  const HKEY before = ToHkey(*phkResult);
  HKEY key = before;
  const LSTATUS status = ::RegCreateKeyA(ToHkey(hKey), lpSubKey, &key);
  return StoreKey(status, key, before, phkResult);
}

RegStatus RegistryApiWin32::RegCloseKey(RegKey hKey) { return ::RegCloseKey(ToHkey(hKey)); }

RegStatus RegistryApiWin32::RegQueryValueA(RegKey hKey, const char* lpSubKey, char* lpData, std::int32_t* lpcbData) {
  return ::RegQueryValueA(ToHkey(hKey), lpSubKey, lpData, reinterpret_cast<LONG*>(lpcbData));
}

RegStatus RegistryApiWin32::RegQueryValueExA(RegKey hKey, const char* lpValueName, std::uint32_t* lpReserved,
                                             std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) {
  return ::RegQueryValueExA(ToHkey(hKey), lpValueName, AsDword(lpReserved), AsDword(lpType), lpData, AsDword(lpcbData));
}

RegStatus RegistryApiWin32::RegSetValueA(RegKey hKey, const char* lpSubKey, std::uint32_t dwType, const char* lpData,
                                         std::uint32_t cbData) {
  return ::RegSetValueA(ToHkey(hKey), lpSubKey, dwType, lpData, cbData);
}

RegStatus RegistryApiWin32::RegSetValueExA(RegKey hKey, const char* lpValueName, std::uint32_t Reserved,
                                           std::uint32_t dwType, const std::uint8_t* lpData, std::uint32_t cbData) {
  return ::RegSetValueExA(ToHkey(hKey), lpValueName, Reserved, dwType, lpData, cbData);
}

RegStatus RegistryApiWin32::RegDeleteValueA(RegKey hKey, const char* lpValueName) {
  return ::RegDeleteValueA(ToHkey(hKey), lpValueName);
}

RegStatus RegistryApiWin32::RegDeleteKeyA(RegKey hKey, const char* lpSubKey) {
  return ::RegDeleteKeyA(ToHkey(hKey), lpSubKey);
}

RegStatus RegistryApiWin32::RegEnumKeyExA(RegKey hKey, std::uint32_t dwIndex, char* lpName, std::uint32_t* lpcchName,
                                          std::uint32_t* lpReserved, char* lpClass, std::uint32_t* lpcchClass,
                                          FileTime* lpftLastWriteTime) {
  return ::RegEnumKeyExA(ToHkey(hKey), dwIndex, lpName, AsDword(lpcchName), AsDword(lpReserved), lpClass,
                         AsDword(lpcchClass), AsFiletime(lpftLastWriteTime));
}

RegStatus RegistryApiWin32::RegEnumValueA(RegKey hKey, std::uint32_t dwIndex, char* lpValueName,
                                          std::uint32_t* lpcchValueName, std::uint32_t* lpReserved,
                                          std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) {
  return ::RegEnumValueA(ToHkey(hKey), dwIndex, lpValueName, AsDword(lpcchValueName), AsDword(lpReserved),
                         AsDword(lpType), lpData, AsDword(lpcbData));
}

RegStatus RegistryApiWin32::RegQueryInfoKeyA(RegKey hKey, char* lpClass, std::uint32_t* lpcchClass,
                                             std::uint32_t* lpReserved, std::uint32_t* lpcSubKeys,
                                             std::uint32_t* lpcbMaxSubKeyLen, std::uint32_t* lpcbMaxClassLen,
                                             std::uint32_t* lpcValues, std::uint32_t* lpcbMaxValueNameLen,
                                             std::uint32_t* lpcbMaxValueLen, std::uint32_t* lpcbSecurityDescriptor,
                                             FileTime* lpftLastWriteTime) {
  return ::RegQueryInfoKeyA(ToHkey(hKey), lpClass, AsDword(lpcchClass), AsDword(lpReserved), AsDword(lpcSubKeys),
                            AsDword(lpcbMaxSubKeyLen), AsDword(lpcbMaxClassLen), AsDword(lpcValues),
                            AsDword(lpcbMaxValueNameLen), AsDword(lpcbMaxValueLen), AsDword(lpcbSecurityDescriptor),
                            AsFiletime(lpftLastWriteTime));
}

RegStatus RegistryApiWin32::RegSaveKeyA(RegKey hKey, const char* lpFile, const void* lpSecurityAttributes) {
  return ::RegSaveKeyA(ToHkey(hKey), lpFile,
                       static_cast<LPSECURITY_ATTRIBUTES>(const_cast<void*>(lpSecurityAttributes)));
}

bool RegistryApiWin32::GetUserNameA(char* lpBuffer, std::uint32_t* pcbBuffer) {
  return ::GetUserNameA(lpBuffer, AsDword(pcbBuffer)) != FALSE;
}

std::uint32_t FileApiWin32::GetWindowsDirectoryA(char* lpBuffer, std::uint32_t uSize) {
  return ::GetWindowsDirectoryA(lpBuffer, uSize);
}

std::uint32_t FileApiWin32::GetSystemDirectoryA(char* lpBuffer, std::uint32_t uSize) {
  return ::GetSystemDirectoryA(lpBuffer, uSize);
}

std::uint32_t FileApiWin32::GetTempPathA(std::uint32_t nBufferLength, char* lpBuffer) {
  return ::GetTempPathA(nBufferLength, lpBuffer);
}

bool FileApiWin32::SetFileAttributesA(const char* lpFileName, std::uint32_t dwFileAttributes) {
  return ::SetFileAttributesA(lpFileName, dwFileAttributes) != FALSE;
}

bool FileApiWin32::DeleteFileA(const char* lpFileName) { return ::DeleteFileA(lpFileName) != FALSE; }

bool FileApiWin32::CopyFileA(const char* lpExistingFileName, const char* lpNewFileName, bool bFailIfExists) {
  return ::CopyFileA(lpExistingFileName, lpNewFileName, bFailIfExists ? TRUE : FALSE) != FALSE;
}

bool FileApiWin32::CreateDirectoryA(const char* lpPathName, DirectoryAccess access) {
  if (access == DirectoryAccess::Inherited) return ::CreateDirectoryA(lpPathName, nullptr) != FALSE;
  OwnerOnlySecurity security;
  // Never a directory others could enter in place of a private one.
  if (security.get() == nullptr) return false;
  return ::CreateDirectoryA(lpPathName, security.get()) != FALSE;
}

bool FileApiWin32::RemoveDirectoryA(const char* lpPathName) { return ::RemoveDirectoryA(lpPathName) != FALSE; }

std::uint32_t FileApiWin32::GetLastError() { return ::GetLastError(); }

}  // namespace varnlet::platform
