// A chart-sized surface with every primitive and a label in each font, saved
// as a bitmap and read back by an independent decoder (bmptopnm from
// netpbm). The file stays in the build directory as canvas_test_surface.bmp
// for a look by eye (bmptopnm it | pnmtopng).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "canvas/bitmap.hpp"
#include "canvas/fonts.hpp"
#include "canvas/text.hpp"
#include "canvas_test_support.hpp"

extern char** environ;

namespace {

void label(Real x, Real y, const char* text) {
  canvas_move_to(x, y);
  canvas_print(text);
  canvas_newline();
}

void draw_test_surface() {
  canvas_clear(static_cast<int>(White), 0);

  // Lines in the five pen styles and out-of-range style 7, in colours.
  const Colour line_colours[] = {0x000000, 0x0000C0, 0x008000, 0xC00000, 0x808080, 0x008080};
  for (int style = 0; style < 6; ++style) {
    canvas_set_style(style == 5 ? 7 : style);
    canvas_move_to(10, 10 + 12 * style);
    canvas_line_to(250, 10 + 12 * style, static_cast<int>(line_colours[style]));
  }
  canvas_set_style(0);
  // Slopes in every octant from one centre, end pixels excluded.
  for (int k = 0; k < 16; ++k) {
    const Real dx[] = {60, 60, 30, 0, -30, -60, -60, -60, -60, -60, -30, 0, 30, 60, 60, 60};
    const Real dy[] = {0, 30, 60, 60, 60, 30, 0, -30, -60, -60, -60, -60, -60, -30, 0, 30};
    canvas_move_to(330, 50);
    canvas_line_to(330 + dx[k] * (k % 2 ? 0.8L : 1), 50 + dy[k] * (k % 2 ? 0.8L : 1), static_cast<int>(0x800080));
  }
  // A dotted zero line and ticks, as on the chart.
  canvas_set_style(2);
  canvas_move_to(420, 40);
  canvas_line_to(840, 40, 0x808080);
  canvas_set_style(0);
  for (int i = 1; i < 10; ++i) {
    canvas_move_to(420 + 42 * i, 10);
    canvas_line_to(420 + 42 * i, 26.67L, -1);
  }
  // Single pixels in a checker.
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) {
      if ((x + y) % 2 == 0) canvas_set_pixel(420 + 2 * x, 60 + 2 * y, static_cast<int>(0x0000FF));
    }
  }

  // Boxes: square, rounded (30 and 100) and elliptic corners; outline only,
  // solid, and the six hatches.
  const int corners[] = {0, 30, 100, INT_MIN};
  for (int c = 0; c < 4; ++c) {
    const float x = 10 + 100.0f * c;
    canvas_box(x, 100, x + 90, 160, corners[c], -1, -2, 0);
    canvas_box(x, 170, x + 90, 230, corners[c], static_cast<int>(0x0000C0), static_cast<int>(0x80C0FF), 0);
  }
  canvas_set_style(1);
  canvas_box(420, 100, 600, 160, 20, static_cast<int>(0xC00000), -2, 0);
  canvas_set_style(3);
  canvas_box(610, 100, 840, 160, INT_MIN, static_cast<int>(0x008000), -2, 0);
  canvas_set_style(0);
  for (int h = 1; h <= 6; ++h) {
    const float x = 420 + 70.0f * (h - 1);
    canvas_box(x, 170, x + 64, 230, 0, -1, static_cast<int>(0x006000), h);
  }

  // A label in each font: the two built-in slots, the chart's label and
  // symbol fonts, and the styles.
  canvas_set_foreground(0x000000);
  canvas_set_background(static_cast<int>(White));
  canvas_set_font(1);
  label(10, 250, "Slot 1: MS Sans Serif 8 (default)");
  canvas_set_font(2);
  label(10, 270, "Slot 2: Courier New (size 0)");
  canvas_set_font(font_new("MS Sans Serif", 14, 1, 0, 0, 0));
  label(10, 295, "Sans 14 bold: 2.0 -2.0 1.0 0 bo");
  const int symbol = font_new("symbol", 18, 1, 0, 0, 0);
  canvas_set_font(symbol);
  label(10, 325, "l abgdp W");
  canvas_set_font(font_new("MS Sans Serif", 14, 2, 0, 0, 0));
  label(10, 360, "Italic 14");
  canvas_set_font(font_new("MS Sans Serif", 14, 4, 0, 0, 0));
  label(10, 390, "Underlined 14");
  canvas_set_font(font_new("MS Sans Serif", 14, 8, 0, 0, 0));
  label(10, 420, "Struck out 14");
  canvas_set_font(font_new("Courier New", 12, 3, 0, 0, 0));
  label(10, 450, "Courier New 12 bold italic");
  canvas_set_font(font_new("No Such Face", 12, 0, 0, 0, 0));
  label(10, 480, "Unknown face falls back");

  // Transparent text over a hatch, opaque text over the same hatch.
  canvas_box(420, 250, 840, 330, 0, -1, static_cast<int>(0xFFC080), 6);
  canvas_set_font(font_new("MS Sans Serif", 14, 1, 0, 0, 0));
  canvas_set_foreground(0x0000A0);
  canvas_set_background(-2);
  label(430, 260, "Transparent background");
  canvas_set_background(static_cast<int>(White));
  label(430, 295, "Opaque background");
  canvas_set_foreground(0x000000);

  // Turned text: 90 and 45 degrees.
  canvas_set_font(font_new("MS Sans Serif", 12, 0, 0, 0, 900));
  canvas_move_to(400, 600);
  canvas_print("Escapement 90");
  canvas_set_font(font_new("MS Sans Serif", 12, 0, 0, 0, 450));
  canvas_move_to(450, 600);
  canvas_print("Escapement 45");

  // The chart's lambda and border.
  canvas_set_font(symbol);
  canvas_move_to(26, 520);
  canvas_print("l");
  canvas_box(0, 0, 850, 624, 0, -1, -2, 0);
}

struct Pnm {
  int width = 0, height = 0, maxval = 0;
  std::vector<std::uint8_t> rgb;
};

// Reads a binary PPM (P6) with 8-bit samples.
bool parse_ppm(const std::vector<std::uint8_t>& data, Pnm& image) {
  std::size_t at = 0;
  auto token = [&]() -> std::string {
    while (at < data.size()) {
      if (data[at] == '#') {
        while (at < data.size() && data[at] != '\n') ++at;
      } else if (std::isspace(data[at])) {
        ++at;
      } else {
        break;
      }
    }
    std::string t;
    while (at < data.size() && !std::isspace(data[at])) t.push_back(static_cast<char>(data[at++]));
    return t;
  };
  if (token() != "P6") return false;
  image.width = std::stoi(token());
  image.height = std::stoi(token());
  image.maxval = std::stoi(token());
  ++at;  // the single whitespace before the samples
  if (image.maxval != 255 || data.size() - at != static_cast<std::size_t>(image.width) * image.height * 3) return false;
  image.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(at), data.end());
  return true;
}

// Runs `bmptopnm input` with its standard output in `output`; its exit status.
int run_bmptopnm(const std::string& input, const std::string& output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = "bmptopnm";
  std::vector<char*> argv{program.data(), const_cast<char*>(input.c_str()), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "bmptopnm", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(TestSurface, IndependentDecoderReadsExactlyTheRaster) {
  AttachedCanvas canvas(850, 624);
  draw_test_surface();
  const std::string bmp = std::string(FLOCKCHASE_BINARY_DIR) + "/canvas_test_surface.bmp";
  const std::string ppm = std::string(FLOCKCHASE_BINARY_DIR) + "/canvas_test_surface.ppm";
  canvas_save_bmp(bmp);
  ASSERT_EQ(run_bmptopnm(bmp, ppm), 0) << "bmptopnm (netpbm) must be installed";
  std::ifstream in(ppm, std::ios::binary);
  const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Pnm image;
  ASSERT_TRUE(parse_ppm(data, image));
  const Raster raster = canvas.raster();
  ASSERT_EQ(image.width, 850);
  ASSERT_EQ(image.height, 624);
  int mismatches = 0;
  for (int y = 0; y < 624; ++y) {
    for (int x = 0; x < 850; ++x) {
      const Colour c = raster.at(x, y);
      const std::uint8_t* p = &image.rgb[(static_cast<std::size_t>(y) * 850 + x) * 3];
      const bool same = p[0] == (c & 0xFF) && p[1] == ((c >> 8) & 0xFF) && p[2] == ((c >> 16) & 0xFF);
      if (!same && ++mismatches <= 5) ADD_FAILURE() << "pixel " << x << "," << y;
    }
  }
  EXPECT_EQ(mismatches, 0);
  // The surface is not trivially uniform: many colours made it through.
  EXPECT_GT(pixels_of(raster, 0x000000).size(), 5000u);
  EXPECT_GT(pixels_of(raster, 0x006000).size(), 500u);
  EXPECT_GT(pixels_of(raster, 0x0000A0).size(), 200u);
}

}  // namespace
