// cQueryReg's enumeration: the four pass-through wrappers and the three operations that list a
// key's subkeys or values as a string array whose element 0 stays empty.
#include <algorithm>

#include "registry/cQueryReg.h"
#include "registry/query_reg_internal.h"
#include "registry/text_formats.h"
#include "registry/unique_key.h"

namespace varnlet::registry {
namespace {

using detail::BufferSize;
using detail::Bytes;

using platform::kErrorInvalidParameter;
using platform::kErrorMoreData;

// The caller's size, but never more than the buffer it handed over holds.
std::uint32_t Clamp(std::uint32_t announced, std::size_t held) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(announced, held));
}

// Whether EnumValuesByType takes a value: its own type, or any string type for REG_SZ.
bool TypeMatches(std::uint32_t type, std::uint32_t tDT) {
  return type == tDT || (tDT == kRegSz && (type == kRegExpandSz || type == kRegMultiSz));
}

}  // namespace

RegStatus cQueryReg::EnumValueInto(RegKey hKey, std::uint32_t dwIndex, std::wstring& lpValueName,
                                   std::uint32_t& lpcbValueName, std::uint32_t lpReserved, std::uint32_t& lpType,
                                   std::span<std::uint8_t> data, std::uint32_t& lpcbData) {
  std::string name = Ansi(lpValueName);
  std::uint32_t nameSize = Clamp(lpcbValueName, name.size());
  std::uint32_t dataSize = Clamp(lpcbData, data.size());
  // The system takes a non-null reserved pointer as an invalid parameter; it never gets the
  // caller's number as an address.
  std::uint32_t reserved = 0;
  const RegStatus status = api_.RegEnumValueA(hKey, dwIndex, name.data(), &nameSize,
                                              lpReserved != 0 ? &reserved : nullptr, &lpType, data.data(), &dataSize);
  // The caller's size variables are the call's own: they get what it left, whatever that is.
  lpcbValueName = nameSize;
  lpcbData = dataSize;
  lpValueName = Wide(name);
  return status;
}

RegStatus cQueryReg::EnumValueString(RegKey hKey, std::uint32_t dwIndex, std::wstring& lpValueName,
                                     std::uint32_t& lpcbValueName, std::uint32_t lpReserved, std::uint32_t& lpType,
                                     std::wstring& lpData, std::uint32_t& lpcbData) {
  std::string data = Ansi(lpData);
  const RegStatus status = EnumValueInto(hKey, dwIndex, lpValueName, lpcbValueName, lpReserved, lpType,
                                         std::span(Bytes(data), data.size()), lpcbData);
  lpData = Wide(data);
  return status;
}

RegStatus cQueryReg::EnumValue(RegKey hKey, std::uint32_t dwIndex, std::wstring& lpValueName,
                               std::uint32_t& lpcbValueName, std::uint32_t lpReserved, std::uint32_t& lpType,
                               std::span<std::uint8_t> lpData, std::uint32_t& lpcbData) {
  return EnumValueInto(hKey, dwIndex, lpValueName, lpcbValueName, lpReserved, lpType, lpData, lpcbData);
}

RegStatus cQueryReg::QueryInfoKey(RegKey hKey, std::uint32_t& lpcbMaxValueNameLen) {
  std::uint32_t subkeys = 0;
  std::uint32_t longestSubkey = 0;
  std::uint32_t longestClass = 0;
  std::uint32_t values = 0;
  std::uint32_t longestData = 0;
  std::uint32_t securityDescriptor = 0;
  platform::FileTime written;
  return api_.RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, &longestClass, &values,
                               &lpcbMaxValueNameLen, &longestData, &securityDescriptor, &written);
}

RegStatus cQueryReg::EnumKeyEx(RegKey hKey, std::uint32_t dwIndex, std::wstring& lpName, std::uint32_t& lpcbName) {
  std::string name = Ansi(lpName);
  std::uint32_t nameSize = Clamp(lpcbName, name.size());
  const std::uint32_t announced = nameSize;
  platform::FileTime written;
  const RegStatus status =
      api_.RegEnumKeyExA(hKey, dwIndex, name.data(), &nameSize, nullptr, nullptr, nullptr, &written);
  // The system writes the size back only on some paths; the caller's variable changes only when
  // the system changed the clamped copy.
  if (nameSize != announced) lpcbName = nameSize;
  lpName = Wide(name);
  return status;
}

bool cQueryReg::EnumKeys(std::vector<std::wstring>& colKeys, std::wstring sKey) {
  colKeys.assign(1, std::wstring());
  const RegKey root = ResolveRootKey(sKey, 0);
  RegKey opened = 0;
  if (OpenKey(root, sKey, kKeyRead, opened) != kErrorSuccess) return false;
  const UniqueKey key(api_, opened);
  std::uint32_t subkeys = 0;
  std::uint32_t longestName = 0;
  api_.RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, &longestName, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr);
  // Twice the longest name leaves room for names that grow while we enumerate.
  const std::size_t nameSize = BufferSize(std::uint64_t{longestName} * 2);
  platform::FileTime written;
  // One index past the last subkey, which ends the enumeration. An index that fails (even with
  // "no more items", when a subkey went meanwhile) is skipped, and the next one is read.
  for (std::uint64_t index = 0; index <= subkeys; ++index) {
    std::string name(nameSize + 1, '\0');
    auto size = static_cast<std::uint32_t>(nameSize);
    const RegStatus status = api_.RegEnumKeyExA(key.get(), static_cast<std::uint32_t>(index), name.data(), &size,
                                                nullptr, nullptr, nullptr, &written);
    if (status == kErrorSuccess || status == kErrorMoreData) {
      colKeys.push_back(Wide(std::string_view(name).substr(0, std::min<std::size_t>(size, nameSize))));
    }
  }
  return true;
}

bool cQueryReg::EnumValues(std::vector<std::wstring>& colKeys, std::wstring sKey) {
  return EnumValuesFiltered(colKeys, std::move(sKey), nullptr);
}

bool cQueryReg::EnumValuesByType(std::vector<std::wstring>& colKeys, std::wstring sKey, std::uint32_t tDT) {
  return EnumValuesFiltered(colKeys, std::move(sKey), &tDT);
}

bool cQueryReg::EnumValuesFiltered(std::vector<std::wstring>& colKeys, std::wstring sKey, const std::uint32_t* filter) {
  const RegKey root = ResolveRootKey(sKey, 0);
  RegKey opened = 0;
  const RegStatus openStatus = OpenKey(root, sKey, kKeyRead, opened);
  const UniqueKey key(api_, opened);
  // The default value's pair comes first, also for a key that cannot be opened.
  colKeys.assign({std::wstring(), L"(Default)", QueryRegBase(sKey, root)});
  if (openStatus != kErrorSuccess) return false;

  std::uint32_t values = 0;
  std::uint32_t longestName = 0;
  std::uint32_t longestData = 0;
  if (api_.RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &longestName,
                            &longestData, nullptr, nullptr) == kErrorInvalidParameter) {
    return false;
  }
  const std::size_t nameCapacity = BufferSize(std::uint64_t{longestName} + 1);
  const std::size_t dataSize = BufferSize(longestData);
  for (std::uint64_t index = 0; index <= values; ++index) {
    const auto i = static_cast<std::uint32_t>(index);
    // The probe: no room for name or data, only the type is wanted.
    char probeName = '\0';
    std::uint32_t probeNameSize = 0;
    std::uint32_t type = kRegNone;
    std::uint32_t probeData = 0;
    std::uint32_t probeDataSize = 0;
    const RegStatus status = api_.RegEnumValueA(key.get(), i, &probeName, &probeNameSize, nullptr, &type,
                                                reinterpret_cast<std::uint8_t*>(&probeData), &probeDataSize);
    if (status != kErrorSuccess && status != kErrorMoreData) continue;
    if (filter != nullptr && !TypeMatches(type, *filter)) continue;
    std::string name(nameCapacity, '\0');
    std::wstring text;
    if (!ReadEnumeratedValue(key.get(), i, type, name, dataSize, text)) continue;
    colKeys.push_back(BufferToText(Wide(name), false));
    colKeys.push_back(std::move(text));
  }
  return true;
}

bool cQueryReg::ReadEnumeratedValue(RegKey key, std::uint32_t index, std::uint32_t type, std::string& name,
                                    std::size_t dataSize, std::wstring& text) {
  auto nameSize = static_cast<std::uint32_t>(name.size());
  std::uint32_t readType = type;
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz: {
      // As long as the key's longest value: filler NULs behind a multi-string become spaces.
      std::string data(dataSize, '\0');
      auto size = static_cast<std::uint32_t>(dataSize);
      api_.RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &readType, Bytes(data), &size);
      text = BufferToText(Wide(data), type == kRegMultiSz);
      return true;
    }
    case kRegDword: {
      std::int32_t number = 0;
      // The integer's own size: a value that grew since the key was queried cannot overrun it.
      std::uint32_t size = sizeof number;
      api_.RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &readType,
                         reinterpret_cast<std::uint8_t*>(&number), &size);
      text = DecimalText(number);
      return true;
    }
    default: {
      if (dataSize == 0) return false;
      std::string data(dataSize + 1, '\0');
      auto size = static_cast<std::uint32_t>(dataSize);
      api_.RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &readType, Bytes(data), &size);
      const auto bytes = std::span(Bytes(data), std::min<std::size_t>(size, dataSize));
      text = HexByteText(bytes);
      return true;
    }
  }
}

}  // namespace varnlet::registry
