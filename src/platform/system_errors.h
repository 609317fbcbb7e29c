#pragma once
// The Windows error numbers the program's calls answer with, as far as it names them: a registry
// call's status, or what GetLastError says after a file call.
#include <cstdint>

namespace varnlet::platform {

inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorPathNotFound = 3;
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorNotEnoughMemory = 8;
inline constexpr std::int32_t kErrorInvalidParameter = 87;
inline constexpr std::int32_t kErrorBadPathName = 161;
inline constexpr std::int32_t kErrorAlreadyExists = 183;
inline constexpr std::int32_t kErrorMoreData = 234;
inline constexpr std::int32_t kErrorNoMoreItems = 259;
inline constexpr std::int32_t kErrorNoAccess = 998;
inline constexpr std::int32_t kErrorBadKey = 1010;
inline constexpr std::int32_t kErrorKeyDeleted = 1018;
inline constexpr std::int32_t kErrorPrivilegeNotHeld = 1314;
inline constexpr std::int32_t kErrorCantResolveFilename = 1921;

}  // namespace varnlet::platform
