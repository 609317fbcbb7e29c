#include "registry/text_formats.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace varnlet::registry {
namespace {

std::wstring ByteText(std::span<const std::uint8_t> bytes, const wchar_t* format) {
  std::wstring text;
  text.reserve(bytes.size() * 3);
  std::array<wchar_t, 4> digits{};
  for (const std::uint8_t b : bytes) {
    std::swprintf(digits.data(), digits.size(), format, static_cast<unsigned>(b));
    text += digits.data();
  }
  return text;
}

}  // namespace

std::wstring DwordText(std::int32_t value) {
  std::array<wchar_t, 32> text{};
  std::swprintf(text.data(), text.size(), L"0x%08X (%ld)", static_cast<unsigned>(static_cast<std::uint32_t>(value)),
                static_cast<long>(value));
  return text.data();
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
