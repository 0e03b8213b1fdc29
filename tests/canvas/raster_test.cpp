#include "canvas/raster.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

using Points = std::vector<std::pair<int, int>>;

Points painted(const Raster& raster, Colour background) {
  Points points;
  for (int y = 0; y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      if (raster.at(x, y) != background) points.emplace_back(x, y);
    }
  }
  return points;
}

struct LineCase {
  int x0, y0, x1, y1;
  Points expected;  // sorted by row, then column
};

TEST(RasterLine, EndPixelExcluded) {
  const LineCase cases[] = {
      {0, 5, 3, 5, {{0, 5}, {1, 5}, {2, 5}}},
      {3, 5, 0, 5, {{1, 5}, {2, 5}, {3, 5}}},
      {10, 10, 10, 10, {}},
      {2, 0, 2, 3, {{2, 0}, {2, 1}, {2, 2}}},
      {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
      {0, 0, 4, 2, {{0, 0}, {1, 1}, {2, 1}, {3, 2}}},
      {4, 4, 0, 3, {{2, 3}, {1, 3}, {4, 4}, {3, 4}}},
      {1, 0, 0, 1, {{1, 0}}},
  };
  for (const LineCase& c : cases) {
    Raster raster = make_raster(16, 16, 0);
    raster_line(raster, c.x0, c.y0, c.x1, c.y1, 1, PenSolid);
    std::set<std::pair<int, int>> expected(c.expected.begin(), c.expected.end());
    const Points got = painted(raster, 0);
    const std::set<std::pair<int, int>> got_set(got.begin(), got.end());
    EXPECT_EQ(got_set, expected)
        << "(" << c.x0 << "," << c.y0 << ")-(" << c.x1 << "," << c.y1 << ")";
  }
}

// The plain rasteriser: walk every step, drop what falls off the raster.
void oracle_line(Raster& raster, int x0, int y0, int x1, int y1, Colour colour, int style) {
  const long long dx = static_cast<long long>(x1) - x0, dy = static_cast<long long>(y1) - y0;
  const long long steps = std::max(std::llabs(dx), std::llabs(dy));
  for (long long i = 0; i < steps; ++i) {
    long long x, y;
    if (std::llabs(dx) >= std::llabs(dy)) {
      x = x0 + (dx > 0 ? i : -i);
      const long long offset = (2 * i * std::llabs(dy) + steps) / (2 * steps);
      y = y0 + (dy >= 0 ? offset : -offset);
    } else {
      y = y0 + (dy > 0 ? i : -i);
      const long long offset = (2 * i * std::llabs(dx) + steps) / (2 * steps);
      x = x0 + (dx >= 0 ? offset : -offset);
    }
    if (pen_paints(style, static_cast<unsigned long long>(i))) raster_set_pixel(raster, x, y, colour);
  }
}

TEST(RasterLine, ClippingMatchesTheFullWalk) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> coordinate(-300, 300);
  for (int trial = 0; trial < 4000; ++trial) {
    const int x0 = coordinate(rng), y0 = coordinate(rng), x1 = coordinate(rng), y1 = coordinate(rng);
    const int style = trial % 5;
    Raster fast = make_raster(100, 80, 0), plain = make_raster(100, 80, 0);
    raster_line(fast, x0, y0, x1, y1, 7, style);
    oracle_line(plain, x0, y0, x1, y1, 7, style);
    ASSERT_EQ(fast.pixels, plain.pixels) << x0 << "," << y0 << " " << x1 << "," << y1 << " style " << style;
  }
}

TEST(RasterLine, ExtremeEndPointsOnlyVisitTheRaster) {
  // 2^32 steps: walking them all would take minutes.
  Raster raster = make_raster(40, 30, 0);
  raster_line(raster, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 5, PenSolid);
  Points expected;
  for (int k = 0; k < 30; ++k) expected.emplace_back(k, k);
  EXPECT_EQ(painted(raster, 0), expected);

  Raster row = make_raster(40, 30, 0);
  raster_line(row, INT_MAX, 7, INT_MIN, 7, 5, PenSolid);
  EXPECT_EQ(painted(row, 0).size(), 40u);
}

TEST(PenPattern, RunsOfEachStyle) {
  struct Case {
    int style;
    const char* first_period;  // '#' ink, '.' gap
  };
  const Case cases[] = {
      {PenSolid, "########################"},
      {PenDash, "##################......"},
      {PenDot, "###...###...###...###..."},
      {PenDashDot, "#########......###......"},
      {PenDashDotDot, "#########...###...###..."},
      {7, "########################"},   // unknown styles draw solid
      {-1, "########################"},
  };
  for (const Case& c : cases) {
    std::string got;
    for (int i = 0; i < 24; ++i) got.push_back(pen_paints(c.style, i) ? '#' : '.');
    EXPECT_EQ(got, c.first_period) << "style " << c.style;
    for (int i = 0; i < 24; ++i) EXPECT_EQ(pen_paints(c.style, i), pen_paints(c.style, i + 240)) << c.style;
  }
}

TEST(Hatch, EightPixelTiles) {
  const char* tiles[6] = {
      "########........................................................",  // horizontal
      "#.......#.......#.......#.......#.......#.......#.......#.......",  // vertical
      "#........#........#........#........#........#........#........#",  // forward diagonal
      ".......#......#......#......#......#......#......#......#.......",  // backward diagonal
      "#########.......#.......#.......#.......#.......#.......#.......",  // cross
      "#......#.#....#...#..#.....##......##.....#..#...#....#.#......#",  // diagonal cross
  };
  for (int hatch = 0; hatch < 6; ++hatch) {
    const Brush brush{Brush::Kind::Hatch, hatch, 1};
    std::string got;
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) got.push_back(brush_paints(brush, x, y) ? '#' : '.');
    }
    EXPECT_EQ(got, tiles[hatch]) << "hatch " << hatch;
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) EXPECT_EQ(brush_paints(brush, x, y), brush_paints(brush, x + 24, y + 40));
    }
  }
}

TEST(RoundRect, SquareShapeExcludesRightAndBottom) {
  const RoundRectShape shape = make_round_rect(2, 3, 7, 6, 0, 0);
  Raster raster = make_raster(10, 10, 0);
  raster_round_rect(raster, shape, 1, PenSolid, Brush{Brush::Kind::Solid, 0, 2});
  const char* expected[] = {
      "..........", "..........", "..........", "..#####...", "..#222#...",
      "..#####...", "..........", "..........", "..........", "..........",
  };
  for (int y = 0; y < 10; ++y) {
    std::string row;
    for (int x = 0; x < 10; ++x) {
      const Colour c = raster.at(x, y);
      row.push_back(c == 0 ? '.' : c == 1 ? '#' : '2');
    }
    EXPECT_EQ(row, expected[y]) << "row " << y;
  }
}

TEST(RoundRect, EllipseIsSymmetricAndTouchesEachSide) {
  for (int size : {5, 8, 11, 20, 33}) {
    const RoundRectShape shape = make_round_rect(0, 0, size, size - 2, size + 1, size - 1);
    for (int y = 0; y < size - 2; ++y) {
      for (int x = 0; x < size; ++x) {
        EXPECT_EQ(shape.contains(x, y), shape.contains(size - 1 - x, y));
        EXPECT_EQ(shape.contains(x, y), shape.contains(x, size - 3 - y));
      }
    }
    EXPECT_TRUE(shape.contains(size / 2, 0));
    EXPECT_TRUE(shape.contains(0, (size - 2) / 2));
    EXPECT_FALSE(shape.contains(0, 0));
    EXPECT_FALSE(shape.contains(size - 1, size - 3));
  }
}

TEST(RoundRect, OutlineIsOnePixelRingWithDashes) {
  const RoundRectShape shape = make_round_rect(5, 5, 45, 35, 12, 12);
  Raster solid = make_raster(50, 40, 0), dashed = make_raster(50, 40, 0);
  raster_round_rect(solid, shape, 1, PenSolid, Brush{});
  raster_round_rect(dashed, shape, 1, PenDash, Brush{});
  const Points ring = painted(solid, 0);
  const Points dashes = painted(dashed, 0);
  // Every outline pixel is in the shape with an outside 4-neighbour.
  for (const auto& [x, y] : ring) EXPECT_TRUE(shape.on_outline(x, y));
  // A dash pattern of 18 on, 6 off keeps about three quarters of the ring.
  EXPECT_LT(dashes.size(), ring.size());
  EXPECT_GT(dashes.size() * 100, ring.size() * 70);
  for (const auto& p : dashes) EXPECT_TRUE(std::find(ring.begin(), ring.end(), p) != ring.end());
}

TEST(RasterFill, ClippedToTheRaster) {
  Raster raster = make_raster(6, 4, 0);
  raster_fill_rect(raster, -100, -100, 3, 100, Brush{Brush::Kind::Solid, 0, 9});
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) EXPECT_EQ(raster.at(x, y), x < 3 ? 9u : 0u);
  }
  raster_fill_rect(raster, 0, 0, 6, 4, Brush{});
  EXPECT_EQ(raster.at(5, 3), 0u);  // hollow paints nothing
}

}  // namespace
