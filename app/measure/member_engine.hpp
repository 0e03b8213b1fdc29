// What a member's trajectory is stepped by, one pass at a time: the
// program's step on both trajectories (with the measurement options as the
// settings ask), the flow engine, or a lane of the batch engine. A member
// knows nothing else of how its passes are made.
#pragma once

#include "app/measure/column_pass.hpp"
#include "app/measure/column_result.hpp"
#include "app/measure/flow_pass.hpp"
#include "app/measure/sweep_settings.hpp"
#include "app/model/capture_detector.hpp"
#include "app/model/flow_engine.hpp"

class MemberEngine {
 public:
  virtual ~MemberEngine() = default;
  // At the member's start, and at every new episode within it: the
  // reference state is pass.ref, conditioned.
  virtual void start(ColumnPass& pass) = 0;
  virtual void restart(ColumnPass& pass) = 0;
  // The pass's steps; false when the engine cannot go on.
  virtual bool advance(ColumnPass& pass) = 0;
  // Everything of the pass after its steps: the growth logged, and after
  // the transient the running estimate updated and what was added told.
  virtual PassEnd finish(ColumnPass& pass, SweepCarry& estimate, MeasuredGrowth* growth) = 0;
  // The reference state where the pass ended (or the engine stopped), as the
  // capture detector reads it, and as 32 doubles (component i at i - 1).
  virtual CaptureSample sample(const ColumnPass& pass) const = 0;
  virtual void state(const ColumnPass& pass, double* out) const = 0;
  // At the member's end: the reference state back in pass.ref, exactly.
  virtual void stop(ColumnPass& pass) = 0;
  // The passes from `from` on are taken back from the figures (a collapse,
  // or the regular motion after a chaotic phase): an engine that keeps
  // sums of its own drops what they added.
  virtual void take_back(std::int32_t /*from*/) {}
  // The result's integrator fields, and whatever else the engine measured.
  virtual void describe(ColumnResult& r) const = 0;
};

// The program's step on the reference and the shadow, as the settings'
// measurement options and steppers ask.
class StepEngine final : public MemberEngine {
 public:
  explicit StepEngine(const SweepSettings& settings) : settings_(settings) {}
  void start(ColumnPass&) override {}
  void restart(ColumnPass&) override {}
  bool advance(ColumnPass& pass) override;
  PassEnd finish(ColumnPass& pass, SweepCarry& estimate, MeasuredGrowth* growth) override;
  CaptureSample sample(const ColumnPass& pass) const override;
  void state(const ColumnPass& pass, double* out) const override;
  void stop(ColumnPass&) override {}
  void describe(ColumnResult& r) const override;

 private:
  const SweepSettings& settings_;
};

// The flow engine on the reference and its tangent.
class FlowMemberEngine final : public MemberEngine {
 public:
  explicit FlowMemberEngine(double tolerance) : tolerance_(tolerance) {}
  void start(ColumnPass& pass) override;
  void restart(ColumnPass& pass) override;
  bool advance(ColumnPass& pass) override;
  PassEnd finish(ColumnPass& pass, SweepCarry& estimate, MeasuredGrowth* growth) override;
  CaptureSample sample(const ColumnPass& pass) const override;
  void state(const ColumnPass& pass, double* out) const override;
  void stop(ColumnPass& pass) override;
  void describe(ColumnResult& r) const override;

 private:
  double tolerance_;
  FlowPass flow_;
};
