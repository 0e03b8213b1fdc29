#include "app/files/results_layout.hpp"

#define PLAIN_FIELDS "column,damping,exponent,spread,mean_divergence,end,passes,measured_passes,seconds,standard_error,blocks"
#define MEASUREMENT_FIELDS ",large_passes,extrapolated,tangent_exponent,tangent_standard_error"
#define CAPTURE_FIELDS ",regime,captures,chaotic_time,capture_rate,collapse_rate"
#define INTEGRATOR_FIELDS ",integrator,tolerance,steps,rejected_steps"
#define SETTLE_FIELDS ",settled_time,regular_exponent,regular_standard_error,laminar_phases"
#define ENSEMBLE_FIELDS                                                                                      \
  ",members,ended_chaotic,ended_settled,ended_captured,ended_stalled,chaotic_share_low,chaotic_share_high," \
  "settled_share_low,settled_share_high,captured_share_low,captured_share_high,escapes,member_chaotic_time,"  \
  "escape_rate,escape_rate_low,escape_rate_high,attractors,attractor_shares,ensemble_exponent,"             \
  "ensemble_standard_error"
#define SPECTRUM_FIELDS ",positive_exponents,zero_exponents,kaplan_yorke,sum_residual,spectrum_certificate"
#define EXTENDED48_FIELDS PLAIN_FIELDS MEASUREMENT_FIELDS CAPTURE_FIELDS INTEGRATOR_FIELDS SETTLE_FIELDS ENSEMBLE_FIELDS
#define MERGED49_FIELDS \
  PLAIN_FIELDS MEASUREMENT_FIELDS ",segment" CAPTURE_FIELDS INTEGRATOR_FIELDS SETTLE_FIELDS ENSEMBLE_FIELDS

const char* const ResultsHeader = PLAIN_FIELDS;
const char* const ExtendedResultsHeader = EXTENDED48_FIELDS SPECTRUM_FIELDS;
const char* const MergedResultsHeader = MERGED49_FIELDS SPECTRUM_FIELDS;

namespace {

constexpr ResultsLayout AllLayouts[] = {
    ResultsLayout::Plain,      ResultsLayout::Extended, ResultsLayout::Merged,     ResultsLayout::Extended15,
    ResultsLayout::Merged16,   ResultsLayout::Extended24, ResultsLayout::Merged25, ResultsLayout::Extended48,
    ResultsLayout::Merged49};

}  // namespace

const char* ResultsHeaderOf(ResultsLayout layout) {
  switch (layout) {
    case ResultsLayout::Plain: return ResultsHeader;
    case ResultsLayout::Extended: return ExtendedResultsHeader;
    case ResultsLayout::Merged: return MergedResultsHeader;
    case ResultsLayout::Extended15: return PLAIN_FIELDS MEASUREMENT_FIELDS;
    case ResultsLayout::Merged16: return PLAIN_FIELDS MEASUREMENT_FIELDS ",segment";
    case ResultsLayout::Extended24: return PLAIN_FIELDS MEASUREMENT_FIELDS CAPTURE_FIELDS INTEGRATOR_FIELDS;
    case ResultsLayout::Merged25: return PLAIN_FIELDS MEASUREMENT_FIELDS ",segment" CAPTURE_FIELDS INTEGRATOR_FIELDS;
    case ResultsLayout::Extended48: return EXTENDED48_FIELDS;
    case ResultsLayout::Merged49: return MERGED49_FIELDS;
  }
  return "";
}

std::optional<ResultsLayout> ResultsLayoutOf(std::string_view header) {
  for (ResultsLayout l : AllLayouts) {
    if (header == ResultsHeaderOf(l)) return l;
  }
  return std::nullopt;
}

std::vector<ResultsLayout> EarlierLayouts(ResultsLayout layout) {
  if (layout == ResultsLayout::Extended)
    return {ResultsLayout::Extended48, ResultsLayout::Extended24, ResultsLayout::Extended15};
  if (layout == ResultsLayout::Merged) return {ResultsLayout::Merged49, ResultsLayout::Merged25, ResultsLayout::Merged16};
  return {};
}

bool LayoutReadsAs(ResultsLayout read, ResultsLayout expected) {
  if (read == expected) return true;
  for (ResultsLayout earlier : EarlierLayouts(expected)) {
    if (read == earlier) return true;
  }
  return false;
}

bool MeasurementFields(ResultsLayout layout) { return layout != ResultsLayout::Plain; }
bool SegmentField(ResultsLayout layout) {
  return layout == ResultsLayout::Merged || layout == ResultsLayout::Merged16 || layout == ResultsLayout::Merged25 ||
         layout == ResultsLayout::Merged49;
}
// The spectrum's fields, which files written before them lack.
bool SpectrumFields(ResultsLayout layout) { return layout == ResultsLayout::Extended || layout == ResultsLayout::Merged; }
// The settling and ensemble fields, which files written before them lack.
bool SettleFields(ResultsLayout layout) {
  return SpectrumFields(layout) || layout == ResultsLayout::Extended48 || layout == ResultsLayout::Merged49;
}
// The capture and integrator fields, which files written before them lack.
bool NewFields(ResultsLayout layout) {
  return SettleFields(layout) || layout == ResultsLayout::Extended24 || layout == ResultsLayout::Merged25;
}

std::size_t CaptureFieldsAt(ResultsLayout layout) {
  return PlainFieldCount + MeasurementFieldCount + (SegmentField(layout) ? 1 : 0);
}
std::size_t IntegratorFieldsAt(ResultsLayout layout) { return CaptureFieldsAt(layout) + CaptureFieldCount; }
std::size_t SettleFieldsAt(ResultsLayout layout) { return IntegratorFieldsAt(layout) + IntegratorFieldCount; }

std::size_t SpectrumFieldsAt(ResultsLayout layout) { return SettleFieldsAt(layout) + SettleFieldCount + EnsembleFieldCount; }

std::size_t FieldCount(ResultsLayout layout) {
  if (!MeasurementFields(layout)) return PlainFieldCount;
  if (SettleFields(layout)) return SpectrumFieldsAt(layout) + (SpectrumFields(layout) ? SpectrumFieldCount : 0);
  return CaptureFieldsAt(layout) + (NewFields(layout) ? CaptureFieldCount + IntegratorFieldCount : 0);
}
