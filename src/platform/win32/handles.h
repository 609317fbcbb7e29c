#pragma once
// Move-only owners for the Win32 handles the program holds; each closes its handle exactly once.
#include <windows.h>

#include <cstdint>
#include <utility>

namespace varnlet::platform::win32 {

template <class Traits>
class UniqueOwner {
 public:
  using Handle = typename Traits::Handle;
  UniqueOwner() noexcept = default;
  explicit UniqueOwner(Handle h) noexcept : h_(h) {}
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;
  UniqueOwner(UniqueOwner&& o) noexcept : h_(o.release()) {}
  UniqueOwner& operator=(UniqueOwner&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~UniqueOwner() { reset(); }

  Handle get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return Traits::Valid(h_); }
  Handle release() noexcept { return std::exchange(h_, Traits::Invalid()); }
  void reset(Handle h = Traits::Invalid()) noexcept {
    Handle old = std::exchange(h_, h);
    if (Traits::Valid(old)) Traits::Close(old);
  }

 private:
  Handle h_ = Traits::Invalid();
};

struct HandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static bool Valid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
struct HwndTraits {
  using Handle = HWND;
  static Handle Invalid() noexcept { return nullptr; }
  static bool Valid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::DestroyWindow(h); }
};
struct HkeyTraits {
  using Handle = HKEY;
  static Handle Invalid() noexcept { return nullptr; }
  static bool Valid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};
struct HiconTraits {
  using Handle = HICON;
  static Handle Invalid() noexcept { return nullptr; }
  static bool Valid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::DestroyIcon(h); }
};
struct HmenuTraits {
  using Handle = HMENU;
  static Handle Invalid() noexcept { return nullptr; }
  static bool Valid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::DestroyMenu(h); }
};
struct HmoduleTraits {
  using Handle = HMODULE;
  static Handle Invalid() noexcept { return nullptr; }
  static bool Valid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::FreeLibrary(h); }
};
struct LocalTraits {
  using Handle = HLOCAL;
  static Handle Invalid() noexcept { return nullptr; }
  static bool Valid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::LocalFree(h); }
};
struct GdiTraits {
  using Handle = HGDIOBJ;
  static Handle Invalid() noexcept { return nullptr; }
  static bool Valid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::DeleteObject(h); }
};

using UniqueHandle = UniqueOwner<HandleTraits>;
using UniqueHwnd = UniqueOwner<HwndTraits>;
using UniqueHkey = UniqueOwner<HkeyTraits>;
using UniqueHicon = UniqueOwner<HiconTraits>;
using UniqueHmenu = UniqueOwner<HmenuTraits>;
using UniqueGdiObject = UniqueOwner<GdiTraits>;
using UniqueHmodule = UniqueOwner<HmoduleTraits>;
// Memory the system allocated for the caller with LocalAlloc (SDDL conversions, SID strings).
using UniqueLocal = UniqueOwner<LocalTraits>;

// Window handles fit in 32 bits; on 64-bit builds the value is sign-extended back to a handle.
inline HWND ToHwnd(std::uint32_t h) noexcept {
  return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<std::int32_t>(h)));
}
inline std::uint32_t FromHwnd(HWND h) noexcept { return static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(h)); }

}  // namespace varnlet::platform::win32
