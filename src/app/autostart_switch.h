#pragma once
// "Iniciar con Windows": the program's Run value, and everything one click decides about it.
// Reading it, judging the exe, quoting, writing, deleting, reading back, and what the menu's mark
// shows afterwards live here; Form1 sets the mark and shows the boxes.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "build_config.h"
#include "platform/file_security_api.h"
#include "registry/cQueryReg.h"
#include "trust/autostart_trust.h"
#include "trust/refusals.h"

namespace varnlet::app {

using trust::AutostartRefusalText;
using trust::ExecutableTrust;

// Where the program records that it starts with Windows (the build's, as the installers'); read at
// start and by the menu.
inline constexpr std::wstring_view kAutostartKey = config::kRunKeyPath;
inline constexpr std::wstring_view kAutostartValue = config::kRunValue;

// Whether the Run value holds text: the mark at start. A registry object that could not be made
// raises.
bool AutostartRegistered(registry::cQueryReg& registry);

struct AutostartOutcome {
  // The program ended while a box was open ("Salir" from the tray): nothing more was done.
  bool ended = false;
  // What the mark shows, whatever the click ended in: whether the value is there.
  bool checked = false;
  // Switched on for an exe others may change, or that cannot be judged: nothing was written.
  std::optional<ExecutableTrust> refused;
  // Refused, with a value already there, which was kept: the program it starts.
  std::wstring keptProgram;
};

// One click of "Iniciar con Windows": `on` is the mark as the click left it. A value already
// there is written again with this exe first, when this exe may run at every logon; then the
// value goes (`on` false, whichever program it starts) or is written as the quoted final path of
// the file judged. A refused exe writes nothing and leaves a value there as it is. A write that
// fails calls `reportWriteFailure`, which shows the error box and returns false when the program
// ended meanwhile. `registry` may be null (it could not be made): every call then fails.
AutostartOutcome ClickAutostart(registry::cQueryReg* registry, platform::FileSecurityApi& fileSecurity,
                                std::wstring_view exePath, bool on, const std::function<bool()>& reportWriteFailure);

// The program a Run value starts: the quoted path at its start, or the whole value unquoted.
std::wstring ProgramOf(std::wstring_view command);

// The text of the box that reports a failed write, naming the home page as `homePage`.
std::wstring AutostartErrorText(std::wstring_view exePath, std::wstring_view homePage);

}  // namespace varnlet::app
