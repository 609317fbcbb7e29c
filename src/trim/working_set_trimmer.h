#pragma once
// The two trimming passes: the Mozilla processes (Timer1) and the program itself (Timer2).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "build_config.h"
#include "platform/process_api.h"

namespace varnlet::trim {

// PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_SET_QUOTA: what the image-name query and
// EmptyWorkingSet need, and nothing that reads or writes another process's memory.
inline constexpr std::uint32_t kTrimAccess = 0x1100;
// Bytes handed to the path query: at most 254 characters and the NUL.
inline constexpr std::uint32_t kPathBufferSize = 255;
// The processes trimmed, each with its application's name: the build's list.
inline constexpr const auto& kTargetProcesses = config::kTargetProcesses;
// Their file names alone, which the passes search for: the applications' names, which only the
// build's documents use, stay out of the program.
inline constexpr auto kTargetNames = [] {
  std::array<std::string_view, kTargetProcesses.size()> names{};
  std::size_t next = 0;
  for (const auto& target : kTargetProcesses) names[next++] = target.exeName;
  return names;
}();

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
