#pragma once
// Helpers for tests that run against the real Windows API: a scratch folder and stand-in
// processes started from copies of standin.exe.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/handles.h"

namespace varnlet::wintest {

// The folder of the running test program, with a trailing backslash.
std::wstring ProgramFolder();

// A fresh folder under %TEMP%, removed with everything in it when the object goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

enum class Architecture { kOwn, kOther };

// False where the stand-in of the other architecture cannot run: a 64-bit test on a machine whose
// kernel runs no 32-bit code (wine-run then sets VARNLET_NO_32BIT=1, as a rehearsal may too).
// A 32-bit test always has 64-bit processes beside it.
bool OtherArchitectureRuns();

// A running copy of standin.exe at `path` (relative to the scratch folder), ended on destruction;
// with Architecture::kOther, a copy of the stand-in built for the other architecture.
class StandIn {
 public:
  StandIn(const ScratchFolder& folder, const std::wstring& relativePath,
          Architecture architecture = Architecture::kOwn);
  ~StandIn();
  StandIn(StandIn&&) = default;
  DWORD pid() const { return pid_; }

 private:
  platform::win32::UniqueHandle process_;
  DWORD pid_ = 0;
};

}  // namespace varnlet::wintest
