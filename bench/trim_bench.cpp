// The cost of one Mozilla trimming pass over the in-memory process table, next to two loops of
// calls on the same table: the raw loop the pass made before it listed processes by name (every
// id listed, every process opened and queried), and the limit, the least the same calls can cost
// (one listing of the table with each name looked at, then open, query and trim the Mozilla
// processes only, their ids known beforehand). Prints nanoseconds per process and, at the end,
// the ratios pass / limit and pass / raw loop for each table size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <map>
#include <string_view>
#include <vector>

#include "fakes/fake_process_table.h"
#include "trim/working_set_trimmer.h"

namespace {

using varnlet::fakes::FakeProcessTable;

// One process in ten is a Mozilla process, the rest are other programs. Returns the Mozilla ids.
std::vector<std::uint32_t> Fill(FakeProcessTable& table, std::size_t n) {
  std::vector<std::uint32_t> mozilla;
  for (std::size_t i = 0; i < n; ++i) {
    if (i % 10 == 0) {
      mozilla.push_back(table.Add(varnlet::fakes::TargetPath(R"(C:\Program Files\Mozilla)")));
    } else {
      table.Add(R"(C:\Windows\System32\svchost.exe)");
    }
  }
  return mozilla;
}

// Open, query, trim a Mozilla process, close.
void TrimDirectly(FakeProcessTable& table, std::uint32_t pid) {
  const auto h = table.OpenProcess(0x1100, false, pid);
  if (h == 0) return;
  char path[255];
  std::uint32_t n = sizeof path;
  if (!table.QueryFullProcessImageNameA(h, 0, path, &n)) n = 0;
  const std::string_view p(path, n < sizeof path ? n : sizeof path - 1);
  // The build's target names, each searched for as the raw loop did.
  const auto& targets = varnlet::trim::kTargetProcesses;
  if (std::any_of(targets.begin(), targets.end(), [&](const auto& t) { return p.find(t.exeName) != p.npos; })) {
    table.EmptyWorkingSet(h);
  }
  table.CloseHandle(h);
}

void RawLoop(FakeProcessTable& table) {
  std::uint32_t size = 8, returned = 96;
  std::vector<std::uint32_t> ids;
  while (size <= returned) {
    size *= 2;
    ids.assign(size / 4, 0);
    table.EnumProcesses(ids.data(), size, &returned);
  }
  for (std::uint32_t i = 0; i < returned / 4; ++i) TrimDirectly(table, ids[i]);
}

void Report(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * state.range(0));
  // Seconds per process (shown with an SI prefix, "n" for nanoseconds).
  state.counters["per_process"] = benchmark::Counter(
      static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Timer1Pass(benchmark::State& state) {
  FakeProcessTable table;
  Fill(table, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) varnlet::trim::TrimMozillaProcesses(table);
  Report(state);
}

void BM_RawLoop(benchmark::State& state) {
  FakeProcessTable table;
  Fill(table, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) RawLoop(table);
  Report(state);
}

// The table listed and walked, each name looked at for a target's, nothing opened: the same
// listing calls and name test as the pass's, in one plain loop.
void ListOnly(FakeProcessTable& table) {
  const auto snapshot = table.CreateToolhelp32Snapshot(varnlet::platform::kTh32csSnapProcess, 0);
  varnlet::platform::ProcessEntry32W entry;
  entry.dwSize = sizeof entry;
  for (bool more = table.Process32FirstW(snapshot, &entry); more; more = table.Process32NextW(snapshot, &entry)) {
    const auto& name = entry.szExeFile;
    benchmark::DoNotOptimize(varnlet::trim::IsMozillaName(
        {name.data(), static_cast<std::size_t>(std::find(name.begin(), name.end(), L'\0') - name.begin())}));
  }
  table.CloseHandle(snapshot);
}

void BM_Limit(benchmark::State& state) {
  FakeProcessTable table;
  const auto known = Fill(table, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    ListOnly(table);
    for (const std::uint32_t pid : known) TrimDirectly(table, pid);
  }
  Report(state);
}

BENCHMARK(BM_Timer1Pass)->Arg(50)->Arg(500)->Arg(5000);
BENCHMARK(BM_RawLoop)->Arg(50)->Arg(500)->Arg(5000);
BENCHMARK(BM_Limit)->Arg(50)->Arg(500)->Arg(5000);

// Collects the times so the ratio can be printed after the usual table.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  // Plain text: a reporter of our own does not follow --benchmark_color, and the evidence script
  // reads these lines.
  RatioReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // With repetitions only the medians count; without, the single runs.
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (!median && run.run_type != Run::RT_Iteration) continue;
      const std::string name = run.run_name.function_name;
      times_[run.run_name.args][name][median] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (auto& [processes, byName] : times_) {
      auto& pass = byName["BM_Timer1Pass"];
      auto& raw = byName["BM_RawLoop"];
      auto& limit = byName["BM_Limit"];
      const bool median = pass.count(true) != 0 && raw.count(true) != 0 && limit.count(true) != 0;
      if (raw[median] <= 0 || limit[median] <= 0) continue;
      std::cout << processes << " processes (" << (median ? "median" : "single run") << "): ratio pass/limit "
                << pass[median] / limit[median] << " (target at most 1.10), pass/raw loop "
                << pass[median] / raw[median] << "\n";
    }
  }

 private:
  // processes -> benchmark -> (is median) -> CPU time
  std::map<std::string, std::map<std::string, std::map<bool, double>>> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
