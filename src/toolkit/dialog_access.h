#pragma once
// What the keyboard and a screen reader get of a dialog's controls. A label that opens an address
// is a link: Tab stops on it, Enter and Space do what its click does, and a screen reader
// announces it as a link by its text. A browser is a pane Tab stops on while it shows a page, and
// nothing to a screen reader while it shows none. Other labels are read as the system reads a
// text; picture boxes are left to the system.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "toolkit/dialog.h"

namespace varnlet::toolkit {

// Roles of Microsoft Active Accessibility (oleacc.h's ROLE_SYSTEM_*), which UI Automation also
// reads for Win32 controls.
inline constexpr std::uint32_t kRoleLink = 0x1E;
inline constexpr std::uint32_t kRolePane = 0x10;

struct ControlAccess {
  // Tab and Shift+Tab stop on it.
  bool tabStop = false;
  // Enter and Space do what a click does.
  bool pressable = false;
  // The role a screen reader announces; 0 where the system's own object says it.
  std::uint32_t role = 0;
  // What its default action is called, for a screen reader; empty for none.
  std::wstring_view defaultAction;
  // A screen reader skips it.
  bool hidden = false;
};

// `showsPage`: a browser control's page has arrived and may be shown.
ControlAccess AccessOf(const ControlDesign& control, bool showsPage);

// The stop Tab (Shift+Tab, `backwards`) moves to from the one at `current` (none: the focus is on
// no stop), in the design's order and round from the last to the first; none where nothing is a
// stop.
std::optional<std::size_t> NextTabStop(const std::vector<bool>& stops, std::optional<std::size_t> current,
                                       bool backwards);

}  // namespace varnlet::toolkit
