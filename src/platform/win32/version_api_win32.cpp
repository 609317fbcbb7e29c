#include "platform/win32/version_api_win32.h"

#include "platform/win32/system_library.h"

namespace varnlet::platform {

VersionApiWin32::VersionApiWin32() noexcept : dll_(win32::LoadSystemLibrary(L"version.dll")) {
  getSize_ = win32::ProcAddress<decltype(getSize_)>(dll_.get(), "GetFileVersionInfoSizeA");
  getInfo_ = win32::ProcAddress<decltype(getInfo_)>(dll_.get(), "GetFileVersionInfoA");
  query_ = win32::ProcAddress<decltype(query_)>(dll_.get(), "VerQueryValueA");
}

std::uint32_t VersionApiWin32::GetFileVersionInfoSizeA(const char* lptstrFilename, std::uint32_t* lpdwHandle) {
  DWORD handle = 0;
  const DWORD size = getSize_ != nullptr ? getSize_(lptstrFilename, &handle) : 0;
  if (lpdwHandle != nullptr) *lpdwHandle = handle;
  return size;
}

std::int32_t VersionApiWin32::GetFileVersionInfoA(const char* lptstrFilename, std::uint32_t dwHandle,
                                                  std::uint32_t dwLen, std::uint8_t* lpData) {
  return getInfo_ != nullptr ? getInfo_(lptstrFilename, dwHandle, dwLen, lpData) : FALSE;
}

std::int32_t VersionApiWin32::VerQueryValueA(const std::uint8_t* pBlock, const char* lpSubBlock,
                                             const void** lplpBuffer, std::uint32_t* puLen) {
  void* buffer = nullptr;
  UINT length = 0;
  const BOOL ok = query_ != nullptr ? query_(pBlock, lpSubBlock, &buffer, &length) : FALSE;
  *lplpBuffer = buffer;
  *puLen = length;
  return ok;
}

}  // namespace varnlet::platform
