#pragma once
// Texts joined at compile time and kept for the program's life, so that a constant table can hold
// a view of text made from the build's facts ("Acerca de " and the title).
#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace varnlet {

template <std::size_t N>
class JoinedText {
 public:
  // N is the two lengths' sum: a constant made with less room stops the build, as a write past the
  // end stops a constant evaluation.
  constexpr JoinedText(std::wstring_view first, std::wstring_view second) : size_(first.size() + second.size()) {
    std::ranges::copy(first, text_.begin());
    std::ranges::copy(second, text_.begin() + static_cast<std::ptrdiff_t>(first.size()));
  }
  constexpr std::wstring_view View() const { return {text_.data(), size_}; }

 private:
  std::array<wchar_t, N> text_{};
  std::size_t size_;
};

}  // namespace varnlet
