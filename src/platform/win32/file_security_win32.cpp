#include "platform/win32/file_security_win32.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <cstddef>
#include <string>

#include "platform/win32/handles.h"

namespace varnlet::platform {
namespace {

HANDLE ToHandle(FileHandle h) { return reinterpret_cast<HANDLE>(h); }

// The SID as text; empty when there is none or it cannot be converted.
std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (sid == nullptr || ::ConvertSidToStringSidW(sid, &text) == FALSE) return {};
  const win32::UniqueLocal owned(text);
  return text;
}

// The entry kinds whose trustee follows the mask (ACCESS_ALLOWED_ACE's layout); the object
// kinds put GUIDs between them, and their trustee stays unnamed.
AccessEntry ToEntry(const ACE_HEADER& header, const void* ace) {
  AccessEntry entry;
  entry.flags = header.AceFlags;
  switch (header.AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE: {
      const auto* plain = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
      entry.mask = plain->Mask;
      entry.sid = SidText(const_cast<DWORD*>(&plain->SidStart));
      break;
    }
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
      entry.mask = static_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(ace)->Mask;
      break;
    default:
      return entry;
  }
  const bool denies = header.AceType == ACCESS_DENIED_ACE_TYPE || header.AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
                      header.AceType == ACCESS_DENIED_OBJECT_ACE_TYPE ||
                      header.AceType == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
  entry.kind = denies ? AceKind::Denied : AceKind::Allowed;
  return entry;
}

// A volume ("\\\\.\\C:") opened to ask its disk's properties, which needs no access right; an
// empty owner, and the system's error in `error`, when it cannot be opened.
win32::UniqueHandle OpenVolume(const wchar_t* name, DWORD& error) {
  if (name == nullptr) {
    error = ERROR_INVALID_PARAMETER;
    return {};
  }
  win32::UniqueHandle volume(
      ::CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!volume) error = ::GetLastError();
  return volume;
}

}  // namespace

std::uint32_t ConvertSecurity(PSID owner, PACL dacl, FileSecurity& security) {
  try {
    FileSecurity read;
    read.owner = SidText(owner);
    read.hasDacl = dacl != nullptr;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
      void* ace = nullptr;
      if (::GetAce(dacl, i, &ace) == FALSE) return ERROR_INVALID_ACL;
      read.dacl.push_back(ToEntry(*static_cast<const ACE_HEADER*>(ace), ace));
    }
    security = std::move(read);
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return ERROR_SUCCESS;
}

std::uint32_t FileSecurityApiWin32::GetDriveTypeW(const wchar_t* lpRootPathName) {
  return ::GetDriveTypeW(lpRootPathName);
}

std::uint32_t FileSecurityApiWin32::QueryStorageDeviceProperty(const wchar_t* lpVolumeName,
                                                               StorageDeviceDescriptor& descriptor) {
  DWORD error = ERROR_SUCCESS;
  const win32::UniqueHandle volume = OpenVolume(lpVolumeName, error);
  if (!volume) return error;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  // Room for the descriptor with its strings; only its fixed part is read.
  union {
    STORAGE_DEVICE_DESCRIPTOR descriptor;
    BYTE bytes[1024];
  } out{};
  DWORD returned = 0;
  if (::DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &out, sizeof out, &returned,
                        nullptr) == FALSE) {
    return ::GetLastError();
  }
  if (returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof out.descriptor.BusType)
    return ERROR_INVALID_DATA;
  descriptor.busType = static_cast<StorageBus>(out.descriptor.BusType);
  descriptor.removableMedia = out.descriptor.RemovableMedia != FALSE;
  return ERROR_SUCCESS;
}

std::uint32_t FileSecurityApiWin32::GetStorageHotplugInfo(const wchar_t* lpVolumeName, StorageHotplugInfo& info) {
  DWORD error = ERROR_SUCCESS;
  const win32::UniqueHandle volume = OpenVolume(lpVolumeName, error);
  if (!volume) return error;
  STORAGE_HOTPLUG_INFO out{};
  DWORD returned = 0;
  if (::DeviceIoControl(volume.get(), IOCTL_STORAGE_GET_HOTPLUG_INFO, nullptr, 0, &out, sizeof out, &returned,
                        nullptr) == FALSE) {
    return ::GetLastError();
  }
  if (returned < offsetof(STORAGE_HOTPLUG_INFO, DeviceHotplug) + sizeof out.DeviceHotplug) return ERROR_INVALID_DATA;
  info.mediaRemovable = out.MediaRemovable != FALSE;
  info.deviceHotplug = out.DeviceHotplug != FALSE;
  return ERROR_SUCCESS;
}

std::uint32_t FileSecurityApiWin32::GetFileAttributesW(const wchar_t* lpFileName) {
  return ::GetFileAttributesW(lpFileName);
}

FileHandle FileSecurityApiWin32::CreateFileW(const wchar_t* lpFileName, std::uint32_t dwDesiredAccess,
                                             std::uint32_t dwShareMode, std::uint32_t dwCreationDisposition,
                                             std::uint32_t dwFlagsAndAttributes) {
  return reinterpret_cast<FileHandle>(::CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, nullptr,
                                                    dwCreationDisposition, dwFlagsAndAttributes, nullptr));
}

bool FileSecurityApiWin32::CloseHandle(FileHandle hObject) { return ::CloseHandle(ToHandle(hObject)) != FALSE; }

std::uint32_t FileSecurityApiWin32::GetFinalPathNameByHandleW(FileHandle hFile, wchar_t* lpszFilePath,
                                                              std::uint32_t cchFilePath, std::uint32_t dwFlags) {
  return ::GetFinalPathNameByHandleW(ToHandle(hFile), lpszFilePath, cchFilePath, dwFlags);
}

bool FileSecurityApiWin32::GetFileAttributesByHandle(FileHandle hFile, std::uint32_t& attributes) {
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (::GetFileInformationByHandleEx(ToHandle(hFile), FileAttributeTagInfo, &info, sizeof info) == FALSE) return false;
  attributes = info.FileAttributes;
  return true;
}

std::uint32_t FileSecurityApiWin32::GetSecurityInfo(FileHandle handle, FileSecurity& security) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status =
      ::GetSecurityInfo(ToHandle(handle), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &owner, nullptr, &dacl, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) return status;
  const win32::UniqueLocal owned(descriptor);
  return ConvertSecurity(owner, dacl, security);
}

std::uint32_t FileSecurityApiWin32::ListFolder(const wchar_t* lpFolder, std::vector<FolderEntry>& entries) {
  if (lpFolder == nullptr) return ERROR_INVALID_PARAMETER;
  try {
    const std::wstring pattern = std::wstring(lpFolder) + L"\\*";
    WIN32_FIND_DATAW data{};
    const HANDLE found = ::FindFirstFileW(pattern.c_str(), &data);
    if (found == INVALID_HANDLE_VALUE) return ::GetLastError();
    const win32::UniqueFindHandle search(found);
    std::vector<FolderEntry> read;
    do {
      const std::wstring_view name = data.cFileName;
      if (name != L"." && name != L"..") read.push_back({data.dwFileAttributes, std::wstring(name)});
    } while (::FindNextFileW(found, &data) != FALSE);
    const DWORD error = ::GetLastError();
    if (error != ERROR_NO_MORE_FILES) return error;
    entries = std::move(read);
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return ERROR_SUCCESS;
}

bool FileSecurityApiWin32::CreateDirectoryW(const wchar_t* lpPathName, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (sddl == nullptr ||
      ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr) == FALSE) {
    // Never a folder with whatever rights it would inherit.
    if (sddl == nullptr) ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const win32::UniqueLocal owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  return ::CreateDirectoryW(lpPathName, &attributes) != FALSE;
}

std::uint32_t FileSecurityApiWin32::GetLastError() { return ::GetLastError(); }

}  // namespace varnlet::platform
