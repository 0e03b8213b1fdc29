// A member's engine under --spectrum: the spectrum engine carries the
// reference state (the flow engine's trajectory, bit for bit) and K
// tangents. The first tangent, which orthonormalisation only rescales, is
// the column's own tangent: its growth over each pass is the pass's
// exponent, as the flow engine's tangent's is. The tangents' lengths at
// every orthonormalisation of the measured passes are kept by interval,
// so that a collapse or a settling taken back from the column's figures is
// taken back from its spectrum too (whole intervals: one that reaches into
// the passes taken back goes with them).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "app/measure/member_engine.hpp"
#include "app/spectrum/spectrum_measure.hpp"

class SpectrumMemberEngine final : public MemberEngine {
 public:
  SpectrumMemberEngine(int tangents, double tolerance);
  void start(ColumnPass& pass) override;
  void restart(ColumnPass& pass) override;
  bool advance(ColumnPass& pass) override;
  PassEnd finish(ColumnPass& pass, SweepCarry& estimate, MeasuredGrowth* growth) override;
  CaptureSample sample(const ColumnPass& pass) const override;
  void state(const ColumnPass& pass, double* out) const override;
  void stop(ColumnPass& pass) override;
  void take_back(std::int32_t from) override;
  // The integrator's fields, the spectrum's results-file fields and its
  // line of the spectrum file.
  void describe(ColumnResult& r) const override;

  // The spectrum of the intervals kept so far.
  SpectrumSummary summary() const;

 private:
  struct Interval {
    std::int32_t end = 0;     // its last pass
    std::int32_t passes = 0;
    std::int64_t steps = 0;   // accepted steps within it
    std::array<double, SpectrumMostTangents> lengths{};
  };
  void start_at(const ColumnPass& pass);

  SpectrumSettings settings_;
  SpectrumEngine engine_;
  double first_length_ = 1;  // the first tangent's length when the pass began
  std::int32_t since_ = 0;   // passes since the last orthonormalisation
  std::int32_t measured_since_ = 0;
  std::int64_t steps_at_ = 0;  // the engine's steps at the last orthonormalisation
  std::vector<Interval> intervals_;
};

// The spectrum file's line of a column's spectrum.
SpectrumLine SpectrumLineOf(std::int32_t column, Real damping, const SpectrumSummary& summary);
