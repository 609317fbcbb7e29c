#pragma once
// One ordered log that several fakes write to, so a test can check the order of calls across
// boundaries (the own trim before the Mozilla pass, the timer killed before the icon is deleted).
#include <algorithm>
#include <string>
#include <vector>

namespace varnlet::fakes {

class Journal {
 public:
  void Add(std::string entry) { entries_.push_back(std::move(entry)); }
  const std::vector<std::string>& entries() const { return entries_; }
  void Clear() { entries_.clear(); }
  std::size_t Count(const std::string& entry) const {
    return static_cast<std::size_t>(std::count(entries_.begin(), entries_.end(), entry));
  }
  // Index of the first entry equal to `entry`, or -1.
  long IndexOf(const std::string& entry) const {
    const auto it = std::find(entries_.begin(), entries_.end(), entry);
    return it == entries_.end() ? -1 : static_cast<long>(it - entries_.begin());
  }

 private:
  std::vector<std::string> entries_;
};

}  // namespace varnlet::fakes
