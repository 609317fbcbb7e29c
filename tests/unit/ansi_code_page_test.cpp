#include "platform/ansi_code_page.h"

#include <gtest/gtest.h>

namespace varnlet::platform {
namespace {

TEST(Windows1252, KeepsOneBytePerCharacterAndRoundTrips) {
  const Windows1252 cp;
  EXPECT_EQ(cp.ToAnsi(L"Descripción"), "Descripci\xF3n");
  EXPECT_EQ(cp.ToAnsi(L"continúa ¡€"),
            "contin\xFA"
            "a \xA1\x80");
  EXPECT_EQ(cp.FromAnsi("ejecut\xE1ndose \x80"), L"ejecutándose €");
  // A character outside the code page becomes "?", one byte still, also where the system's best
  // fit would give a look-alike separator, quotation mark or letter.
  EXPECT_EQ(cp.ToAnsi(L"a\u4E2Db"), "a?b");
  EXPECT_EQ(cp.ToAnsi(L"a\uFF3Cb\u2215c\uFF02d\u0141"), "a?b?c?d?");
  EXPECT_EQ(cp.WideCharToMultiByte(0, L"a\uFF3Cb\u2215c\uFF02d\u0141\u4E2D"), "a\\b/c\"dL?");
  // Embedded NULs pass through.
  EXPECT_EQ(cp.ToAnsi(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::wstring wide = cp.FromAnsi(all);
  ASSERT_EQ(wide.size(), all.size());
  EXPECT_EQ(wide[0x81 - 1], L'\x81');
  EXPECT_EQ(cp.ToAnsi(wide), all);
}

}  // namespace
}  // namespace varnlet::platform
