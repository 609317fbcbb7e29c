#pragma once
// The two trimming passes: the Mozilla processes (every 5 s) and the program itself (every 3 s).
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/process_api.h"

namespace varnlet::trim {

// PROCESS_ALL_ACCESS as the Windows 2000 and XP headers define it.
inline constexpr std::uint32_t kProcessAllAccess = 0x1F0FFF;
// Bytes handed to the path query: at most 254 characters and the NUL.
inline constexpr std::uint32_t kPathBufferSize = 255;
inline constexpr std::array<std::string_view, 3> kTargetNames{"firefox.exe", "thunderbird.exe", "xulrunner.exe"};

// True when the path holds one of the target names anywhere, compared case-sensitively.
bool IsMozillaPath(std::string_view path);

// Asks for the process ids with a buffer of 16 bytes that doubles while it comes back full.
// Returns an empty list when no buffer large enough can be had.
std::vector<std::uint32_t> EnumerateProcessIds(platform::ProcessApi& api);

// One pass over all processes: open, query the path (the module path, else the image name),
// trim a Mozilla process, close.
// A failure for one process moves on to the next one.
void TrimMozillaProcesses(platform::ProcessApi& api);

// Trims the own process through its pseudo-handle, which is never closed.
void TrimOwnProcess(platform::ProcessApi& api);

}  // namespace varnlet::trim
