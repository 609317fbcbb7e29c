#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "registry/text_formats.h"
#include "registry/variant.h"

namespace varnlet::registry {
namespace {

using namespace std::string_literals;

TEST(TextFormats, DwordText) {
  EXPECT_EQ(DwordText(0), L"0x00000000 (0)");
  EXPECT_EQ(DwordText(255), L"0x000000FF (255)");
  EXPECT_EQ(DwordText(-1), L"0xFFFFFFFF (-1)");
  EXPECT_EQ(DwordText(INT32_MIN), L"0x80000000 (-2147483648)");
  EXPECT_EQ(DwordText(INT32_MAX), L"0x7FFFFFFF (2147483647)");
  EXPECT_EQ(DwordText(0x00ABCDEF), L"0x00ABCDEF (11259375)");
  EXPECT_EQ(DecimalText(INT64_MIN), L"-9223372036854775808");
}

TEST(TextFormats, ByteTexts) {
  const std::vector<std::uint8_t> bytes = {0x0A, 0xFF, 0x00, 0x01, 0x10, 0xAB};
  EXPECT_EQ(HexByteText(bytes), L"0A FF 00 01 10 AB ");
  EXPECT_EQ(ShortHexByteText(bytes), L"A FF 0 1 10 AB ");
  EXPECT_EQ(HexByteText({}), L"");
  EXPECT_EQ(ShortHexByteText({}), L"");
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(HexByteText(all).size(), 256u * 3);
  EXPECT_EQ(HexByteText(all).substr(0x7F * 3, 6), L"7F 80 ");
}

TEST(TextFormats, BufferToText) {
  EXPECT_EQ(BufferToText(L"abc\0def\0\0"s, false), L"abc");
  EXPECT_EQ(BufferToText(L"abc"s, false), L"abc");
  EXPECT_EQ(BufferToText(L"\0abc"s, false), L"");
  EXPECT_EQ(BufferToText(L""s, false), L"");
  // Multi-strings: cut before the last NUL, the other NULs become spaces.
  EXPECT_EQ(BufferToText(L"one\0two\0"s, true), L"one two");
  EXPECT_EQ(BufferToText(L"a\0\0b\0"s, true), L"a  b");
  EXPECT_EQ(BufferToText(L"a\0b\0\0"s, true), L"a b ");
  // Two strings in a buffer of eight characters: the filler NULs turn into spaces.
  EXPECT_EQ(BufferToText(L"a\0b\0\0\0\0\0"s, true), L"a b    ");
  EXPECT_EQ(BufferToText(L"abc"s, true), L"abc");
  EXPECT_EQ(BufferToText(L"\0"s, true), L"");
  EXPECT_EQ(BufferToText(L""s, true), L"");
}

TEST(Variant, ByteArraysCarryOneSpareElement) {
  const std::vector<std::uint8_t> data = {1, 2, 3};
  const ByteArray array = MakeByteArray(data);
  EXPECT_EQ(array, (ByteArray{1, 2, 3, 0}));
  EXPECT_EQ(UBound(array), 3);
  EXPECT_EQ(UBound(MakeByteArray({})), 0);
  EXPECT_EQ(UBound(ByteArray{}), -1);
}

TEST(Variant, ConversionsToTextAndInteger) {
  EXPECT_EQ(ToText(Variant(L"x"s)), L"x");
  EXPECT_EQ(ToText(Variant(-42)), L"-42");
  EXPECT_EQ(ToText(Variant(Empty{})), L"");
  EXPECT_THROW(ToText(Variant(ByteArray{0})), TypeMismatch);

  EXPECT_EQ(ToInteger(Variant(7)), 7);
  EXPECT_EQ(ToInteger(Variant(Empty{})), 0);
  struct Case {
    std::wstring text;
    std::int32_t value;
  };
  for (const Case& c : {Case{L"5", 5}, Case{L"  -12  ", -12}, Case{L"+3", 3}, Case{L"2147483647", INT32_MAX},
                        Case{L"-2147483648", INT32_MIN}, Case{L"0000000000000000000001", 1}}) {
    EXPECT_EQ(ToInteger(Variant(c.text)), c.value) << std::string(c.text.begin(), c.text.end());
  }
  for (const std::wstring& bad : {L""s, L" "s, L"-"s, L"abc"s, L"1.5"s, L"1 2"s, L"0x10"s, L"١"s}) {
    EXPECT_THROW(ToInteger(Variant(bad)), TypeMismatch) << std::string(bad.begin(), bad.end());
  }
  for (const std::wstring& big : {L"2147483648"s, L"-2147483649"s, L"99999999999999999999999999"s}) {
    EXPECT_THROW(ToInteger(Variant(big)), varnlet::Overflow);
  }
  EXPECT_THROW(ToInteger(Variant(ByteArray{1, 0})), TypeMismatch);
}

TEST(TextFormats, QuotedIfSpaced) {
  EXPECT_EQ(QuotedIfSpaced(L"C:\\My Apps\\v.exe"), L"\"C:\\My Apps\\v.exe\"");
  EXPECT_EQ(QuotedIfSpaced(L"C:\\Apps\\v.exe"), L"C:\\Apps\\v.exe");
  EXPECT_EQ(QuotedIfSpaced(L"\"C:\\My Apps\\v.exe\""), L"\"C:\\My Apps\\v.exe\"");
  EXPECT_EQ(QuotedIfSpaced(L""), L"");
}

}  // namespace
}  // namespace varnlet::registry
