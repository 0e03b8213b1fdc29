// What one column of the sweep ended with.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/measure/member_result.hpp"
#include "app/measure/spectrum_line.hpp"
#include "runtime/real.hpp"

// PassLimit only ends columns of a run with a pass budget (--passes);
// Stalled only those of --flow, whose engine could not go on. Settled ends
// a column (with the measurement options) whose trajectory settled on a
// regular attractor and was certified there; Captured an ensemble column
// whose continued member was captured.
enum class ColumnEnd { Converged, TimeLimit, Coinciding, IterationCeiling, PassLimit, Stalled, Settled, Captured };

// What kind of motion a column measured with the measurement options:
// chaotic, chaos throughout; transient, chaos that ended (captures, or a
// settling onto a regular attractor), the exponent measured over the
// chaotic phases alone; regular, no chaotic phase at all, the exponent the
// regular attractor's; captured, every episode captured before anything was
// measured, and no exponent.
enum class ColumnRegime { Chaotic, Transient, Captured, Regular };

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
  // Fields of the extended results file, written when a run uses any of the
  // measurement options; empty where the option that fills them is off.
  std::optional<std::int32_t> large_passes;     // --robust: passes measured beyond the bound
  std::optional<Real> extrapolated;             // --target-error: the extrapolated limit
  std::optional<Real> tangent_exponent;         // --tangent: the variational estimate
  std::optional<Real> tangent_standard_error;   // --tangent: its batch-means standard error
  // Capture detection, with any measurement option.
  std::optional<ColumnRegime> regime;
  std::optional<std::int32_t> captures;
  std::optional<Real> chaotic_time;   // model time measured in chaotic phases
  std::optional<Real> capture_rate;   // captures per unit of episode time before them
  std::optional<Real> collapse_rate;  // mean decay rate of the captured pairs, none without a capture
  // The extended layout's integrator: `step` or the flow engine's method,
  // its tolerance, and under --flow the engine's accepted and rejected steps
  // in the column. Empty in files written before these fields.
  std::string integrator;
  std::optional<Real> tolerance;
  std::optional<std::int64_t> steps;
  std::optional<std::int64_t> rejected_steps;
  // The settling, with the measurement options: the model time from the
  // column's start at which the regular motion began, the regular
  // attractor's exponent and standard error, and the suspected settlings
  // that turned out laminar phases of intermittency.
  std::optional<Real> settled_time;
  std::optional<Real> regular_exponent;
  std::optional<Real> regular_standard_error;
  std::optional<std::int32_t> laminar_phases;
  // An ensemble column (--members): the fresh members' ends, the 95 %
  // Wilson intervals of the shares ending chaotic, settled and captured,
  // the escapes (settlings and captures) over the members' chaotic time with
  // the rate's exact 95 % interval (no rate, the upper bound alone, without
  // an escape), the distinct regular attractors and the share of members on
  // each, and the exponent of the chaotic phases with its jackknife error.
  std::optional<std::int32_t> members;
  std::optional<std::int32_t> ended_chaotic, ended_settled, ended_captured, ended_stalled;
  std::optional<Real> chaotic_share_low, chaotic_share_high;
  std::optional<Real> settled_share_low, settled_share_high;
  std::optional<Real> captured_share_low, captured_share_high;
  std::optional<std::int32_t> escapes;
  std::optional<Real> member_chaotic_time;
  std::optional<Real> escape_rate, escape_rate_low, escape_rate_high;
  std::optional<std::int32_t> attractors;
  // LABEL:SHARE for each attractor in label order, separated by ';' (label 0:
  // the flock that disperses).
  std::string attractor_shares;
  std::optional<Real> ensemble_exponent, ensemble_standard_error;
  // The spectrum (--spectrum): the exponents beyond three standard errors
  // above zero and those within three of it, the Kaplan-Yorke dimension,
  // the sum of the measured exponents minus the trace of the Jacobian, and
  // the certificate ("ok", the failed checks joined by '+', or "unchecked").
  std::optional<std::int32_t> positive_exponents, zero_exponents;
  std::optional<Real> kaplan_yorke, sum_residual;
  std::string spectrum_certificate;
  // The whole spectrum, for the spectrum file; not in the results file.
  std::optional<SpectrumLine> spectrum;
  // Every member's line, for the members file; not in the results file.
  std::vector<MemberResult> member_results;
  // Of a merged results file: the segment (I of K) the column came from.
  std::optional<std::int32_t> segment;
};

// Who hears of a finished column: the report line, the curve, the files.
using ColumnObserver = std::function<void(const ColumnResult&)>;

// Whether a column has an exponent to report: not when it was captured.
inline bool HasExponent(const ColumnResult& r) { return r.regime != ColumnRegime::Captured; }

// The word a results file uses for a regime, and back.
std::string_view column_regime_name(ColumnRegime regime);
std::optional<ColumnRegime> column_regime_from_name(std::string_view name);

// The word a results file uses for how a column ended, and back.
std::string_view column_end_name(ColumnEnd end);
std::optional<ColumnEnd> column_end_from_name(std::string_view name);
