#pragma once
// Whether another copy of the program already runs in this session, from what creating the
// program's named mutex gave.
#include <cstdint>

#include "platform/system_errors.h"

namespace varnlet::toolkit {

// The name exists when the system says so, and also when it refuses to open it: a copy at
// another integrity level (an elevated one, seen from an unelevated start) made it. Any other
// failure tells nothing, and the program starts.
constexpr bool AnotherInstanceHolds(bool created, std::uint32_t lastError) {
  const auto is = [lastError](std::int32_t error) { return lastError == static_cast<std::uint32_t>(error); };
  return (created && is(platform::kErrorAlreadyExists)) || (!created && is(platform::kErrorAccessDenied));
}

}  // namespace varnlet::toolkit
