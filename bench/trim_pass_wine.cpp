// One Timer1_Timer pass (trim::TrimMozillaProcesses through the Win32 process adapter) over the
// real process table, next to a raw loop that makes the same system calls directly. Run under
// Wine beside stand-in Mozilla processes. The two alternate, in both orders, so that drift in
// the machine's load falls on both alike; the medians and their ratio are printed.
//   trim_pass_wine [ROUNDS [PASSES_PER_ROUND]]
#include <windows.h>
#include <psapi.h>
// psapi.h renames these to their kernel32 K32 forms, which the raw loop calls by name; the
// macros would also rename the adapter's members.
#undef EnumProcesses
#undef EmptyWorkingSet

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/process_api_win32.h"
#include "trim/working_set_trimmer.h"

namespace {

using varnlet::platform::win32::UniqueHandle;

// The calls of one pass, made directly: grow the id buffer from 16 bytes while it comes back
// full, then open, query, trim a Mozilla process, close. Returns how many it trimmed.
int RawLoop() {
  DWORD size = 8, returned = 96;
  std::vector<DWORD> ids;
  while (size <= returned) {
    size *= 2;
    ids.assign(size / sizeof(DWORD), 0);
    ::K32EnumProcesses(ids.data(), size, &returned);
  }
  char path[255];
  int trimmed = 0;
  for (DWORD i = 0; i < returned / sizeof(DWORD); ++i) {
    const UniqueHandle process(::OpenProcess(0x1100, FALSE, ids[i]));
    if (!process) continue;
    DWORD n = sizeof path;
    if (!::QueryFullProcessImageNameA(process.get(), 0, path, &n)) n = 0;
    const std::string_view p(path, std::min<DWORD>(n, sizeof path - 1));
    if (p.find("firefox.exe") != p.npos || p.find("thunderbird.exe") != p.npos || p.find("xulrunner.exe") != p.npos) {
      ::K32EmptyWorkingSet(process.get());
      ++trimmed;
    }
  }
  return trimmed;
}

// Forwards to the real adapter and counts the trims, for the check that both loops do the same.
class CountingProcessApi final : public varnlet::platform::ProcessApi {
 public:
  using Handle = varnlet::platform::ProcessHandle;
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t cb, std::uint32_t* needed) override {
    return real_.EnumProcesses(ids, cb, needed);
  }
  Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override {
    return real_.OpenProcess(access, inherit, pid);
  }
  bool QueryFullProcessImageNameA(Handle process, std::uint32_t flags, char* name, std::uint32_t* size) override {
    return real_.QueryFullProcessImageNameA(process, flags, name, size);
  }
  bool EmptyWorkingSet(Handle process) override {
    ++trims;
    return real_.EmptyWorkingSet(process);
  }
  bool CloseHandle(Handle object) override { return real_.CloseHandle(object); }
  Handle GetCurrentProcess() override { return real_.GetCurrentProcess(); }
  std::int32_t RegisterApplicationRestart(const wchar_t* commandLine, std::uint32_t flags) override {
    return real_.RegisterApplicationRestart(commandLine, flags);
  }

  int trims = 0;

 private:
  varnlet::platform::ProcessApiWin32 real_;
};

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 != 0 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Quartile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 31;
  const int passes = argc > 2 ? std::atoi(argv[2]) : 10;
  if (rounds < 1 || passes < 1) return 2;

  varnlet::platform::ProcessApiWin32 api;
  CountingProcessApi counting;
  varnlet::trim::TrimMozillaProcesses(counting);
  const int rawTrims = RawLoop();
  const std::size_t processes = varnlet::trim::EnumerateProcessIds(api).size();
  std::printf("processes in the table: %zu; Mozilla processes trimmed per pass: Timer1_Timer %d, raw loop %d\n",
              processes, counting.trims, rawTrims);
  if (counting.trims != rawTrims) {
    std::printf("the two loops disagree: the comparison is void\n");
    return 1;
  }

  std::vector<double> pass, raw;
  const auto timePass = [&] {
    const double start = Now();
    for (int i = 0; i < passes; ++i) varnlet::trim::TrimMozillaProcesses(api);
    pass.push_back((Now() - start) / passes);
  };
  const auto timeRaw = [&] {
    const double start = Now();
    for (int i = 0; i < passes; ++i) RawLoop();
    raw.push_back((Now() - start) / passes);
  };
  for (int r = 0; r < rounds; ++r) {
    if (r % 2 == 0) {
      timePass();
      timeRaw();
    } else {
      timeRaw();
      timePass();
    }
  }
  std::printf("rounds %d x %d passes each\n", rounds, passes);
  std::printf("Timer1_Timer pass: median %.3f ms (quartiles %.3f .. %.3f)\n", Median(pass) * 1e3,
              Quartile(pass, 0.25) * 1e3, Quartile(pass, 0.75) * 1e3);
  std::printf("raw loop:          median %.3f ms (quartiles %.3f .. %.3f)\n", Median(raw) * 1e3,
              Quartile(raw, 0.25) * 1e3, Quartile(raw, 0.75) * 1e3);
  std::printf("ratio pass / raw loop (medians): %.3f (target at most 1.10)\n", Median(pass) / Median(raw));
  return 0;
}
