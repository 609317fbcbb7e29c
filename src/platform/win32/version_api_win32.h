#pragma once
#include "platform/version_api.h"

namespace varnlet::platform {

class VersionApiWin32 final : public VersionApi {
 public:
  std::uint32_t GetFileVersionInfoSizeA(const char* lptstrFilename, std::uint32_t* lpdwHandle) override;
  std::int32_t GetFileVersionInfoA(const char* lptstrFilename, std::uint32_t dwHandle, std::uint32_t dwLen,
                                   std::uint8_t* lpData) override;
  std::int32_t VerQueryValueA(const std::uint8_t* pBlock, const char* lpSubBlock, const void** lplpBuffer,
                              std::uint32_t* puLen) override;
};

}  // namespace varnlet::platform
