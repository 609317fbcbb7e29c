#include "registry/key_path.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace varnlet::registry {
namespace {

struct RootName {
  std::wstring_view fullName;
  std::wstring_view abbreviation;
  RegKey handle;
};

// In the order the abbreviations are tried.
constexpr std::array<RootName, 7> kRoots{{
    {L"HKEY_CLASSES_ROOT", L"HKCR\\", kHkeyClassesRoot},
    {L"HKEY_CURRENT_USER", L"HKCU\\", kHkeyCurrentUser},
    {L"HKEY_LOCAL_MACHINE", L"HKLM\\", kHkeyLocalMachine},
    {L"HKEY_USERS", L"HKU\\", kHkeyUsers},
    {L"HKEY_CURRENT_CONFIG", L"HKCC\\", kHkeyCurrentConfig},
    {L"HKEY_DYN_DATA", L"HKDD\\", kHkeyDynData},
    {L"HKEY_PERFORMANCE_DATA", L"HKPD\\", kHkeyPerformanceData},
}};

RegKey RootByName(std::wstring_view name) {
  const auto* root = std::find_if(kRoots.begin(), kRoots.end(), [&](const RootName& r) { return r.fullName == name; });
  return root != kRoots.end() ? root->handle : kHkeyClassesRoot;
}

}  // namespace

RegKey ResolveRootKey(std::wstring& path, RegKey hKey) {
  const std::size_t first = path.find_first_not_of(L' ');
  if (first == std::wstring::npos) {
    path.clear();
  } else {
    path = path.substr(first, path.find_last_not_of(L' ') - first + 1);
  }
  if (!path.empty() && path.back() == L'\\') path.pop_back();

  if (path.find(L"HKEY_") != std::wstring::npos) {
    const std::size_t slash = path.find(L'\\');
    const std::wstring rootName = path.substr(0, slash);
    path = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
    // A path that begins with a backslash names no root: hKey is taken as it is.
    return rootName.empty() ? hKey : RootByName(rootName);
  }
  for (const RootName& root : kRoots) {
    if (path.starts_with(root.abbreviation)) {
      path.erase(0, root.abbreviation.size());
      return root.handle;
    }
  }
  return CheckRoot(hKey);
}

bool NamesNoSubkey(std::wstring_view subkey) { return subkey.find_first_not_of(L'\\') == std::wstring_view::npos; }

}  // namespace varnlet::registry
