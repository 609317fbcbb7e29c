#include "trim/working_set_trimmer.h"

#include <algorithm>
#include <limits>

#include "base/error_skipping.h"
#include "platform/unique_process_handle.h"

namespace varnlet::trim {

bool IsMozillaPath(std::string_view path) {
  return std::any_of(kTargetNames.begin(), kTargetNames.end(),
                     [path](std::string_view name) { return path.find(name) != std::string_view::npos; });
}

std::vector<std::uint32_t> EnumerateProcessIds(platform::ProcessApi& api) {
  std::uint64_t bufferBytes = 8;
  // Only makes the loop run at least once.
  std::uint32_t returnedBytes = 96;
  std::vector<std::uint32_t> ids;
  while (bufferBytes <= returnedBytes) {
    bufferBytes *= 2;
    if (bufferBytes > std::numeric_limits<std::uint32_t>::max()) return {};
    ids.assign(static_cast<std::size_t>(bufferBytes / sizeof(std::uint32_t)), 0);
    api.EnumProcesses(ids.data(), static_cast<std::uint32_t>(bufferBytes), &returnedBytes);
  }
  // The loop ends only when fewer bytes came back than the buffer holds.
  ids.resize(returnedBytes / sizeof(std::uint32_t));
  return ids;
}

namespace {

void TrimIfMozilla(platform::ProcessApi& api, std::uint32_t pid) {
  platform::UniqueProcessHandle process(api, api.OpenProcess(kTrimAccess, false, pid));
  if (!process) return;
  std::array<char, kPathBufferSize> path;  // the query writes what it reports; only that is read
  // The image name answers across bitness and needs no right to read the process's memory. A
  // path that does not fit fails, so it is never cut.
  std::uint32_t size = kPathBufferSize;
  const std::uint32_t written = api.QueryFullProcessImageNameA(process.get(), 0, path.data(), &size) ? size : 0;
  const std::size_t length = std::min<std::size_t>(written, kPathBufferSize - 1);
  if (IsMozillaPath(std::string_view(path.data(), length))) api.EmptyWorkingSet(process.get());
}

}  // namespace

void TrimMozillaProcesses(platform::ProcessApi& api) {
  std::vector<std::uint32_t> ids;
  // Without the id list the pass has nothing to do, so a failure here ends it.
  if (!SkipErrors([&] { ids = EnumerateProcessIds(api); })) return;
  for (const std::uint32_t pid : ids) SkipErrors([&] { TrimIfMozilla(api, pid); });
}

void TrimOwnProcess(platform::ProcessApi& api) { api.EmptyWorkingSet(api.GetCurrentProcess()); }

}  // namespace varnlet::trim
