#pragma once
// What the contract tests run against: a registry, the file calls, the ANSI conversion, and the
// few things a test needs beyond the class's own calls (scratch files, privileges, loading a
// saved key back). The native build links the in-memory registry, the Windows build the real one;
// the tests are the same.
#include <memory>
#include <optional>
#include <string>

#include "contract/counting_registry.h"
#include "platform/ansi_code_page.h"
#include "platform/file_api.h"
#include "platform/registry_api.h"

namespace varnlet::contract {

class RegistryEnvironment {
 public:
  virtual ~RegistryEnvironment() = default;

  // The registry, counting the handles it gives out.
  virtual CountingRegistry& registry() = 0;
  virtual platform::FileApi& files() = 0;
  virtual const platform::AnsiCodePage& ansi() = 0;
  // True on the real registry under Wine, for the few places where Wine is known to differ
  // from Windows.
  virtual bool isWine() const = 0;

  // Removes root\path with all it holds; for setting up and cleaning up only.
  virtual void RemoveTree(platform::RegKey root, const std::string& path) = 0;
  virtual bool SetBackupPrivilege(bool enabled) = 0;
  // Loads a saved key as root\path (root HKEY_USERS or HKEY_LOCAL_MACHINE), and unloads it.
  virtual platform::RegStatus LoadKey(platform::RegKey root, const std::string& path, const std::string& file) = 0;
  virtual platform::RegStatus UnLoadKey(platform::RegKey root, const std::string& path) = 0;

  // A folder of the test's own for files, ending in a backslash.
  virtual std::string ScratchFolder() = 0;
  virtual void WriteFile(const std::string& path, const std::string& content) = 0;
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  virtual void RemoveFile(const std::string& path) = 0;
  // Number of files and folders in a folder whose names start with `prefix`.
  virtual std::size_t CountFiles(const std::string& folder, const std::string& prefix) = 0;
};

std::unique_ptr<RegistryEnvironment> MakeEnvironment();

}  // namespace varnlet::contract
