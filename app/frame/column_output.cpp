#include "app/frame/column_output.hpp"

#include <cstdio>

#include "app/measure/parameters.hpp"
#include "app/spectrum/spectrum_measure.hpp"
#include "canvas/canvas.hpp"
#include "canvas/primitives.hpp"
#include "runtime/console.hpp"
#include "runtime/format.hpp"

Text ReportLine(Real damping, Real exponent, Real spread, Real mean_divergence) {
  Text line = format_number(damping, "  0.0000");
  line += format_number(exponent, "   0.0000;  -0.0000");
  line += '\xF1';  // plus-minus sign in the console's code page
  line += format_number(spread, "0.0000");
  line += format_number(mean_divergence, "  0.0000; -0.0000");
  return line;
}

Real PlusMinusFigure(const ColumnResult& result, bool target_error) {
  return target_error && result.standard_error ? *result.standard_error : result.spread;
}

Text CapturedReportLine(Real damping) {
  Text line = format_number(damping, "  0.0000");
  line += "   captured";
  return line;
}

std::optional<Text> CertificateLine(const ColumnResult& r) {
  if (!r.spectrum || r.spectrum_certificate == "ok" || r.spectrum_certificate == "unchecked") return std::nullopt;
  const SpectrumLine& s = *r.spectrum;
  char text[160];
  std::string line = "  spectrum certificate failed:";
  if (r.spectrum_certificate.find("sum") != std::string::npos) {
    std::snprintf(text, sizeof text, " the exponents' sum misses the trace %.6Lg by %.3Lg", s.trace, s.sum - s.trace);
    line += text;
  }
  if (r.spectrum_certificate.find("zeros") != std::string::npos) {
    std::snprintf(text, sizeof text, "%s %d exponents within three errors of zero, %d expected",
                  line.back() == ':' ? "" : ";", s.zero_exponents.value_or(0), ExpectedZeroExponents);
    line += text;
  }
  return Text(line);
}

std::optional<Real> ShownExponent(const ColumnResult& r) {
  if (r.ensemble_exponent) return r.ensemble_exponent;
  if (!HasExponent(r)) return std::nullopt;
  return r.exponent;
}

void ReportPrinter::operator()(const ColumnResult& r) const {
  const std::optional<Real> shown = ShownExponent(r);
  // An ensemble column shows its fresh members' exponent and its error.
  const Real plus_minus =
      r.ensemble_exponent ? r.ensemble_standard_error.value_or(0) : PlusMinusFigure(r, target_error);
  console_print(shown ? ReportLine(r.damping, *shown, plus_minus, r.mean_divergence) : CapturedReportLine(r.damping));
  console_newline();
  if (const std::optional<Text> certificate = CertificateLine(r)) {
    console_print(*certificate);
    console_newline();
  }
}

std::vector<ColumnObserver> DisplayObservers(bool target_error, ChartCurve& curve) {
  return {ReportPrinter{target_error}, [&curve](const ColumnResult& r) { curve(r); }};
}

void ChartCurve::operator()(const ColumnResult& result) {
  // No point for a captured column: the curve goes on from the last
  // measured one to the next.
  const std::optional<Real> shown = ShownExponent(result);
  if (!shown) return;
  const std::int32_t row = ExponentRow(*shown);
  if (first_point) {
    canvas_set_pixel(result.column, row, DefaultColour);
  } else {
    canvas_line_to(result.column, row, DefaultColour);
  }
  first_point = false;
  canvas_redraw();
}
