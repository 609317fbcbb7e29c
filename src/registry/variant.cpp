#include "registry/variant.h"

#include <limits>

#include "registry/text_formats.h"

namespace varnlet::registry {

ByteArray MakeByteArray(std::span<const std::uint8_t> data) {
  ByteArray array(data.begin(), data.end());
  array.push_back(0);
  return array;
}

std::int64_t UBound(const ByteArray& array) { return static_cast<std::int64_t>(array.size()) - 1; }

std::wstring ToText(const Variant& value) {
  if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(&value)) return DecimalText(*number);
  if (std::holds_alternative<Empty>(value)) return {};
  throw TypeMismatch("a byte array is not text");
}

std::int32_t ToInteger(const Variant& value) {
  if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
  if (std::holds_alternative<Empty>(value)) return 0;
  const auto* text = std::get_if<std::wstring>(&value);
  if (text == nullptr) throw TypeMismatch("a byte array is not a number");
  std::size_t i = 0;
  std::size_t end = text->size();
  while (i < end && (*text)[i] == L' ') ++i;
  while (end > i && (*text)[end - 1] == L' ') --end;
  bool negative = false;
  if (i < end && ((*text)[i] == L'-' || (*text)[i] == L'+')) negative = (*text)[i++] == L'-';
  if (i == end) throw TypeMismatch("not a number");
  std::int64_t magnitude = 0;
  for (; i < end; ++i) {
    const wchar_t c = (*text)[i];
    if (c < L'0' || c > L'9') throw TypeMismatch("not a number");
    magnitude = magnitude * 10 + (c - L'0');
    // Stop early so that a long run of digits cannot overflow the accumulator.
    if (magnitude > std::int64_t{1} << 32) throw Overflow("number outside 32 bits");
  }
  const std::int64_t result = negative ? -magnitude : magnitude;
  if (result < std::numeric_limits<std::int32_t>::min() || result > std::numeric_limits<std::int32_t>::max()) {
    throw Overflow("number outside 32 bits");
  }
  return static_cast<std::int32_t>(result);
}

}  // namespace varnlet::registry
