#pragma once
// Whether another copy of the program already runs in this session, from what creating the
// program's named mutex gave.
#include <cstdint>

namespace varnlet::toolkit {

inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;

// The name exists when the system says so, and also when it refuses to open it: a copy at
// another integrity level (an elevated one, seen from an unelevated start) made it. Any other
// failure tells nothing, and the program starts.
constexpr bool AnotherInstanceHolds(bool created, std::uint32_t lastError) {
  return (created && lastError == kErrorAlreadyExists) || (!created && lastError == kErrorAccessDenied);
}

}  // namespace varnlet::toolkit
