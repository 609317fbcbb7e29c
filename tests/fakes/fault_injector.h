#pragma once
// Lets a test make any single call of a fake fail (return its failure result) or throw (stand in
// for a run-time error), on its nth use or on every use.
#include <map>
#include <set>
#include <stdexcept>
#include <string>

namespace varnlet::fakes {

enum class FaultKind { Fail, Throw };

class FaultInjector {
 public:
  // nth = 1 fails the next use, 2 the one after; 0 fails every use.
  void Inject(const std::string& call, int nth = 0, FaultKind kind = FaultKind::Fail) {
    plans_[call] = Plan{nth, kind};
  }
  void Clear() { plans_.clear(); }

  // Every call asked about since the last ForgetSeen, so a sweep can fail each one in turn.
  const std::set<std::string>& Seen() const { return seen_; }
  void ForgetSeen() { seen_.clear(); }

  // True when this use of `call` must fail; throws instead when the plan says so.
  bool ShouldFail(const std::string& call) {
    seen_.insert(call);
    const auto it = plans_.find(call);
    if (it == plans_.end()) return false;
    Plan& plan = it->second;
    bool hit = plan.nth == 0;
    if (plan.nth > 0 && --plan.nth == 0) {
      hit = true;
      plan.nth = -1;  // spent
    }
    if (!hit) return false;
    if (plan.kind == FaultKind::Throw) throw std::runtime_error("injected fault in " + call);
    return true;
  }

 private:
  struct Plan {
    int nth;
    FaultKind kind;
  };
  std::map<std::string, Plan> plans_;
  std::set<std::string> seen_;
};

}  // namespace varnlet::fakes
