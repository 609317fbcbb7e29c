// Feeds ResolveRootKey any path and root value and checks what must hold for every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "registry/key_path.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnlet::registry;
  if (size < 4) return 0;
  const RegKey hKey = static_cast<RegKey>(data[0]) | static_cast<RegKey>(data[1]) << 8 |
                      static_cast<RegKey>(data[2]) << 16 | static_cast<RegKey>(data[3]) << 24;
  std::wstring path;
  // Two bytes a character, so any character can appear, "HKEY_" and backslashes included.
  for (std::size_t i = 4; i + 1 < size; i += 2) path.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
  const std::wstring original = path;
  const RegKey root = ResolveRootKey(path, hKey);

  // The subkey is always the end of the original path.
  Require(path.size() <= original.size());
  Require(original.find(path) != std::wstring::npos);
  // Only a path that begins with a backslash and holds "HKEY_" passes hKey on unchecked.
  if (!IsPredefinedRoot(root)) Require(root == hKey && original.find(L"HKEY_") != std::wstring::npos);
  // Resolving is idempotent on a path without any root in it.
  if (original.find(L"HKEY_") == std::wstring::npos && root == CheckRoot(hKey) && path == original) {
    std::wstring again = path;
    Require(ResolveRootKey(again, hKey) == root);
  }
  return 0;
}
