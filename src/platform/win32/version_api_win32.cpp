#include "platform/win32/version_api_win32.h"

#include <windows.h>

namespace varnlet::platform {

std::uint32_t VersionApiWin32::GetFileVersionInfoSizeA(const char* lptstrFilename, std::uint32_t* lpdwHandle) {
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(lptstrFilename, &handle);
  if (lpdwHandle != nullptr) *lpdwHandle = handle;
  return size;
}

std::int32_t VersionApiWin32::GetFileVersionInfoA(const char* lptstrFilename, std::uint32_t dwHandle,
                                                  std::uint32_t dwLen, std::uint8_t* lpData) {
  return ::GetFileVersionInfoA(lptstrFilename, dwHandle, dwLen, lpData);
}

std::int32_t VersionApiWin32::VerQueryValueA(const std::uint8_t* pBlock, const char* lpSubBlock,
                                             const void** lplpBuffer, std::uint32_t* puLen) {
  void* buffer = nullptr;
  UINT length = 0;
  const BOOL ok = ::VerQueryValueA(pBlock, lpSubBlock, &buffer, &length);
  *lplpBuffer = buffer;
  *puLen = length;
  return ok;
}

}  // namespace varnlet::platform
