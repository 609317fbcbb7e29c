#pragma once
// Registry key paths: the predefined roots, named in full or abbreviated at a path's start.
#include <cstdint>
#include <string>

#include "platform/registry_api.h"

namespace varnlet::registry {

using platform::RegKey;
using platform::RegStatus;

// The predefined roots. <windows.h> defines the system's own names as macros, so these carry a
// prefix of their own.
inline constexpr RegKey kHkeyClassesRoot = 0x80000000;
inline constexpr RegKey kHkeyCurrentUser = 0x80000001;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002;
inline constexpr RegKey kHkeyUsers = 0x80000003;
inline constexpr RegKey kHkeyPerformanceData = 0x80000004;
inline constexpr RegKey kHkeyCurrentConfig = 0x80000005;
inline constexpr RegKey kHkeyDynData = 0x80000006;

// True for the seven predefined root values.
constexpr bool IsPredefinedRoot(RegKey hKey) { return hKey >= kHkeyClassesRoot && hKey <= kHkeyDynData; }
// A value outside the predefined roots (0, an opened key, anything above 0x80000006) becomes
// HKEY_CLASSES_ROOT.
constexpr RegKey CheckRoot(RegKey hKey) { return IsPredefinedRoot(hKey) ? hKey : kHkeyClassesRoot; }

// Splits a key path into its root and subkey: trims spaces, drops one trailing backslash, and
// recognises a full root name anywhere before the first backslash or an abbreviation at the
// start ("HKCU\"), case-sensitively. A path without a root goes to hKey, checked; an unknown
// root name gives HKEY_CLASSES_ROOT. On return `path` holds the subkey.
RegKey ResolveRootKey(std::wstring& path, RegKey hKey);

// True when a subkey names no key below its root: empty or nothing but backslashes.
bool NamesNoSubkey(std::wstring_view subkey);

}  // namespace varnlet::registry
