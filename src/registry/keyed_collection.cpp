#include "registry/keyed_collection.h"

#include <algorithm>

#include "base/ascii_case.h"

namespace varnlet::registry {
namespace {

// Upper case for ASCII and Latin-1 letters, which is what shell folder names use.
wchar_t FoldChar(wchar_t c) {
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 0x20);
  if (c == 0xFF) return static_cast<wchar_t>(0x178);
  return AsciiUpper(c);
}

}  // namespace

std::wstring KeyedCollection::Fold(std::wstring_view key) {
  std::wstring folded(key.size(), L'\0');
  std::transform(key.begin(), key.end(), folded.begin(), FoldChar);
  return folded;
}

void KeyedCollection::Add(std::wstring item, std::wstring key) {
  std::wstring folded = Fold(key);
  if (index_.contains(folded)) throw DuplicateKey("key already in the collection");
  index_.emplace(std::move(folded), items_.size());
  items_.push_back(Entry{std::move(item), std::move(key)});
}

const KeyedCollection::Entry& KeyedCollection::At(std::size_t position) const {
  if (position < 1 || position > items_.size()) throw OutOfRange("no item at that position");
  return items_[position - 1];
}

const std::wstring& KeyedCollection::Item(std::wstring_view key) const {
  const auto it = index_.find(Fold(key));
  if (it == index_.end()) throw OutOfRange("no item under that key");
  return items_[it->second].item;
}

const std::wstring& KeyedCollection::Item(std::size_t position) const { return At(position).item; }

const std::wstring& KeyedCollection::Key(std::size_t position) const { return At(position).key; }

}  // namespace varnlet::registry
