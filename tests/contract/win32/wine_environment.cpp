// The contract tests' environment on Windows: the real registry and files through the adapters.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "contract/registry_environment.h"
#include "platform/win32/ansi_code_page_win32.h"
#include "platform/win32/registry_api_win32.h"
#include "platform/win32/registry_handles.h"

namespace varnlet::contract {
namespace {

using platform::win32::ToHkey;

bool SetPrivilege(const char* name, bool enabled) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
  bool ok = ::LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid) != FALSE &&
            ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) != FALSE &&
            ::GetLastError() == ERROR_SUCCESS;
  ::CloseHandle(token);
  return ok;
}

bool IsWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class WineEnvironment final : public RegistryEnvironment {
 public:
  WineEnvironment() : counting_(registry_) {
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "varnlet-contract-" + std::to_string(::GetCurrentProcessId()) + "\\";
    ::CreateDirectoryA(folder_.c_str(), nullptr);
  }
  ~WineEnvironment() override {
    WIN32_FIND_DATAA data;
    const HANDLE find = ::FindFirstFileA((folder_ + "*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::string file = folder_ + data.cFileName;
        ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(file.c_str());
      } while (::FindNextFileA(find, &data));
      ::FindClose(find);
    }
    ::RemoveDirectoryA(folder_.c_str());
    SetPrivilege(SE_BACKUP_NAME, false);
    SetPrivilege(SE_RESTORE_NAME, false);
  }

  CountingRegistry& registry() override { return counting_; }
  platform::FileApi& files() override { return files_; }
  const platform::AnsiCodePage& ansi() override { return ansi_; }
  bool isWine() const override { return wine_; }

  void RemoveTree(platform::RegKey root, const std::string& path) override {
    ::RegDeleteTreeA(ToHkey(root), path.c_str());
    ::RegDeleteKeyA(ToHkey(root), path.c_str());
  }
  bool SetBackupPrivilege(bool enabled) override { return SetPrivilege(SE_BACKUP_NAME, enabled); }
  platform::RegStatus LoadKey(platform::RegKey root, const std::string& path, const std::string& file) override {
    SetPrivilege(SE_RESTORE_NAME, true);
    return ::RegLoadKeyA(ToHkey(root), path.c_str(), file.c_str());
  }
  platform::RegStatus UnLoadKey(platform::RegKey root, const std::string& path) override {
    return ::RegUnLoadKeyA(ToHkey(root), path.c_str());
  }

  std::string ScratchFolder() override { return folder_; }
  void WriteFile(const std::string& path, const std::string& content) override {
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
  }
  std::optional<std::string> ReadFile(const std::string& path) override {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void RemoveFile(const std::string& path) override {
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
  }
  std::size_t CountFiles(const std::string& folder, const std::string& prefix) override {
    std::size_t n = 0;
    WIN32_FIND_DATAA data;
    const HANDLE find = ::FindFirstFileA((folder + prefix + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
      ++n;
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return n;
  }

 private:
  platform::AnsiCodePageWin32 ansi_;
  platform::FileApiWin32 files_;
  platform::RegistryApiWin32 registry_;
  CountingRegistry counting_;
  std::string folder_;
  bool wine_ = IsWine();
};

}  // namespace

std::unique_ptr<RegistryEnvironment> MakeEnvironment() { return std::make_unique<WineEnvironment>(); }

}  // namespace varnlet::contract
