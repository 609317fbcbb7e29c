#pragma once
// "Skip errors step by step": the handlers that the program runs with errors skipped wrap each
// step in SkipErrors, so a step that throws is abandoned and the next one runs.
#include <utility>

namespace varnlet::toolkit {

// Runs one step; returns false when it threw (the error itself is dropped, as the handler would).
template <class Step>
bool SkipErrors(Step&& step) noexcept {
  try {
    std::forward<Step>(step)();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace varnlet::toolkit
