#pragma once
// The program's registry access class: keys named by one path string with the root at its start
// ("HKEY_LOCAL_MACHINE\..." or "HKLM\..."), values read and written as plain values, and every
// registry failure returned as the system's own status, never raised. Only conversion and
// overflow errors (a Text that is no number, a buffer for a size near the 32-bit limit) reach the
// caller as exceptions. No key handle outlives the call that opened it, except those OpenKeyEx
// and OpenKeyQuery hand to their caller.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

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
using platform::kErrorAccessDenied;
using platform::kErrorFileNotFound;
using platform::kErrorPathNotFound;
using platform::kErrorSuccess;

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
  // The class id registered for a ProgID; "" when there is none.
  std::wstring ClassCLSID(const std::wstring& sClass);
  // The type library id of a ProgID's class; "" when there is none.
  std::wstring ClassTypeLib(const std::wstring& sClass);
  /// Obtener un valor DWORD de una entrada del registro
  Variant GetRegDWord(std::wstring sKey, const std::wstring& sValue = L"", RegKey hKey = kHkeyCurrentUser,
                      bool bAsString = false);
  // Any value, converted by its type; Empty when there is none.
  Variant GetReg(std::wstring sKey, const std::wstring& sValue = L"", RegKey hKey = kHkeyCurrentUser,
                 bool bAsString = false);
  // The value's type; 0 when there is none.
  std::uint32_t GetRegType(std::wstring sKey, const std::wstring& sValue, RegKey hKey = kHkeyCurrentUser);
  /// Obtener un valor BINARY de una entrada del registro
  Variant GetRegBinary(std::wstring sKey, const std::wstring& sValue = L"", RegKey hKey = kHkeyCurrentUser,
                       bool bAsString = false);
  /// Obtener un valor STRING de una entrada del registro
  std::wstring GetRegString(std::wstring sKey, const std::wstring& sValue = L"", RegKey hKey = kHkeyCurrentUser);
  // The default value of the subkey sValue of the root hKey, as text; "" when it has none.
  std::wstring QueryRegBase(const std::wstring& sValue, RegKey hKey = kHkeyClassesRoot);
  /// Abre una clave del registro, en phkResult devuelve el handle de la clave abierta y se usará para los siguientes
  /// accesos.
  RegStatus OpenKeyEx(RegKey hKey, const std::wstring& lpSubKey, std::uint32_t ulOptions, std::uint32_t samDesired,
                      RegKey& phkResult);
  /// Llama a la función del API RegOpenKeyEx
  RegStatus OpenKeyQuery(RegKey hKey, const std::wstring& lpSubKey, std::uint32_t ulOptions, std::uint32_t samDesired,
                         RegKey& phkResult);
  /// Llama a la función del API RegEnumValue
  RegStatus EnumValueString(RegKey hKey, std::uint32_t dwIndex, std::wstring& lpValueName, std::uint32_t& lpcbValueName,
                            std::uint32_t lpReserved, std::uint32_t& lpType, std::wstring& lpData,
                            std::uint32_t& lpcbData);
  /// Llama a la función del API RegEnumValue
  RegStatus EnumValue(RegKey hKey, std::uint32_t dwIndex, std::wstring& lpValueName, std::uint32_t& lpcbValueName,
                      std::uint32_t lpReserved, std::uint32_t& lpType, std::span<std::uint8_t> lpData,
                      std::uint32_t& lpcbData);
  /// Cierra la clave abierta anteriormente
  RegStatus CloseKey(RegKey hKey);
  /// Llama a la función del API RegQueryInfoKey
  RegStatus QueryInfoKey(RegKey hKey, std::uint32_t& lpcbMaxValueNameLen);
  /// Llama a la función del API RegEnumKeyEx
  RegStatus EnumKeyEx(RegKey hKey, std::uint32_t dwIndex, std::wstring& lpName, std::uint32_t& lpcbName);
  /// Devolverá las claves de la clave Shell Folders
  std::shared_ptr<KeyedCollection> ShellFolders(bool bSoloClaves = false, bool Usuario = true);
  /// Devuelve el directorio de la clave indicada
  std::wstring GetFolder(const Variant& vIndex);
  /// Llama a la función del API RegSetValueEx
  RegStatus RegSetValue2(RegKey hKey, const std::wstring& lpSubKey, std::uint32_t dwType, std::wstring& lpData,
                         std::uint32_t cbData);
  // Ties an extension to a ProgID and gives the ProgID a shell verb with a command line.
  void AsociarExt(const std::wstring& sExt, const std::wstring& sExe = L"", std::wstring sCommand = L"open",
                  bool bDefault = true, std::wstring sProgId = L"", std::wstring sDescription = L"");
  // Sets the icon of the extension's ProgID, or removes it when sExe is empty.
  void AsociarIcono(const std::wstring& sExt, const std::wstring& sExe = L"", std::int32_t Icono = 0);
  /// Borra claves del registro, sólo para Windows 95, no funciona en NT ni en Windows 98
  RegStatus DeleteKeyWin95(RegKey hKey, const std::wstring& szKey);
  /// Desasociar una extensión, borrar las entradas que haya en el registro
  void DesasociarExt(const std::wstring& sExt);
  /// Asignar un valor de cualquier tipo
  RegStatus SetReg(std::wstring sKey, const std::wstring& sName, const Variant& vValue, RegKey hKey = kHkeyCurrentUser,
                   std::uint32_t RegDataType = kRegSz, bool bCreateKey = true);
  // Without a value name: the key with everything below it. With one: only that value.
  RegStatus DeleteKey(std::wstring sKey, const std::wstring& sValue = L"", RegKey hKey = kHkeyCurrentUser);
  // One value; an empty name does nothing and returns 0.
  RegStatus DeleteValue(std::wstring sKey, const std::wstring& sValue, RegKey hKey = kHkeyCurrentUser);
  /// Enumera todas las subclaves de la clave indicada
  bool EnumKeys(std::vector<std::wstring>& colKeys, std::wstring sKey);
  // ("(Default)", default value text), then a name and a text per value; element 0 stays empty.
  bool EnumValues(std::vector<std::wstring>& colKeys, std::wstring sKey);
  // As EnumValues, for one type; type 1 takes the three string types.
  bool EnumValuesByType(std::vector<std::wstring>& colKeys, std::wstring sKey, std::uint32_t tDT = kRegSz);
  /// Guarda en un fichero el contenido de una clave con sus subclaves y datos, el formato no es el habitual de RegEdit
  RegStatus RegSaveKey(std::wstring sKey, const std::wstring& lpFile);
  // Deletes the ProgID, class id and type library keys of a class.
  RegStatus UnRegister(const std::wstring& sClass);
  // The logon name read at construction.
  std::wstring UserName() const;

 private:
  // An opened key and what the probe found of one value in it.
  struct Probe;

  static RegKey ResolveRootKey(std::wstring& sKey, RegKey hKey);
  RegStatus DeleteKeyTree(RegKey hKey, const std::wstring& sKey);
  static std::wstring BufferToText(std::wstring_view sBuffer, bool bMultiString);

  Probe OpenAndProbe(std::wstring sKey, const std::wstring& sValue, RegKey hKey);
  // Reads `size` bytes of the probed value; the status is not looked at.
  std::string ReadBytes(const Probe& probe, const std::string& name) const;
  RegStatus OpenKey(RegKey root, const std::wstring& subkey, std::uint32_t access, RegKey& key);
  RegStatus DeleteNamedValue(RegKey root, const std::wstring& subkey, const std::wstring& sValue);
  // EnumValueString and EnumValue: the data goes to a byte area of the caller's.
  RegStatus EnumValueInto(RegKey hKey, std::uint32_t dwIndex, std::wstring& lpValueName, std::uint32_t& lpcbValueName,
                          std::uint32_t lpReserved, std::uint32_t& lpType, std::span<std::uint8_t> data,
                          std::uint32_t& lpcbData);
  // EnumValues and EnumValuesByType; `filter` is the type asked for, or none.
  bool EnumValuesFiltered(std::vector<std::wstring>& colKeys, std::wstring sKey, const std::uint32_t* filter);
  // The text of the value at `index`, read as its type asks; false when the value is left out.
  bool ReadEnumeratedValue(RegKey key, std::uint32_t index, std::uint32_t type, std::string& name, std::size_t dataSize,
                           std::wstring& text);
  // A directory call's answer, as the system writes it into a 300-character buffer.
  std::wstring SystemDirectory(std::uint32_t (platform::FileApi::*call)(char*, std::uint32_t));
  // Writes text as the default value of hKey\subkey with RegSetValueA; the status is not used.
  void SetDefaultText(RegKey hKey, const std::wstring& subkey, const std::wstring& text);
  std::string Ansi(std::wstring_view text) const { return ansi_.ToAnsi(text); }
  std::wstring Wide(std::string_view text) const { return ansi_.FromAnsi(text); }

  platform::RegistryApi& api_;
  platform::FileApi& files_;
  const platform::AnsiCodePage& ansi_;

  std::shared_ptr<KeyedCollection> colFolders;
  std::wstring sUserName;
};

}  // namespace varnlet::registry
