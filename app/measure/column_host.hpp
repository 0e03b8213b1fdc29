// What a column needs of the program around it: a clock, the beep at the
// time limit, the Esc key read at every convergence test, and the wait at
// the iteration ceiling.
#pragma once

class ColumnHost {
 public:
  virtual ~ColumnHost() = default;
  // Elapsed seconds on a clock that never goes back.
  virtual double seconds() = 0;
  virtual void time_limit_reached() = 0;
  // Whether Esc was pressed since the last look.
  virtual bool escape_pressed() = 0;
  virtual void iteration_ceiling_reached() = 0;
};

// The program's host: the monotonic clock, the console's beep and keys, and
// "Done!" with a wait for a key at the ceiling.
class ConsoleHost final : public ColumnHost {
 public:
  double seconds() override;
  void time_limit_reached() override;
  bool escape_pressed() override;
  void iteration_ceiling_reached() override;
};

// A host with no clock to run out and no keys: what ends its columns is
// their budget (an ensemble's fresh members, the tests).
class QuietHost final : public ColumnHost {
 public:
  double seconds() override { return 0; }
  void time_limit_reached() override {}
  bool escape_pressed() override { return false; }
  void iteration_ceiling_reached() override {}
};
