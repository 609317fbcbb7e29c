#include "fakes/fake_file_system.h"

#include <cstdio>
#include <cstring>

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

std::uint32_t FakeFileSystem::GetTempFileNameA(const char* lpPathName, const char* lpPrefixString,
                                               std::uint32_t uUnique, char* lpTempFileName) {
  if (lpPathName == nullptr || lpTempFileName == nullptr || lpPrefixString == nullptr) return 0;
  if (faults_.ShouldFail("GetTempFileNameA")) return 0;
  std::string directory = lpPathName;
  if (!directory.empty() && directory.back() != '\\') directory += '\\';
  const std::string prefix = std::string(lpPrefixString).substr(0, 3);
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    const std::uint32_t unique = uUnique != 0 ? uUnique : (nextUnique_++ & 0xFFFF);
    if (unique == 0) continue;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(unique & 0xFFFF));
    const std::string name = directory + prefix + hex + ".tmp";
    if (name.size() >= platform::kMaxPath) return 0;
    // With a number of its own the caller gets the name only; with 0 the file is made, so the
    // name stays unique.
    if (uUnique != 0 || !Exists(name)) {
      if (uUnique == 0) Write(name, "");
      std::memcpy(lpTempFileName, name.c_str(), name.size() + 1);
      return unique;
    }
  }
  return 0;
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

platform::FileSecurity FakeFileSystem::AdministratorsOnly() {
  using platform::AceKind;
  return {L"S-1-5-32-544",
          true,
          {{AceKind::Allowed, 0x03, 0x1F01FF, L"S-1-5-18"},
           {AceKind::Allowed, 0x03, 0x1F01FF, L"S-1-5-32-544"},
           {AceKind::Allowed, 0x03, 0x1200A9, L"S-1-5-32-545"}}};
}

std::uint32_t FakeFileSystem::GetDriveTypeW(const wchar_t* lpRootPathName) {
  if (faults_.ShouldFail("GetDriveTypeW") || lpRootPathName == nullptr || lpRootPathName[0] == L'\0') return 1;
  wchar_t letter = lpRootPathName[0];
  if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
  const auto it = driveTypes.find(letter);
  return it == driveTypes.end() ? platform::kDriveFixed : it->second;
}

std::uint32_t FakeFileSystem::GetNamedSecurityInfoW(const wchar_t* pObjectName, platform::FileSecurity& out) {
  if (faults_.ShouldFail("GetNamedSecurityInfoW")) return 5;  // ERROR_ACCESS_DENIED
  if (pObjectName == nullptr) return 87;
  const auto it = security.find(pObjectName);
  out = it == security.end() ? AdministratorsOnly() : it->second;
  return 0;
}

}  // namespace varnlet::fakes
