// cQueryReg's key dump and shell folders: the operations that reach files and the system's
// directories.
#include <algorithm>

#include "registry/cQueryReg.h"
#include "registry/query_reg_internal.h"
#include "registry/unique_key.h"

namespace varnlet::registry {
namespace {

constexpr std::uint32_t kDirectoryBufferSize = 300;
constexpr const char* kTemporaryPrefix = "vrk";

const wchar_t* const kUserShellFolders = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t* const kCurrentVersion = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion";

// A file of the process's own in the user's temporary folder, removed when the owner goes.
class TemporaryFile {
 public:
  explicit TemporaryFile(platform::FileApi& files) : files_(files) {
    std::string folder(platform::kMaxPath + 1, '\0');
    const std::uint32_t length = files_.GetTempPathA(platform::kMaxPath + 1, folder.data());
    if (length == 0 || length > platform::kMaxPath) return;
    folder.resize(length);
    std::string path(platform::kMaxPath + 1, '\0');
    // The system makes the file under a name no other file has.
    if (files_.GetTempFileNameA(folder.c_str(), kTemporaryPrefix, 0, path.data()) == 0) return;
    path.resize(path.find('\0'));
    name_ = path;
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() { Remove(); }

  const std::string& name() const { return name_; }
  // Clears whatever attributes the file was given (read-only, hidden), so it can be deleted
  // and copied as an ordinary file.
  void MakeNormal() const {
    if (!name_.empty()) files_.SetFileAttributesA(name_.c_str(), platform::kFileAttributeNormal);
  }
  void Remove() const {
    MakeNormal();
    if (!name_.empty()) files_.DeleteFileA(name_.c_str());
  }

 private:
  platform::FileApi& files_;
  std::string name_;
};

}  // namespace

RegStatus cQueryReg::RegSaveKey(std::wstring sKey, const std::wstring& lpFile) {
  const RegKey root = ResolveRootKey(sKey, kHkeyCurrentUser);
  RegKey opened = 0;
  OpenKey(root, sKey, 0, opened);
  const UniqueKey key(api_, opened);
  // The dump may hold secrets: it passes through a file of our own in the user's temporary
  // folder, never a shared place, and the file goes on every path.
  const TemporaryFile temporary(files_);
  if (temporary.name().empty()) return kErrorPathNotFound;
  // The system refuses to save over an existing file; the name stays ours while the file is gone.
  temporary.Remove();
  const RegStatus status = api_.RegSaveKeyA(key.get(), temporary.name().c_str(), nullptr);
  if (status == kErrorSuccess) {
    // The copy must not carry the dump's attributes to the caller's file. A copy that fails is
    // not reported; the save's status is the result.
    temporary.MakeNormal();
    files_.CopyFileA(temporary.name().c_str(), Ansi(lpFile).c_str(), false);
  }
  return status;
}

std::wstring cQueryReg::SystemDirectory(std::uint32_t (platform::FileApi::*call)(char*, std::uint32_t)) {
  std::string buffer(kDirectoryBufferSize, '\0');
  const std::uint32_t length = (files_.*call)(buffer.data(), kDirectoryBufferSize);
  buffer.resize(std::min<std::size_t>(length, buffer.size()));
  return Wide(buffer);
}

std::shared_ptr<KeyedCollection> cQueryReg::ShellFolders(bool bSoloClaves, bool Usuario) {
  colFolders = std::make_shared<KeyedCollection>();
  const auto names = std::make_shared<KeyedCollection>();
  auto add = [&](const std::wstring& name, const std::wstring& path) {
    names->Add(name, name);
    colFolders->Add(path, name);
  };
  const std::wstring user = !sUserName.empty() && Usuario ? sUserName : std::wstring(L".Default");
  const std::wstring userFolders = L"HKEY_USERS\\" + user + kUserShellFolders;
  struct Pass {
    std::wstring path;
    bool drivePathsOnly;
  };
  for (const Pass& pass : {Pass{userFolders, false}, Pass{kCurrentVersion, true}}) {
    std::vector<std::wstring> pairs;
    if (!EnumValues(pairs, pass.path)) continue;
    for (std::size_t k = 1; k + 1 < pairs.size(); k += 2) {
      // The machine's key holds much besides folders: only drive-rooted paths are taken.
      if (pass.drivePathsOnly && pairs[k + 1].find(L":\\") == std::wstring::npos) continue;
      add(pairs[k], pairs[k + 1]);
    }
  }
  add(L"WindowsDir", SystemDirectory(&platform::FileApi::GetWindowsDirectoryA));
  add(L"SystemDir", SystemDirectory(&platform::FileApi::GetSystemDirectoryA));
  return bSoloClaves ? names : colFolders;
}

std::wstring cQueryReg::GetFolder(const Variant& vIndex) {
  if (colFolders->Count() == 0) ShellFolders(false, true);
  try {
    if (const auto* key = std::get_if<std::wstring>(&vIndex)) return colFolders->Item(*key);
    if (const auto* position = std::get_if<std::int32_t>(&vIndex)) {
      if (*position >= 1) return colFolders->Item(static_cast<std::size_t>(*position));
    }
  } catch (const std::out_of_range&) {
    // No such entry: the lookup's error is dropped.
  }
  return {};
}

}  // namespace varnlet::registry
