// The baseline for Varnlet's start-up and footprint figures: the least a Win32 tray program can
// be. A hidden window adds one icon with a tip, and WM_CLOSE removes it and ends the program.
// Built with the same compiler, flags and static linking as varnlet.exe.
#include "tray_baseline.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const HWND window = baseline::CreateTrayWindow(instance, L"Varnlet.MinimalTray", L"Minimal tray");
  if (window == nullptr || !baseline::AddIcon(window, L"Minimal tray")) return 1;
  baseline::RunMessageLoop();
  return 0;
}
