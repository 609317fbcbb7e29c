#pragma once
// The version library calls that read a file's version resource.
#include <cstdint>

namespace varnlet::platform {

class VersionApi {
 public:
  virtual ~VersionApi() = default;
  virtual std::uint32_t GetFileVersionInfoSizeA(const char* lptstrFilename, std::uint32_t* lpdwHandle) = 0;
  virtual std::int32_t GetFileVersionInfoA(const char* lptstrFilename, std::uint32_t dwHandle, std::uint32_t dwLen,
                                           std::uint8_t* lpData) = 0;
  // On success *lplpBuffer points into pBlock and *puLen is the length of what it points at.
  virtual std::int32_t VerQueryValueA(const std::uint8_t* pBlock, const char* lpSubBlock, const void** lplpBuffer,
                                      std::uint32_t* puLen) = 0;
};

}  // namespace varnlet::platform
