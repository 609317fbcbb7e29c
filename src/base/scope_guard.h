#pragma once
// Runs one undo when the scope it guards ends, on every way out, unless the step it undoes is
// kept: for a step whose undo has no owner type of its own (a window half made, a flag raised for
// the length of a call, a bitmap selected into a device context). The undo must not throw.
#include <type_traits>
#include <utility>

namespace varnlet {

template <class Undo>
class [[nodiscard]] ScopeGuard {
 public:
  explicit ScopeGuard(Undo undo) noexcept(std::is_nothrow_move_constructible_v<Undo>) : undo_(std::move(undo)) {}
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  ~ScopeGuard() {
    if (armed_) undo_();
  }

  // The step is kept: nothing is undone.
  void Dismiss() noexcept { armed_ = false; }

 private:
  Undo undo_;
  bool armed_ = true;
};

}  // namespace varnlet
