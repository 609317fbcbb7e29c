#pragma once
// The two trimming passes: the Mozilla processes (every 5 s) and the program itself (every 3 s).
#include <array>
#include <cstdint>
#include <string_view>

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
// The same test on an image file name as the process list gives it.
bool IsMozillaName(std::wstring_view fileName);

// One pass: list the processes without opening any, then open each one whose image file name
// holds a target name with kTrimAccess, query its full image path, trim it when the path holds a
// target name too, close it. A list that cannot be had ends the pass; a failure for one process
// moves on to the next one.
void TrimMozillaProcesses(platform::ProcessApi& api);

// Trims the own process through its pseudo-handle, which is never closed. The pseudo-handle is
// no open: no access check, no handle, nothing a security product sees; opening the own process
// with kTrimAccess instead would add an open and a close every tick and a way to fail, and take
// no right the process does not already hold over itself.
void TrimOwnProcess(platform::ProcessApi& api);

}  // namespace varnlet::trim
