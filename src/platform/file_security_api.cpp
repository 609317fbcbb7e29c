#include "platform/file_security_api.h"

#include "platform/file_api.h"  // kMaxPath

namespace varnlet::platform {

UniqueFileHandle OpenForInspection(FileSecurityApi& files, const std::wstring& path) {
  return UniqueFileHandle(files,
                          files.CreateFileW(path.c_str(), kInspectAccess, kFileShareAll, kOpenExisting, kInspectFlags));
}

std::wstring FinalPathName(FileSecurityApi& files, FileHandle handle) {
  std::wstring path(kMaxPath, L'\0');
  // The size asked for may grow once more should the path change between two calls.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const auto size = static_cast<std::uint32_t>(path.size());
    const std::uint32_t got = files.GetFinalPathNameByHandleW(handle, path.data(), size, kFinalPathWithDrive);
    if (got == 0) return {};
    if (got < size) {
      path.resize(got);
      return path;
    }
    path.assign(got, L'\0');
  }
  return {};
}

}  // namespace varnlet::platform
