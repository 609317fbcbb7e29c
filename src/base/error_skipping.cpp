#include "base/error_skipping.h"

#include <atomic>
#include <string>

namespace varnlet {
namespace {
std::atomic<SkippedStepHook> hook{nullptr};
}  // namespace

void SetSkippedStepHook(SkippedStepHook skipped) noexcept { hook.store(skipped); }

namespace detail {

void ReportSkippedStep(const StepPlace& where, const char* error) noexcept {
  const SkippedStepHook report = hook.load();
  if (report == nullptr) return;
  try {
    std::string_view file = where.file_name();
    if (const std::size_t slash = file.find_last_of("/\\"); slash != std::string_view::npos)
      file.remove_prefix(slash + 1);
    std::string line = "Varnlet: skipped a step of ";
    line += where.function_name();
    line += " (";
    line += file;
    line += ':';
    line += std::to_string(where.line());
    line += "): ";
    line += error != nullptr ? error : "an error of no known kind";
    report(line);
  } catch (...) {
    // Out of memory for the line: the step is skipped all the same.
  }
}

}  // namespace detail
}  // namespace varnlet
