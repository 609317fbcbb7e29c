#pragma once
// Helpers shared by the files that implement cQueryReg.
#include <cstdint>
#include <limits>
#include <string>

#include "base/errors.h"

namespace varnlet::registry::detail {

// Buffers are sized by numbers the registry reports. A size that does not fit a signed 32-bit
// count cannot be a real value's: it is an overflow, as the original 32-bit arithmetic had it.
inline std::size_t BufferSize(std::uint64_t size) {
  if (size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    throw Overflow("registry size out of range");
  }
  return static_cast<std::size_t>(size);
}

inline std::uint8_t* Bytes(std::string& buffer) { return reinterpret_cast<std::uint8_t*>(buffer.data()); }

}  // namespace varnlet::registry::detail
