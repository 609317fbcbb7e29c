#include "trust/autostart_trust.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <string>

#include "base/ascii_case.h"
#include "platform/file_api.h"  // kMaxPath

namespace varnlet::trust {
namespace {

using platform::AceKind;
using platform::FileSecurity;
using platform::kAppendData, platform::kDelete, platform::kDeleteChild, platform::kGenericAll, platform::kGenericWrite,
    platform::kWriteDac, platform::kWriteData, platform::kWriteOwner;

constexpr std::array<std::wstring_view, 3> kTrustedSids = {
    L"S-1-5-32-544",                                                    // Administrators
    L"S-1-5-18",                                                        // SYSTEM
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

constexpr std::uint32_t kAlwaysDangerous = kDelete | kWriteDac | kWriteOwner | kGenericAll | kGenericWrite;

std::uint32_t DangerousRights(PathPart part) {
  switch (part) {
    case PathPart::File:
      return kAlwaysDangerous | kWriteData | kAppendData;
    case PathPart::OwnFolder:
      return kAlwaysDangerous | kWriteData | kAppendData | kDeleteChild;
    case PathPart::Ancestor:
      return kAlwaysDangerous | kDeleteChild;
  }
  return ~std::uint32_t{0};
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 (superscript digits too), CONIN$ and CONOUT$,
// also with an extension: the system opens the device, not a file of that name.
bool IsDeviceName(std::wstring_view name) {
  std::wstring base(name.substr(0, name.find(L'.')));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  std::ranges::transform(base, base.begin(), AsciiUpper<wchar_t>);
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" || base == L"CONOUT$") {
    return true;
  }
  if (base.size() != 4 || (!base.starts_with(L"COM") && !base.starts_with(L"LPT"))) return false;
  const wchar_t digit = base[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' || digit == L'\u00b3';
}

// A name the system reads back as itself on a path without "\\?\".
bool IsOrdinaryName(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L".." || name.back() == L'.' || name.back() == L' ') return false;
  constexpr std::wstring_view kReserved = L"<>:\"/\\|?*";
  for (const wchar_t c : name) {
    if (c < 0x20 || kReserved.find(c) != std::wstring_view::npos) return false;
  }
  return !IsDeviceName(name);
}

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";

bool IsUncPath(std::wstring_view path) {
  return path.starts_with(L"\\\\?\\UNC\\") || (path.starts_with(L"\\\\") && !path.starts_with(kLongPrefix));
}

// Linked when a name on the path, after its root, is a link; Unknown when one cannot be read;
// Trusted otherwise. The path may carry "\\?\", which makes the system take each name literally.
ExecutableTrust NoLinkOnTheWay(std::wstring_view path, platform::FileSecurityApi& fileSecurity) {
  const std::vector<std::wstring> paths = PathsFromTheRoot(path);
  for (std::size_t below = 1; below < paths.size(); ++below) {
    const std::uint32_t attributes = fileSecurity.GetFileAttributesW(paths[below].c_str());
    if (attributes == platform::kInvalidFileAttributes) return ExecutableTrust::Unknown;
    if ((attributes & platform::kFileAttributeReparsePoint) != 0) return ExecutableTrust::Linked;
  }
  return ExecutableTrust::Trusted;
}

// A user account of the machine or the domain ("S-1-5-21-<domain>-<RID>"), as opposed to a group
// every user is in (Users, Authenticated Users, Everyone), a service, or a domain's own groups
// (Domain Users is RID 513). The SID alone does not tell an account made on the machine from a
// group made there; a group made by hand rarely holds rights on a folder of programs.
bool IsUserAccount(std::wstring_view sid) {
  constexpr std::wstring_view kDomain = L"S-1-5-21-";
  if (!sid.starts_with(kDomain)) return false;
  const std::wstring_view rid = sid.substr(sid.find_last_of(L'-') + 1);
  if (rid.empty() || rid.size() > 10 || !std::ranges::all_of(rid, [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
    return false;
  }
  const std::uint64_t number =
      std::accumulate(rid.begin(), rid.end(), std::uint64_t{0},
                      [](std::uint64_t n, wchar_t c) { return n * 10 + static_cast<std::uint64_t>(c - L'0'); });
  // Administrator, Guest, DefaultAccount and WDAGUtilityAccount, then the accounts people make.
  return number >= 1000 || number == 500 || number == 501 || number == 503 || number == 504;
}

// OWNER RIGHTS: an entry for it applies to whoever owns the object.
constexpr std::wstring_view kOwnerRights = L"S-1-3-4";

// Who, besides Administrators, SYSTEM and TrustedInstaller, holds a right on `security` that
// matters for `part` (the owner always may re-permission it): nobody, one user account (a
// profile's folders, and what is unzipped there), or more.
enum class Changers { Administrators, OneAccount, Others };

Changers WhoMayChange(const FileSecurity& security, PathPart part) {
  // No list lets everyone in; no owner is nobody's to keep.
  if (!security.hasDacl || security.owner.empty()) return Changers::Others;
  std::wstring_view account;
  // False when `sid` makes the changers more than administrators and one account.
  const auto mayAlsoChange = [&account](std::wstring_view sid) {
    if (IsAdministrativeOwner(sid)) return true;
    if (!IsUserAccount(sid)) return false;
    if (account.empty()) account = sid;
    return account == sid;
  };
  if (!mayAlsoChange(security.owner)) return Changers::Others;
  const std::uint32_t dangerous = DangerousRights(part);
  for (const platform::AccessEntry& entry : security.dacl) {
    if (entry.kind != AceKind::Allowed || (entry.flags & platform::kInheritOnlyAce) != 0 ||
        (entry.mask & dangerous) == 0) {
      continue;
    }
    if (!mayAlsoChange(entry.sid == kOwnerRights ? std::wstring_view(security.owner) : entry.sid)) {
      return Changers::Others;
    }
  }
  return account.empty() ? Changers::Administrators : Changers::OneAccount;
}

// The verdict on one object of the path, read through a handle on it.
ExecutableTrust JudgeObject(platform::FileSecurityApi& fileSecurity, platform::FileHandle handle, PathPart part) {
  std::uint32_t attributes = 0;
  if (!fileSecurity.GetFileAttributesByHandle(handle, attributes)) return ExecutableTrust::Unknown;
  if ((attributes & platform::kFileAttributeReparsePoint) != 0) return ExecutableTrust::Linked;
  platform::FileSecurity security;
  if (fileSecurity.GetSecurityInfo(handle, security) != 0) return ExecutableTrust::Unknown;
  switch (WhoMayChange(security, part)) {
    case Changers::Administrators:
      return ExecutableTrust::Trusted;
    case Changers::OneAccount:
      return ExecutableTrust::OneUserAccount;
    case Changers::Others:
      break;
  }
  return ExecutableTrust::WritableByOthers;
}

// Of two verdicts on one path, the one its refusal names: a refusal that was seen before one that
// could not be checked, and a user account's own folder only where nothing worse holds.
ExecutableTrust Worse(ExecutableTrust a, ExecutableTrust b) {
  const auto rank = [](ExecutableTrust trust) {
    switch (trust) {
      case ExecutableTrust::Trusted:
        return 0;
      case ExecutableTrust::Unknown:
        return 1;
      case ExecutableTrust::OneUserAccount:
        return 2;
      default:
        return 3;
    }
  };
  return rank(b) > rank(a) ? b : a;
}

bool IsExternalBus(platform::StorageBus bus) {
  using enum platform::StorageBus;
  return bus == Ieee1394 || bus == Usb || bus == Iscsi || bus == Sd || bus == Mmc || bus == FileBackedVirtual;
}

// The disk behind the drive of `path`: one whose medium may be taken out, that may be unplugged, or
// that sits on a bus of disks from outside, is not the machine's, whatever else it reports.
ExecutableTrust JudgeDisk(platform::FileSecurityApi& fileSecurity, const std::wstring& path) {
  const std::wstring volume = L"\\\\.\\" + path.substr(0, 2);
  platform::StorageDeviceDescriptor device;
  if (fileSecurity.QueryStorageDeviceProperty(volume.c_str(), device) != 0) return ExecutableTrust::Unknown;
  platform::StorageHotplugInfo hotplug;
  if (fileSecurity.GetStorageHotplugInfo(volume.c_str(), hotplug) != 0) return ExecutableTrust::Unknown;
  const bool external =
      IsExternalBus(device.busType) || device.removableMedia || hotplug.mediaRemovable || hotplug.deviceHotplug;
  return external ? ExecutableTrust::NotLocal : ExecutableTrust::Trusted;
}

// The path as started: a drive path (perhaps with "\\?\"), every name a real entry.
bool IsDrivePathAsStarted(std::wstring_view given) {
  if (given.starts_with(kLongPrefix)) given.remove_prefix(kLongPrefix.size());
  if (given.size() < 4 || !IsDriveLetter(given[0]) || given[1] != L':' || given[2] != L'\\') return false;
  for (std::size_t start = 3; start <= given.size();) {
    const std::size_t end = std::min(given.find(L'\\', start), given.size());
    const std::wstring_view name = given.substr(start, end - start);
    if (name.empty() || name == L"." || name == L".." || name.find(L'\0') != std::wstring_view::npos) return false;
    start = end + 1;
  }
  return true;
}

// `folder` and every folder above it, then the disk last: a disk that calls itself fixed may still
// be plugged in from outside.
ExecutableTrust JudgeFolders(platform::FileSecurityApi& fileSecurity, const std::wstring& folder, PathPart part) {
  const ExecutableTrust trust = JudgeFolderAndAbove(folder, part, fileSecurity);
  if (trust != ExecutableTrust::Trusted && trust != ExecutableTrust::OneUserAccount) return trust;
  return Worse(trust, JudgeDisk(fileSecurity, folder));
}

std::wstring ParentFolder(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L'\\');
  return path.substr(0, slash == 2 ? 3 : slash);
}

RunValueTarget Judge(std::wstring_view exePath, platform::FileSecurityApi& fileSecurity) {
  if (IsUncPath(exePath)) return {ExecutableTrust::NotLocal, {}};
  if (!IsDrivePathAsStarted(exePath)) return {ExecutableTrust::UnusualPath, {}};
  if (const ExecutableTrust links = NoLinkOnTheWay(exePath, fileSecurity); links != ExecutableTrust::Trusted) {
    return {links, {}};
  }
  // What Windows will run is the object this handle is open on: its final path is what is judged
  // and written.
  const platform::UniqueFileHandle exe = platform::OpenForInspection(fileSecurity, std::wstring(exePath));
  if (!exe) return {};
  const std::wstring finalPath = platform::FinalPathName(fileSecurity, exe.get());
  if (IsUncPath(finalPath)) return {ExecutableTrust::NotLocal, {}};
  if (finalPath.empty()) return {};
  std::optional<std::wstring> path = OrdinaryFinalPath(finalPath);
  if (!path) return {ExecutableTrust::UnusualPath, {}};
  if (const ExecutableTrust links = NoLinkOnTheWay(*path, fileSecurity); links != ExecutableTrust::Trusted) {
    return {links, {}};
  }
  const std::wstring root = path->substr(0, 3);
  if (fileSecurity.GetDriveTypeW(root.c_str()) != platform::kDriveFixed) return {ExecutableTrust::NotLocal, {}};
  ExecutableTrust trust = JudgeObject(fileSecurity, exe.get(), PathPart::File);
  if (trust == ExecutableTrust::Trusted || trust == ExecutableTrust::OneUserAccount) {
    trust = Worse(trust, JudgeFolders(fileSecurity, ParentFolder(*path), PathPart::OwnFolder));
  }
  if (trust != ExecutableTrust::Trusted) return {trust, {}};
  return {ExecutableTrust::Trusted, std::move(*path)};
}

}  // namespace

bool IsAdministrativeOwner(std::wstring_view sid) {
  return std::ranges::any_of(kTrustedSids, [&](std::wstring_view trusted) { return sid == trusted; });
}

bool OnlyAdministratorsMayChange(const FileSecurity& security, PathPart part) {
  return WhoMayChange(security, part) == Changers::Administrators;
}

bool IsOrdinaryDrivePath(std::wstring_view path) {
  if (path.size() < 3 || path.size() >= platform::kMaxPath || !IsDriveLetter(path[0]) || path[1] != L':' ||
      path[2] != L'\\') {
    return false;
  }
  for (std::size_t start = 3; start < path.size();) {
    const std::size_t end = std::min(path.find(L'\\', start), path.size());
    if (!IsOrdinaryName(path.substr(start, end - start))) return false;
    // A path that ends in a backslash ends in an empty name.
    if (end + 1 == path.size()) return false;
    start = end + 1;
  }
  return true;
}

std::optional<std::wstring> OrdinaryFinalPath(std::wstring_view finalPath) {
  if (!finalPath.starts_with(kLongPrefix)) return std::nullopt;
  finalPath.remove_prefix(kLongPrefix.size());
  if (!IsOrdinaryDrivePath(finalPath)) return std::nullopt;
  return std::wstring(finalPath);
}

std::vector<std::wstring> PathsFromTheRoot(std::wstring_view path) {
  const std::size_t root = std::min(path.size(), (path.starts_with(kLongPrefix) ? kLongPrefix.size() : 0) + 3);
  std::vector<std::wstring> paths{std::wstring(path.substr(0, root))};
  for (std::size_t end = root; end < path.size();) {
    end = std::min(path.find(L'\\', end + 1), path.size());
    paths.emplace_back(path.substr(0, end));
  }
  return paths;
}

ExecutableTrust JudgeFolderAndAbove(std::wstring_view folder, PathPart part, platform::FileSecurityApi& fileSecurity) {
  try {
    std::vector<std::wstring> paths = PathsFromTheRoot(folder);
    std::ranges::reverse(paths);
    ExecutableTrust verdict = ExecutableTrust::Trusted;
    for (const std::wstring& path : paths) {
      const platform::UniqueFileHandle handle = platform::OpenForInspection(fileSecurity, path);
      if (!handle) return Worse(verdict, ExecutableTrust::Unknown);
      verdict = Worse(verdict, JudgeObject(fileSecurity, handle.get(), part));
      // A user's own folder is no reason to stop: one above it that others may change is graver.
      if (verdict != ExecutableTrust::Trusted && verdict != ExecutableTrust::OneUserAccount) return verdict;
      part = PathPart::Ancestor;
    }
    return verdict;
  } catch (...) {
    return ExecutableTrust::Unknown;
  }
}

RunValueTarget JudgeRunValueTarget(std::wstring_view exePath, platform::FileSecurityApi& fileSecurity) {
  try {
    return Judge(exePath, fileSecurity);
  } catch (...) {
    return {};
  }
}

ExecutableTrust JudgeRunValueFolder(std::wstring_view folder, platform::FileSecurityApi& fileSecurity) {
  try {
    if (!IsOrdinaryDrivePath(folder)) return ExecutableTrust::UnusualPath;
    if (folder.size() == 3) return ExecutableTrust::Unknown;
    const std::wstring path(folder);
    // Every folder above it exists: one made on the way would inherit what its parent passes on.
    const std::wstring parent = ParentFolder(path);
    if (const ExecutableTrust links = NoLinkOnTheWay(parent, fileSecurity); links != ExecutableTrust::Trusted)
      return links;
    if (fileSecurity.GetDriveTypeW(path.substr(0, 3).c_str()) != platform::kDriveFixed)
      return ExecutableTrust::NotLocal;
    const std::uint32_t attributes = fileSecurity.GetFileAttributesW(path.c_str());
    if (attributes == platform::kInvalidFileAttributes) return JudgeFolders(fileSecurity, parent, PathPart::Ancestor);
    if ((attributes & platform::kFileAttributeReparsePoint) != 0) return ExecutableTrust::Linked;
    return JudgeFolders(fileSecurity, path, PathPart::OwnFolder);
  } catch (...) {
    return ExecutableTrust::Unknown;
  }
}

}  // namespace varnlet::trust
