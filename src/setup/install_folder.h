#pragma once
// Which folder the installers may install into, and how they make it. The folder Windows runs the
// program from at every logon must be the administrators' from its first instant: an existing
// folder could already hold a user's files (a DLL beside the exe, an exe rewritten in place keeps
// its owner and list), a link sends every write elsewhere, a folder made with inherited rights
// lets anyone drop a file in it before its own rights arrive, and whoever may rename a folder
// above it may put another folder in its place.
#include <cstdint>
#include <string_view>

#include "platform/file_security_api.h"
#include "trust/verdicts.h"

namespace varnlet::setup {

using trust::InstallFolderVerdict;

// What becomes of the folders missing above the one installed into: the NSIS installer makes them
// with the package's rights (CreateInstallFolder); Windows Installer would make them with the
// rights they inherit, so the MSI refuses them.
enum class MissingParents { MadeWithRights, Refused };

// Judges `folder` for an install; `previous` is where the installed version lives ("" for none).
// Every folder above it that exists must be one that only administrators may change.
InstallFolderVerdict JudgeInstallFolder(std::wstring_view folder, std::wstring_view previous,
                                        platform::FileSecurityApi& fileSecurity,
                                        MissingParents missingParents = MissingParents::MadeWithRights);

// Judges the folder once more as the files are about to be written into it (the MSI, after
// Windows Installer made or kept it): it exists, no link, only administrators may change it or a
// folder above it, and it holds files alone. Reuse when the files may be written.
InstallFolderVerdict JudgeFolderBeforeWriting(std::wstring_view folder, platform::FileSecurityApi& fileSecurity);

// Makes `folder` and every folder above it that is missing, each with the security descriptor
// `sddl` from the instant it exists; then checks that the folder made is the one named, no link
// in between. 0 on success, else the system's error: ERROR_ALREADY_EXISTS where a folder to make
// appeared meanwhile, ERROR_CANT_RESOLVE_FILENAME where the path leads elsewhere.
std::uint32_t CreateInstallFolder(std::wstring_view folder, std::wstring_view sddl,
                                  platform::FileSecurityApi& fileSecurity);

}  // namespace varnlet::setup
