#include "setup/install_folder.h"

#include <string>
#include <vector>

#include "trust/autostart_trust.h"

namespace varnlet::setup {
namespace {

using platform::FileSecurityApi;

// Two spellings of one drive path: letters compared without regard to case, one final backslash
// ignored.
bool SamePath(std::wstring_view a, std::wstring_view b) {
  if (a.size() > 3 && a.ends_with(L'\\')) a.remove_suffix(1);
  if (b.size() > 3 && b.ends_with(L'\\')) b.remove_suffix(1);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (trust::AsciiUpper(a[i]) != trust::AsciiUpper(b[i])) return false;
  }
  return true;
}

bool Missing(std::uint32_t error) {
  return error == static_cast<std::uint32_t>(platform::kErrorFileNotFound) ||
         error == static_cast<std::uint32_t>(platform::kErrorPathNotFound);
}

bool IsLink(std::uint32_t attributes) { return (attributes & platform::kFileAttributeReparsePoint) != 0; }

// The folder as it stands: the previous install's, owned by an administrative account, no link,
// nothing in it but files.
InstallFolderVerdict JudgeExisting(const std::wstring& folder, FileSecurityApi& fileSecurity) {
  const platform::UniqueFileHandle handle = platform::OpenForInspection(fileSecurity, folder);
  if (!handle) return InstallFolderVerdict::Unusable;
  std::uint32_t attributes = 0;
  if (!fileSecurity.GetFileAttributesByHandle(handle.get(), attributes)) return InstallFolderVerdict::Unusable;
  if (IsLink(attributes)) return InstallFolderVerdict::Linked;
  platform::FileSecurity security;
  if (fileSecurity.GetSecurityInfo(handle.get(), security) != 0) return InstallFolderVerdict::Unusable;
  if (!trust::IsAdministrativeOwner(security.owner)) return InstallFolderVerdict::NotAdministrators;
  std::vector<platform::FolderEntry> entries;
  if (fileSecurity.ListFolder(folder.c_str(), entries) != 0) return InstallFolderVerdict::Unusable;
  for (const platform::FolderEntry& entry : entries) {
    if (IsLink(entry.attributes)) return InstallFolderVerdict::Linked;
    if ((entry.attributes & platform::kFileAttributeDirectory) != 0) return InstallFolderVerdict::Occupied;
  }
  return InstallFolderVerdict::Reuse;
}

InstallFolderVerdict Judge(std::wstring_view folder, std::wstring_view previous, FileSecurityApi& fileSecurity) {
  if (!trust::IsOrdinaryDrivePath(folder) || folder.size() == 3) {
    // The root of a drive is never a folder of its own.
    return folder.size() == 3 && trust::IsOrdinaryDrivePath(folder) ? InstallFolderVerdict::Occupied
                                                                    : InstallFolderVerdict::Unusable;
  }
  // From the root down: each folder that exists is no link; the first that does not exist is made,
  // with all below it.
  const std::vector<std::wstring> paths = trust::PathsFromTheRoot(folder);
  for (std::size_t below = 1; below < paths.size(); ++below) {
    const std::uint32_t attributes = fileSecurity.GetFileAttributesW(paths[below].c_str());
    if (attributes == platform::kInvalidFileAttributes) {
      return Missing(fileSecurity.GetLastError()) ? InstallFolderVerdict::Create : InstallFolderVerdict::Unusable;
    }
    if (IsLink(attributes)) return InstallFolderVerdict::Linked;
    if ((attributes & platform::kFileAttributeDirectory) == 0) return InstallFolderVerdict::Unusable;
  }
  if (previous.empty() || !SamePath(folder, previous)) return InstallFolderVerdict::Occupied;
  return JudgeExisting(paths.back(), fileSecurity);
}

}  // namespace

InstallFolderVerdict JudgeInstallFolder(std::wstring_view folder, std::wstring_view previous,
                                        FileSecurityApi& fileSecurity) {
  try {
    return Judge(folder, previous, fileSecurity);
  } catch (...) {
    return InstallFolderVerdict::Unusable;
  }
}

std::uint32_t CreateInstallFolder(std::wstring_view folder, std::wstring_view sddl, FileSecurityApi& fileSecurity) {
  constexpr auto kBadPath = static_cast<std::uint32_t>(platform::kErrorBadPathName);
  try {
    if (!trust::IsOrdinaryDrivePath(folder) || folder.size() == 3) return kBadPath;
    const std::wstring descriptor(sddl);
    const std::vector<std::wstring> paths = trust::PathsFromTheRoot(folder);
    // Once one folder is made here, every folder below it must be made here too: one that
    // appeared meanwhile is someone else's.
    bool making = false;
    for (std::size_t i = 1; i < paths.size(); ++i) {
      const bool last = i + 1 == paths.size();
      if (!making && !last && fileSecurity.GetFileAttributesW(paths[i].c_str()) != platform::kInvalidFileAttributes) {
        continue;
      }
      if (!fileSecurity.CreateDirectoryW(paths[i].c_str(), descriptor.c_str())) return fileSecurity.GetLastError();
      making = true;
    }
    const platform::UniqueFileHandle made = platform::OpenForInspection(fileSecurity, paths.back());
    if (!made) return fileSecurity.GetLastError();
    const std::optional<std::wstring> reached =
        trust::OrdinaryFinalPath(platform::FinalPathName(fileSecurity, made.get()));
    return reached && SamePath(*reached, folder) ? 0 : static_cast<std::uint32_t>(platform::kErrorCantResolveFilename);
  } catch (...) {
    return static_cast<std::uint32_t>(platform::kErrorNotEnoughMemory);
  }
}

}  // namespace varnlet::setup
