#pragma once
// Whether Windows may be asked to run an exe at every logon. The Run value lives under
// HKEY_LOCAL_MACHINE, so Windows starts that exe in every user's session, administrators'
// included: it must be a file that no standard user of the machine can replace, on a path that
// none of them can rename, re-permission or send elsewhere, on a disk that belongs to the machine.
// The program judges its own exe with it, and the installers judge the exe they installed.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_security_api.h"
#include "trust/verdicts.h"

namespace varnlet::trust {

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
bool IsAdministrativeOwner(std::wstring_view sid);

// True for "C:\" followed by names that the system reads back as themselves: no empty name, no
// "." or "..", no trailing dot or space (which the system would drop), no character it would
// take for something else, no device name, and shorter than MAX_PATH. Such a path means one
// object, whoever reads it.
bool IsOrdinaryDrivePath(std::wstring_view path);
// The ordinary drive path of what GetFinalPathNameByHandleW gave ("\\?\C:\..."): the same text
// without its "\\?\", or nothing where the rest is no ordinary drive path.
std::optional<std::wstring> OrdinaryFinalPath(std::wstring_view finalPath);

// A drive path's root ("C:\", with its "\\?\" where it has one), then the path of each name below
// it in turn, the last the whole path: "C:\", "C:\A", "C:\A\B".
std::vector<std::wstring> PathsFromTheRoot(std::wstring_view path);

// The exe's verdict and, when trusted, the path to write: the final path of the file that was
// judged, which is what Windows will run, whatever link or short name the given path went through.
struct RunValueTarget {
  ExecutableTrust trust = ExecutableTrust::Unknown;
  std::wstring path;
};

// Judges the full path of an exe ("C:\Program Files\Varnlet\varnlet.exe"), as the program was
// started: no link on the way, as given or as resolved; the drive, fixed and not external; then
// the file and every folder above it up to the drive's root, each through a handle opened on it.
RunValueTarget JudgeRunValueTarget(std::wstring_view exePath, platform::FileSecurityApi& fileSecurity);

// `folder` ("C:\" for a root) and every folder above it, each judged through a handle opened on
// it: `folder` as `part`, those above it as ancestors. Trusted, Linked, WritableByOthers,
// OneUserAccount, or Unknown where one cannot be opened or read. The disk is not judged.
ExecutableTrust JudgeFolderAndAbove(std::wstring_view folder, PathPart part, platform::FileSecurityApi& fileSecurity);

// The verdict the same rule will give an exe an installer is about to put in `folder`, judged
// before it writes anything: the folder as it stands (or, not made yet, as the installer makes it,
// the administrators' from its first instant), every folder above it, which must all exist, the
// drive and its bus. The exe itself is new there and takes the folder's rights.
ExecutableTrust JudgeRunValueFolder(std::wstring_view folder, platform::FileSecurityApi& fileSecurity);

}  // namespace varnlet::trust
