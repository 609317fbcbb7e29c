#pragma once
// The program's registry access class: keys named by one path string with the root at its start
// ("HKEY_LOCAL_MACHINE\..." or "HKLM\..."), values read and written as plain values, and every
// registry failure returned as the system's own status, never raised. Only conversion and
// overflow errors (a Text that is no number, a buffer for a size near the 32-bit limit) reach the
// caller as exceptions. No key handle outlives the call that opened it, except those OpenKeyEx
// and OpenKeyQuery hand to their caller.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ansi_code_page.h"
#include "platform/file_api.h"
#include "platform/registry_api.h"
#include "registry/key_path.h"
#include "registry/keyed_collection.h"
#include "registry/variant.h"

namespace varnlet::registry {

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Access rights the class asks for.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Statuses the class itself decides on.
inline constexpr RegStatus kErrorSuccess = 0;
inline constexpr RegStatus kErrorFileNotFound = 2;
inline constexpr RegStatus kErrorAccessDenied = 5;

class cQueryReg {
 public:
  // Reads the user's logon name once.
  cQueryReg(platform::RegistryApi& api, platform::FileApi& files, const platform::AnsiCodePage& ansi);
  cQueryReg(const cQueryReg&) = delete;
  cQueryReg& operator=(const cQueryReg&) = delete;
  ~cQueryReg();

  // Makes sure the key exists; a path without a root goes to HKEY_CLASSES_ROOT.
  RegStatus CreateKey(std::wstring sKey);
  // True when the key can be opened for reading; a path without a root goes to HKEY_LOCAL_MACHINE.
  bool ExistKey(std::wstring sKey);
  /// Obtener un valor DWORD de una entrada del registro
  Variant GetRegDWord(std::wstring sKey, std::wstring sValue = L"", RegKey hKey = kHkeyCurrentUser,
                      bool bAsString = false);
  // Any value, converted by its type; Empty when there is none.
  Variant GetReg(std::wstring sKey, std::wstring sValue = L"", RegKey hKey = kHkeyCurrentUser, bool bAsString = false);
  // The value's type; 0 when there is none.
  std::uint32_t GetRegType(std::wstring sKey, std::wstring sValue, RegKey hKey = kHkeyCurrentUser);
  /// Obtener un valor BINARY de una entrada del registro
  Variant GetRegBinary(std::wstring sKey, std::wstring sValue = L"", RegKey hKey = kHkeyCurrentUser,
                       bool bAsString = false);
  /// Obtener un valor STRING de una entrada del registro
  std::wstring GetRegString(std::wstring sKey, std::wstring sValue = L"", RegKey hKey = kHkeyCurrentUser);
  // The default value of the subkey sValue of the root hKey, as text; "" when it has none.
  std::wstring QueryRegBase(std::wstring sValue, RegKey hKey = kHkeyClassesRoot);
  /// Abre una clave del registro, en phkResult devuelve el handle de la clave abierta y se usará para los siguientes accesos.
  RegStatus OpenKeyEx(RegKey hKey, std::wstring lpSubKey, std::uint32_t ulOptions, std::uint32_t samDesired,
                      RegKey& phkResult);
  /// Llama a la función del API RegOpenKeyEx
  RegStatus OpenKeyQuery(RegKey hKey, std::wstring lpSubKey, std::uint32_t ulOptions, std::uint32_t samDesired,
                         RegKey& phkResult);
  /// Cierra la clave abierta anteriormente
  RegStatus CloseKey(RegKey hKey);
  /// Llama a la función del API RegSetValueEx
  RegStatus RegSetValue2(RegKey hKey, std::wstring lpSubKey, std::uint32_t dwType, std::wstring& lpData,
                         std::uint32_t cbData);
  /// Borra claves del registro, sólo para Windows 95, no funciona en NT ni en Windows 98
  RegStatus DeleteKeyWin95(RegKey hKey, std::wstring szKey);
  /// Asignar un valor de cualquier tipo
  RegStatus SetReg(std::wstring sKey, std::wstring sName, const Variant& vValue, RegKey hKey = kHkeyCurrentUser,
                   std::uint32_t RegDataType = kRegSz, bool bCreateKey = true);
  // Without a value name: the key with everything below it. With one: only that value.
  RegStatus DeleteKey(std::wstring sKey, std::wstring sValue = L"", RegKey hKey = kHkeyCurrentUser);
  // One value; an empty name does nothing and returns 0.
  RegStatus DeleteValue(std::wstring sKey, std::wstring sValue, RegKey hKey = kHkeyCurrentUser);
  // The logon name read at construction.
  std::wstring UserName() const;

 private:
  // An opened key and what the probe found of one value in it.
  struct Probe;

  RegKey ResolveRootKey(std::wstring& sKey, RegKey hKey) const;
  RegStatus DeleteKeyTree(RegKey hKey, std::wstring sKey);
  std::wstring BufferToText(std::wstring_view sBuffer, bool bMultiString) const;

  Probe OpenAndProbe(std::wstring sKey, const std::wstring& sValue, RegKey hKey);
  // Reads `size` bytes of the probed value; the status is not looked at.
  std::string ReadBytes(const Probe& probe, const std::string& name) const;
  RegStatus OpenKey(RegKey root, const std::wstring& subkey, std::uint32_t access, RegKey& key);
  RegStatus DeleteNamedValue(RegKey root, const std::wstring& subkey, const std::wstring& sValue);
  std::string Ansi(std::wstring_view text) const { return ansi_.ToAnsi(text); }
  std::wstring Wide(std::string_view text) const { return ansi_.FromAnsi(text); }

  platform::RegistryApi& api_;
  platform::FileApi& files_;
  const platform::AnsiCodePage& ansi_;

  std::shared_ptr<KeyedCollection> colFolders;
  std::wstring sUserName;
};

}  // namespace varnlet::registry
