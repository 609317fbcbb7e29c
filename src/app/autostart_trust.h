#pragma once
// Whether the program may ask Windows to run its exe at every logon. The Run value lives under
// HKEY_LOCAL_MACHINE, so Windows starts that exe in every user's session, administrators'
// included: it must be a file that no standard user of the machine can replace, on a path that
// none of them can rename or re-permission, on a disk of the machine itself.
#include <string_view>

#include "platform/file_api.h"

namespace varnlet::app {

enum class ExecutableTrust {
  // Only administrators, the system and the installer service can change what the path runs.
  Trusted,
  // Someone else may write, replace, rename or re-permission the file or a folder on its path.
  WritableByOthers,
  // A network drive, a UNC path, a removable or optical drive: whoever holds the medium decides.
  NotLocal,
  // The path or its security could not be read; nothing is trusted that was not checked.
  Unknown,
};

// Where an object stands on the path, which decides the rights that matter on it.
enum class PathPart {
  // The exe itself: writing, appending, deleting or re-permissioning it replaces what runs.
  File,
  // The folder holding it: adding an entry there plants a file beside the exe, removing or
  // renaming one swaps it.
  OwnFolder,
  // A folder further up: removing, renaming or re-permissioning an entry swaps the path below.
  // Adding one cannot take an existing name's place (the root of a system drive lets every user
  // make folders in it).
  Ancestor,
};

// True when no principal but Administrators, SYSTEM and TrustedInstaller holds, or as owner
// implicitly has, a right on `security` that matters for `part`. Entries that only pass down to
// objects made later (inherit-only) do not apply to it; every object on the path is judged by
// its own list, which holds what it inherited. A deny entry never makes an allow safe: allows
// are judged alone.
bool OnlyAdministratorsMayChange(const platform::FileSecurity& security, PathPart part);

// Judges the full path of an exe ("C:\Program Files\Varnlet\varnlet.exe"): the drive, then the
// file and every folder above it up to the drive's root.
ExecutableTrust JudgeRunValueTarget(std::wstring_view exePath, platform::FileApi& files);

}  // namespace varnlet::app
