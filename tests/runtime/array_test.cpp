#include "runtime/array.hpp"

#include <gtest/gtest.h>

#include "runtime/errors.hpp"

namespace {

TEST(Array, DimensionedZeroFilled) {
  ArrayDescriptor a;
  clear_error();
  array_dim(a, {{0, 32}});
  ASSERT_TRUE(a.dimensioned());
  EXPECT_EQ(a.count, 33u);
  EXPECT_EQ(a.byte_size, 33u * sizeof(Real));
  EXPECT_EQ(a.kind, 2);
  EXPECT_EQ(a.type_code, ArrayTypeReal);
  for (int i = 0; i <= 32; ++i) EXPECT_EQ(a[i], 0.0L);
  EXPECT_EQ(last_error(), 0);
}

TEST(Array, DimensioningTwiceKeepsFirst) {
  ArrayDescriptor a;
  array_dim(a, {{0, 3}});
  a[3] = 7;
  array_dim(a, {{0, 10}});
  EXPECT_EQ(a.count, 4u);
  EXPECT_EQ(a[3], 7);
}

TEST(Array, EraseAndDimensionAgainIsFresh) {
  ArrayDescriptor a;
  array_dim(a, {{0, 999}});
  for (int i = 0; i < 1000; ++i) a[i] = i;
  array_erase(a);
  EXPECT_FALSE(a.dimensioned());
  EXPECT_EQ(a.data, nullptr);
  array_dim(a, {{0, 999}});
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(a[i], 0.0L);
}

TEST(Array, ClearModeKeepsMemory) {
  ArrayDescriptor a;
  array_dim(a, {{1, 4}});
  a[1] = 5;
  Real* data = a.data;
  array_erase(a, EraseClear);
  EXPECT_TRUE(a.dimensioned());
  EXPECT_EQ(a.data, data);
  EXPECT_EQ(a[1], 0.0L);
}

TEST(Array, BadBoundsAndOverflowRaiseNine) {
  struct Case {
    ArrayBounds first, second;
  };
  const Case cases[] = {
      {{5, 4}, {0, 0}},                 // upper below lower
      {{0, 0x7FFFFFFF}, {0, 0}},        // too many bytes
      {{0, 0xFFFF}, {0, 0xFFFF}},       // too many elements
  };
  for (const Case& c : cases) {
    ArrayDescriptor a;
    clear_error();
    array_dim(a, {c.first, c.second});
    EXPECT_EQ(last_error(), 9);
    EXPECT_FALSE(a.dimensioned());
  }
}

TEST(Array, NonZeroLowerBound) {
  ArrayDescriptor a;
  array_dim(a, {{-2, 2}});
  a[-2] = 1;
  a[2] = 2;
  EXPECT_EQ(a.data[0], 1);
  EXPECT_EQ(a.data[4], 2);
}

}  // namespace
