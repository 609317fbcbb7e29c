#include "app/autostart_trust.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace varnlet::app {
namespace {

using platform::AceKind;
using platform::FileSecurity;

constexpr std::array<std::wstring_view, 3> kTrustedSids = {
    L"S-1-5-32-544",                                                    // Administrators
    L"S-1-5-18",                                                        // SYSTEM
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

// File and folder rights, and the generic ones an entry may carry unmapped.
constexpr std::uint32_t kWriteData = 0x0002;       // a folder: add a file
constexpr std::uint32_t kAppendData = 0x0004;      // a folder: add a subfolder
constexpr std::uint32_t kDeleteChild = 0x0040;     // a folder: delete or rename what it holds
constexpr std::uint32_t kDelete = 0x00010000;      // delete or rename the object itself
constexpr std::uint32_t kWriteDac = 0x00040000;    // re-permission
constexpr std::uint32_t kWriteOwner = 0x00080000;  // take ownership, then re-permission
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;

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

bool IsTrusted(std::wstring_view sid) {
  return std::ranges::any_of(kTrustedSids, [&](std::wstring_view trusted) { return sid == trusted; });
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

bool OnlyAdministratorsMayChange(const FileSecurity& security, PathPart part) {
  // The owner may always re-permission the object, whatever the list says.
  if (!IsTrusted(security.owner)) return false;
  if (!security.hasDacl) return false;
  const std::uint32_t dangerous = DangerousRights(part);
  return std::ranges::none_of(security.dacl, [&](const platform::AccessEntry& entry) {
    return entry.kind == AceKind::Allowed && (entry.flags & platform::kInheritOnlyAce) == 0 &&
           (entry.mask & dangerous) != 0 && !IsTrusted(entry.sid);
  });
}

ExecutableTrust JudgeRunValueTarget(std::wstring_view exePath, platform::FileApi& files) {
  constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
  if (exePath.starts_with(kLongPrefix)) exePath.remove_prefix(kLongPrefix.size());
  // "\\server\share\..." and "\\?\UNC\server\share\..."; also any other device path.
  if (exePath.starts_with(L"\\") || exePath.starts_with(L"UNC\\")) return ExecutableTrust::NotLocal;
  if (exePath.size() < 4 || !IsDriveLetter(exePath[0]) || exePath[1] != L':' || exePath[2] != L'\\') {
    return ExecutableTrust::Unknown;
  }
  // Every name on the path is a real entry: no empty one, no "." or "..", no NUL to cut it short.
  std::wstring_view rest = exePath.substr(3);
  for (std::size_t start = 0; start <= rest.size();) {
    const std::size_t end = std::min(rest.find(L'\\', start), rest.size());
    const std::wstring_view name = rest.substr(start, end - start);
    if (name.empty() || name == L"." || name == L".." || name.find(L'\0') != std::wstring_view::npos) {
      return ExecutableTrust::Unknown;
    }
    start = end + 1;
  }
  try {
    const std::wstring root(exePath.substr(0, 3));
    if (files.GetDriveTypeW(root.c_str()) != platform::kDriveFixed) return ExecutableTrust::NotLocal;
    std::wstring object(exePath);
    PathPart part = PathPart::File;
    for (;;) {
      platform::FileSecurity security;
      if (files.GetNamedSecurityInfoW(object.c_str(), security) != 0) return ExecutableTrust::Unknown;
      if (!OnlyAdministratorsMayChange(security, part)) return ExecutableTrust::WritableByOthers;
      if (object.size() == root.size()) return ExecutableTrust::Trusted;
      const std::size_t slash = object.find_last_of(L'\\');
      // The root keeps its backslash: "C:\".
      object.resize(slash == 2 ? 3 : slash);
      part = part == PathPart::File ? PathPart::OwnFolder : PathPart::Ancestor;
    }
  } catch (...) {
    return ExecutableTrust::Unknown;
  }
}

}  // namespace varnlet::app
