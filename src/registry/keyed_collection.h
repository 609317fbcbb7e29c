#pragma once
// An ordered collection of texts, each under a unique key: reachable by key (compared without
// regard to case) or by 1-based position, in the order the items were added.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/errors.h"

namespace varnlet::registry {

// Adding a key that the collection already holds.
class DuplicateKey : public InvalidArgument {
 public:
  using InvalidArgument::InvalidArgument;
};

class KeyedCollection {
 public:
  // Throws DuplicateKey when the key is present already; the collection is then unchanged.
  void Add(std::wstring item, std::wstring key);
  std::size_t Count() const { return items_.size(); }
  // Throw OutOfRange when there is no such key or position.
  const std::wstring& Item(std::wstring_view key) const;
  const std::wstring& Item(std::size_t position) const;
  // The key of the item at a 1-based position, in the spelling it was added with.
  const std::wstring& Key(std::size_t position) const;
  bool Contains(std::wstring_view key) const { return index_.contains(Fold(key)); }

 private:
  struct Entry {
    std::wstring item;
    std::wstring key;
  };
  static std::wstring Fold(std::wstring_view key);
  const Entry& At(std::size_t position) const;

  std::vector<Entry> items_;
  std::unordered_map<std::wstring, std::size_t> index_;  // folded key -> 0-based position
};

}  // namespace varnlet::registry
