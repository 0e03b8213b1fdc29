// What the program shows of a finished column: its report line on the
// terminal and its point of the curve in the chart.
#pragma once

#include <optional>
#include <vector>

#include "app/measure/column_result.hpp"
#include "runtime/real.hpp"
#include "runtime/text.hpp"

// The report line of a column, exactly as printed (without the new line).
Text ReportLine(Real damping, Real exponent, Real spread, Real mean_divergence);
// The report line of a captured column: the word where the figures stand.
Text CapturedReportLine(Real damping);
// The line after the report line of a column whose spectrum failed a
// check (--spectrum); none when it passed or could not be checked.
std::optional<Text> CertificateLine(const ColumnResult& result);

// The exponent a column shows on its report line and the chart: an ensemble
// column's fresh members' chaotic phases', else its own (member 0's); none
// for a captured column.
std::optional<Real> ShownExponent(const ColumnResult& result);

// The figure after the plus-minus sign: the spread, or with an error target
// the column's standard error where it has one.
Real PlusMinusFigure(const ColumnResult& result, bool target_error);

// Prints a column's report line.
struct ReportPrinter {
  bool target_error = false;  // the run reports standard errors
  void operator()(const ColumnResult& result) const;
};

// The curve: its first point is set, every later one joined to the one
// before by a line.
struct ChartCurve {
  bool first_point = true;
  void operator()(const ColumnResult& result);
};

// The observers that show a column, the report line first; the curve is
// kept by the caller, whose state it carries.
std::vector<ColumnObserver> DisplayObservers(bool target_error, ChartCurve& curve);
