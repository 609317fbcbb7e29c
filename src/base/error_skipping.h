#pragma once
// "Skip errors step by step": the handlers that the program runs with errors skipped wrap each
// step in SkipErrors, so a step that throws is abandoned and the next one runs. A skipped step
// leaves one line for whoever listens (the program points it at the debugger's output): where the
// step was and the error, so that a user with a debugger can tell why something did not happen.
#include <exception>
#include <string_view>
#include <utility>
#include <version>
#if defined(__cpp_lib_source_location)
#include <source_location>
#endif

namespace varnlet {

#if defined(__cpp_lib_source_location)
using StepPlace = std::source_location;
#else
// A standard library without source locations (clang 14 with libstdc++ 12, which builds the
// native checks and fuzzers) names no place.
struct StepPlace {
  static constexpr StepPlace current() noexcept { return {}; }
  // Members, as std::source_location has them. NOLINTBEGIN(readability-convert-member-functions-to-static)
  constexpr const char* file_name() const noexcept { return ""; }
  constexpr const char* function_name() const noexcept { return "an unknown place"; }
  constexpr unsigned line() const noexcept { return 0; }
  // NOLINTEND(readability-convert-member-functions-to-static)
};
#endif

// Receives "Varnlet: skipped a step of <function> (<file>:<line>): <error>".
using SkippedStepHook = void (*)(std::string_view line) noexcept;
// None by default; the hook is process-wide.
void SetSkippedStepHook(SkippedStepHook skipped) noexcept;

namespace detail {
void ReportSkippedStep(const StepPlace& where, const char* error) noexcept;
}  // namespace detail

// Runs one step; returns false when it threw, after reporting where and why.
template <class Step>
bool SkipErrors(Step&& step, const StepPlace& where = StepPlace::current()) noexcept {
  try {
    std::forward<Step>(step)();
    return true;
  } catch (const std::exception& e) {
    detail::ReportSkippedStep(where, e.what());
  } catch (...) {
    detail::ReportSkippedStep(where, nullptr);
  }
  return false;
}

}  // namespace varnlet
