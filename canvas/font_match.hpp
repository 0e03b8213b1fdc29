// Finding the font file for a face name: fontconfig's best match.
#pragma once

#include <fontconfig/fontconfig.h>

#include <optional>
#include <string>

// A face in a font file, with the weight and slant it really has (FC_WEIGHT_*
// and FC_SLANT_* values) and its family name.
struct FaceMatch {
  std::string file;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
  std::string family;
};

// fontconfig's best face for a family name (nullptr: its default face).
// The Symbol encoding needs the Greek letters, so a symbol face asks for
// them. fontconfig must be initialised; the caller serialises the calls.
std::optional<FaceMatch> match_face(const char* family, int weight, bool italic, bool symbol);
