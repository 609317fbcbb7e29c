#pragma once
// The window handle and the Boolean that every layer of the program shares.
#include <cstdint>

namespace varnlet::platform {

// A window handle as the program sees it: Windows guarantees that window handles fit in 32 bits.
using Hwnd = std::uint32_t;

// The toolkit's 16-bit Boolean: true is -1.
using VbBool = std::int16_t;
inline constexpr VbBool kVbTrue = -1;
inline constexpr VbBool kVbFalse = 0;

}  // namespace varnlet::platform
