#include "tray/notify_icon_record.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/errors.h"

namespace varnlet::tray {

void NotifyIconRecord::SetDword(std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes_.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

void NotifyIconRecord::SetHandle(std::size_t offset, std::uint64_t value) {
  for (std::size_t i = 0; i < layout_->handleWidth; ++i) {
    bytes_.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

void NotifyIconRecord::SetText(std::size_t offset, std::size_t width, std::wstring_view text,
                               const platform::AnsiCodePage& ansi) {
  // Every character takes at least one byte, so no more than width - 1 of them can fit.
  std::wstring kept(text.substr(0, width - 1));
  std::string converted = ansi.ToAnsi(kept);
  // Shorten by whole characters, so a multi-byte character is never cut in half.
  while (converted.size() > width - 1) {
    kept.pop_back();
    converted = ansi.ToAnsi(kept);
  }
  converted.push_back('\0');
  converted.resize(width, ' ');
  if (offset > bytes_.size() || bytes_.size() - offset < width) throw OutOfRange("text field outside the record");
  std::memcpy(bytes_.data() + offset, converted.data(), width);
}

std::uint32_t NotifyIconRecord::Dword(std::size_t offset) const {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes_.at(offset + i)) << (8 * i);
  return value;
}

}  // namespace varnlet::tray
