#pragma once
// What both baseline programs are made of: a hidden window with one tray icon and a tip, which
// WM_CLOSE removes before ending the program, and the message loop. Header only, so that each
// baseline stays one small program of its own.
#include <windows.h>
#include <shellapi.h>

namespace baseline {

constexpr UINT kIconId = 1;
constexpr UINT kCallbackMessage = WM_APP + 1;

inline void DeleteIcon(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = kIconId;
  ::Shell_NotifyIconW(NIM_DELETE, &data);
}

inline LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      DeleteIcon(window);
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

// The hidden window of class `className` (its title is the tip too), or null.
inline HWND CreateTrayWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = className;
  if (::RegisterClassW(&windowClass) == 0) return nullptr;
  return ::CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

inline bool AddIcon(HWND window, const wchar_t* tip) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = kIconId;
  data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  data.uCallbackMessage = kCallbackMessage;
  data.hIcon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
  lstrcpynW(data.szTip, tip, ARRAYSIZE(data.szTip));
  return ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

inline void RunMessageLoop() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace baseline
