// The baseline for Varnlet's start-up and footprint figures: the least a Win32 tray program can
// be. A hidden window adds one icon with a tip, and WM_CLOSE removes it and ends the program.
// Built with the same compiler, flags and static linking as varnlet.exe.
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr UINT kIconId = 1;
constexpr UINT kCallbackMessage = WM_APP + 1;

void DeleteIcon(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = kIconId;
  ::Shell_NotifyIconW(NIM_DELETE, &data);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"Varnlet.MinimalTray";
  if (::RegisterClassW(&windowClass) == 0) return 1;
  const HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"Minimal tray", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                        nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;

  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = kIconId;
  data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  data.uCallbackMessage = kCallbackMessage;
  data.hIcon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
  lstrcpynW(data.szTip, L"Minimal tray", ARRAYSIZE(data.szTip));
  if (!::Shell_NotifyIconW(NIM_ADD, &data)) return 1;

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}
