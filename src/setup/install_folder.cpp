#include "setup/install_folder.h"

#include <optional>
#include <string>
#include <vector>

#include "base/ascii_case.h"
#include "trust/autostart_trust.h"

namespace varnlet::setup {
namespace {

using platform::FileSecurityApi;
using trust::ExecutableTrust;

// Two spellings of one drive path: letters compared without regard to case, one final backslash
// ignored.
bool SamePath(std::wstring_view a, std::wstring_view b) {
  if (a.size() > 3 && a.ends_with(L'\\')) a.remove_suffix(1);
  if (b.size() > 3 && b.ends_with(L'\\')) b.remove_suffix(1);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

bool Missing(std::uint32_t error) {
  return error == static_cast<std::uint32_t>(platform::kErrorFileNotFound) ||
         error == static_cast<std::uint32_t>(platform::kErrorPathNotFound);
}

bool IsLink(std::uint32_t attributes) { return (attributes & platform::kFileAttributeReparsePoint) != 0; }

// Why `folder` ("C:\" for a root) or a folder above it refuses an install below it: someone else
// may rename or re-permission it, and so put another folder in the install's place. Nothing when
// none does.
std::optional<InstallFolderVerdict> RefusalAbove(const std::wstring& folder, FileSecurityApi& fileSecurity) {
  switch (trust::JudgeFolderAndAbove(folder, trust::PathPart::Ancestor, fileSecurity)) {
    case ExecutableTrust::Trusted:
      return std::nullopt;
    case ExecutableTrust::Linked:
      return InstallFolderVerdict::Linked;
    case ExecutableTrust::WritableByOthers:
    case ExecutableTrust::OneUserAccount:
      return InstallFolderVerdict::AboveChangeable;
    default:
      return InstallFolderVerdict::Unusable;
  }
}

// The folder as it stands, to be written into: no link, only administrators may change it (its
// owner and its own list), nothing in it but files, and no one else may change `parent` or a
// folder above that.
InstallFolderVerdict JudgeExisting(const std::wstring& folder, const std::wstring& parent,
                                   FileSecurityApi& fileSecurity) {
  const platform::UniqueFileHandle handle = platform::OpenForInspection(fileSecurity, folder);
  if (!handle) return InstallFolderVerdict::Unusable;
  std::uint32_t attributes = 0;
  if (!fileSecurity.GetFileAttributesByHandle(handle.get(), attributes)) return InstallFolderVerdict::Unusable;
  if (IsLink(attributes)) return InstallFolderVerdict::Linked;
  platform::FileSecurity security;
  if (fileSecurity.GetSecurityInfo(handle.get(), security) != 0) return InstallFolderVerdict::Unusable;
  if (!trust::OnlyAdministratorsMayChange(security, trust::PathPart::OwnFolder)) {
    return InstallFolderVerdict::NotAdministrators;
  }
  std::vector<platform::FolderEntry> entries;
  if (fileSecurity.ListFolder(folder.c_str(), entries) != 0) return InstallFolderVerdict::Unusable;
  for (const platform::FolderEntry& entry : entries) {
    if (IsLink(entry.attributes)) return InstallFolderVerdict::Linked;
    if ((entry.attributes & platform::kFileAttributeDirectory) != 0) return InstallFolderVerdict::Occupied;
  }
  return RefusalAbove(parent, fileSecurity).value_or(InstallFolderVerdict::Reuse);
}

InstallFolderVerdict Judge(std::wstring_view folder, std::wstring_view previous, FileSecurityApi& fileSecurity,
                           MissingParents missingParents) {
  if (!trust::IsOrdinaryDrivePath(folder) || folder.size() == 3) {
    // The root of a drive is never a folder of its own.
    return folder.size() == 3 && trust::IsOrdinaryDrivePath(folder) ? InstallFolderVerdict::Occupied
                                                                    : InstallFolderVerdict::Unusable;
  }
  const std::vector<std::wstring> paths = trust::PathsFromTheRoot(folder);
  // From the root down: each folder that exists is no link; the first that does not exist is made,
  // with all below it.
  std::size_t existing = 1;
  for (; existing < paths.size(); ++existing) {
    const std::uint32_t attributes = fileSecurity.GetFileAttributesW(paths[existing].c_str());
    if (attributes == platform::kInvalidFileAttributes) {
      if (!Missing(fileSecurity.GetLastError())) return InstallFolderVerdict::Unusable;
      break;
    }
    if (IsLink(attributes)) return InstallFolderVerdict::Linked;
    if ((attributes & platform::kFileAttributeDirectory) == 0) return InstallFolderVerdict::Unusable;
  }
  if (existing < paths.size()) {
    if (const std::optional<InstallFolderVerdict> refusal = RefusalAbove(paths[existing - 1], fileSecurity)) {
      return *refusal;
    }
    const bool parentMissing = existing + 1 < paths.size();
    return parentMissing && missingParents == MissingParents::Refused ? InstallFolderVerdict::ParentMissing
                                                                      : InstallFolderVerdict::Create;
  }
  if (previous.empty() || !SamePath(folder, previous)) return InstallFolderVerdict::Occupied;
  return JudgeExisting(paths.back(), paths[paths.size() - 2], fileSecurity);
}

}  // namespace

InstallFolderVerdict JudgeInstallFolder(std::wstring_view folder, std::wstring_view previous,
                                        FileSecurityApi& fileSecurity, MissingParents missingParents) {
  try {
    return Judge(folder, previous, fileSecurity, missingParents);
  } catch (...) {
    return InstallFolderVerdict::Unusable;
  }
}

InstallFolderVerdict JudgeFolderBeforeWriting(std::wstring_view folder, FileSecurityApi& fileSecurity) {
  // Judged as the installed version's own folder, which it now is; one still missing was not made
  // as asked.
  const InstallFolderVerdict verdict = JudgeInstallFolder(folder, folder, fileSecurity);
  return verdict == InstallFolderVerdict::Create ? InstallFolderVerdict::Unusable : verdict;
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
