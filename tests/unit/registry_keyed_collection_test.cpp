#include <gtest/gtest.h>

#include "registry/keyed_collection.h"

namespace varnlet::registry {
namespace {

TEST(KeyedCollection, KeepsOrderFindsByKeyWithoutCaseAndByOneBasedPosition) {
  KeyedCollection c;
  EXPECT_EQ(c.Count(), 0u);
  c.Add(L"C:\\Users\\ann\\Desktop", L"Desktop");
  c.Add(L"C:\\Windows", L"WindowsDir");
  c.Add(L"", L"(Default)");
  c.Add(L"x", L"Año");
  EXPECT_EQ(c.Count(), 4u);
  EXPECT_EQ(c.Item(1), L"C:\\Users\\ann\\Desktop");
  EXPECT_EQ(c.Item(4), L"x");
  EXPECT_EQ(c.Item(L"windowsdir"), L"C:\\Windows");
  EXPECT_EQ(c.Item(L"WINDOWSDIR"), L"C:\\Windows");
  EXPECT_EQ(c.Item(L"AÑO"), L"x");
  EXPECT_EQ(c.Key(2), L"WindowsDir");
  EXPECT_TRUE(c.Contains(L"(default)"));
  EXPECT_FALSE(c.Contains(L"SystemDir"));
  EXPECT_THROW(c.Item(0), varnlet::OutOfRange);
  EXPECT_THROW(c.Item(5), varnlet::OutOfRange);
  EXPECT_THROW(c.Item(L"SystemDir"), varnlet::OutOfRange);
  EXPECT_THROW(c.Item(L"Windows Dir"), varnlet::OutOfRange);
}

TEST(KeyedCollection, AddingAKeyTwiceFailsAndChangesNothing) {
  KeyedCollection c;
  c.Add(L"a", L"Key");
  EXPECT_THROW(c.Add(L"b", L"KEY"), DuplicateKey);
  EXPECT_THROW(c.Add(L"b", L"key"), DuplicateKey);
  EXPECT_EQ(c.Count(), 1u);
  EXPECT_EQ(c.Item(L"key"), L"a");
  // The empty key is a key like any other.
  c.Add(L"e", L"");
  EXPECT_THROW(c.Add(L"f", L""), DuplicateKey);
  EXPECT_EQ(c.Item(L""), L"e");
}

}  // namespace
}  // namespace varnlet::registry
