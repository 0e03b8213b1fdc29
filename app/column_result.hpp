// What one column of the sweep ended with.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/real.hpp"

enum class ColumnEnd { Converged, TimeLimit, Coinciding, IterationCeiling };

struct ColumnResult {
  std::int32_t column = 0;
  Real damping = 0;
  Real exponent = 0;
  Real spread = 0;
  Real mean_divergence = 0;
  ColumnEnd end = ColumnEnd::Converged;
  std::int32_t passes = 0;
  std::int32_t measured_passes = 0;
  double seconds = 0;
  std::optional<Real> standard_error;  // batch means; none below two blocks
  std::int32_t blocks = 0;
};

// The word a results file uses for how a column ended, and back.
std::string_view column_end_name(ColumnEnd end);
std::optional<ColumnEnd> column_end_from_name(std::string_view name);
