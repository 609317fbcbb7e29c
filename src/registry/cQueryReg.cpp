#include "registry/cQueryReg.h"

#include <algorithm>
#include <limits>

#include "base/errors.h"
#include "registry/query_reg_internal.h"
#include "registry/text_formats.h"
#include "registry/unique_key.h"

namespace varnlet::registry {
namespace {

using detail::BufferSize;
using detail::Bytes;

constexpr std::uint32_t kUserNameBufferSize = 255;
constexpr std::uint32_t kQueryRegBaseBufferSize = 300;

std::span<const std::uint8_t> Span(const ByteArray& array, std::size_t count) { return {array.data(), count}; }

}  // namespace

struct cQueryReg::Probe {
  explicit Probe(platform::RegistryApi& api) : key(api) {}
  UniqueKey key;
  std::uint32_t type = kRegNone;
  std::uint32_t size = 0;
};

cQueryReg::cQueryReg(platform::RegistryApi& api, platform::FileApi& files, const platform::AnsiCodePage& ansi)
    : api_(api), files_(files), ansi_(ansi), colFolders(std::make_shared<KeyedCollection>()) {
  std::string buffer(kUserNameBufferSize, ' ');
  std::uint32_t size = kUserNameBufferSize;
  if (api_.GetUserNameA(buffer.data(), &size)) {
    // The size counts the NUL; a faulty answer cannot reach past the buffer.
    buffer.resize(std::min<std::size_t>(size == 0 ? 0 : size - 1, buffer.size()));
  }
  sUserName = Wide(buffer);
}

cQueryReg::~cQueryReg() { colFolders.reset(); }

RegKey cQueryReg::ResolveRootKey(std::wstring& sKey, RegKey hKey) { return registry::ResolveRootKey(sKey, hKey); }

std::wstring cQueryReg::BufferToText(std::wstring_view sBuffer, bool bMultiString) {
  return registry::BufferToText(sBuffer, bMultiString);
}

RegStatus cQueryReg::OpenKey(RegKey root, const std::wstring& subkey, std::uint32_t access, RegKey& key) {
  RegKey opened = 0;
  const RegStatus status = api_.RegOpenKeyExA(root, Ansi(subkey).c_str(), 0, access, &opened);
  key = status == kErrorSuccess ? opened : 0;
  return status;
}

RegStatus cQueryReg::CreateKey(std::wstring sKey) {
  const RegKey root = ResolveRootKey(sKey, 0);
  RegKey opened = 0;
  if (OpenKey(root, sKey, kKeyWrite, opened) == kErrorSuccess) {
    UniqueKey key(api_, opened);
    return kErrorSuccess;
  }
  RegKey created = 0;
  const RegStatus status = api_.RegCreateKeyA(root, Ansi(sKey).c_str(), &created);
  const UniqueKey key(api_, status == kErrorSuccess ? created : 0);
  return status;
}

bool cQueryReg::ExistKey(std::wstring sKey) {
  const RegKey root = ResolveRootKey(sKey, kHkeyLocalMachine);
  RegKey opened = 0;
  if (OpenKey(root, sKey, kKeyRead, opened) != kErrorSuccess) return false;
  UniqueKey key(api_, opened);
  return true;
}

cQueryReg::Probe cQueryReg::OpenAndProbe(std::wstring sKey, const std::wstring& sValue, RegKey hKey) {
  const RegKey root = ResolveRootKey(sKey, hKey);
  Probe probe(api_);
  RegKey opened = 0;
  if (OpenKey(root, sKey, kKeyRead, opened) != kErrorSuccess) return probe;
  probe.key.reset(opened);
  std::uint32_t zero = 0;
  // The data does not fit: the system reports the type and the size the data needs.
  api_.RegQueryValueExA(opened, Ansi(sValue).c_str(), nullptr, &probe.type, reinterpret_cast<std::uint8_t*>(&zero),
                        &probe.size);
  return probe;
}

std::string cQueryReg::ReadBytes(const Probe& probe, const std::string& name) const {
  std::string buffer(BufferSize(probe.size), '\0');
  std::uint32_t size = probe.size;
  api_.RegQueryValueExA(probe.key.get(), name.c_str(), nullptr, nullptr, Bytes(buffer), &size);
  return buffer;
}

Variant cQueryReg::GetRegDWord(std::wstring sKey, const std::wstring& sValue, RegKey hKey, bool bAsString) {
  const Probe probe = OpenAndProbe(std::move(sKey), sValue, hKey);
  std::int32_t value = 0;
  if (probe.type == kRegDword) {
    std::uint32_t size = sizeof value;
    api_.RegQueryValueExA(probe.key.get(), Ansi(sValue).c_str(), nullptr, nullptr,
                          reinterpret_cast<std::uint8_t*>(&value), &size);
  }
  if (bAsString) return DwordText(value);
  return value;
}

Variant cQueryReg::GetReg(std::wstring sKey, const std::wstring& sValue, RegKey hKey, bool bAsString) {
  const Probe probe = OpenAndProbe(std::move(sKey), sValue, hKey);
  const std::string name = Ansi(sValue);
  std::wstring text;
  std::int32_t number = 0;
  ByteArray array(1, 0);
  switch (probe.type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz:
      if (probe.size > 0) {
        std::string buffer = ReadBytes(probe, name);
        buffer.resize(probe.size - 1);
        text = Wide(buffer);
      }
      break;
    case kRegDword: {
      std::uint32_t size = sizeof number;
      api_.RegQueryValueExA(probe.key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<std::uint8_t*>(&number),
                            &size);
      break;
    }
    default:
      if (probe.size > 0) {
        const std::string buffer = ReadBytes(probe, name);
        array.assign(buffer.begin(), buffer.end());
        array.push_back(0);
      }
      break;
  }
  switch (probe.type) {
    case kRegSz:
    case kRegExpandSz:
      return text;
    case kRegMultiSz:
      return BufferToText(text, true);
    case kRegBinary:
      if (bAsString) return HexByteText(Span(array, array.size() - 1));
      return array;
    case kRegDword:
      if (bAsString) return DwordText(number);
      return number;
    default:
      return Empty{};
  }
}

std::uint32_t cQueryReg::GetRegType(std::wstring sKey, const std::wstring& sValue, RegKey hKey) {
  return OpenAndProbe(std::move(sKey), sValue, hKey).type;
}

Variant cQueryReg::GetRegBinary(std::wstring sKey, const std::wstring& sValue, RegKey hKey, bool bAsString) {
  const Probe probe = OpenAndProbe(std::move(sKey), sValue, hKey);
  ByteArray array(1, 0);
  if (probe.type == kRegBinary && probe.size > 0) {
    const std::string buffer = ReadBytes(probe, Ansi(sValue));
    array.assign(buffer.begin(), buffer.end());
    array.push_back(0);
  }
  if (bAsString) return ShortHexByteText(Span(array, array.size() - 1));
  return array;
}

std::wstring cQueryReg::GetRegString(std::wstring sKey, const std::wstring& sValue, RegKey hKey) {
  const Probe probe = OpenAndProbe(std::move(sKey), sValue, hKey);
  if ((probe.type != kRegSz && probe.type != kRegExpandSz) || probe.size == 0) return {};
  std::string buffer = ReadBytes(probe, Ansi(sValue));
  // The stored terminator goes; embedded NULs stay.
  buffer.resize(probe.size - 1);
  return Wide(buffer);
}

std::wstring cQueryReg::QueryRegBase(const std::wstring& sValue, RegKey hKey) {
  std::string buffer(kQueryRegBaseBufferSize, '\0');
  auto size = static_cast<std::int32_t>(kQueryRegBaseBufferSize);
  const RegStatus status = api_.RegQueryValueA(CheckRoot(hKey), Ansi(sValue).c_str(), buffer.data(), &size);
  if (status != kErrorSuccess || size <= 1) return {};
  buffer.resize(std::min<std::size_t>(static_cast<std::size_t>(size) - 1, buffer.size()));
  return Wide(buffer);
}

RegStatus cQueryReg::OpenKeyEx(RegKey hKey, const std::wstring& lpSubKey, std::uint32_t ulOptions,
                               std::uint32_t samDesired, RegKey& phkResult) {
  (void)ulOptions;  // the system's options stay 0
  return api_.RegOpenKeyExA(hKey, Ansi(lpSubKey).c_str(), 0, samDesired, &phkResult);
}

RegStatus cQueryReg::OpenKeyQuery(RegKey hKey, const std::wstring& lpSubKey, std::uint32_t ulOptions,
                                  std::uint32_t samDesired, RegKey& phkResult) {
  (void)samDesired;  // a query handle reads values, whatever the caller asks for
  return OpenKeyEx(hKey, lpSubKey, ulOptions, kKeyQueryValue, phkResult);
}

RegStatus cQueryReg::CloseKey(RegKey hKey) { return api_.RegCloseKey(hKey); }

RegStatus cQueryReg::RegSetValue2(RegKey hKey, const std::wstring& lpSubKey, std::uint32_t dwType, std::wstring& lpData,
                                  std::uint32_t cbData) {
  (void)dwType;  // always REG_SZ, stored without its terminator
  (void)cbData;
  const std::string data = Ansi(lpData);
  if (data.size() > std::numeric_limits<std::uint32_t>::max()) throw Overflow("text too long");
  const RegStatus status =
      api_.RegSetValueExA(hKey, Ansi(lpSubKey).c_str(), 0, kRegSz, reinterpret_cast<const std::uint8_t*>(data.data()),
                          static_cast<std::uint32_t>(data.size()));
  lpData = Wide(data);
  return status;
}

RegStatus cQueryReg::DeleteKeyWin95(RegKey hKey, const std::wstring& szKey) {
  return api_.RegDeleteKeyA(hKey, Ansi(szKey).c_str());
}

RegStatus cQueryReg::SetReg(std::wstring sKey, const std::wstring& sName, const Variant& vValue, RegKey hKey,
                            std::uint32_t RegDataType, bool bCreateKey) {
  const RegKey root = ResolveRootKey(sKey, hKey);
  RegKey opened = 0;
  RegStatus status = OpenKey(root, sKey, kKeyWrite, opened);
  if (status != kErrorSuccess && bCreateKey) {
    status = api_.RegCreateKeyA(root, Ansi(sKey).c_str(), &opened);
  }
  if (status != kErrorSuccess) return status;
  const UniqueKey key(api_, opened);
  const std::string name = Ansi(sName);
  switch (RegDataType) {
    case kRegSz:
    case kRegExpandSz: {
      const std::string text = Ansi(ToText(vValue));
      // The terminating NUL is stored with the text.
      return api_.RegSetValueExA(key.get(), name.c_str(), 0, RegDataType,
                                 reinterpret_cast<const std::uint8_t*>(text.c_str()),
                                 static_cast<std::uint32_t>(BufferSize(std::uint64_t{text.size()} + 1)));
    }
    case kRegBinary: {
      const auto* array = std::get_if<ByteArray>(&vValue);
      if (array == nullptr) throw TypeMismatch("REG_BINARY needs a byte array");
      if (array->empty()) throw OutOfRange("a byte array without elements");
      // The upper bound is the number of data bytes: the spare last element is never written.
      return api_.RegSetValueExA(key.get(), name.c_str(), 0, kRegBinary, array->data(),
                                 static_cast<std::uint32_t>(BufferSize(array->size() - 1)));
    }
    case kRegDword: {
      const std::int32_t number = ToInteger(vValue);
      return api_.RegSetValueExA(key.get(), name.c_str(), 0, kRegDword, reinterpret_cast<const std::uint8_t*>(&number),
                                 sizeof number);
    }
    default:
      return kErrorSuccess;
  }
}

RegStatus cQueryReg::DeleteNamedValue(RegKey root, const std::wstring& subkey, const std::wstring& sValue) {
  RegKey opened = 0;
  const RegStatus status = OpenKey(root, subkey, kKeyWrite, opened);
  if (status != kErrorSuccess) return status;
  const UniqueKey key(api_, opened);
  return api_.RegDeleteValueA(key.get(), Ansi(sValue).c_str());
}

RegStatus cQueryReg::DeleteValue(std::wstring sKey, const std::wstring& sValue, RegKey hKey) {
  const RegKey root = ResolveRootKey(sKey, hKey);
  if (sValue.empty()) return kErrorSuccess;
  return DeleteNamedValue(root, sKey, sValue);
}

RegStatus cQueryReg::DeleteKey(std::wstring sKey, const std::wstring& sValue, RegKey hKey) {
  const RegKey root = ResolveRootKey(sKey, CheckRoot(hKey));
  if (sValue.empty()) return DeleteKeyTree(root, sKey);
  return DeleteNamedValue(root, sKey, sValue);
}

RegStatus cQueryReg::DeleteKeyTree(RegKey hKey, const std::wstring& sKey) {
  // A subkey that names no key would make the root itself the tree: never delete a whole root.
  if (NamesNoSubkey(sKey)) return kErrorAccessDenied;
  const std::string subkey = Ansi(sKey);
  RegKey opened = 0;
  const RegStatus openStatus = api_.RegOpenKeyExA(hKey, subkey.c_str(), 0, kKeyAllAccess, &opened);
  if (openStatus != kErrorSuccess) return openStatus;
  {
    const UniqueKey key(api_, opened);
    std::uint32_t subkeys = 0;
    std::uint32_t longestName = 0;
    const RegStatus infoStatus = api_.RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, &longestName,
                                                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (infoStatus != kErrorSuccess) return infoStatus;
    if (subkeys > 0) {
      const std::size_t capacity = BufferSize(std::uint64_t{longestName} + 1);
      std::string name(capacity, '*');
      platform::FileTime written;
      // From the highest index down, so a deletion never moves a subkey not yet visited.
      for (std::uint32_t i = subkeys; i-- > 0;) {
        auto length = static_cast<std::uint32_t>(capacity);
        if (api_.RegEnumKeyExA(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, &written) ==
            kErrorSuccess) {
          DeleteKeyTree(key.get(), Wide(std::string_view(name).substr(0, length)));
        }
      }
    }
  }
  return api_.RegDeleteKeyA(hKey, subkey.c_str());
}

std::wstring cQueryReg::UserName() const { return sUserName; }

}  // namespace varnlet::registry
