#pragma once
// Registry keys are 32-bit values in the program and sign-extended back to HKEY on 64-bit builds,
// where the predefined roots are the sign-extended 0x80000000..0x80000006.
#include <windows.h>

#include <cstdint>

namespace varnlet::platform::win32 {

inline HKEY ToHkey(std::uint32_t key) noexcept {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<std::int32_t>(key)));
}
inline std::uint32_t FromHkey(HKEY key) noexcept {
  return static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(key));
}

}  // namespace varnlet::platform::win32
