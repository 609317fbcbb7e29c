#include "trim/working_set_trimmer.h"

#include <algorithm>
#include <vector>

#include "base/error_skipping.h"
#include "platform/unique_process_handle.h"

namespace varnlet::trim {

namespace {

// The target names are ASCII, so a wide character matches exactly when its value is the byte's.
template <class Char>
bool HoldsTargetName(std::basic_string_view<Char> text) {
  return std::any_of(kTargetNames.begin(), kTargetNames.end(), [text](std::string_view name) {
    return std::search(text.begin(), text.end(), name.begin(), name.end(),
                       [](Char c, char target) { return c == static_cast<Char>(target); }) != text.end();
  });
}

// The name up to its NUL, or the whole array when the system left it unterminated.
std::wstring_view ExeFileName(const platform::ProcessEntry32W& entry) {
  const auto& name = entry.szExeFile;
  return {name.begin(), std::find(name.begin(), name.end(), L'\0')};
}

// Appends the id of every listed process whose file name holds a target name. Whatever was read
// before a failure is kept; the snapshot is closed before any process is opened.
void ListCandidates(platform::ProcessApi& api, std::vector<std::uint32_t>& candidates) {
  const platform::UniqueProcessHandle snapshot(api, api.CreateToolhelp32Snapshot(platform::kTh32csSnapProcess, 0));
  if (!snapshot) return;  // the next pass tries again
  platform::ProcessEntry32W entry;
  // Cleared before each read, so that a read that writes nothing names no process.
  const auto read = [&](bool first) {
    entry.dwSize = sizeof entry;
    entry.th32ProcessID = 0;
    entry.szExeFile[0] = L'\0';
    return first ? api.Process32FirstW(snapshot.get(), &entry) : api.Process32NextW(snapshot.get(), &entry);
  };
  for (bool more = read(true); more; more = read(false)) {
    if (IsMozillaName(ExeFileName(entry))) candidates.push_back(entry.th32ProcessID);
  }
}

void TrimIfMozilla(platform::ProcessApi& api, std::uint32_t pid) {
  platform::UniqueProcessHandle process(api, api.OpenProcess(kTrimAccess, false, pid));
  if (!process) return;
  // Zeroed: a size reported beyond what the query wrote then reads NULs, never stale bytes.
  std::array<char, kPathBufferSize> path{};
  // The image name answers across bitness and needs no right to read the process's memory. A
  // path that does not fit fails, so it is never cut.
  std::uint32_t size = kPathBufferSize;
  const std::uint32_t written = api.QueryFullProcessImageNameA(process.get(), 0, path.data(), &size) ? size : 0;
  const std::size_t length = std::min<std::size_t>(written, kPathBufferSize - 1);
  if (IsMozillaPath(std::string_view(path.data(), length))) api.EmptyWorkingSet(process.get());
}

}  // namespace

bool IsMozillaPath(std::string_view path) { return HoldsTargetName(path); }
bool IsMozillaName(std::wstring_view fileName) { return HoldsTargetName(fileName); }

void TrimMozillaProcesses(platform::ProcessApi& api) {
  std::vector<std::uint32_t> candidates;
  SkipErrors([&] { ListCandidates(api, candidates); });
  for (const std::uint32_t pid : candidates) SkipErrors([&] { TrimIfMozilla(api, pid); });
}

void TrimOwnProcess(platform::ProcessApi& api) { api.EmptyWorkingSet(api.GetCurrentProcess()); }

}  // namespace varnlet::trim
