#include "registry/text_formats.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "base/ascii_case.h"

namespace varnlet::registry {
namespace {

// std::to_chars rather than swprintf or std::to_wstring: the printf family would link MinGW's whole formatter,
// floating point included (about 23 KiB of the exe), for a few integers.
void AppendNumber(std::wstring& text, std::int64_t value, int base, std::size_t minDigits) {
  std::array<char, 24> digits{};
  const char* const end = std::to_chars(digits.data(), digits.data() + digits.size(), value, base).ptr;
  const auto count = static_cast<std::size_t>(end - digits.data());
  if (count < minDigits) text.append(minDigits - count, L'0');
  for (const char* c = digits.data(); c != end; ++c) text += static_cast<wchar_t>(AsciiUpper(*c));
}

std::wstring ByteText(std::span<const std::uint8_t> bytes, std::size_t minDigits) {
  std::wstring text;
  text.reserve(bytes.size() * 3);
  for (const std::uint8_t b : bytes) {
    AppendNumber(text, b, 16, minDigits);
    text += L' ';
  }
  return text;
}

}  // namespace

std::wstring DwordText(std::int32_t value) {
  std::wstring text = L"0x";
  AppendNumber(text, static_cast<std::uint32_t>(value), 16, 8);
  return text + L" (" + DecimalText(value) + L")";
}

std::wstring DecimalText(std::int64_t value) {
  std::wstring text;
  AppendNumber(text, value, 10, 0);
  return text;
}

std::wstring HexByteText(std::span<const std::uint8_t> bytes) { return ByteText(bytes, 2); }

std::wstring ShortHexByteText(std::span<const std::uint8_t> bytes) { return ByteText(bytes, 1); }

std::wstring BufferToText(std::wstring_view sBuffer, bool bMultiString) {
  if (!bMultiString) return std::wstring(sBuffer.substr(0, sBuffer.find(L'\0')));
  std::wstring text(sBuffer.substr(0, sBuffer.rfind(L'\0')));
  std::replace(text.begin(), text.end(), L'\0', L' ');
  return text;
}

std::wstring QuotedIfSpaced(std::wstring_view path) {
  if (path.find(L' ') == std::wstring_view::npos || path.starts_with(L'"')) return std::wstring(path);
  std::wstring quoted;
  quoted.reserve(path.size() + 2);
  quoted += L'"';
  quoted += path;
  quoted += L'"';
  return quoted;
}

}  // namespace varnlet::registry
