#include "fakes/fake_version.h"

#include <cstring>
#include <string>

namespace varnlet::fakes {

std::uint32_t FakeVersion::GetFileVersionInfoSizeA(const char* lptstrFilename, std::uint32_t* lpdwHandle) {
  ++sizeQueries;
  if (lpdwHandle != nullptr) *lpdwHandle = 0;
  if (faults.ShouldFail("GetFileVersionInfoSizeA")) return 0;
  if (!shellMajor || std::string(lptstrFilename) != "shell32.dll") return 0;
  return kResourceSize;
}

std::int32_t FakeVersion::GetFileVersionInfoA(const char* lptstrFilename, std::uint32_t, std::uint32_t dwLen,
                                              std::uint8_t* lpData) {
  if (faults.ShouldFail("GetFileVersionInfoA")) return 0;
  if (!shellMajor || std::string(lptstrFilename) != "shell32.dll" || dwLen < kResourceSize) return 0;
  std::memset(lpData, 0, dwLen);
  // VS_FIXEDFILEINFO: signature, struct version, then dwFileVersionMS = major.minor.
  std::uint8_t* info = lpData + kFixedInfoOffset;
  const std::uint32_t signature = 0xFEEF04BD;
  const std::uint32_t versionMs = static_cast<std::uint32_t>(static_cast<std::uint16_t>(*shellMajor)) << 16 | 1;
  std::memcpy(info, &signature, 4);
  std::memcpy(info + 8, &versionMs, 4);
  return 1;
}

std::int32_t FakeVersion::VerQueryValueA(const std::uint8_t* pBlock, const char* lpSubBlock, const void** lplpBuffer,
                                         std::uint32_t* puLen) {
  if (faults.ShouldFail("VerQueryValueA") || std::string(lpSubBlock) != "\\") {
    *puLen = 0;
    return 0;
  }
  *lplpBuffer = pBlock + kFixedInfoOffset;
  *puLen = rootLength;
  return 1;
}

}  // namespace varnlet::fakes
