#include "app/measure/column.hpp"

#include <cmath>

#include "app/measure/member.hpp"
#include "app/measure/member_engine.hpp"
#include "app/measure/spectrum_member.hpp"
#include "app/model/gauss_deviate.hpp"
#include "app/model/integrator.hpp"
#include "runtime/numeric.hpp"

namespace {

Real Deviate(RandomState* generator) { return generator ? GaussDeviate(*generator) : GaussDeviate(); }

}  // namespace

FlockState FreshState(RandomState* generator) {
  FlockState state{};
  for (std::int32_t k = 1; k <= FlockBodies + 1; ++k) {
    state[4 * k - 3] = Deviate(generator);
    state[4 * k - 2] = Deviate(generator);
    state[4 * k - 1] = 0;
    state[4 * k] = 0;
  }
  return state;
}

void ConditionColumn(Real* ref, Real* shadow, RandomState* generator) {
  constexpr int reach = 5;  // components beyond it are pulled back to it
  const Real kick = widen(0.1f);
  const Real floor = widen(0.01f);
  const Real offset = Epsilon / square_root(StateSize);
  for (std::int32_t i = 1; i <= StateSize; ++i) {
    if (std::fabs(ref[i]) > reach) ref[i] = reach * sign_of(ref[i]) + kick * Deviate(generator);
    if (std::fabs(ref[i]) < floor) ref[i] = floor * Deviate(generator);
    shadow[i] = ref[i] + offset;
  }
}

std::optional<ColumnResult> RunColumn(std::int32_t column, const FlockModel& model, FlockState& ref,
                                      const SweepCarry& carry, const SweepSettings& settings, ColumnHost& host,
                                      const HistoryObserver& history) {
  StepEngine step(settings);
  FlowMemberEngine flow(settings.tolerance);
  std::optional<SpectrumMemberEngine> spectrum;
  if (settings.flow && settings.spectrum > 0) spectrum.emplace(settings.spectrum, settings.tolerance);
  MemberEngine& engine = spectrum ? static_cast<MemberEngine&>(*spectrum)
                         : settings.flow ? static_cast<MemberEngine&>(flow)
                                         : step;
  MemberSetup setup;
  setup.column = column;
  MemberRun run(setup, settings, host, history, engine, model, ref, carry);
  run.begin();
  std::optional<ColumnEnd> end;
  bool escaped = false;
  while (!end && !escaped) end = run.step(escaped);
  run.finish();
  ref = run.state();
  if (escaped) return std::nullopt;
  return run.result(*end);
}
