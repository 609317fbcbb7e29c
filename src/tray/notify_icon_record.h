#pragma once
// The notification-area record (NOTIFYICONDATAA) laid out in bytes, for 32-bit and for 64-bit
// Windows. The record is always built at its full length; cbSize tells the shell how much of it
// to read (one of the three prefix sizes of the layout).
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/ansi_code_page.h"

namespace varnlet::tray {

struct NotifyIconLayout {
  std::size_t handleWidth;  // hWnd and hIcon: 4 or 8 bytes
  std::size_t cbSize, hWnd, uID, uFlags, uCallbackMessage, hIcon, szTip, dwState, dwStateMask, szInfo, uTimeout,
      szInfoTitle, dwInfoFlags, guidItem;
  std::size_t length;  // the whole record as the program builds it
  // The three sizes a shell may be told: up to the first 64 bytes of the tip, up to guidItem,
  // and the whole record up to the end of guidItem.
  std::size_t sizeShell4, sizeShell5, sizeShell6;
};

inline constexpr NotifyIconLayout kLayout32{4,   0,   4,   8,   12,  16,  20, 24,  152, 156,
                                            160, 416, 420, 484, 488, 504, 88, 488, 504};
inline constexpr NotifyIconLayout kLayout64{8,   0,   8,   16,  20,  24,  32,  40,  168, 172,
                                            176, 432, 436, 500, 504, 520, 104, 504, 520};
inline constexpr const NotifyIconLayout& kNativeLayout = sizeof(void*) == 8 ? kLayout64 : kLayout32;

inline constexpr std::size_t kTipWidth = 128;
inline constexpr std::size_t kInfoWidth = 256;
inline constexpr std::size_t kInfoTitleWidth = 64;

class NotifyIconRecord {
 public:
  explicit NotifyIconRecord(const NotifyIconLayout& layout = kNativeLayout)
      : layout_(&layout), bytes_(layout.length, 0) {}

  const NotifyIconLayout& layout() const { return *layout_; }
  const std::uint8_t* data() const { return bytes_.data(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  void SetDword(std::size_t offset, std::uint32_t value);
  // A handle field: 4 bytes on 32-bit, 8 on 64-bit. Window handles are sign-extended 32-bit values.
  void SetHandle(std::size_t offset, std::uint64_t value);
  // The text, one NUL and spaces up to `width` characters, in the ANSI code page. A text too long
  // for its field is shortened so that it still ends in NUL.
  void SetText(std::size_t offset, std::size_t width, std::wstring_view text, const platform::AnsiCodePage& ansi);

  std::uint32_t Dword(std::size_t offset) const;

 private:
  const NotifyIconLayout* layout_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace varnlet::tray
