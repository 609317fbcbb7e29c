#pragma once
// Wraps a registry and counts the key handles it hands out and gets back, so a test sees a leak
// on the real registry exactly as on the in-memory one.
#include <set>

#include "platform/registry_api.h"

namespace varnlet::contract {

class CountingRegistry final : public platform::RegistryApi {
 public:
  explicit CountingRegistry(platform::RegistryApi& inner) : inner_(inner) {}

  std::size_t openHandles() const { return open_.size(); }

  platform::RegStatus RegOpenKeyExA(platform::RegKey hKey, const char* lpSubKey, std::uint32_t ulOptions,
                                    std::uint32_t samDesired, platform::RegKey* phkResult) override;
  platform::RegStatus RegCreateKeyA(platform::RegKey hKey, const char* lpSubKey, platform::RegKey* phkResult) override;
  platform::RegStatus RegCloseKey(platform::RegKey hKey) override;
  platform::RegStatus RegQueryValueA(platform::RegKey hKey, const char* lpSubKey, char* lpData,
                                     std::int32_t* lpcbData) override {
    return inner_.RegQueryValueA(hKey, lpSubKey, lpData, lpcbData);
  }
  platform::RegStatus RegQueryValueExA(platform::RegKey hKey, const char* lpValueName, std::uint32_t* lpReserved,
                                       std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) override {
    return inner_.RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
  }
  platform::RegStatus RegSetValueA(platform::RegKey hKey, const char* lpSubKey, std::uint32_t dwType,
                                   const char* lpData, std::uint32_t cbData) override {
    return inner_.RegSetValueA(hKey, lpSubKey, dwType, lpData, cbData);
  }
  platform::RegStatus RegSetValueExA(platform::RegKey hKey, const char* lpValueName, std::uint32_t Reserved,
                                     std::uint32_t dwType, const std::uint8_t* lpData, std::uint32_t cbData) override {
    return inner_.RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
  }
  platform::RegStatus RegDeleteValueA(platform::RegKey hKey, const char* lpValueName) override {
    return inner_.RegDeleteValueA(hKey, lpValueName);
  }
  platform::RegStatus RegDeleteKeyA(platform::RegKey hKey, const char* lpSubKey) override {
    return inner_.RegDeleteKeyA(hKey, lpSubKey);
  }
  platform::RegStatus RegEnumKeyExA(platform::RegKey hKey, std::uint32_t dwIndex, char* lpName,
                                    std::uint32_t* lpcchName, std::uint32_t* lpReserved, char* lpClass,
                                    std::uint32_t* lpcchClass, platform::FileTime* lpftLastWriteTime) override {
    return inner_.RegEnumKeyExA(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass, lpftLastWriteTime);
  }
  platform::RegStatus RegEnumValueA(platform::RegKey hKey, std::uint32_t dwIndex, char* lpValueName,
                                    std::uint32_t* lpcchValueName, std::uint32_t* lpReserved, std::uint32_t* lpType,
                                    std::uint8_t* lpData, std::uint32_t* lpcbData) override {
    return inner_.RegEnumValueA(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData, lpcbData);
  }
  platform::RegStatus RegQueryInfoKeyA(platform::RegKey hKey, char* lpClass, std::uint32_t* lpcchClass,
                                       std::uint32_t* lpReserved, std::uint32_t* lpcSubKeys,
                                       std::uint32_t* lpcbMaxSubKeyLen, std::uint32_t* lpcbMaxClassLen,
                                       std::uint32_t* lpcValues, std::uint32_t* lpcbMaxValueNameLen,
                                       std::uint32_t* lpcbMaxValueLen, std::uint32_t* lpcbSecurityDescriptor,
                                       platform::FileTime* lpftLastWriteTime) override {
    return inner_.RegQueryInfoKeyA(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                                   lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor,
                                   lpftLastWriteTime);
  }
  platform::RegStatus RegSaveKeyA(platform::RegKey hKey, const char* lpFile,
                                  const void* lpSecurityAttributes) override {
    return inner_.RegSaveKeyA(hKey, lpFile, lpSecurityAttributes);
  }
  bool GetUserNameA(char* lpBuffer, std::uint32_t* pcbBuffer) override {
    return inner_.GetUserNameA(lpBuffer, pcbBuffer);
  }

 private:
  void Opened(platform::RegStatus status, const platform::RegKey* result);

  platform::RegistryApi& inner_;
  std::multiset<platform::RegKey> open_;
};

}  // namespace varnlet::contract
