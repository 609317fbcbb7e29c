#pragma once
// The registry calls the registry class makes, one virtual per system call, in their ANSI forms
// and with the system's arguments, buffer sizes and results. Pointers stay pointers, because a
// null pointer means something to the system. The Win32 adapter forwards; tests pass an
// in-memory registry.
#include <cstdint>

#include "platform/system_errors.h"

namespace varnlet::platform {

// A predefined root (0x80000000..0x80000006) or an opened key, as a 32-bit value; 0 is none.
using RegKey = std::uint32_t;
// The system's result number: 0 on success, otherwise a Windows error code (system_errors.h).
using RegStatus = std::int32_t;

// A FILETIME: 100-ns intervals since 1601.
struct FileTime {
  std::uint32_t dwLowDateTime = 0;
  std::uint32_t dwHighDateTime = 0;
};

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  virtual RegStatus RegOpenKeyExA(RegKey hKey, const char* lpSubKey, std::uint32_t ulOptions, std::uint32_t samDesired,
                                  RegKey* phkResult) = 0;
  virtual RegStatus RegCreateKeyA(RegKey hKey, const char* lpSubKey, RegKey* phkResult) = 0;
  virtual RegStatus RegCloseKey(RegKey hKey) = 0;
  // lpcbData is a LONG in the system's declaration.
  virtual RegStatus RegQueryValueA(RegKey hKey, const char* lpSubKey, char* lpData, std::int32_t* lpcbData) = 0;
  virtual RegStatus RegQueryValueExA(RegKey hKey, const char* lpValueName, std::uint32_t* lpReserved,
                                     std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) = 0;
  virtual RegStatus RegSetValueA(RegKey hKey, const char* lpSubKey, std::uint32_t dwType, const char* lpData,
                                 std::uint32_t cbData) = 0;
  virtual RegStatus RegSetValueExA(RegKey hKey, const char* lpValueName, std::uint32_t Reserved, std::uint32_t dwType,
                                   const std::uint8_t* lpData, std::uint32_t cbData) = 0;
  virtual RegStatus RegDeleteValueA(RegKey hKey, const char* lpValueName) = 0;
  virtual RegStatus RegDeleteKeyA(RegKey hKey, const char* lpSubKey) = 0;
  virtual RegStatus RegEnumKeyExA(RegKey hKey, std::uint32_t dwIndex, char* lpName, std::uint32_t* lpcchName,
                                  std::uint32_t* lpReserved, char* lpClass, std::uint32_t* lpcchClass,
                                  FileTime* lpftLastWriteTime) = 0;
  virtual RegStatus RegEnumValueA(RegKey hKey, std::uint32_t dwIndex, char* lpValueName, std::uint32_t* lpcchValueName,
                                  std::uint32_t* lpReserved, std::uint32_t* lpType, std::uint8_t* lpData,
                                  std::uint32_t* lpcbData) = 0;
  virtual RegStatus RegQueryInfoKeyA(RegKey hKey, char* lpClass, std::uint32_t* lpcchClass, std::uint32_t* lpReserved,
                                     std::uint32_t* lpcSubKeys, std::uint32_t* lpcbMaxSubKeyLen,
                                     std::uint32_t* lpcbMaxClassLen, std::uint32_t* lpcValues,
                                     std::uint32_t* lpcbMaxValueNameLen, std::uint32_t* lpcbMaxValueLen,
                                     std::uint32_t* lpcbSecurityDescriptor, FileTime* lpftLastWriteTime) = 0;
  // lpSecurityAttributes is always null here; the parameter stays for the call's shape.
  virtual RegStatus RegSaveKeyA(RegKey hKey, const char* lpFile, const void* lpSecurityAttributes) = 0;
  // advapi32 as well: nonzero on success; pcbBuffer counts characters with the NUL.
  virtual bool GetUserNameA(char* lpBuffer, std::uint32_t* pcbBuffer) = 0;
};

}  // namespace varnlet::platform
