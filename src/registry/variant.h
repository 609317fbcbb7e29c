#pragma once
// The tagged value the registry class takes and returns: Empty, Text, Integer or Byte array.
// A byte array that carries N data bytes has upper bound N: elements 0..N-1 hold the data and
// element N is a spare element that is never data.
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "base/errors.h"

namespace varnlet::registry {

using Empty = std::monostate;
using ByteArray = std::vector<std::uint8_t>;
using Variant = std::variant<Empty, std::wstring, std::int32_t, ByteArray>;

// A value that cannot be converted to the type asked for.
class TypeMismatch : public InvalidArgument {
 public:
  using InvalidArgument::InvalidArgument;
};

// The array for `data` under the convention: the data, then the spare 0.
ByteArray MakeByteArray(std::span<const std::uint8_t> data);
// The index of the last element; -1 for an array without elements.
std::int64_t UBound(const ByteArray& array);

// Text of a value: a Text unchanged, an Integer in decimal, Empty as "". Throws TypeMismatch
// for a byte array.
std::wstring ToText(const Variant& value);
// A signed 32-bit integer: an Integer unchanged, Empty as 0, a Text holding a decimal number
// (spaces around it allowed). Throws TypeMismatch for anything else and Overflow for
// a number outside 32 bits.
std::int32_t ToInteger(const Variant& value);

}  // namespace varnlet::registry
