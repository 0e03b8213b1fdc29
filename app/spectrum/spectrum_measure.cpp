#include "app/spectrum/spectrum_measure.hpp"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// The standard error of the mean of `n` samples, two passes over them.
template <class Sample>
Real StandardError(std::size_t n, const Sample& sample) {
  if (n < 2) return NAN;
  Real mean = 0, squares = 0;
  for (std::size_t b = 0; b < n; ++b) mean += sample(b);
  mean /= static_cast<Real>(n);
  for (std::size_t b = 0; b < n; ++b) squares += (sample(b) - mean) * (sample(b) - mean);
  return std::sqrt(squares / static_cast<Real>(n - 1) / static_cast<Real>(n));
}

Real DimensionOf(const Real* exponents, int count) {
  std::array<Real, SpectrumMostTangents> falling{};
  std::copy(exponents, exponents + count, falling.begin());
  std::sort(falling.begin(), falling.begin() + count, std::greater<Real>());
  return KaplanYorke(falling.data(), count);
}

}  // namespace

void SpectrumAdd(SpectrumSums& s, const double* lengths, int passes, const SpectrumSettings& settings) {
  s.tangents = settings.tangents;
  for (int k = 0; k < s.tangents; ++k) {
    const Real log_length = std::log(static_cast<Real>(lengths[k]));
    s.log_sum[k] += log_length;
    s.block_sum[k] += log_length;
  }
  s.measured_passes += passes;
  ++s.orthonormalisations;
  s.in_block += passes;
  if (s.in_block < settings.block) return;
  const Real block_time = static_cast<Real>(settings.block) * settings.span;
  std::array<Real, SpectrumMostTangents> exponents{};
  for (int k = 0; k < s.tangents; ++k) {
    exponents[k] = s.block_sum[k] / block_time;
    s.block_sum[k] = 0;
  }
  s.blocks.push_back(exponents);
  s.in_block = 0;
}

Real KaplanYorke(const Real* falling, int count) {
  Real sum = 0;
  for (int j = 0; j < count; ++j) {
    if (sum + falling[j] < 0) return j + sum / std::fabs(falling[j]);
    sum += falling[j];
  }
  return count == SpectrumMostTangents ? static_cast<Real>(count) : static_cast<Real>(NAN);
}

Real SpectrumSumBound(double tolerance, std::int64_t steps, std::int64_t orthonormalisations, Real time) {
  // Each accepted step keeps the state's local error within the tolerance
  // of each component's scale. The tangents are carried by the same stages
  // of the same step, the step's derivative, and their local error
  // relative to their length is of the same order: a step moves the
  // logarithm of each of the 32 lengths by at most about the tolerance
  // beyond its exact growth, whose sum is the trace times the step. Every
  // step's error of one sign, the 32 exponents add up to within
  // 32 tolerance steps / time of the trace. Each orthonormalisation rounds
  // each length within 32 units in the last place of its sums, 32 x 32 of
  // them in all. Measured in the chaotic band, the residual is 1/1300 to
  // 1/50000 of this from tolerance 1e-6 to 1e-10.
  const Real truncation = 32 * static_cast<Real>(tolerance) * static_cast<Real>(steps);
  const Real rounding = 32 * 32 * 0x1p-52L * static_cast<Real>(orthonormalisations);
  return (truncation + rounding) / time;
}

SpectrumSummary Summarise(const SpectrumSums& s, const SpectrumSettings& settings, double damping,
                          std::int64_t steps) {
  SpectrumSummary out;
  out.tangents = settings.tangents;
  out.time = static_cast<Real>(s.measured_passes) * settings.span;
  const std::size_t blocks = s.blocks.size();
  out.blocks = static_cast<std::int32_t>(blocks);
  out.trace = FlowDivergence(damping);
  const bool errors = blocks >= 2;
  if (errors) out.zero_exponents = out.positive_exponents = 0;
  std::array<bool, SpectrumMostTangents> zero{};
  for (int k = 0; k < out.tangents; ++k) {
    out.exponents[k] = s.measured_passes > 0 ? s.log_sum[k] / out.time : static_cast<Real>(NAN);
    out.errors[k] = StandardError(blocks, [&s, k](std::size_t b) { return s.blocks[b][k]; });
    out.sum += out.exponents[k];
    if (errors) {
      const Real three = 3 * out.errors[k];
      zero[k] = std::fabs(out.exponents[k]) <= three;
      if (zero[k]) ++out.zero_exponents;
      if (out.exponents[k] > three) ++out.positive_exponents;
    }
  }
  const auto dimension = [&zero, &out](std::array<Real, SpectrumMostTangents> exponents) {
    for (int k = 0; k < out.tangents; ++k)
      if (zero[k]) exponents[k] = 0;
    return DimensionOf(exponents.data(), out.tangents);
  };
  out.kaplan_yorke = dimension(out.exponents);
  out.kaplan_yorke_error = StandardError(blocks, [&](std::size_t b) { return dimension(s.blocks[b]); });
  out.sum_checked = out.tangents == SpectrumMostTangents && s.measured_passes > 0;
  if (out.sum_checked) {
    out.sum_bound = SpectrumSumBound(settings.tolerance, steps, s.orthonormalisations, out.time);
    out.sum_ok = std::fabs(out.sum - out.trace) <= out.sum_bound;
  }
  // The zeros are looked for only where the measured exponents reach past
  // them, to one negative beyond its three standard errors.
  out.zeros_checked = false;
  for (int k = 0; errors && k < out.tangents; ++k) out.zeros_checked |= out.exponents[k] < -3 * out.errors[k];
  out.zeros_ok = !out.zeros_checked || out.zero_exponents >= ExpectedZeroExponents;
  return out;
}

std::string SpectrumCertificate(const SpectrumSummary& s) {
  if (!s.sum_checked && !s.zeros_checked) return "unchecked";
  std::string failed;
  if (s.sum_checked && !s.sum_ok) failed = "sum";
  if (s.zeros_checked && !s.zeros_ok) failed += failed.empty() ? "zeros" : "+zeros";
  return failed.empty() ? "ok" : failed;
}

SpectrumRun MeasureSpectrum(const double* state, double damping, std::int64_t measured,
                            const SpectrumSettings& settings, const TangentKernels& kernels) {
  SpectrumRun run;
  SpectrumEngine engine;
  SpectrumStart(engine, state, settings.tangents, damping, settings.tolerance, settings.span, kernels);
  double lengths[SpectrumMostTangents];
  SpectrumSums sums;
  sums.tangents = settings.tangents;
  std::int64_t measured_steps = 0;
  std::int32_t since = 0;  // passes since the last orthonormalisation
  const std::int64_t total = settings.transient + measured;
  for (std::int64_t pass = 1; pass <= total; ++pass) {
    const std::int64_t before = engine.steps;
    const std::int64_t folds = engine.folds;
    if (!SpectrumPass(engine, settings.span)) {
      run.ok = false;
      break;
    }
    run.passes = pass;
    ++since;
    const bool measuring = pass > settings.transient;
    if (measuring) {
      measured_steps += engine.steps - before;
      run.folds += engine.folds - folds;
    }
    // On the interval's marks, counted from the measurement's start (so a
    // block ends on one), at the transient's end, and wherever the tangents
    // would leave the range of doubles before the next.
    const bool due = measuring ? (pass - settings.transient) % settings.interval == 0
                               : pass % settings.interval == 0 || pass == settings.transient;
    if (!due && !SpectrumTangentsOutOfRange(engine)) continue;
    SpectrumOrthonormalise(engine, lengths);
    if (measuring) SpectrumAdd(sums, lengths, since, settings);
    since = 0;
  }
  run.steps = engine.steps;
  run.rejected = engine.rejected;
  run.summary = Summarise(sums, settings, damping, measured_steps);
  return run;
}
