#pragma once
// Which folder the installers may install into, and how they make it. The folder Windows runs the
// program from at every logon must be the administrators' from its first instant: an existing
// folder could already hold a user's files (a DLL beside the exe, an exe rewritten in place keeps
// its owner and list), a link sends every write elsewhere, and a folder made with inherited rights
// lets anyone drop a file in it before its own rights arrive.
#include <cstdint>
#include <string_view>

#include "platform/file_security_api.h"

namespace varnlet::setup {

// The verdict on an install folder; the numbers are what the installers receive.
enum class InstallFolderVerdict : int {
  // It does not exist: made anew, with the package's rights from the start.
  Create = 0,
  // The previous install's own folder, owned by an administrative account and holding files only:
  // its files are removed and written anew.
  Reuse = 1,
  // It exists and is not the previous install, or holds more than files.
  Occupied = 2,
  // Its owner is not Administrators, SYSTEM or TrustedInstaller, who alone may own it.
  NotAdministrators = 3,
  // It, or a folder above it, or an entry in it, is a junction, symbolic link or other reparse
  // point.
  Linked = 4,
  // Not an ordinary absolute drive path, or something on it could not be read.
  Unusable = 5,
};

// Judges `folder` for an install; `previous` is where the installed version lives ("" for none).
InstallFolderVerdict JudgeInstallFolder(std::wstring_view folder, std::wstring_view previous,
                                        platform::FileSecurityApi& fileSecurity);

// Makes `folder` and every folder above it that is missing, each with the security descriptor
// `sddl` from the instant it exists; then checks that the folder made is the one named, no link
// in between. 0 on success, else the system's error: ERROR_ALREADY_EXISTS where a folder to make
// appeared meanwhile, ERROR_CANT_RESOLVE_FILENAME where the path leads elsewhere.
std::uint32_t CreateInstallFolder(std::wstring_view folder, std::wstring_view sddl, platform::FileSecurityApi& fileSecurity);

}  // namespace varnlet::setup
