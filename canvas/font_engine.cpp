#include "canvas/font_engine.hpp"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "canvas/encoding.hpp"
#include "canvas/font_match.hpp"
#include "canvas/glyph_line.hpp"

namespace {

// FreeType's library object and fontconfig's configuration are shared by all
// fonts; opening and closing faces goes through this lock.
struct Engine {
  std::mutex lock;
  FT_Library library = nullptr;
  bool ready = false;
};

// Never destroyed: fonts held by static slots outlive static destructors.
Engine& engine() {
  static Engine* instance = new Engine;
  return *instance;
}

// Larger sizes are drawn at this many pixels per em, so that a silly point
// size cannot ask for gigabytes of glyph bitmap.
constexpr int MaxPixelsPerEm = 512;
// Em size for a description of height 0.
constexpr int DefaultPixelsPerEm = 12;

// fontconfig keeps allocations that only FcFini gives back; at a normal exit
// it is released so that leak checks see only real leaks. (The program itself
// ends with _exit and skips this.)
void release_fontconfig() {
  Engine& e = engine();
  std::lock_guard<std::mutex> guard(e.lock);
  FcFini();
}

bool engine_ready_locked(Engine& e) {
  if (!e.ready) {
    if (FT_Init_FreeType(&e.library) != 0) return false;
    if (FcInit() != FcTrue) {
      FT_Done_FreeType(e.library);
      e.library = nullptr;
      return false;
    }
    std::atexit(release_fontconfig);
    e.ready = true;
  }
  return true;
}

std::int64_t scale_round(std::int64_t units, int ppem, int units_per_em) {
  const std::int64_t n = units * ppem;
  return n >= 0 ? (n + units_per_em / 2) / units_per_em : -((-n + units_per_em / 2) / units_per_em);
}

std::int64_t scale_ceil(std::int64_t units, int ppem, int units_per_em) {
  const std::int64_t n = units * ppem;
  return n >= 0 ? (n + units_per_em - 1) / units_per_em : -(-n / units_per_em);
}

}  // namespace

struct Font {
  std::mutex lock;  // a FreeType face serves one thread at a time
  FT_Face face = nullptr;
  FontMetrics metrics;
  bool symbol = false;
  bool embolden = false;
  bool oblique = false;
  int embolden_pixels = 0;
  bool underline = false;
  bool strike_out = false;
  int escapement = 0;
  int underline_top = 0, underline_rows = 1;
  int strike_top = 0, strike_rows = 1;
  std::string file;
  std::string family;

  Font() = default;
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  ~Font() {
    if (face != nullptr) {
      std::lock_guard<std::mutex> guard(engine().lock);
      FT_Done_Face(face);
    }
  }
};

namespace {

int pixels_per_em(const FontDescription& d, FT_Face face, const TT_OS2* os2) {
  std::int64_t ppem;
  if (d.height < 0) {
    ppem = -std::int64_t{d.height};
  } else if (d.height > 0) {
    // A positive height is the whole cell.
    std::int64_t cell_units = face->ascender - face->descender;
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
      cell_units = std::int64_t{os2->usWinAscent} + os2->usWinDescent;
    }
    ppem = cell_units > 0 ? (std::int64_t{d.height} * face->units_per_EM + cell_units / 2) / cell_units : d.height;
  } else {
    ppem = DefaultPixelsPerEm;
  }
  return static_cast<int>(std::clamp<std::int64_t>(ppem, 1, MaxPixelsPerEm));
}

// The face's OS/2 table, or nullptr when it has none (version 0xFFFF).
const TT_OS2* os2_table(FT_Face face) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  return os2 != nullptr && os2->version != 0xFFFF ? os2 : nullptr;
}

// What the font does beyond the face: the description's decorations and
// escapement, and the bold and italic that the matched face lacks.
void take_style(Font& font, const FaceMatch& match, const FontDescription& d, bool symbol, int ppem) {
  font.symbol = symbol;
  font.file = match.file;
  font.family = match.family;
  font.escapement = d.escapement;
  font.underline = d.underline != 0;
  font.strike_out = d.strike_out != 0;
  font.embolden = d.weight >= 600 && match.weight < FC_WEIGHT_DEMIBOLD;
  font.oblique = d.italic != 0 && match.slant == FC_SLANT_ROMAN;
  font.embolden_pixels = font.embolden ? std::max(1, (ppem + 12) / 24) : 0;
}

// Cell metrics from the Windows ascent and descent where the face has
// them, so that line spacing matches what such fonts were designed for.
// Needs the style (the average width of a synthesised bold is wider).
void take_metrics(Font& font, const TT_OS2* os2, int ppem) {
  const FT_Face face = font.face;
  const int upem = face->units_per_EM;
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  std::int64_t ascent_units = face->ascender, descent_units = -face->descender;
  if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent_units = os2->usWinAscent;
    descent_units = os2->usWinDescent;
  }
  FontMetrics& m = font.metrics;
  m.pixels_per_em = ppem;
  m.ascent = static_cast<int>(std::max<std::int64_t>(scale_ceil(ascent_units, ppem, upem), 0));
  m.descent = static_cast<int>(std::max<std::int64_t>(scale_ceil(descent_units, ppem, upem), 0));
  m.height = m.ascent + m.descent;
  m.internal_leading = m.height - ppem;
  std::int64_t gap_units = face->height - (face->ascender - face->descender);
  if (hhea != nullptr) {
    gap_units = hhea->Line_Gap - ((ascent_units + descent_units) - (hhea->Ascender - hhea->Descender));
  }
  m.external_leading = static_cast<int>(std::max<std::int64_t>(scale_round(gap_units, ppem, upem), 0));
  if (os2 != nullptr && os2->xAvgCharWidth > 0) {
    m.average_char_width = static_cast<int>(scale_round(os2->xAvgCharWidth, ppem, upem)) + font.embolden_pixels;
  } else {
    m.average_char_width = font_text_width(font, "x");
  }
}

// Where the underline and the strike-out lie in the cell; needs the metrics.
void take_rules(Font& font, const TT_OS2* os2, int ppem) {
  const FT_Face face = font.face;
  const int upem = face->units_per_EM;
  const FontMetrics& m = font.metrics;
  const int thickness = static_cast<int>(std::max<std::int64_t>(scale_round(face->underline_thickness, ppem, upem), 1));
  font.underline_rows = thickness;
  font.underline_top = m.ascent + static_cast<int>(scale_round(-face->underline_position, ppem, upem)) - thickness / 2;
  font.underline_top = std::clamp(font.underline_top, m.ascent, std::max(m.ascent, m.height - thickness));
  std::int64_t strike_units = upem * 26 / 100, strike_size = face->underline_thickness;
  if (os2 != nullptr && os2->yStrikeoutSize > 0) {
    strike_units = os2->yStrikeoutPosition;
    strike_size = os2->yStrikeoutSize;
  }
  font.strike_rows = static_cast<int>(std::max<std::int64_t>(scale_round(strike_size, ppem, upem), 1));
  font.strike_top = std::clamp(m.ascent - static_cast<int>(scale_round(strike_units, ppem, upem)), 0,
                               std::max(0, m.ascent - font.strike_rows));
}

// Opens the matched face at the description's size; nullptr when FreeType
// cannot use it.
std::shared_ptr<Font> load(const FaceMatch& match, const FontDescription& d, bool symbol) {
  Engine& e = engine();
  auto font = std::make_shared<Font>();
  {
    std::lock_guard<std::mutex> guard(e.lock);
    if (FT_New_Face(e.library, match.file.c_str(), match.index, &font->face) != 0) {
      font->face = nullptr;
      return nullptr;
    }
  }
  FT_Face face = font->face;
  if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return nullptr;
  FT_Select_Charmap(face, FT_ENCODING_UNICODE);  // keeps the default when there is none
  const TT_OS2* os2 = os2_table(face);
  const bool use_os2 = os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0;
  const int ppem = pixels_per_em(d, face, use_os2 ? os2 : nullptr);
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) != 0) return nullptr;
  take_style(*font, match, d, symbol, ppem);
  take_metrics(*font, os2, ppem);
  take_rules(*font, os2, ppem);
  return font;
}

FT_UInt glyph_index(Font& font, char32_t code_point, unsigned char byte, bool from_byte) {
  FT_UInt index = code_point != 0 ? FT_Get_Char_Index(font.face, code_point) : 0;
  if (index == 0 && font.symbol && from_byte) {
    // A symbol font without Unicode names keeps the encoding's own codes in
    // the private area at 0xF000.
    for (int i = 0; i < font.face->num_charmaps; ++i) {
      if (font.face->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL) {
        FT_CharMap previous = font.face->charmap;
        FT_Set_Charmap(font.face, font.face->charmaps[i]);
        index = FT_Get_Char_Index(font.face, 0xF000u + byte);
        if (previous != nullptr) FT_Set_Charmap(font.face, previous);
        break;
      }
    }
  }
  return index;
}

// Loads, styles and (with `render`) draws one glyph.
Glyph load_glyph(Font& font, FT_UInt index, bool render) {
  Glyph glyph;
  FT_Face face = font.face;
  if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_MONO) != 0) return glyph;
  FT_GlyphSlot slot = face->glyph;
  glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6) + font.embolden_pixels;
  if (!render) return glyph;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (font.embolden) FT_Outline_EmboldenXY(&slot->outline, font.embolden_pixels * 64, 0);
    if (font.oblique) {
      FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
      FT_Outline_Transform(&slot->outline, &shear);
    }
  }
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.width = static_cast<int>(bitmap.width);
  glyph.rows = static_cast<int>(bitmap.rows);
  glyph.ink.assign(static_cast<std::size_t>(glyph.width) * glyph.rows, 0);
  for (int y = 0; y < glyph.rows; ++y) {
    const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
    for (int x = 0; x < glyph.width; ++x) {
      bool on;
      if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        on = (row[x >> 3] & (0x80 >> (x & 7))) != 0;
      } else {
        on = row[x] >= 128;  // grey bitmaps from bitmap-only strikes
      }
      glyph.ink[static_cast<std::size_t>(y) * glyph.width + x] = on ? 1 : 0;
    }
  }
  return glyph;
}

// The drawn glyphs of the code points; `bytes` are the 8-bit text they were
// decoded from (empty for code points given as such). Call with the font's
// lock held.
std::vector<Glyph> render_glyphs(Font& font, const std::u32string& code_points, std::string_view bytes) {
  std::vector<Glyph> glyphs;
  glyphs.reserve(code_points.size());
  for (std::size_t i = 0; i < code_points.size(); ++i) {
    const bool from_byte = i < bytes.size();
    const FT_UInt index =
        glyph_index(font, code_points[i], from_byte ? static_cast<unsigned char>(bytes[i]) : 0, from_byte);
    glyphs.push_back(load_glyph(font, index, true));
  }
  return glyphs;
}

TextMask render(Font& font, const std::u32string& code_points, std::string_view bytes) {
  std::lock_guard<std::mutex> guard(font.lock);
  TextRule rules[2];
  std::size_t rule_count = 0;
  if (font.underline) rules[rule_count++] = {font.underline_top, font.underline_rows};
  if (font.strike_out) rules[rule_count++] = {font.strike_top, font.strike_rows};
  return glyph_line_mask(render_glyphs(font, code_points, bytes), font.metrics.ascent, font.metrics.height,
                         std::span<const TextRule>(rules, rule_count));
}

}  // namespace

std::shared_ptr<Font> font_open(const FontDescription& description) {
  char face_name[sizeof description.face_name + 1] = {};
  std::memcpy(face_name, description.face_name, sizeof description.face_name);
  const bool symbol = is_symbol_face(face_name);
  const bool italic = description.italic != 0;
  std::optional<FaceMatch> match;
  {
    std::lock_guard<std::mutex> guard(engine().lock);
    if (!engine_ready_locked(engine())) return nullptr;
    match = match_face(face_name, description.weight, italic, symbol);
  }
  std::shared_ptr<Font> font;
  if (match) font = load(*match, description, symbol);
  if (!font) {
    // Nothing usable under that name: fontconfig's default face.
    {
      std::lock_guard<std::mutex> guard(engine().lock);
      match = match_face(nullptr, description.weight, italic, symbol);
    }
    if (match) font = load(*match, description, symbol);
  }
  return font;
}

const FontMetrics& font_metrics(const Font& font) { return font.metrics; }
int font_escapement(const Font& font) { return font.escapement; }
std::string font_file_name(const Font& font) { return font.file; }
std::string font_family_name(const Font& font) { return font.family; }

int font_text_width(Font& font, std::string_view text) {
  const std::u32string code_points = decode_text(text, font.symbol);
  std::lock_guard<std::mutex> guard(font.lock);
  std::int64_t width = 0;
  for (std::size_t i = 0; i < code_points.size(); ++i) {
    width += load_glyph(font, glyph_index(font, code_points[i], static_cast<unsigned char>(text[i]), true), false).advance;
  }
  return static_cast<int>(std::min<std::int64_t>(width, 1 << 30));
}

TextMask font_render_text(Font& font, std::string_view text) {
  return render(font, decode_text(text, font.symbol), text);
}

TextMask font_render_code_points(Font& font, std::u32string_view code_points) {
  return render(font, std::u32string(code_points), {});
}
