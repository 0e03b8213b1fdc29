// A column's host for tests: no clock, no keys, nothing said.
#pragma once

#include "app/measure/column_host.hpp"

class QuietHost final : public ColumnHost {
 public:
  double seconds() override { return 0; }
  void time_limit_reached() override {}
  bool escape_pressed() override { return false; }
  void iteration_ceiling_reached() override {}
};
