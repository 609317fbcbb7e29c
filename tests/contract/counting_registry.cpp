#include "contract/counting_registry.h"

namespace varnlet::contract {
namespace {
bool IsPredefined(platform::RegKey key) { return key >= 0x80000000u && key <= 0x80000006u; }
}  // namespace

void CountingRegistry::Opened(platform::RegStatus status, const platform::RegKey* result) {
  // Opening a root with an empty subkey hands back the root itself, which needs no close.
  if (status == 0 && result != nullptr && !IsPredefined(*result)) open_.insert(*result);
}

platform::RegStatus CountingRegistry::RegOpenKeyExA(platform::RegKey hKey, const char* lpSubKey,
                                                    std::uint32_t ulOptions, std::uint32_t samDesired,
                                                    platform::RegKey* phkResult) {
  const platform::RegStatus status = inner_.RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired, phkResult);
  Opened(status, phkResult);
  return status;
}

platform::RegStatus CountingRegistry::RegCreateKeyA(platform::RegKey hKey, const char* lpSubKey,
                                                    platform::RegKey* phkResult) {
  const platform::RegStatus status = inner_.RegCreateKeyA(hKey, lpSubKey, phkResult);
  Opened(status, phkResult);
  return status;
}

platform::RegStatus CountingRegistry::RegCloseKey(platform::RegKey hKey) {
  const platform::RegStatus status = inner_.RegCloseKey(hKey);
  if (status == 0) {
    const auto it = open_.find(hKey);
    if (it != open_.end()) open_.erase(it);
  }
  return status;
}

}  // namespace varnlet::contract
