#pragma once
// The two trimming passes: the Mozilla processes (every 5 s) and the program itself (every 3 s).
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/process_api.h"

namespace varnlet::trim {

// PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_SET_QUOTA: what the image-name query and
// EmptyWorkingSet need, and nothing that reads or writes another process's memory.
inline constexpr std::uint32_t kTrimAccess = 0x1100;
// Bytes handed to the path query: at most 254 characters and the NUL.
inline constexpr std::uint32_t kPathBufferSize = 255;
inline constexpr std::array<std::string_view, 3> kTargetNames{"firefox.exe", "thunderbird.exe", "xulrunner.exe"};

// True when the path holds one of the target names anywhere, compared case-sensitively.
bool IsMozillaPath(std::string_view path);

// Asks for the process ids with a buffer of 16 bytes that doubles while it comes back full.
// Returns an empty list when no buffer large enough can be had.
std::vector<std::uint32_t> EnumerateProcessIds(platform::ProcessApi& api);

// One pass over all processes: open with kTrimAccess, query the image name, trim a Mozilla
// process, close.
// A failure for one process moves on to the next one.
void TrimMozillaProcesses(platform::ProcessApi& api);

// Trims the own process through its pseudo-handle, which is never closed. The pseudo-handle is
// no open: no access check, no handle, nothing a security product sees; opening the own process
// with kTrimAccess instead would add an open and a close every tick and a way to fail, and take
// no right the process does not already hold over itself.
void TrimOwnProcess(platform::ProcessApi& api);

}  // namespace varnlet::trim
