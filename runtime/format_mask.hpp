// Format masks: splitting a mask into its sections and compiling a section
// into the positions that digits, signs and literal text are placed into.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

enum class PositionKind : std::uint8_t {
  Literal,   // copies `ch`
  Zero,      // a digit, or "0" where none falls
  Optional,  // a digit, or nothing where none falls
  Fill,      // a digit, or the fill character `ch` where none falls
};

struct MaskPosition {
  PositionKind kind;
  char ch;             // the literal, or the fill character
  bool fraction;       // a digit position after the decimal point
  bool decimal_point;  // the literal "." that starts the fraction
};

enum class ExponentMode : std::uint8_t {
  None,
  Minus,  // "E-": a sign only for negative exponents
  Plus,   // "E+": "+" or "-" always
};

struct CompiledMask {
  std::vector<MaskPosition> positions;
  // Positions from here on form the exponent part (positions.size() when
  // there is no exponent).
  std::size_t exponent_start = 0;
  std::int64_t integer_digits = 0;   // I: digit positions before the point
  std::int64_t fraction_digits = 0;  // F: digit positions after it
  std::int64_t exponent_digits = 0;  // X: digit positions of the exponent
  bool grouping = false;
  bool percent = false;
  ExponentMode exponent_mode = ExponentMode::None;
};

// Up to three sections separated by ";" outside double quotes and not after
// a backslash; text after a third ";" is ignored.
struct MaskSections {
  std::string_view section[3];
  int separators = 0;                     // 0 to 2 (a third ends section 3)
  bool only_separator_ends_mask = false;  // the first ";" is the mask's last character
};

MaskSections split_mask(std::string_view mask);

// Characters outside the mask language are dropped; an unclosed double quote
// runs to the end of the section.
CompiledMask compile_mask_section(std::string_view section);
