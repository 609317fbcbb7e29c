#pragma once
// The object behind a window: handed to CreateWindowEx as its creation parameter, kept in the
// window's user data at WM_NCCREATE, and found again there by every later message.
#include <windows.h>

namespace varnlet::toolkit::win32 {

template <class T>
T* WindowObject(HWND hwnd, UINT msg, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return self;
  }
  return reinterpret_cast<T*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace varnlet::toolkit::win32
