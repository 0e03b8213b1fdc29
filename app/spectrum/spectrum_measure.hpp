// The Lyapunov spectrum of a trajectory, measured from the spectrum engine:
// the logarithms of the tangents' lengths at each orthonormalisation summed
// per exponent after a transient, a standard error per exponent by batch
// means (blocks of passes, each block's exponents one sample), and what the
// model lets every spectrum be checked against: the sum of the exponents
// against the constant trace of its Jacobian, and its zero exponents.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/spectrum/spectrum_engine.hpp"
#include "runtime/real.hpp"

struct SpectrumSettings {
  int tangents = SpectrumMostTangents;  // the K largest exponents
  int interval = 50;                    // passes between orthonormalisations
  // Passes before the measurement: a column's, whose first measured pass
  // is its 1000th.
  int transient = 999;
  int block = 1000;                     // passes per batch-means block
  double span = 0.01;                   // of model time per pass
  double tolerance = FlowDefaultTolerance;
};

// The exponents' running sums.
struct SpectrumSums {
  int tangents = 0;
  std::int64_t measured_passes = 0;
  std::int64_t orthonormalisations = 0;  // over the measured passes
  std::array<Real, SpectrumMostTangents> log_sum{};  // over the measured passes
  // The block under way, and each finished block's exponents: the samples
  // of the standard errors, and of the dimension's (which needs the whole
  // run's zeros first).
  std::array<Real, SpectrumMostTangents> block_sum{};
  std::int32_t in_block = 0;
  std::vector<std::array<Real, SpectrumMostTangents>> blocks;
};

// Adds one orthonormalisation: the tangents' lengths before it, which grew
// over `passes` passes since the one before (a block holds whole intervals).
void SpectrumAdd(SpectrumSums& sums, const double* lengths, int passes, const SpectrumSettings& settings);

// The Kaplan-Yorke dimension of exponents in falling order: j + S_j /
// |l_(j+1)|, j the most leading exponents whose sum S_j is not negative.
// Not a number when all `count` add up to at least zero and there are
// fewer than 32 (the dimension lies beyond them). The formula jumps where
// an exponent crosses zero (a regular orbit's 0, 0, 0, 0, -0.05 gives 4,
// its -1e-4, ... gives 0), so a summary gives it the exponents that are
// zero within their errors as exactly 0.
Real KaplanYorke(const Real* falling, int count);

// How far the sum of all 32 exponents may lie from the trace after `steps`
// accepted steps and that many orthonormalisations over `time` measured
// (derived beside its definition).
Real SpectrumSumBound(double tolerance, std::int64_t steps, std::int64_t orthonormalisations, Real time);

// The model's symmetries give at least this many zero exponents: the two
// translations, the rotation and the direction of the flow.
constexpr int ExpectedZeroExponents = 4;

struct SpectrumSummary {
  int tangents = 0;
  Real time = 0;  // measured model time
  std::int32_t blocks = 0;
  std::array<Real, SpectrumMostTangents> exponents{};
  // Not a number below two blocks.
  std::array<Real, SpectrumMostTangents> errors{};
  Real sum = 0;
  Real trace = 0;
  // Counted against three standard errors; -1 below two blocks.
  int zero_exponents = -1;
  int positive_exponents = -1;
  // From the exponents with those counted as zero set to 0; its error from
  // the blocks' dimensions, their zeros set alike.
  Real kaplan_yorke = 0;
  Real kaplan_yorke_error = 0;  // not a number below two blocks
  // The certificates: the sum within its bound of the trace (checked only
  // when all 32 are measured), and at least the expected zero exponents
  // (checked where the exponents reach a negative one).
  Real sum_bound = 0;
  bool sum_checked = false;
  bool sum_ok = true;
  bool zeros_checked = false;
  bool zeros_ok = true;
};

SpectrumSummary Summarise(const SpectrumSums& sums, const SpectrumSettings& settings, double damping,
                          std::int64_t steps);

// The certificate in a word: "ok" when every check that could be made
// passed, the failed ones joined by '+' ("sum", "zeros", "sum+zeros"), or
// "unchecked" when none could be made.
std::string SpectrumCertificate(const SpectrumSummary& summary);

// A whole measurement from `state`: the transient, then `measured` passes
// (a multiple of the interval), all of the engine's counts given back.
struct SpectrumRun {
  bool ok = true;  // false where the engine stopped; the summary holds what came before
  std::int64_t passes = 0;
  std::int64_t steps = 0;
  std::int64_t rejected = 0;
  std::int64_t folds = 0;  // over the measured passes
  SpectrumSummary summary;
};
SpectrumRun MeasureSpectrum(const double* state, double damping, std::int64_t measured,
                            const SpectrumSettings& settings, const TangentKernels& kernels = BestTangentKernels());
