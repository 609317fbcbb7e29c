#include "toolkit/dialog_colours.h"

namespace varnlet::toolkit {

DialogColours ChooseColours(const DialogDesign& design, bool highContrast, const SystemColours& system) {
  DialogColours colours;
  colours.form = highContrast ? system.window : design.backColour;
  colours.controls.reserve(design.controls.size());
  for (const ControlDesign& c : design.controls) {
    if (highContrast) {
      colours.controls.push_back({!c.link.empty() ? system.hotLight : system.windowText, system.window});
    } else {
      colours.controls.push_back({c.foreColour.value_or(system.buttonText), c.backColour.value_or(design.backColour)});
    }
  }
  return colours;
}

}  // namespace varnlet::toolkit
