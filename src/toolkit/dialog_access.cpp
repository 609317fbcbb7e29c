#include "toolkit/dialog_access.h"

namespace varnlet::toolkit {

ControlAccess AccessOf(const ControlDesign& control, bool showsPage) {
  ControlAccess access;
  switch (control.kind) {
    case ControlKind::Label:
      if (!control.link.empty()) {
        access.tabStop = true;
        access.pressable = true;
        access.role = kRoleLink;
        access.defaultAction = control.link;
      }
      break;
    case ControlKind::WebBrowser:
      access.tabStop = showsPage;
      access.role = kRolePane;
      access.hidden = !showsPage;
      break;
    case ControlKind::PictureBox:
      break;
  }
  return access;
}

std::optional<std::size_t> NextTabStop(const std::vector<bool>& stops, std::optional<std::size_t> current,
                                       bool backwards) {
  const std::size_t count = stops.size();
  if (count == 0) return std::nullopt;
  // From no stop, Tab starts at the first and Shift+Tab at the last.
  std::size_t at = current.value_or(backwards ? 0 : count - 1) % count;
  for (std::size_t step = 0; step < count; ++step) {
    at = backwards ? (at + count - 1) % count : (at + 1) % count;
    if (stops[at]) return at;
  }
  return std::nullopt;
}

}  // namespace varnlet::toolkit
