#pragma once
// An in-memory registry behind the registry boundary that answers every call the registry class
// makes as Windows does (sizes that count the NUL, ERROR_MORE_DATA, the unset default value,
// case-insensitive names, access rights per handle, deleted keys, the status numbers), in
// Windows-1252. It counts open handles, can make any single call fail with a chosen status,
// refuse access to one key, report faulty sizes, and run a hook after each call so a test can
// change a value between two calls.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fakes/fake_file_system.h"
#include "fakes/fault_injector.h"
#include "fakes/journal.h"
#include "platform/registry_api.h"

namespace varnlet::fakes {

class FakeRegistry final : public platform::RegistryApi {
 public:
  struct Value {
    std::string name;
    std::uint32_t type = 0;
    std::string data;  // bytes as stored; strings in Windows-1252
  };

  // files receives what RegSaveKeyA writes; without it every save fails with 5.
  explicit FakeRegistry(FakeFileSystem* files = nullptr, Journal* journal = nullptr);
  // A copy of another registry, keys, values, open handles and settings alike, that shares
  // nothing with it and saves to `files`: cheaper than building the same keys again.
  FakeRegistry(const FakeRegistry& other, FakeFileSystem* files);
  FakeRegistry(const FakeRegistry&) = delete;
  FakeRegistry& operator=(const FakeRegistry&) = delete;
  ~FakeRegistry() override;

  // Test access. Paths are relative to a predefined root, components separated by "\".
  void CreateKeyPath(platform::RegKey root, const std::string& path);
  void SetValue(platform::RegKey root, const std::string& path, const std::string& name, std::uint32_t type,
                std::string data);
  bool KeyExists(platform::RegKey root, const std::string& path) const;
  std::optional<Value> GetValue(platform::RegKey root, const std::string& path, const std::string& name) const;
  // Subkey names and values of a key, in the order the registry enumerates them.
  std::vector<std::string> SubkeyNames(platform::RegKey root, const std::string& path) const;
  std::vector<Value> Values(platform::RegKey root, const std::string& path) const;
  // Every key below the root, as "path" lines, and every value, as "path|name|type|hex" lines.
  std::vector<std::string> Dump(platform::RegKey root) const;
  // Reads a file RegSaveKeyA wrote into a new key root\path, as RegLoadKeyA would.
  platform::RegStatus LoadKey(platform::RegKey root, const std::string& path, const std::string& file);

  // Opening, creating or deleting this key gives 5.
  void DenyAccess(platform::RegKey root, const std::string& path);
  // The next uses (nth as in FaultInjector) of `call` return `status` and do nothing else;
  // a failing RegCloseKey still releases the handle.
  void FailWith(const std::string& call, platform::RegStatus status, int nth = 1);
  // Every size `call` reports (data sizes, name lengths, key maxima) is replaced by `size`,
  // as a faulty registry would; buffers are still filled only within the size announced.
  void ReportFaultySize(const std::string& call, std::uint32_t size);
  // Runs after every call with the call's name.
  void AfterCall(std::function<void(const std::string&)> hook) { afterCall_ = std::move(hook); }
  void SetBackupPrivilege(bool enabled) { backupPrivilege_ = enabled; }
  // The attributes a saved dump file gets (the system may leave it read-only or hidden).
  std::uint32_t savedFileAttributes = 0x80;
  void SetUserName(std::string name) { userName_ = std::move(name); }

  std::size_t openHandles() const { return handles_.size(); }
  std::size_t maxOpenHandles() const { return maxOpen_; }
  std::size_t badCloses() const { return badCloses_; }
  FaultInjector& faults() { return faults_; }

  platform::RegStatus RegOpenKeyExA(platform::RegKey hKey, const char* lpSubKey, std::uint32_t ulOptions,
                                    std::uint32_t samDesired, platform::RegKey* phkResult) override;
  platform::RegStatus RegCreateKeyA(platform::RegKey hKey, const char* lpSubKey, platform::RegKey* phkResult) override;
  platform::RegStatus RegCloseKey(platform::RegKey hKey) override;
  platform::RegStatus RegQueryValueA(platform::RegKey hKey, const char* lpSubKey, char* lpData,
                                     std::int32_t* lpcbData) override;
  platform::RegStatus RegQueryValueExA(platform::RegKey hKey, const char* lpValueName, std::uint32_t* lpReserved,
                                       std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) override;
  platform::RegStatus RegSetValueA(platform::RegKey hKey, const char* lpSubKey, std::uint32_t dwType,
                                   const char* lpData, std::uint32_t cbData) override;
  platform::RegStatus RegSetValueExA(platform::RegKey hKey, const char* lpValueName, std::uint32_t Reserved,
                                     std::uint32_t dwType, const std::uint8_t* lpData, std::uint32_t cbData) override;
  platform::RegStatus RegDeleteValueA(platform::RegKey hKey, const char* lpValueName) override;
  platform::RegStatus RegDeleteKeyA(platform::RegKey hKey, const char* lpSubKey) override;
  platform::RegStatus RegEnumKeyExA(platform::RegKey hKey, std::uint32_t dwIndex, char* lpName,
                                    std::uint32_t* lpcchName, std::uint32_t* lpReserved, char* lpClass,
                                    std::uint32_t* lpcchClass, platform::FileTime* lpftLastWriteTime) override;
  platform::RegStatus RegEnumValueA(platform::RegKey hKey, std::uint32_t dwIndex, char* lpValueName,
                                    std::uint32_t* lpcchValueName, std::uint32_t* lpReserved, std::uint32_t* lpType,
                                    std::uint8_t* lpData, std::uint32_t* lpcbData) override;
  platform::RegStatus RegQueryInfoKeyA(platform::RegKey hKey, char* lpClass, std::uint32_t* lpcchClass,
                                       std::uint32_t* lpReserved, std::uint32_t* lpcSubKeys,
                                       std::uint32_t* lpcbMaxSubKeyLen, std::uint32_t* lpcbMaxClassLen,
                                       std::uint32_t* lpcValues, std::uint32_t* lpcbMaxValueNameLen,
                                       std::uint32_t* lpcbMaxValueLen, std::uint32_t* lpcbSecurityDescriptor,
                                       platform::FileTime* lpftLastWriteTime) override;
  platform::RegStatus RegSaveKeyA(platform::RegKey hKey, const char* lpFile, const void* lpSecurityAttributes) override;
  bool GetUserNameA(char* lpBuffer, std::uint32_t* pcbBuffer) override;

 private:
  struct Node;
  using NodePtr = std::shared_ptr<Node>;
  struct Handle {
    NodePtr node;
    std::uint32_t access = 0;
  };
  class CallScope;

  // The key a handle or predefined root stands for, with the rights it was opened with.
  platform::RegStatus Resolve(platform::RegKey hKey, Handle& out) const;
  // Walks a subkey path below a node; creates what is missing when `create` is set.
  platform::RegStatus Walk(platform::RegKey hKey, const Handle& from, const char* lpSubKey, bool create, NodePtr& out);
  NodePtr Find(platform::RegKey root, const std::string& path) const;
  platform::RegKey NewHandle(NodePtr node, std::uint32_t access);
  void Report(const std::string& call, std::uint32_t* size) const;
  void Report(const std::string& call, std::int32_t* size) const;
  bool IsDenied(const NodePtr& node) const { return denied_.count(node.get()) != 0; }

  FakeFileSystem* files_;
  Journal* journal_;
  std::map<platform::RegKey, NodePtr> roots_;
  std::map<platform::RegKey, Handle> handles_;
  std::set<const Node*> denied_;
  std::map<std::string, platform::RegStatus> failStatus_;
  std::map<std::string, std::uint32_t> faultySizes_;
  std::function<void(const std::string&)> afterCall_;
  FaultInjector faults_;
  std::string userName_ = "tester";
  platform::RegKey nextHandle_ = 0x1000;
  std::size_t maxOpen_ = 0;
  std::size_t badCloses_ = 0;
  bool backupPrivilege_ = false;
};

}  // namespace varnlet::fakes
