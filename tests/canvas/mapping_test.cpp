#include "canvas/mapping.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <limits>

namespace {

TEST(MapPoint, RoundsHalvesToEven) {
  const struct {
    Real value;
    std::int32_t pixel;
  } cases[] = {
      {2.5L, 2},   {3.5L, 4},   {-2.5L, -2}, {0.5L, 0},     {1.5L, 2},       {-0.5L, 0},
      {2.49L, 2},  {2.51L, 3},  {16.67L, 17}, {583.33L, 583}, {72.22L, 72},   {827.78L, 828},
      {1e12L, INT_MIN},  // out of range
      {std::numeric_limits<Real>::quiet_NaN(), INT_MIN},
  };
  for (const auto& c : cases) {
    const PixelPoint p = map_point(c.value, c.value, false, CanvasScale{}, 100, 100, {});
    EXPECT_EQ(p.x, c.pixel) << static_cast<double>(c.value);
    EXPECT_EQ(p.y, c.pixel) << static_cast<double>(c.value);
  }
}

TEST(MapPoint, RelativeAddsToThePosition) {
  EXPECT_EQ(map_point(2.5L, -3.5L, true, CanvasScale{}, 100, 100, {10, 20}), (PixelPoint{12, 16}));
  // Far offsets saturate instead of wrapping round to the other side.
  EXPECT_EQ(map_point(2e9L, -2e9L, true, CanvasScale{}, 100, 100, {2000000000, -2000000000}),
            (PixelPoint{INT_MAX, INT_MIN}));
}

TEST(MakeScale, IdentityIsNoScale) {
  const CanvasScale scale = make_scale(0, 0, 200, 100, 200, 100, CanvasScale{});
  EXPECT_FALSE(scale.is_set());
  EXPECT_EQ(scale.origin_x, 0.0f);
  EXPECT_EQ(scale.factor_y, 0.0f);
}

TEST(MakeScale, EqualCoordinatesAreIgnored) {
  const CanvasScale current = make_scale(0, 0, 10, 10, 100, 100, CanvasScale{});
  const CanvasScale same_x = make_scale(5, 0, 5, 10, 100, 100, current);
  const CanvasScale same_y = make_scale(0, 3, 10, 3, 100, 100, current);
  EXPECT_EQ(same_x.factor_x, current.factor_x);
  EXPECT_EQ(same_y.origin_y, current.origin_y);
  EXPECT_EQ(same_y.factor_y, current.factor_y);
}

TEST(MakeScale, WorldCornersLandOnTheEdges) {
  // Damping 0..1 across 200 pixels, exponent +2 at the top to -2 at the bottom.
  const CanvasScale scale = make_scale(0, 2, 1, -2, 200, 100, CanvasScale{});
  ASSERT_TRUE(scale.is_set());
  EXPECT_FALSE(scale.x_reversed);
  EXPECT_TRUE(scale.y_reversed);
  EXPECT_EQ(scale.origin_y, -2.0f);
  EXPECT_EQ(scale.factor_x, 200.0f);
  EXPECT_EQ(scale.factor_y, 25.0f);
  EXPECT_EQ(map_point(0, 2, false, scale, 200, 100, {}), (PixelPoint{0, 0}));
  EXPECT_EQ(map_point(1, -2, false, scale, 200, 100, {}), (PixelPoint{200, 100}));
  EXPECT_EQ(map_point(0.5L, 0, false, scale, 200, 100, {}), (PixelPoint{100, 50}));
  // Relative offsets are scaled, and upwards on the reversed axis.
  EXPECT_EQ(map_point(0.1L, 1, true, scale, 200, 100, {100, 50}), (PixelPoint{120, 25}));
}

}  // namespace
