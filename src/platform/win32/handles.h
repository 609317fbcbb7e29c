#pragma once
// Move-only owners for the Win32 handles the program holds; each closes its handle exactly once.
#include <windows.h>

#include <cstdint>
#include <utility>

namespace varnlet::platform::win32 {

// Owns one handle of type H and closes it with Close exactly once. A null handle, and the -1 of
// INVALID_HANDLE_VALUE, hold nothing. The close keeps the thread's last error, so a caller can
// still read why the call before it failed.
template <class H, auto Close>
class UniqueOwner {
 public:
  using Handle = H;
  UniqueOwner() noexcept = default;
  explicit UniqueOwner(H h) noexcept : h_(h) {}
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;
  UniqueOwner(UniqueOwner&& o) noexcept : h_(o.release()) {}
  UniqueOwner& operator=(UniqueOwner&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~UniqueOwner() { reset(); }

  H get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return Valid(h_); }
  H release() noexcept { return std::exchange(h_, H{}); }
  void reset(H h = H{}) noexcept {
    const H old = std::exchange(h_, h);
    if (!Valid(old)) return;
    const DWORD error = ::GetLastError();
    Close(old);
    ::SetLastError(error);
  }
  // For an out parameter: closes what is held, then lets the callee fill it.
  H* put() noexcept {
    reset();
    return &h_;
  }

 private:
  static bool Valid(H h) noexcept {
    return h != H{} && reinterpret_cast<ULONG_PTR>(h) != reinterpret_cast<ULONG_PTR>(INVALID_HANDLE_VALUE);
  }
  H h_{};
};

using UniqueHandle = UniqueOwner<HANDLE, &::CloseHandle>;
// A FindFirstFileW search: a HANDLE too, but closed with FindClose.
using UniqueFindHandle = UniqueOwner<HANDLE, &::FindClose>;
using UniqueHwnd = UniqueOwner<HWND, &::DestroyWindow>;
using UniqueHkey = UniqueOwner<HKEY, &::RegCloseKey>;
using UniqueHicon = UniqueOwner<HICON, &::DestroyIcon>;
using UniqueHmenu = UniqueOwner<HMENU, &::DestroyMenu>;
using UniqueGdiObject = UniqueOwner<HGDIOBJ, &::DeleteObject>;
using UniqueHmodule = UniqueOwner<HMODULE, &::FreeLibrary>;
// Memory the system allocated for the caller with LocalAlloc (SDDL conversions, SID strings).
using UniqueLocal = UniqueOwner<HLOCAL, &::LocalFree>;

// Window handles fit in 32 bits; on 64-bit builds the value is sign-extended back to a handle.
inline HWND ToHwnd(std::uint32_t h) noexcept {
  return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<std::int32_t>(h)));
}
inline std::uint32_t FromHwnd(HWND h) noexcept { return static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(h)); }

}  // namespace varnlet::platform::win32
