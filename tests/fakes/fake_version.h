#pragma once
// A version library that answers for shell32.dll with a chosen major version, or with no
// version resource at all, and counts how often the resource is read.
#include <cstdint>
#include <optional>

#include "fakes/fault_injector.h"
#include "platform/version_api.h"

namespace varnlet::fakes {

class FakeVersion final : public platform::VersionApi {
 public:
  std::uint32_t GetFileVersionInfoSizeA(const char* lptstrFilename, std::uint32_t* lpdwHandle) override;
  std::int32_t GetFileVersionInfoA(const char* lptstrFilename, std::uint32_t dwHandle, std::uint32_t dwLen,
                                   std::uint8_t* lpData) override;
  std::int32_t VerQueryValueA(const std::uint8_t* pBlock, const char* lpSubBlock, const void** lplpBuffer,
                              std::uint32_t* puLen) override;

  // The major version of shell32.dll; nothing means the file has no version resource.
  std::optional<std::int16_t> shellMajor = 6;
  // A root block shorter than the fixed file information, as a damaged resource might give.
  std::uint32_t rootLength = 52;
  int sizeQueries = 0;
  FaultInjector faults;

 private:
  static constexpr std::uint32_t kResourceSize = 0x200;
  static constexpr std::size_t kFixedInfoOffset = 40;
};

}  // namespace varnlet::fakes
