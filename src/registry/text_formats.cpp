#include "registry/text_formats.h"

#include <algorithm>
#include <cstdio>

namespace varnlet::registry {
namespace {

std::wstring ByteText(std::span<const std::uint8_t> bytes, const wchar_t* format) {
  std::wstring text;
  text.reserve(bytes.size() * 3);
  wchar_t digits[4];
  for (const std::uint8_t b : bytes) {
    std::swprintf(digits, std::size(digits), format, static_cast<unsigned>(b));
    text += digits;
  }
  return text;
}

}  // namespace

std::wstring DwordText(std::int32_t value) {
  wchar_t text[32];
  std::swprintf(text, std::size(text), L"0x%08X (%ld)", static_cast<unsigned>(static_cast<std::uint32_t>(value)),
                static_cast<long>(value));
  return text;
}

std::wstring HexByteText(std::span<const std::uint8_t> bytes) { return ByteText(bytes, L"%02X "); }

std::wstring ShortHexByteText(std::span<const std::uint8_t> bytes) { return ByteText(bytes, L"%X "); }

std::wstring BufferToText(std::wstring_view sBuffer, bool bMultiString) {
  if (!bMultiString) return std::wstring(sBuffer.substr(0, sBuffer.find(L'\0')));
  std::wstring text(sBuffer.substr(0, sBuffer.rfind(L'\0')));
  std::replace(text.begin(), text.end(), L'\0', L' ');
  return text;
}

}  // namespace varnlet::registry
