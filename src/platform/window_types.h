#pragma once
// The window handle that every layer of the program shares.
#include <cstdint>

namespace varnlet::platform {

// A window handle as the program sees it: Windows guarantees that window handles fit in 32 bits.
using Hwnd = std::uint32_t;

}  // namespace varnlet::platform
