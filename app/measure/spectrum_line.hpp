// One column's Lyapunov spectrum as the spectrum file holds it (--spectrum).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/real.hpp"

struct SpectrumLine {
  std::int32_t column = 0;
  Real damping = 0;
  // The K largest exponents, in the order of their tangents (falling on a
  // long run), and their standard errors.
  std::vector<Real> exponents;
  std::vector<std::optional<Real>> errors;
  Real sum = 0;
  Real trace = 0;
  std::optional<std::int32_t> zero_exponents;      // within three standard errors of 0
  std::optional<std::int32_t> positive_exponents;  // beyond three standard errors above 0
  std::optional<Real> kaplan_yorke;
  std::optional<Real> kaplan_yorke_error;
  // "ok" when every check that could be made passed; else the checks
  // failed, joined by '+' ("sum", "zeros"), or "unchecked" when none could
  // be made.
  std::string certificate;
};
