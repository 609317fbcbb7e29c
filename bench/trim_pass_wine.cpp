// One Timer1_Timer pass (trim::TrimMozillaProcesses through the Win32 process adapter) over the
// real process table, next to loops that make the system calls directly: the raw loop of the
// calls the pass made before it listed processes by name (list every id, open, query and close
// every process); the limit, the least a pass can cost (one listing of the processes, then open,
// query, trim and close the Mozilla processes only, their ids known beforehand: the pass must list
// the processes once to find them, and read each one's path, since it trims by path); and the
// process list alone. Run under Wine beside stand-in processes. The loops alternate, in rotating
// order, so that drift in the machine's load falls on all alike; the medians and their ratios are
// printed.
//   trim_pass_wine [ROUNDS [PASSES_PER_ROUND]]
//   trim_pass_wine once      one pass and nothing else, for a relay trace
//   trim_pass_wine count     prints how many processes there are, itself included
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
// psapi.h renames this to its kernel32 K32 form, which the loops call by name; the macro would
// also rename the adapter's member.
#undef EmptyWorkingSet

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/process_api_win32.h"
#include "trim/working_set_trimmer.h"

namespace {

using varnlet::platform::win32::UniqueHandle;

// Open, query, trim a Mozilla process, close: what each loop does for one process. True when
// it trimmed.
bool TrimDirectly(DWORD pid) {
  const UniqueHandle process(::OpenProcess(0x1100, FALSE, pid));
  if (!process) return false;
  char path[255];
  DWORD n = sizeof path;
  if (!::QueryFullProcessImageNameA(process.get(), 0, path, &n)) n = 0;
  const std::string_view p(path, std::min<DWORD>(n, sizeof path - 1));
  // The build's target names, each searched for as the raw loop did.
  const auto& targets = varnlet::trim::kTargetProcesses;
  if (std::none_of(targets.begin(), targets.end(), [&](const auto& t) { return p.find(t.exeName) != p.npos; })) {
    return false;
  }
  ::K32EmptyWorkingSet(process.get());
  return true;
}

// Every process id, in a buffer grown from 16 bytes while it comes back full.
std::vector<DWORD> AllIds() {
  DWORD size = 8, returned = 96;
  std::vector<DWORD> ids;
  while (size <= returned) {
    size *= 2;
    ids.assign(size / sizeof(DWORD), 0);
    ::K32EnumProcesses(ids.data(), size, &returned);
  }
  ids.resize(returned / sizeof(DWORD));
  return ids;
}

// The calls of one pass before processes were listed by name. Returns how many it trimmed.
int RawLoop() {
  int trimmed = 0;
  for (const DWORD pid : AllIds()) trimmed += TrimDirectly(pid) ? 1 : 0;
  return trimmed;
}

// The process list taken and walked, each name looked at for a target's, nothing opened. Returns
// how many target names it found.
int ListOnly() {
  const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int named = 0;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    named += varnlet::trim::IsMozillaName(entry.szExeFile) ? 1 : 0;
  }
  return named;
}

// The least any pass can do: one listing, then the Mozilla processes only, their ids known
// beforehand.
int Limit(const std::vector<DWORD>& known) {
  ListOnly();
  int trimmed = 0;
  for (const DWORD pid : known) trimmed += TrimDirectly(pid) ? 1 : 0;
  return trimmed;
}

// Forwards to the real adapter and notes the processes trimmed, for the check that the loops
// do the same and for the limit's list.
class RecordingProcessApi final : public varnlet::platform::ProcessApi {
 public:
  using Handle = varnlet::platform::ProcessHandle;
  using Entry = varnlet::platform::ProcessEntry32W;
  Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t pid) override {
    return real_.CreateToolhelp32Snapshot(flags, pid);
  }
  bool Process32FirstW(Handle snapshot, Entry* entry) override { return real_.Process32FirstW(snapshot, entry); }
  bool Process32NextW(Handle snapshot, Entry* entry) override { return real_.Process32NextW(snapshot, entry); }
  Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override {
    return real_.OpenProcess(access, inherit, pid);
  }
  bool QueryFullProcessImageNameA(Handle process, std::uint32_t flags, char* name, std::uint32_t* size) override {
    return real_.QueryFullProcessImageNameA(process, flags, name, size);
  }
  bool EmptyWorkingSet(Handle process) override {
    trimmed.push_back(::GetProcessId(reinterpret_cast<HANDLE>(process)));
    return real_.EmptyWorkingSet(process);
  }
  bool CloseHandle(Handle object) override { return real_.CloseHandle(object); }
  Handle GetCurrentProcess() override { return real_.GetCurrentProcess(); }
  std::int32_t RegisterApplicationRestart(const wchar_t* commandLine, std::uint32_t flags) override {
    return real_.RegisterApplicationRestart(commandLine, flags);
  }
  bool SetProcessInformation(Handle process, std::int32_t kind, void* info, std::uint32_t size) override {
    return real_.SetProcessInformation(process, kind, info, size);
  }

  std::vector<DWORD> trimmed;

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

double Quartile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}
double Median(const std::vector<double>& v) { return Quartile(v, 0.5); }

}  // namespace

int main(int argc, char** argv) {
  varnlet::platform::ProcessApiWin32 api;
  if (argc == 2 && std::string(argv[1]) == "once") {
    varnlet::trim::TrimMozillaProcesses(api);
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "count") {
    std::printf("%zu\n", AllIds().size());
    return 0;
  }
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 31;
  const int passes = argc > 2 ? std::atoi(argv[2]) : 10;
  if (rounds < 1 || passes < 1) return 2;

  RecordingProcessApi recording;
  varnlet::trim::TrimMozillaProcesses(recording);
  const std::vector<DWORD> known = recording.trimmed;
  const int passTrims = static_cast<int>(known.size());
  const int rawTrims = RawLoop();
  const int limitTrims = Limit(known);
  std::printf(
      "processes in the table: %zu; Mozilla processes trimmed per pass: Timer1_Timer %d, raw loop %d, limit %d\n",
      AllIds().size(), passTrims, rawTrims, limitTrims);
  if (passTrims != rawTrims || passTrims != limitTrims) {
    std::printf("the loops disagree: the comparison is void\n");
    return 1;
  }

  struct Loop {
    const char* name;
    std::function<void()> run;
    std::vector<double> times;
  };
  std::array<Loop, 4> loops{{{"Timer1_Timer pass", [&] { varnlet::trim::TrimMozillaProcesses(api); }, {}},
                             {"raw loop", [] { RawLoop(); }, {}},
                             {"limit", [&] { Limit(known); }, {}},
                             {"the list alone", [] { ListOnly(); }, {}}}};
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t k = 0; k < loops.size(); ++k) {
      Loop& loop = loops[(static_cast<std::size_t>(r) + k) % loops.size()];
      const double start = Now();
      for (int i = 0; i < passes; ++i) loop.run();
      loop.times.push_back((Now() - start) / passes);
    }
  }
  std::printf("rounds %d x %d passes each\n", rounds, passes);
  for (const Loop& loop : loops) {
    std::printf("%-18s median %.3f ms (quartiles %.3f .. %.3f)\n", (std::string(loop.name) + ":").c_str(),
                Median(loop.times) * 1e3, Quartile(loop.times, 0.25) * 1e3, Quartile(loop.times, 0.75) * 1e3);
  }
  const double pass = Median(loops[0].times);
  std::printf("ratio pass / limit (medians): %.3f (target at most 1.10)\n", pass / Median(loops[2].times));
  std::printf("ratio pass / raw loop (medians): %.3f\n", pass / Median(loops[1].times));
  return 0;
}
