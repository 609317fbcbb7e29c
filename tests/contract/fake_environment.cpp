// The contract tests' environment on the native build: the in-memory registry and file system.
#include <algorithm>

#include "contract/registry_environment.h"
#include "fakes/ansi_case.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_registry.h"

namespace varnlet::contract {
namespace {

class FakeEnvironment final : public RegistryEnvironment {
 public:
  FakeEnvironment() : registry_(&files_), counting_(registry_) {}

  CountingRegistry& registry() override { return counting_; }
  platform::FileApi& files() override { return files_; }
  const platform::AnsiCodePage& ansi() override { return ansi_; }
  bool isWine() const override { return false; }

  void RemoveTree(platform::RegKey root, const std::string& path) override {
    const std::size_t slash = path.rfind('\\');
    const std::string parent = slash == std::string::npos ? std::string() : path.substr(0, slash);
    RemoveBelow(root, path);
    platform::RegKey key = 0;
    if (registry_.RegOpenKeyExA(root, parent.c_str(), 0, 0xF003F, &key) == 0) {
      registry_.RegDeleteKeyA(key, path.substr(slash + 1).c_str());
      registry_.RegCloseKey(key);
    }
  }
  bool SetBackupPrivilege(bool enabled) override {
    registry_.SetBackupPrivilege(enabled);
    return true;
  }
  platform::RegStatus LoadKey(platform::RegKey root, const std::string& path, const std::string& file) override {
    return registry_.LoadKey(root, path, file);
  }
  platform::RegStatus UnLoadKey(platform::RegKey root, const std::string& path) override {
    RemoveTree(root, path);
    return 0;
  }
  std::string ScratchFolder() override { return R"(C:\scratch\)"; }
  void WriteFile(const std::string& path, const std::string& content) override { files_.Write(path, content); }
  std::optional<std::string> ReadFile(const std::string& path) override { return files_.Read(path); }
  void RemoveFile(const std::string& path) override { files_.DeleteFileA(path.c_str()); }
  std::size_t CountFiles(const std::string& folder, const std::string& prefix) override {
    return files_.CountStartingWith(folder + prefix);
  }

 private:
  void RemoveBelow(platform::RegKey root, const std::string& path) {
    for (const std::string& child : registry_.SubkeyNames(root, path)) RemoveTree(root, path + "\\" + child);
  }

  platform::Windows1252 ansi_;
  fakes::FakeFileSystem files_;
  fakes::FakeRegistry registry_;
  CountingRegistry counting_;
};

}  // namespace

std::unique_ptr<RegistryEnvironment> MakeEnvironment() { return std::make_unique<FakeEnvironment>(); }

}  // namespace varnlet::contract
