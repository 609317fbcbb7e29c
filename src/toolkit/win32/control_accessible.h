#pragma once
// What a screen reader reads of a window of ours through Microsoft Active Accessibility (and UI
// Automation, which reads the same for Win32 windows): the system's own object for its client
// area, with the role, name, state and default action the window stands for. oleacc.dll is no
// KnownDLL: it is loaded from System32, when a screen reader first asks.
#include <windows.h>

#include <cstdint>
#include <string>

namespace varnlet::toolkit::win32 {

// Posted to the window when a screen reader asks for its default action: the window does it then,
// outside the reader's call.
inline constexpr UINT kDoDefaultAction = WM_APP + 1;

struct AccessibleFacts {
  std::uint32_t role = 0;
  std::wstring name;
  std::wstring defaultAction;
  bool focusable = false;
  bool linked = false;
  // Nothing for a screen reader: it skips the window and what it holds.
  bool hidden = false;
};

// The answer to WM_GETOBJECT for `hwnd`: its client area's object with `facts`, or 0, which leaves
// the system to answer (another object asked for, or oleacc.dll missing).
LRESULT AnswerGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, const AccessibleFacts& facts) noexcept;

}  // namespace varnlet::toolkit::win32
