#pragma once
// The verdicts of the rules on paths, with the numbers varnlet_setup.dll hands the installers.
// The build writes each enumeration below out for the NSIS script (every "Name = number," line
// between its braces), so a number is typed here and nowhere else.
namespace varnlet::trust {

// Whether Windows may be told to run an exe at every logon.
enum class ExecutableTrust : int {
  // Only administrators, the system and the installer service can change what the path runs.
  Trusted = 0,
  // Someone else may write, replace, rename or re-permission the file or a folder on its path.
  WritableByOthers = 1,
  // A network drive, a UNC path, a removable, optical, external or virtual disk: whoever holds
  // the medium decides.
  NotLocal = 2,
  // A junction, symbolic link or other reparse point on the way: what the path runs is decided
  // by whoever may point that link elsewhere.
  Linked = 3,
  // The path or its security could not be read: nothing is trusted that was not checked.
  Unknown = 4,
  // The file or a folder on its path may be changed by one user account, and by nobody else but
  // administrators (a copy unzipped into a profile, Downloads say): what that account runs, with
  // administrator rights or without, can replace the program.
  OneUserAccount = 5,
  // The file's real path cannot be written as an ordinary drive path that the system reads back as
  // the same file: too long, or holding a name the system would read otherwise.
  UnusualPath = 6,
};

// Whether an installer may install into a folder.
enum class InstallFolderVerdict : int {
  // It does not exist: made anew, with the package's rights from the start.
  Create = 0,
  // The previous install's own folder, which only administrators may change and which holds files
  // only: its files are removed and written anew.
  Reuse = 1,
  // It exists and is not the previous install, or holds more than files.
  Occupied = 2,
  // Its owner is not Administrators, SYSTEM or TrustedInstaller, or its list lets someone else
  // change it.
  NotAdministrators = 3,
  // It, or a folder above it, or an entry in it, is a junction, symbolic link or other reparse
  // point.
  Linked = 4,
  // Not an ordinary absolute drive path, or something on it could not be read.
  Unusable = 5,
  // A folder above it may be renamed or re-permissioned by someone else, who could then swap
  // the path below it.
  AboveChangeable = 6,
  // The folder that would hold it does not exist, and the installer would make it with the rights
  // it inherits (the MSI, which cannot make it otherwise, refuses).
  ParentMissing = 7,
};

}  // namespace varnlet::trust
