// cQueryReg's key dump and shell folders: the operations that reach files and the system's
// directories.
#include <algorithm>
#include <random>

#include "base/error_skipping.h"
#include "registry/cQueryReg.h"
#include "registry/query_reg_internal.h"
#include "registry/unique_key.h"

namespace varnlet::registry {
namespace {

constexpr std::uint32_t kDirectoryBufferSize = 300;
constexpr const char* kTemporaryPrefix = "vrk";
// The one file in the dump's folder.
constexpr const char* kDumpName = "\\tmp.reg";
// Names are random: one already taken was taken on purpose, and a few more tries settle it.
constexpr int kFolderAttempts = 8;

const wchar_t* const kUserShellFolders = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t* const kCurrentVersion = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion";

std::string Hex8(std::uint32_t value) {
  std::string text(8, '0');
  for (auto it = text.rbegin(); it != text.rend(); ++it, value >>= 4U) *it = "0123456789ABCDEF"[value & 0xFU];
  return text;
}

// A folder of its own in the user's temporary folder for one key dump, which only the caller may
// enter, so that nobody else can read the dump, take its name first or put another file in its
// place. The folder goes, with the dump, when the owner goes, whatever happened meanwhile.
class DumpFolder {
 public:
  explicit DumpFolder(platform::FileApi& files) : files_(files) {}
  DumpFolder(const DumpFolder&) = delete;
  DumpFolder& operator=(const DumpFolder&) = delete;
  ~DumpFolder() {
    if (path_.empty()) return;
    const std::string dump = Dump();
    // The system may leave the dump read-only or hidden.
    SkipErrors([&] { files_.SetFileAttributesA(dump.c_str(), platform::kFileAttributeNormal); });
    SkipErrors([&] { files_.DeleteFileA(dump.c_str()); });
    SkipErrors([&] { files_.RemoveDirectoryA(path_.c_str()); });
  }

  // 0 once the folder is made, else the reason it could not be.
  RegStatus Make() {
    std::string temporary(platform::kMaxPath + 1, '\0');
    const std::uint32_t length = files_.GetTempPathA(platform::kMaxPath + 1, temporary.data());
    if (length == 0 || length > platform::kMaxPath) return kErrorPathNotFound;
    temporary.resize(length);
    std::random_device random;
    for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
      const std::string candidate = temporary + kTemporaryPrefix + Hex8(random());
      if (files_.CreateDirectoryA(candidate.c_str(), platform::DirectoryAccess::OwnerOnly)) {
        path_ = candidate;
        return kErrorSuccess;
      }
      const std::uint32_t error = files_.GetLastError();
      if (error != static_cast<std::uint32_t>(platform::kErrorAlreadyExists))
        return error != 0 ? static_cast<RegStatus>(error) : kErrorPathNotFound;
    }
    return platform::kErrorAlreadyExists;
  }
  std::string Dump() const { return path_ + kDumpName; }

 private:
  platform::FileApi& files_;
  std::string path_;
};

}  // namespace

RegStatus cQueryReg::RegSaveKey(std::wstring sKey, const std::wstring& lpFile) {
  const RegKey root = ResolveRootKey(sKey, kHkeyCurrentUser);
  RegKey opened = 0;
  OpenKey(root, sKey, 0, opened);
  const UniqueKey key(api_, opened);
  // The dump may hold secrets: it is made in a folder of this call's own, never a shared place.
  DumpFolder folder(files_);
  RegStatus made = kErrorPathNotFound;
  SkipErrors([&] { made = folder.Make(); });
  if (made != kErrorSuccess) return made;
  const std::string dump = folder.Dump();
  const RegStatus status = api_.RegSaveKeyA(key.get(), dump.c_str(), nullptr);
  if (status == kErrorSuccess) {
    // The copy must not carry the dump's attributes to the caller's file. A copy that fails is
    // not reported; the save's status is the result.
    SkipErrors([&] { files_.SetFileAttributesA(dump.c_str(), platform::kFileAttributeNormal); });
    SkipErrors([&] { files_.CopyFileA(dump.c_str(), Ansi(lpFile).c_str(), false); });
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
  } catch (const OutOfRange&) {
    // No such entry: the lookup's error is dropped.
  }
  return {};
}

}  // namespace varnlet::registry
