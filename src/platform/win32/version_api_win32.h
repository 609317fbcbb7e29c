#pragma once
#include "platform/version_api.h"
#include "platform/win32/handles.h"

namespace varnlet::platform {

// version.dll is no KnownDLL: it is loaded from System32 when the adapter is made, and every
// call fails as for a file without a version resource when it cannot be.
class VersionApiWin32 final : public VersionApi {
 public:
  VersionApiWin32() noexcept;
  std::uint32_t GetFileVersionInfoSizeA(const char* lptstrFilename, std::uint32_t* lpdwHandle) override;
  std::int32_t GetFileVersionInfoA(const char* lptstrFilename, std::uint32_t dwHandle, std::uint32_t dwLen,
                                   std::uint8_t* lpData) override;
  std::int32_t VerQueryValueA(const std::uint8_t* pBlock, const char* lpSubBlock, const void** lplpBuffer,
                              std::uint32_t* puLen) override;

 private:
  win32::UniqueHmodule dll_;
  DWORD(WINAPI* getSize_)(LPCSTR, LPDWORD) = nullptr;
  BOOL(WINAPI* getInfo_)(LPCSTR, DWORD, DWORD, LPVOID) = nullptr;
  BOOL(WINAPI* query_)(LPCVOID, LPCSTR, LPVOID*, PUINT) = nullptr;
};

}  // namespace varnlet::platform
