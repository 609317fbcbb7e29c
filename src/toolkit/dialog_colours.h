#pragma once
// Which colours a dialog paints with. The design's fixed colours (a white form, say) assume the
// system's text colours are dark; a dark high-contrast theme breaks that, and a label that takes
// the system's text colour turns white on white. So under high contrast every colour comes from
// the system, and the design's own colours are kept otherwise.
#include <vector>

#include "toolkit/dialog.h"

namespace varnlet::toolkit {

// The system colours a dialog may take (GetSysColor).
struct SystemColours {
  Colour window = kWhite;   // COLOR_WINDOW
  Colour windowText = 0;    // COLOR_WINDOWTEXT
  Colour hotLight = kBlue;  // COLOR_HOTLIGHT: links
  Colour buttonText = 0;    // COLOR_BTNTEXT: labels that set no colour of their own
  friend constexpr bool operator==(const SystemColours&, const SystemColours&) = default;
};

struct ControlColours {
  Colour text = 0;
  Colour back = kWhite;
  friend constexpr bool operator==(const ControlColours&, const ControlColours&) = default;
};

struct DialogColours {
  Colour form = kWhite;
  // One per control of the design, in its order.
  std::vector<ControlColours> controls;
  friend bool operator==(const DialogColours&, const DialogColours&) = default;
};

DialogColours ChooseColours(const DialogDesign& design, bool highContrast, const SystemColours& system);

}  // namespace varnlet::toolkit
