#include "fakes/fake_file_system.h"

#include <cstring>

#include "base/ascii_case.h"
#include "fakes/ansi_case.h"

namespace varnlet::fakes {
namespace {

// Characters no Windows file name may hold.
bool IsValidPath(const std::string& path) {
  return !path.empty() && path.find_first_of("<>\"|?*") == std::string::npos;
}

}  // namespace

void FakeFileSystem::Write(const std::string& path, std::string content, std::uint32_t attributes) {
  files_[AnsiUpper(path)] = File{path, std::move(content), attributes};
}

std::optional<std::string> FakeFileSystem::Read(const std::string& path) const {
  const File* file = Find(path);
  if (file == nullptr) return std::nullopt;
  return file->content;
}

std::optional<std::uint32_t> FakeFileSystem::Attributes(const std::string& path) const {
  const File* file = Find(path);
  if (file == nullptr) return std::nullopt;
  return file->attributes;
}

std::map<std::string, std::string> FakeFileSystem::Snapshot() const {
  std::map<std::string, std::string> out;
  for (const auto& [key, file] : files_) out[file.name] = file.content;
  return out;
}

const FakeFileSystem::File* FakeFileSystem::Find(const std::string& path) const {
  const auto it = files_.find(AnsiUpper(path));
  return it == files_.end() ? nullptr : &it->second;
}

FakeFileSystem::File* FakeFileSystem::Find(const std::string& path) {
  const auto it = files_.find(AnsiUpper(path));
  return it == files_.end() ? nullptr : &it->second;
}

// As the system does: the characters without the NUL when they fit, else the size needed.
std::uint32_t FakeFileSystem::CopyDirectory(const std::string& directory, char* buffer, std::uint32_t size) {
  const auto length = static_cast<std::uint32_t>(directory.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, directory.data(), length);
  buffer[length] = '\0';
  return length;
}

std::uint32_t FakeFileSystem::GetWindowsDirectoryA(char* lpBuffer, std::uint32_t uSize) {
  if (faults_.ShouldFail("GetWindowsDirectoryA")) return 0;
  return CopyDirectory(windowsDirectory, lpBuffer, uSize);
}

std::uint32_t FakeFileSystem::GetSystemDirectoryA(char* lpBuffer, std::uint32_t uSize) {
  if (faults_.ShouldFail("GetSystemDirectoryA")) return 0;
  return CopyDirectory(systemDirectory, lpBuffer, uSize);
}

std::uint32_t FakeFileSystem::GetTempPathA(std::uint32_t nBufferLength, char* lpBuffer) {
  if (faults_.ShouldFail("GetTempPathA")) return 0;
  return CopyDirectory(tempDirectory, lpBuffer, nBufferLength);
}

bool FakeFileSystem::SetFileAttributesA(const char* lpFileName, std::uint32_t dwFileAttributes) {
  if (lpFileName == nullptr || faults_.ShouldFail("SetFileAttributesA")) return false;
  File* file = Find(lpFileName);
  if (file == nullptr) return false;
  file->attributes = dwFileAttributes == 0 ? kNormal : dwFileAttributes;
  return true;
}

bool FakeFileSystem::DeleteFileA(const char* lpFileName) {
  if (lpFileName == nullptr || faults_.ShouldFail("DeleteFileA")) return false;
  File* file = Find(lpFileName);
  if (file == nullptr || (file->attributes & kReadOnly) != 0) return false;
  files_.erase(AnsiUpper(lpFileName));
  return true;
}

bool FakeFileSystem::CopyFileA(const char* lpExistingFileName, const char* lpNewFileName, bool bFailIfExists) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr || faults_.ShouldFail("CopyFileA")) return false;
  const File* source = Find(lpExistingFileName);
  if (source == nullptr || !IsValidPath(lpNewFileName)) return false;
  if (const File* target = Find(lpNewFileName)) {
    if (bFailIfExists || (target->attributes & kReadOnly) != 0) return false;
  }
  const File copy = *source;
  Write(lpNewFileName, copy.content, copy.attributes);
  return true;
}

std::size_t FakeFileSystem::CountStartingWith(const std::string& prefix) const {
  const std::string start = AnsiUpper(prefix);
  std::size_t n = 0;
  for (const auto& [key, file] : files_) n += key.rfind(start, 0) == 0 ? 1 : 0;
  for (const auto& [key, name] : folders_) n += key.rfind(start, 0) == 0 ? 1 : 0;
  return n;
}

bool FakeFileSystem::CreateDirectoryA(const char* lpPathName, platform::DirectoryAccess access) {
  if (lpPathName == nullptr || !IsValidPath(lpPathName)) return Failed(123);  // ERROR_INVALID_NAME
  if (faults_.ShouldFail("CreateDirectoryA")) return Failed(5);
  const std::string key = AnsiUpper(lpPathName);
  if (files_.count(key) != 0 || folders_.count(key) != 0) return Failed(183);
  folders_[key] = lpPathName;
  directoriesMade.emplace_back(lpPathName, access);
  return true;
}

bool FakeFileSystem::RemoveDirectoryA(const char* lpPathName) {
  if (lpPathName == nullptr) return Failed(123);
  if (faults_.ShouldFail("RemoveDirectoryA")) return Failed(5);
  const std::string key = AnsiUpper(lpPathName);
  if (folders_.count(key) == 0) return Failed(2);
  if (CountStartingWith(std::string(lpPathName) + "\\") != 0) return Failed(145);  // ERROR_DIR_NOT_EMPTY
  folders_.erase(key);
  return true;
}

platform::FileSecurity FakeFileSecurity::AdministratorsOnly() {
  using platform::AceKind;
  return {L"S-1-5-32-544",
          true,
          {{AceKind::Allowed, 0x03, 0x1F01FF, L"S-1-5-18"},
           {AceKind::Allowed, 0x03, 0x1F01FF, L"S-1-5-32-544"},
           {AceKind::Allowed, 0x03, 0x1200A9, L"S-1-5-32-545"}}};
}

namespace {

// The drive letter of a volume's name ("\\\\.\\C:"), upper case; 0 for any other name.
wchar_t VolumeLetter(const wchar_t* name) {
  const std::wstring_view volume = name == nullptr ? L"" : name;
  if (volume.size() != 6 || !volume.starts_with(L"\\\\.\\") || volume[5] != L':') return 0;
  const wchar_t letter = volume[4];
  return AsciiUpper(letter);
}

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos || path.size() <= 3) return {};
  return path.substr(0, slash == 2 ? 3 : slash);
}

}  // namespace

std::wstring FakeFileSecurity::Resolve(const wchar_t* name, bool followLast) const {
  std::wstring_view path(name);
  const bool literal = path.starts_with(L"\\\\?\\");
  if (literal) path.remove_prefix(4);
  std::wstring resolved;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find(L'\\', start), path.size());
    std::wstring part(path.substr(start, end - start));
    if (!literal && start != 0) {
      while (!part.empty() && (part.back() == L'.' || part.back() == L' ')) part.pop_back();
    }
    if (!literal && part == L"..") {
      resolved = ParentOf(resolved);
    } else if (literal || part != L".") {
      if (!resolved.empty() && resolved.back() != L'\\') resolved += L'\\';
      resolved += part;
      if (start == 0) resolved += L'\\';
    }
    const bool last = end == path.size();
    if (const auto link = links.find(resolved); link != links.end() && (followLast || !last)) resolved = link->second;
    start = end + 1;
  }
  return resolved;
}

bool FakeFileSecurity::Exists(const std::wstring& path) const {
  if (path.empty()) return false;
  if (made_.count(path) != 0 || links.count(path) != 0 || attributes.count(path) != 0) return true;
  if (absent.count(path) != 0) return false;
  const std::wstring parent = ParentOf(path);
  // A folder made here holds only what was made in it.
  return parent.empty() || (made_.count(parent) == 0 && Exists(parent));
}

std::uint32_t FakeFileSecurity::AttributesOf(const std::wstring& path) const {
  if (links.count(path) != 0) return platform::kFileAttributeDirectory | platform::kFileAttributeReparsePoint;
  const auto it = attributes.find(path);
  return it == attributes.end() ? platform::kFileAttributeDirectory : it->second;
}

std::uint32_t FakeFileSecurity::GetDriveTypeW(const wchar_t* lpRootPathName) {
  if (faults_.ShouldFail("GetDriveTypeW") || lpRootPathName == nullptr || lpRootPathName[0] == L'\0') return 1;
  const wchar_t letter = AsciiUpper(lpRootPathName[0]);
  const auto it = driveTypes.find(letter);
  return it == driveTypes.end() ? platform::kDriveFixed : it->second;
}

std::uint32_t FakeFileSecurity::QueryStorageDeviceProperty(const wchar_t* lpVolumeName,
                                                           platform::StorageDeviceDescriptor& descriptor) {
  if (faults_.ShouldFail("QueryStorageDeviceProperty")) return 1;  // ERROR_INVALID_FUNCTION
  const wchar_t letter = VolumeLetter(lpVolumeName);
  if (letter == 0) return 87;  // ERROR_INVALID_PARAMETER
  const auto it = devices.find(letter);
  descriptor = it == devices.end() ? platform::StorageDeviceDescriptor{platform::StorageBus{11}, false}
                                   : it->second;  // BusTypeSata
  return 0;
}

std::uint32_t FakeFileSecurity::GetStorageHotplugInfo(const wchar_t* lpVolumeName, platform::StorageHotplugInfo& info) {
  if (faults_.ShouldFail("GetStorageHotplugInfo")) return 50;  // ERROR_NOT_SUPPORTED, as Wine answers
  const wchar_t letter = VolumeLetter(lpVolumeName);
  if (letter == 0) return 87;
  const auto it = hotplug.find(letter);
  info = it == hotplug.end() ? platform::StorageHotplugInfo{} : it->second;
  return 0;
}

std::uint32_t FakeFileSecurity::GetFileAttributesW(const wchar_t* lpFileName) {
  if (faults_.ShouldFail("GetFileAttributesW")) {
    lastError_ = 5;
    return platform::kInvalidFileAttributes;
  }
  const std::wstring path = Resolve(lpFileName, false);
  if (!Exists(path)) {
    lastError_ = Exists(ParentOf(path)) ? platform::kErrorFileNotFound : platform::kErrorPathNotFound;
    return platform::kInvalidFileAttributes;
  }
  return AttributesOf(path);
}

platform::FileHandle FakeFileSecurity::CreateFileW(const wchar_t* lpFileName, std::uint32_t dwDesiredAccess,
                                                   std::uint32_t dwShareMode, std::uint32_t dwCreationDisposition,
                                                   std::uint32_t dwFlagsAndAttributes) {
  if (faults_.ShouldFail("CreateFileW") || lpFileName == nullptr || dwDesiredAccess != platform::kInspectAccess ||
      dwShareMode != platform::kFileShareAll || dwCreationDisposition != platform::kOpenExisting) {
    lastError_ = 5;
    return platform::kInvalidFileHandle;
  }
  const std::wstring path = Resolve(lpFileName, (dwFlagsAndAttributes & 0x00200000) == 0);
  if (!Exists(path)) {
    lastError_ = platform::kErrorFileNotFound;
    return platform::kInvalidFileHandle;
  }
  handles_[nextHandle_] = path;
  return nextHandle_++;
}

bool FakeFileSecurity::CloseHandle(platform::FileHandle hObject) { return handles_.erase(hObject) == 1; }

std::uint32_t FakeFileSecurity::GetFinalPathNameByHandleW(platform::FileHandle hFile, wchar_t* lpszFilePath,
                                                          std::uint32_t cchFilePath, std::uint32_t dwFlags) {
  const auto it = handles_.find(hFile);
  if (faults_.ShouldFail("GetFinalPathNameByHandleW") || it == handles_.end() ||
      dwFlags != platform::kFinalPathWithDrive) {
    return 0;
  }
  const std::wstring path = L"\\\\?\\" + it->second;
  if (path.size() >= cchFilePath) return static_cast<std::uint32_t>(path.size() + 1);
  std::copy(path.begin(), path.end(), lpszFilePath);
  lpszFilePath[path.size()] = L'\0';
  return static_cast<std::uint32_t>(path.size());
}

bool FakeFileSecurity::GetFileAttributesByHandle(platform::FileHandle hFile, std::uint32_t& attributes_) {
  const auto it = handles_.find(hFile);
  if (faults_.ShouldFail("GetFileAttributesByHandle") || it == handles_.end()) return false;
  attributes_ = AttributesOf(it->second);
  return true;
}

std::uint32_t FakeFileSecurity::GetSecurityInfo(platform::FileHandle handle, platform::FileSecurity& out) {
  if (faults_.ShouldFail("GetSecurityInfo")) return 5;  // ERROR_ACCESS_DENIED
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return 6;  // ERROR_INVALID_HANDLE
  const auto known = security.find(it->second);
  out = known == security.end() ? AdministratorsOnly() : known->second;
  return 0;
}

std::uint32_t FakeFileSecurity::ListFolder(const wchar_t* lpFolder, std::vector<platform::FolderEntry>& entries) {
  if (faults_.ShouldFail("ListFolder")) return 5;
  const std::wstring folder = Resolve(lpFolder, true);
  if (!Exists(folder)) return platform::kErrorPathNotFound;
  std::set<std::wstring> inside;
  const auto collect = [&](const std::wstring& path) {
    if (ParentOf(path) == folder) inside.insert(path);
  };
  for (const auto& [path, unused] : security) collect(path);
  for (const auto& [path, unused] : links) collect(path);
  for (const auto& [path, unused] : attributes) collect(path);
  for (const std::wstring& path : made_) collect(path);
  entries.clear();
  for (const std::wstring& path : inside) {
    if (Exists(path)) entries.push_back({AttributesOf(path), path.substr(path.find_last_of(L'\\') + 1)});
  }
  return 0;
}

bool FakeFileSecurity::CreateDirectoryW(const wchar_t* lpPathName, const wchar_t* sddl) {
  if (faults_.ShouldFail("CreateDirectoryW") || lpPathName == nullptr || sddl == nullptr) {
    lastError_ = 5;
    return false;
  }
  const std::wstring path = Resolve(lpPathName, false);
  if (Exists(path)) {
    lastError_ = platform::kErrorAlreadyExists;
    return false;
  }
  if (!Exists(ParentOf(path))) {
    lastError_ = platform::kErrorPathNotFound;
    return false;
  }
  made_.insert(path);
  foldersMade.emplace_back(path, sddl);
  return true;
}

}  // namespace varnlet::fakes
