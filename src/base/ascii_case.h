#pragma once
// ASCII case, and only ASCII: drive letters, device names, URL schemes and hosts, hex digits. The
// registry and the file system fold more than that; their rules say so where they do.
namespace varnlet {

// An ASCII letter in upper case, any other character as it is.
template <class Char>
constexpr Char AsciiUpper(Char c) {
  return c >= Char{'a'} && c <= Char{'z'} ? static_cast<Char>(c - Char{'a'} + Char{'A'}) : c;
}

// An ASCII letter in lower case, any other character as it is.
template <class Char>
constexpr Char AsciiLower(Char c) {
  return c >= Char{'A'} && c <= Char{'Z'} ? static_cast<Char>(c - Char{'A'} + Char{'a'}) : c;
}

}  // namespace varnlet
