#include "fakes/fake_registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "fakes/ansi_case.h"

namespace varnlet::fakes {

using platform::RegKey;
using platform::RegStatus;
using namespace platform;  // the error numbers

namespace {

constexpr RegKey kClassesRoot = 0x80000000;
constexpr RegKey kCurrentUser = 0x80000001;
constexpr RegKey kLocalMachine = 0x80000002;

constexpr std::uint32_t kQueryValue = 0x0001;
constexpr std::uint32_t kSetValue = 0x0002;
constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kAllAccess = 0xF003F;
constexpr std::uint32_t kRead = 0x20019;
constexpr std::uint32_t kWrite = 0x20006;

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
// A path is a counted UTF-16 string of at most 32767 characters; a key is at most 512 levels deep.
constexpr std::size_t kMaxPathLength = 32767;
constexpr std::size_t kMaxDepth = 512;
constexpr const char* kHiveHeader = "VARNLET-FAKE-HIVE";

bool IsPredefined(RegKey key) { return key >= 0x80000000u && key <= 0x80000006u; }
bool IsTooLong(const char* path) { return path != nullptr && std::strlen(path) > kMaxPathLength; }
bool IsStringType(std::uint32_t type) { return type == 1 || type == 2 || type == 7; }

// Generic rights map to the key rights they stand for, as the system maps them.
std::uint32_t MapAccess(std::uint32_t sam) {
  std::uint32_t access = sam & 0x00FFFFFF & ~0x02000000u;
  if ((sam & 0x80000000u) != 0 || (sam & 0x20000000u) != 0) access |= kRead;
  if ((sam & 0x40000000u) != 0) access |= kWrite;
  if ((sam & 0x10000000u) != 0 || (sam & 0x02000000u) != 0) access |= kAllAccess;
  return access;
}

// Every hex field starts with "=", so an empty one is still a field.
std::string Hex(std::string_view bytes) {
  std::string out = "=";
  char two[3];
  for (const char c : bytes) {
    std::snprintf(two, sizeof two, "%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    out += two;
  }
  return out;
}

std::string Unhex(std::string_view hex) {
  if (!hex.empty() && hex.front() == '=') hex.remove_prefix(1);
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == '\\') ++i;
    const std::size_t start = i;
    while (i < path.size() && path[i] != '\\') ++i;
    if (i > start) parts.emplace_back(path.substr(start, i - start));
  }
  return parts;
}

// ASan sees an announced size beyond the caller's buffer when the system would use it.
void TouchBuffer(const void* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  const volatile unsigned char* bytes = static_cast<const unsigned char*>(buffer);
  (void)bytes[0];
  (void)bytes[size - 1];
}

// A value's data as the query calls hand it out: only the size without a buffer; 234 and the
// size needed when the buffer is too small; else the data, with a NUL after unterminated string
// data when there is room for it (not counted).
template <class Size>
RegStatus CopyData(const std::string& stored, bool terminate, std::uint8_t* data, Size* size) {
  const auto full = static_cast<Size>(stored.size());
  if (data == nullptr) {
    if (size != nullptr) *size = full;
    return kErrorSuccess;
  }
  if (*size < full) {
    *size = full;
    return kErrorMoreData;
  }
  TouchBuffer(data, static_cast<std::size_t>(*size));
  if (!stored.empty()) std::memcpy(data, stored.data(), stored.size());
  if (terminate && *size > full && !stored.empty() && stored.back() != '\0') data[stored.size()] = 0;
  *size = full;
  return kErrorSuccess;
}

}  // namespace

struct FakeRegistry::Node {
  std::string name;
  Node* parent = nullptr;
  std::vector<NodePtr> subkeys;  // sorted by upper-cased name, as Windows enumerates them
  std::vector<Value> values;     // in creation order, as Windows enumerates them
  bool deleted = false;

  NodePtr Child(std::string_view childName) const {
    for (const NodePtr& child : subkeys) {
      if (AnsiEqualNoCase(child->name, childName)) return child;
    }
    return nullptr;
  }
  NodePtr AddChild(const std::string& childName) {
    auto child = std::make_shared<Node>();
    child->name = childName;
    child->parent = this;
    const std::string upper = AnsiUpper(childName);
    const auto at =
        std::find_if(subkeys.begin(), subkeys.end(), [&](const NodePtr& n) { return AnsiUpper(n->name) > upper; });
    subkeys.insert(at, child);
    return child;
  }
  Value* FindValue(std::string_view valueName) {
    for (Value& v : values) {
      if (AnsiEqualNoCase(v.name, valueName)) return &v;
    }
    return nullptr;
  }
};

// Runs the injected failure before a call and the test's hook after it.
class FakeRegistry::CallScope {
 public:
  CallScope(FakeRegistry& registry, const char* name) : registry_(registry), name_(name) {
    if (registry_.faults_.ShouldFail(name_)) {
      failed_ = true;
      const auto it = registry_.failStatus_.find(name_);
      status_ = it == registry_.failStatus_.end() ? kErrorAccessDenied : it->second;
    }
  }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
  ~CallScope() {
    if (registry_.afterCall_) registry_.afterCall_(name_);
  }
  bool failed() const { return failed_; }
  RegStatus status() const { return status_; }

 private:
  FakeRegistry& registry_;
  std::string name_;
  bool failed_ = false;
  RegStatus status_ = kErrorSuccess;
};

FakeRegistry::FakeRegistry(FakeFileSystem* files, Journal* journal) : files_(files), journal_(journal) {
  for (RegKey root = 0x80000001; root <= 0x80000006; ++root) roots_[root] = std::make_shared<Node>();
  // HKEY_CLASSES_ROOT is the machine's Software\Classes, with the user's Software\Classes merged
  // over it as Windows does (Wine does not): a key the user has is the one reached.
  NodePtr software = roots_[kLocalMachine]->AddChild("Software");
  roots_[kClassesRoot] = software->AddChild("Classes");
}

FakeRegistry::FakeRegistry(const FakeRegistry& other, FakeFileSystem* files)
    : savedFileAttributes(other.savedFileAttributes),
      files_(files),
      journal_(other.journal_),
      failStatus_(other.failStatus_),
      faultySizes_(other.faultySizes_),
      afterCall_(other.afterCall_),
      faults_(other.faults_),
      userName_(other.userName_),
      nextHandle_(other.nextHandle_),
      maxOpen_(other.maxOpen_),
      badCloses_(other.badCloses_),
      backupPrivilege_(other.backupPrivilege_) {
  // Every tree below a root once, parents before children; the classes root is also a subkey
  // of the machine's, so roots, handles and denials find their copies by the original's address.
  std::vector<std::pair<const Node*, NodePtr>> copies;
  const auto copyOf = [&](const Node* node) -> NodePtr {
    for (const auto& [from, to] : copies) {
      if (from == node) return to;
    }
    return nullptr;
  };
  const std::function<NodePtr(const Node&, Node*)> copyTree = [&](const Node& node, Node* parent) {
    auto twin = std::make_shared<Node>();
    twin->name = node.name;
    twin->values = node.values;
    twin->deleted = node.deleted;
    twin->parent = parent;
    copies.emplace_back(&node, twin);
    twin->subkeys.reserve(node.subkeys.size());
    for (const NodePtr& child : node.subkeys) twin->subkeys.push_back(copyTree(*child, twin.get()));
    return twin;
  };
  const auto copyNode = [&](const NodePtr& node) {
    NodePtr twin = copyOf(node.get());
    return twin ? twin : copyTree(*node, nullptr);
  };
  for (const auto& [root, node] : other.roots_) {
    if (node->parent == nullptr) roots_[root] = copyNode(node);
  }
  for (const auto& [root, node] : other.roots_) roots_[root] = copyNode(node);
  for (const auto& [key, handle] : other.handles_) handles_[key] = Handle{copyNode(handle.node), handle.access};
  for (const Node* node : other.denied_) {
    if (const NodePtr twin = copyOf(node)) denied_.insert(twin.get());
  }
}

FakeRegistry::~FakeRegistry() = default;

void FakeRegistry::CreateKeyPath(RegKey root, const std::string& path) {
  NodePtr node = roots_.at(root);
  for (const std::string& part : SplitPath(path)) {
    NodePtr child = node->Child(part);
    node = child ? child : node->AddChild(part);
  }
}

void FakeRegistry::SetValue(RegKey root, const std::string& path, const std::string& name, std::uint32_t type,
                            std::string data) {
  CreateKeyPath(root, path);
  NodePtr node = Find(root, path);
  if (Value* v = node->FindValue(name)) {
    v->type = type;
    v->data = std::move(data);
  } else {
    node->values.push_back(Value{name, type, std::move(data)});
  }
}

FakeRegistry::NodePtr FakeRegistry::Find(RegKey root, const std::string& path) const {
  const auto it = roots_.find(root);
  if (it == roots_.end()) return nullptr;
  NodePtr node = it->second;
  for (const std::string& part : SplitPath(path)) {
    node = node->Child(part);
    if (!node) return nullptr;
  }
  return node;
}

bool FakeRegistry::KeyExists(RegKey root, const std::string& path) const { return Find(root, path) != nullptr; }

std::optional<FakeRegistry::Value> FakeRegistry::GetValue(RegKey root, const std::string& path,
                                                          const std::string& name) const {
  NodePtr node = Find(root, path);
  if (!node) return std::nullopt;
  const Value* v = node->FindValue(name);
  if (v == nullptr) return std::nullopt;
  return *v;
}

std::vector<std::string> FakeRegistry::SubkeyNames(RegKey root, const std::string& path) const {
  std::vector<std::string> names;
  if (NodePtr node = Find(root, path)) {
    for (const NodePtr& child : node->subkeys) names.push_back(child->name);
  }
  return names;
}

std::vector<FakeRegistry::Value> FakeRegistry::Values(RegKey root, const std::string& path) const {
  NodePtr node = Find(root, path);
  return node ? node->values : std::vector<Value>{};
}

std::vector<std::string> FakeRegistry::Dump(RegKey root) const {
  std::vector<std::string> lines;
  std::function<void(const Node&, const std::string&)> walk = [&](const Node& node, const std::string& path) {
    lines.push_back(path);
    for (const Value& v : node.values) {
      lines.push_back(path + "|" + v.name + "|" + std::to_string(v.type) + "|" + Hex(v.data));
    }
    for (const NodePtr& child : node.subkeys) walk(*child, path.empty() ? child->name : path + "\\" + child->name);
  };
  walk(*roots_.at(root), "");
  return lines;
}

void FakeRegistry::DenyAccess(RegKey root, const std::string& path) {
  CreateKeyPath(root, path);
  denied_.insert(Find(root, path).get());
}

void FakeRegistry::FailWith(const std::string& call, RegStatus status, int nth) {
  failStatus_[call] = status;
  faults_.Inject(call, nth);
}

void FakeRegistry::ReportFaultySize(const std::string& call, std::uint32_t size) { faultySizes_[call] = size; }

void FakeRegistry::Report(const std::string& call, std::uint32_t* size) const {
  const auto it = faultySizes_.find(call);
  if (size != nullptr && it != faultySizes_.end()) *size = it->second;
}

void FakeRegistry::Report(const std::string& call, std::int32_t* size) const {
  const auto it = faultySizes_.find(call);
  if (size != nullptr && it != faultySizes_.end()) *size = static_cast<std::int32_t>(it->second);
}

RegStatus FakeRegistry::Resolve(RegKey hKey, Handle& out) const {
  if (IsPredefined(hKey)) {
    out = Handle{roots_.at(hKey), kAllAccess};
    return kErrorSuccess;
  }
  const auto it = handles_.find(hKey);
  if (it == handles_.end()) return kErrorInvalidHandle;
  out = it->second;
  return out.node->deleted ? kErrorKeyDeleted : kErrorSuccess;
}

RegStatus FakeRegistry::Walk(RegKey hKey, const Handle& from, const char* lpSubKey, bool create, NodePtr& out) {
  if (IsTooLong(lpSubKey)) return kErrorInvalidParameter;
  std::string_view path = lpSubKey == nullptr ? std::string_view{} : std::string_view{lpSubKey};
  // The classes root forgives one leading backslash; every other key refuses it.
  if (hKey == kClassesRoot && !path.empty() && path.front() == '\\') path.remove_prefix(1);
  if (!path.empty() && path.front() == '\\') return kErrorBadPathName;
  if (hKey == kClassesRoot && !path.empty()) {
    NodePtr user = roots_.at(kCurrentUser)->Child("Software");
    if (user) user = user->Child("Classes");
    if (user) {
      NodePtr mine = user;
      for (const std::string& part : SplitPath(path)) {
        if (mine) mine = mine->Child(part);
      }
      if (mine && !IsDenied(mine)) {
        out = mine;
        return kErrorSuccess;
      }
    }
  }
  NodePtr node = from.node;
  std::size_t depth = 0;
  for (const Node* n = node.get(); n->parent != nullptr; n = n->parent) ++depth;
  for (const std::string& part : SplitPath(path)) {
    if (part.size() > kMaxKeyNameLength) return kErrorInvalidParameter;
    NodePtr child = node->Child(part);
    if (!child) {
      if (!create) return kErrorFileNotFound;
      if (denied_.count(node.get()) != 0) return kErrorAccessDenied;
      if (depth + 1 > kMaxDepth) return kErrorBadKey;
      child = node->AddChild(part);
    }
    node = child;
    ++depth;
  }
  if (IsDenied(node)) return kErrorAccessDenied;
  out = node;
  return kErrorSuccess;
}

RegKey FakeRegistry::NewHandle(NodePtr node, std::uint32_t access) {
  const RegKey handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = Handle{std::move(node), access};
  maxOpen_ = std::max(maxOpen_, handles_.size());
  return handle;
}

RegStatus FakeRegistry::RegOpenKeyExA(RegKey hKey, const char* lpSubKey, std::uint32_t ulOptions,
                                      std::uint32_t samDesired, RegKey* phkResult) {
  CallScope call(*this, "RegOpenKeyExA");
  if (journal_ != nullptr) {
    journal_->Add("RegOpenKeyExA(" + std::string(lpSubKey ? lpSubKey : "<null>") + "," + std::to_string(samDesired) +
                  ")");
  }
  if (call.failed()) return call.status();
  Handle from;
  if (const RegStatus s = Resolve(hKey, from); s != kErrorSuccess) return s;
  if (phkResult == nullptr || IsTooLong(lpSubKey)) return kErrorInvalidParameter;
  (void)ulOptions;
  if ((lpSubKey == nullptr || *lpSubKey == '\0') && IsPredefined(hKey)) {
    *phkResult = hKey;
    return kErrorSuccess;
  }
  NodePtr node;
  if (const RegStatus s = Walk(hKey, from, lpSubKey, false, node); s != kErrorSuccess) {
    *phkResult = 0;
    return s;
  }
  *phkResult = NewHandle(node, MapAccess(samDesired));
  return kErrorSuccess;
}

RegStatus FakeRegistry::RegCreateKeyA(RegKey hKey, const char* lpSubKey, RegKey* phkResult) {
  CallScope call(*this, "RegCreateKeyA");
  if (call.failed()) return call.status();
  Handle from;
  if (const RegStatus s = Resolve(hKey, from); s != kErrorSuccess) return s;
  if (phkResult == nullptr || IsTooLong(lpSubKey)) return kErrorInvalidParameter;
  NodePtr node;
  if (const RegStatus s = Walk(hKey, from, lpSubKey, true, node); s != kErrorSuccess) return s;
  *phkResult = NewHandle(node, kAllAccess);
  return kErrorSuccess;
}

RegStatus FakeRegistry::RegCloseKey(RegKey hKey) {
  // The handle is released before the fault is looked at: a close that fails, or raises, has
  // still closed, and the caller has nothing left to do with the handle. The whole range of
  // special roots, later systems' included, closes without doing anything.
  const bool special = hKey >= 0x80000000u && hKey <= 0x8000000Fu;
  const bool known = special || handles_.erase(hKey) != 0;
  if (!known) ++badCloses_;
  CallScope call(*this, "RegCloseKey");
  if (!known) return kErrorInvalidHandle;
  return call.failed() ? call.status() : kErrorSuccess;
}

RegStatus FakeRegistry::RegQueryValueA(RegKey hKey, const char* lpSubKey, char* lpData, std::int32_t* lpcbData) {
  CallScope call(*this, "RegQueryValueA");
  if (call.failed()) return call.status();
  Handle from;
  if (const RegStatus s = Resolve(hKey, from); s != kErrorSuccess) return s;
  if (lpData != nullptr && lpcbData == nullptr) return kErrorInvalidParameter;
  NodePtr node = from.node;
  if (lpSubKey != nullptr && *lpSubKey != '\0') {
    if (const RegStatus s = Walk(hKey, from, lpSubKey, false, node); s != kErrorSuccess) return s;
  } else if ((from.access & kQueryValue) == 0) {
    return kErrorAccessDenied;
  }
  const Value* v = node->FindValue("");
  if (v == nullptr) {
    // An unset default value reads as the empty string.
    if (lpData != nullptr && *lpcbData > 0) lpData[0] = '\0';
    if (lpcbData != nullptr) *lpcbData = 1;
    Report("RegQueryValueA", lpcbData);
    return kErrorSuccess;
  }
  const RegStatus status = CopyData(v->data, true, reinterpret_cast<std::uint8_t*>(lpData), lpcbData);
  Report("RegQueryValueA", lpcbData);
  return status;
}

RegStatus FakeRegistry::RegQueryValueExA(RegKey hKey, const char* lpValueName, std::uint32_t* lpReserved,
                                         std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) {
  CallScope call(*this, "RegQueryValueExA");
  if (journal_ != nullptr) {
    journal_->Add("RegQueryValueExA(" + std::string(lpValueName ? lpValueName : "<null>") + "," +
                  (lpcbData ? std::to_string(*lpcbData) : "<null>") + ")");
  }
  if (call.failed()) return call.status();
  Handle h;
  if (const RegStatus s = Resolve(hKey, h); s != kErrorSuccess) return s;
  if ((h.access & kQueryValue) == 0) return kErrorAccessDenied;
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return kErrorInvalidParameter;
  const Value* v = h.node->FindValue(lpValueName == nullptr ? "" : lpValueName);
  if (v == nullptr) {
    if (lpData == nullptr && lpcbData != nullptr) *lpcbData = 0;
    return kErrorFileNotFound;
  }
  if (lpType != nullptr) *lpType = v->type;
  const RegStatus status = CopyData(v->data, IsStringType(v->type), lpData, lpcbData);
  Report("RegQueryValueExA", lpcbData);
  return status;
}

RegStatus FakeRegistry::RegSetValueA(RegKey hKey, const char* lpSubKey, std::uint32_t dwType, const char* lpData,
                                     std::uint32_t cbData) {
  CallScope call(*this, "RegSetValueA");
  if (journal_ != nullptr) journal_->Add("RegSetValueA(" + std::string(lpSubKey ? lpSubKey : "<null>") + ")");
  if (call.failed()) return call.status();
  (void)cbData;  // ignored by the system: the text runs to its first NUL
  Handle from;
  if (const RegStatus s = Resolve(hKey, from); s != kErrorSuccess) return s;
  if (dwType != 1 || lpData == nullptr) return kErrorInvalidParameter;
  NodePtr node = from.node;
  if (lpSubKey != nullptr && *lpSubKey != '\0') {
    if (const RegStatus s = Walk(hKey, from, lpSubKey, true, node); s != kErrorSuccess) return s;
  } else if ((from.access & kSetValue) == 0) {
    return kErrorAccessDenied;
  }
  std::string data(lpData, std::strlen(lpData) + 1);
  if (Value* v = node->FindValue("")) {
    v->type = 1;
    v->data = std::move(data);
  } else {
    node->values.push_back(Value{"", 1, std::move(data)});
  }
  return kErrorSuccess;
}

RegStatus FakeRegistry::RegSetValueExA(RegKey hKey, const char* lpValueName, std::uint32_t Reserved,
                                       std::uint32_t dwType, const std::uint8_t* lpData, std::uint32_t cbData) {
  CallScope call(*this, "RegSetValueExA");
  if (journal_ != nullptr) {
    journal_->Add("RegSetValueExA(" + std::string(lpValueName ? lpValueName : "<null>") + "," + std::to_string(dwType) +
                  "," + std::to_string(cbData) + ")");
  }
  if (call.failed()) return call.status();
  (void)Reserved;
  Handle h;
  if (const RegStatus s = Resolve(hKey, h); s != kErrorSuccess) return s;
  if ((h.access & kSetValue) == 0) return kErrorAccessDenied;
  const std::string name = lpValueName == nullptr ? std::string() : std::string(lpValueName);
  if (name.size() > kMaxValueNameLength) return kErrorInvalidParameter;
  if (lpData == nullptr && cbData > 0) return kErrorNoAccess;
  // As NT does: string data whose counted part lacks its terminator, followed by a NUL, keeps it.
  if (IsStringType(dwType) && cbData > 0 && lpData[cbData - 1] != 0 && lpData[cbData] == 0) ++cbData;
  TouchBuffer(lpData, cbData);
  std::string data = cbData == 0 ? std::string() : std::string(reinterpret_cast<const char*>(lpData), cbData);
  if (Value* v = h.node->FindValue(name)) {
    v->type = dwType;
    v->data = std::move(data);
  } else {
    h.node->values.push_back(Value{name, dwType, std::move(data)});
  }
  return kErrorSuccess;
}

RegStatus FakeRegistry::RegDeleteValueA(RegKey hKey, const char* lpValueName) {
  CallScope call(*this, "RegDeleteValueA");
  if (call.failed()) return call.status();
  Handle h;
  if (const RegStatus s = Resolve(hKey, h); s != kErrorSuccess) return s;
  if ((h.access & kSetValue) == 0) return kErrorAccessDenied;
  const std::string_view name = lpValueName == nullptr ? std::string_view{} : std::string_view{lpValueName};
  auto& values = h.node->values;
  const auto it =
      std::find_if(values.begin(), values.end(), [&](const Value& v) { return AnsiEqualNoCase(v.name, name); });
  if (it == values.end()) return kErrorFileNotFound;
  values.erase(it);
  return kErrorSuccess;
}

RegStatus FakeRegistry::RegDeleteKeyA(RegKey hKey, const char* lpSubKey) {
  CallScope call(*this, "RegDeleteKeyA");
  if (journal_ != nullptr) journal_->Add("RegDeleteKeyA(" + std::string(lpSubKey ? lpSubKey : "<null>") + ")");
  if (call.failed()) return call.status();
  Handle from;
  if (const RegStatus s = Resolve(hKey, from); s != kErrorSuccess) return s;
  if (lpSubKey == nullptr) return kErrorInvalidParameter;
  NodePtr node;
  if (const RegStatus s = Walk(hKey, from, lpSubKey, false, node); s != kErrorSuccess) return s;
  for (const auto& [root, rootNode] : roots_) {
    if (rootNode == node) return kErrorAccessDenied;
  }
  if (!node->subkeys.empty() || node->parent == nullptr) return kErrorAccessDenied;
  auto& siblings = node->parent->subkeys;
  siblings.erase(std::find(siblings.begin(), siblings.end(), node));
  node->deleted = true;
  node->parent = nullptr;
  return kErrorSuccess;
}

RegStatus FakeRegistry::RegEnumKeyExA(RegKey hKey, std::uint32_t dwIndex, char* lpName, std::uint32_t* lpcchName,
                                      std::uint32_t* lpReserved, char* lpClass, std::uint32_t* lpcchClass,
                                      platform::FileTime* lpftLastWriteTime) {
  CallScope call(*this, "RegEnumKeyExA");
  if (journal_ != nullptr) {
    journal_->Add("RegEnumKeyExA(" + std::to_string(dwIndex) + "," +
                  (lpcchName ? std::to_string(*lpcchName) : "<null>") + ")");
  }
  if (call.failed()) return call.status();
  Handle h;
  if (const RegStatus s = Resolve(hKey, h); s != kErrorSuccess) return s;
  if ((h.access & kEnumerateSubKeys) == 0) return kErrorAccessDenied;
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr) return kErrorInvalidParameter;
  if (dwIndex >= h.node->subkeys.size()) return kErrorNoMoreItems;
  const std::string& name = h.node->subkeys[dwIndex]->name;
  if (name.size() + 1 > *lpcchName) return kErrorMoreData;
  TouchBuffer(lpName, *lpcchName);
  std::memcpy(lpName, name.c_str(), name.size() + 1);
  *lpcchName = static_cast<std::uint32_t>(name.size());
  Report("RegEnumKeyExA", lpcchName);
  if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) lpClass[0] = '\0';
  if (lpcchClass != nullptr) *lpcchClass = 0;
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = platform::FileTime{};
  return kErrorSuccess;
}

RegStatus FakeRegistry::RegEnumValueA(RegKey hKey, std::uint32_t dwIndex, char* lpValueName,
                                      std::uint32_t* lpcchValueName, std::uint32_t* lpReserved, std::uint32_t* lpType,
                                      std::uint8_t* lpData, std::uint32_t* lpcbData) {
  CallScope call(*this, "RegEnumValueA");
  if (journal_ != nullptr) {
    journal_->Add("RegEnumValueA(" + std::to_string(dwIndex) + "," +
                  (lpcchValueName ? std::to_string(*lpcchValueName) : "<null>") + "," +
                  (lpcbData ? std::to_string(*lpcbData) : "<null>") + ")");
  }
  if (call.failed()) return call.status();
  Handle h;
  if (const RegStatus s = Resolve(hKey, h); s != kErrorSuccess) return s;
  if ((h.access & kQueryValue) == 0) return kErrorAccessDenied;
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr)) {
    return kErrorInvalidParameter;
  }
  if (dwIndex >= h.node->values.size()) return kErrorNoMoreItems;
  const Value& v = h.node->values[dwIndex];
  const auto full = static_cast<std::uint32_t>(v.data.size());
  if (lpType != nullptr) *lpType = v.type;
  RegStatus status = kErrorSuccess;
  if (v.name.size() + 1 > *lpcchValueName) {
    // The name does not fit: nothing is copied; the data size still tells what the data needs.
    status = kErrorMoreData;
    if (lpcbData != nullptr) *lpcbData = full;
  } else if (lpData != nullptr && *lpcbData < full) {
    status = kErrorMoreData;
    *lpcbData = full;
  } else {
    TouchBuffer(lpValueName, *lpcchValueName);
    std::memcpy(lpValueName, v.name.c_str(), v.name.size() + 1);
    *lpcchValueName = static_cast<std::uint32_t>(v.name.size());
    if (lpData != nullptr && full > 0) {
      TouchBuffer(lpData, *lpcbData);
      std::memcpy(lpData, v.data.data(), full);
      if (IsStringType(v.type) && *lpcbData > full && v.data.back() != '\0') lpData[full] = 0;
    }
    if (lpcbData != nullptr) *lpcbData = full;
  }
  Report("RegEnumValueA", lpcbData);
  if (status == kErrorSuccess) Report("RegEnumValueA", lpcchValueName);
  return status;
}

RegStatus FakeRegistry::RegQueryInfoKeyA(RegKey hKey, char* lpClass, std::uint32_t* lpcchClass,
                                         std::uint32_t* lpReserved, std::uint32_t* lpcSubKeys,
                                         std::uint32_t* lpcbMaxSubKeyLen, std::uint32_t* lpcbMaxClassLen,
                                         std::uint32_t* lpcValues, std::uint32_t* lpcbMaxValueNameLen,
                                         std::uint32_t* lpcbMaxValueLen, std::uint32_t* lpcbSecurityDescriptor,
                                         platform::FileTime* lpftLastWriteTime) {
  CallScope call(*this, "RegQueryInfoKeyA");
  if (call.failed()) return call.status();
  Handle h;
  if (const RegStatus s = Resolve(hKey, h); s != kErrorSuccess) return s;
  if ((h.access & kQueryValue) == 0) return kErrorAccessDenied;
  if ((lpClass != nullptr && lpcchClass == nullptr) || lpReserved != nullptr) return kErrorInvalidParameter;
  const Node& node = *h.node;
  std::uint32_t maxSubKey = 0;
  for (const NodePtr& child : node.subkeys)
    maxSubKey = std::max(maxSubKey, static_cast<std::uint32_t>(child->name.size()));
  std::uint32_t maxName = 0;
  std::uint32_t maxData = 0;
  for (const Value& v : node.values) {
    maxName = std::max(maxName, static_cast<std::uint32_t>(v.name.size()));
    // Strings are kept in UTF-16: their stored size is twice their ANSI size.
    const auto size = static_cast<std::uint32_t>(v.data.size()) * (IsStringType(v.type) ? 2u : 1u);
    maxData = std::max(maxData, size);
  }
  if (lpClass != nullptr && *lpcchClass > 0) lpClass[0] = '\0';
  if (lpcchClass != nullptr) *lpcchClass = 0;
  if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<std::uint32_t>(node.subkeys.size());
  if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = maxSubKey;
  if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = 0;
  if (lpcValues != nullptr) *lpcValues = static_cast<std::uint32_t>(node.values.size());
  if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = maxName;
  if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = maxData;
  if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 20;
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = platform::FileTime{};
  Report("RegQueryInfoKeyA", lpcbMaxSubKeyLen);
  Report("RegQueryInfoKeyA", lpcbMaxValueNameLen);
  Report("RegQueryInfoKeyA", lpcbMaxValueLen);
  return kErrorSuccess;
}

RegStatus FakeRegistry::RegSaveKeyA(RegKey hKey, const char* lpFile, const void* lpSecurityAttributes) {
  CallScope call(*this, "RegSaveKeyA");
  if (journal_ != nullptr) journal_->Add("RegSaveKeyA(" + std::string(lpFile ? lpFile : "<null>") + ")");
  if (call.failed()) return call.status();
  (void)lpSecurityAttributes;
  Handle h;
  if (const RegStatus s = Resolve(hKey, h); s != kErrorSuccess) return s;
  if (lpFile == nullptr || *lpFile == '\0') return kErrorInvalidParameter;
  if (!backupPrivilege_) return kErrorPrivilegeNotHeld;
  if (files_ == nullptr) return kErrorAccessDenied;
  // Windows refuses to overwrite (Wine does not).
  if (files_->Exists(lpFile)) return kErrorAlreadyExists;
  std::ostringstream out;
  out << kHiveHeader << '\n';
  std::function<void(const Node&, const std::string&)> walk = [&](const Node& node, const std::string& path) {
    out << "K " << Hex(path) << '\n';
    for (const Value& v : node.values) out << "V " << Hex(v.name) << ' ' << v.type << ' ' << Hex(v.data) << '\n';
    for (const NodePtr& child : node.subkeys) walk(*child, path.empty() ? child->name : path + "\\" + child->name);
  };
  walk(*h.node, "");
  files_->Write(lpFile, out.str(), savedFileAttributes);
  return kErrorSuccess;
}

RegStatus FakeRegistry::LoadKey(RegKey root, const std::string& path, const std::string& file) {
  if (files_ == nullptr) return kErrorAccessDenied;
  const auto content = files_->Read(file);
  if (!content) return kErrorFileNotFound;
  if (KeyExists(root, path)) return kErrorAlreadyExists;
  std::istringstream in(*content);
  std::string line;
  if (!std::getline(in, line) || line != kHiveHeader) return 1009;  // ERROR_BADDB
  std::string current = path;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string tag;
    std::string first;
    fields >> tag >> first;
    if (tag == "K") {
      const std::string relative = Unhex(first);
      current = relative.empty() ? path : path + "\\" + relative;
      CreateKeyPath(root, current);
    } else if (tag == "V") {
      std::uint32_t type = 0;
      std::string data;
      fields >> type >> data;
      SetValue(root, current, Unhex(first), type, Unhex(data));
    }
  }
  return kErrorSuccess;
}

bool FakeRegistry::GetUserNameA(char* lpBuffer, std::uint32_t* pcbBuffer) {
  CallScope call(*this, "GetUserNameA");
  if (call.failed() || pcbBuffer == nullptr) return false;
  const auto required = static_cast<std::uint32_t>(userName_.size() + 1);
  if (lpBuffer == nullptr || *pcbBuffer < required) {
    *pcbBuffer = required;
    return false;
  }
  TouchBuffer(lpBuffer, *pcbBuffer);
  std::memcpy(lpBuffer, userName_.c_str(), required);
  *pcbBuffer = required;
  Report("GetUserNameA", pcbBuffer);
  return true;
}

}  // namespace varnlet::fakes
