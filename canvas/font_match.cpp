#include "canvas/font_match.hpp"

#include <algorithm>

std::optional<FaceMatch> match_face(const char* family, int weight, bool italic, bool symbol) {
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return std::nullopt;
  if (family != nullptr && *family != '\0') {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  }
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  if (symbol) {
    if (FcCharSet* greek = FcCharSetCreate()) {
      for (FcChar32 c = 0x0391; c <= 0x03C9; ++c) {
        if (c != 0x03A2 && (c <= 0x03A9 || c >= 0x03B1)) FcCharSetAddChar(greek, c);
      }
      FcPatternAddCharSet(pattern, FC_CHARSET, greek);
      FcCharSetDestroy(greek);
    }
  }
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (found == nullptr) return std::nullopt;
  FaceMatch match;
  FcChar8* text = nullptr;
  if (FcPatternGetString(found, FC_FILE, 0, &text) == FcResultMatch && text != nullptr) {
    match.file = reinterpret_cast<const char*>(text);
  }
  if (FcPatternGetString(found, FC_FAMILY, 0, &text) == FcResultMatch && text != nullptr) {
    match.family = reinterpret_cast<const char*>(text);
  }
  FcPatternGetInteger(found, FC_INDEX, 0, &match.index);
  FcPatternGetInteger(found, FC_WEIGHT, 0, &match.weight);
  FcPatternGetInteger(found, FC_SLANT, 0, &match.slant);
  FcPatternDestroy(found);
  if (match.file.empty()) return std::nullopt;
  return match;
}
