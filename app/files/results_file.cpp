#include "app/files/results_file.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/files/checksum.hpp"
#include "app/files/number_text.hpp"
#include "app/files/whole_append.hpp"
#include "runtime/file_guard.hpp"
#include "runtime/replace_file.hpp"

std::string_view column_regime_name(ColumnRegime regime) {
  switch (regime) {
    case ColumnRegime::Chaotic: return "chaotic";
    case ColumnRegime::Transient: return "transient";
    case ColumnRegime::Captured: return "captured";
    case ColumnRegime::Regular: return "regular";
  }
  return "?";
}

std::optional<ColumnRegime> column_regime_from_name(std::string_view name) {
  for (ColumnRegime regime :
       {ColumnRegime::Chaotic, ColumnRegime::Transient, ColumnRegime::Captured, ColumnRegime::Regular}) {
    if (column_regime_name(regime) == name) return regime;
  }
  return std::nullopt;
}

std::string_view column_end_name(ColumnEnd end) {
  switch (end) {
    case ColumnEnd::Converged: return "converged";
    case ColumnEnd::TimeLimit: return "time_limit";
    case ColumnEnd::Coinciding: return "coinciding";
    case ColumnEnd::IterationCeiling: return "iteration_ceiling";
    case ColumnEnd::PassLimit: return "pass_limit";
    case ColumnEnd::Stalled: return "stalled";
    case ColumnEnd::Settled: return "settled";
    case ColumnEnd::Captured: return "captured";
  }
  return "?";
}

std::optional<ColumnEnd> column_end_from_name(std::string_view name) {
  for (ColumnEnd end : {ColumnEnd::Converged, ColumnEnd::TimeLimit, ColumnEnd::Coinciding, ColumnEnd::IterationCeiling,
                        ColumnEnd::PassLimit, ColumnEnd::Stalled, ColumnEnd::Settled, ColumnEnd::Captured}) {
    if (column_end_name(end) == name) return end;
  }
  return std::nullopt;
}

namespace {

std::string real_text(Real value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.21Lg", value);
  return buffer;
}

std::vector<std::string_view> split(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  std::size_t from = 0;
  for (;;) {
    std::size_t at = line.find(separator, from);
    fields.push_back(line.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) return fields;
    from = at + 1;
  }
}

std::string optional_text(const std::optional<Real>& value) { return value ? real_text(*value) : std::string(); }

bool read_int(std::string_view field, std::int32_t& out) {
  const std::optional<std::int32_t> value = parse_integer<std::int32_t>(field);
  if (value) out = *value;
  return value.has_value();
}

bool read_real(std::string_view field, Real& out) {
  const std::optional<Real> value = parse_real(field);
  if (value) out = *value;
  return value.has_value();
}

// An empty field is none.
bool read_optional_int(std::string_view field, std::optional<std::int32_t>& out) {
  if (field.empty()) return true;
  out = parse_integer<std::int32_t>(field);
  return out.has_value();
}

bool read_optional_real(std::string_view field, std::optional<Real>& out) {
  if (field.empty()) return true;
  out = parse_real(field);
  return out.has_value();
}

bool read_optional_count(std::string_view field, std::optional<std::int64_t>& out) {
  if (field.empty()) return true;
  out = parse_integer<std::int64_t>(field);
  return out.has_value();
}

std::string optional_count(const std::optional<std::int64_t>& value) {
  return value ? std::to_string(*value) : std::string();
}

// The integrator's fields: integrator, tolerance, steps, rejected_steps.
std::string integrator_text(const ColumnResult& r) {
  return ',' + r.integrator + ',' + optional_text(r.tolerance) + ',' + optional_count(r.steps) + ',' +
         optional_count(r.rejected_steps);
}

bool read_integrator(const std::string_view* f, ColumnResult& r) {
  r.integrator = std::string(f[0]);
  return read_optional_real(f[1], r.tolerance) && read_optional_count(f[2], r.steps) &&
         read_optional_count(f[3], r.rejected_steps);
}

std::string optional_int(const std::optional<std::int32_t>& value) {
  return value ? std::to_string(*value) : std::string();
}

// The settling's fields: settled_time, regular_exponent,
// regular_standard_error, laminar_phases.
std::string settle_text(const ColumnResult& r) {
  return ',' + optional_text(r.settled_time) + ',' + optional_text(r.regular_exponent) + ',' +
         optional_text(r.regular_standard_error) + ',' + optional_int(r.laminar_phases);
}

bool read_settle(const std::string_view* f, ColumnResult& r) {
  return read_optional_real(f[0], r.settled_time) && read_optional_real(f[1], r.regular_exponent) &&
         read_optional_real(f[2], r.regular_standard_error) && read_optional_int(f[3], r.laminar_phases);
}

// The attractors' shares: LABEL:SHARE pairs separated by ';', or nothing.
bool shares_text_valid(std::string_view text) {
  if (text.empty()) return true;
  for (std::string_view pair : split(text, ';')) {
    const std::size_t colon = pair.find(':');
    if (colon == std::string_view::npos || !parse_integer<std::int32_t>(pair.substr(0, colon), 0) ||
        !parse_real(pair.substr(colon + 1)))
      return false;
  }
  return true;
}

// The ensemble's twenty fields, in the header's order.
std::string ensemble_text(const ColumnResult& r) {
  std::string t;
  for (const std::optional<std::int32_t>* count :
       {&r.members, &r.ended_chaotic, &r.ended_settled, &r.ended_captured, &r.ended_stalled})
    t += ',' + optional_int(*count);
  for (const std::optional<Real>* share : {&r.chaotic_share_low, &r.chaotic_share_high, &r.settled_share_low,
                                           &r.settled_share_high, &r.captured_share_low, &r.captured_share_high})
    t += ',' + optional_text(*share);
  t += ',' + optional_int(r.escapes) + ',' + optional_text(r.member_chaotic_time) + ',' +
       optional_text(r.escape_rate) + ',' + optional_text(r.escape_rate_low) + ',' +
       optional_text(r.escape_rate_high) + ',' + optional_int(r.attractors) + ',' + r.attractor_shares + ',' +
       optional_text(r.ensemble_exponent) + ',' + optional_text(r.ensemble_standard_error);
  return t;
}

bool read_ensemble(const std::string_view* f, ColumnResult& r) {
  std::size_t i = 0;
  for (std::optional<std::int32_t>* count :
       {&r.members, &r.ended_chaotic, &r.ended_settled, &r.ended_captured, &r.ended_stalled}) {
    if (!read_optional_int(f[i++], *count)) return false;
  }
  for (std::optional<Real>* share : {&r.chaotic_share_low, &r.chaotic_share_high, &r.settled_share_low,
                                     &r.settled_share_high, &r.captured_share_low, &r.captured_share_high}) {
    if (!read_optional_real(f[i++], *share)) return false;
  }
  if (!read_optional_int(f[i++], r.escapes) || !read_optional_real(f[i++], r.member_chaotic_time) ||
      !read_optional_real(f[i++], r.escape_rate) || !read_optional_real(f[i++], r.escape_rate_low) ||
      !read_optional_real(f[i++], r.escape_rate_high) || !read_optional_int(f[i++], r.attractors))
    return false;
  if (!shares_text_valid(f[i])) return false;
  r.attractor_shares = std::string(f[i++]);
  return read_optional_real(f[i++], r.ensemble_exponent) && read_optional_real(f[i], r.ensemble_standard_error);
}

// The spectrum's five fields: positive_exponents, zero_exponents,
// kaplan_yorke, sum_residual, spectrum_certificate.
std::string spectrum_text(const ColumnResult& r) {
  return ',' + optional_int(r.positive_exponents) + ',' + optional_int(r.zero_exponents) + ',' +
         optional_text(r.kaplan_yorke) + ',' + optional_text(r.sum_residual) + ',' + r.spectrum_certificate;
}

// Empty without a spectrum, else "ok", "unchecked" or the failed checks.
bool certificate_valid(std::string_view text) {
  return text.empty() || text == "ok" || text == "unchecked" || text == "sum" || text == "zeros" ||
         text == "sum+zeros";
}

bool read_spectrum(const std::string_view* f, ColumnResult& r) {
  if (!certificate_valid(f[4])) return false;
  r.spectrum_certificate = std::string(f[4]);
  return read_optional_int(f[0], r.positive_exponents) && read_optional_int(f[1], r.zero_exponents) &&
         read_optional_real(f[2], r.kaplan_yorke) && read_optional_real(f[3], r.sum_residual);
}

}  // namespace

std::string results_line(const ColumnResult& r, ResultsLayout layout) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
  // A captured column has no exponent of its own: the figures it carries
  // from the column before are not written.
  const bool figures = HasExponent(r);
  const auto figure = [figures](Real value) { return figures ? real_text(value) : std::string(); };
  const auto optional_figure = [figures](const std::optional<Real>& value) {
    return figures ? optional_text(value) : std::string();
  };
  std::string line = std::to_string(r.column) + ',' + real_text(r.damping) + ',' + figure(r.exponent) + ',' +
                     figure(r.spread) + ',' + figure(r.mean_divergence) + ',' +
                     std::string(column_end_name(r.end)) + ',' + std::to_string(r.passes) + ',' +
                     std::to_string(r.measured_passes) + ',' + seconds + ',' +
                     optional_figure(r.standard_error) + ',' +
                     std::to_string(r.blocks);
  if (layout != ResultsLayout::Plain) {
    line += ',' + (r.large_passes ? std::to_string(*r.large_passes) : std::string()) + ',' +
            optional_figure(r.extrapolated) + ',' + optional_figure(r.tangent_exponent) + ',' +
            optional_figure(r.tangent_standard_error);
  }
  if (SegmentField(layout)) line += ',' + (r.segment ? std::to_string(*r.segment) : std::string());
  if (NewFields(layout)) {
    line += ',' + (r.regime ? std::string(column_regime_name(*r.regime)) : std::string()) + ',' +
            (r.captures ? std::to_string(*r.captures) : std::string()) + ',' + optional_text(r.chaotic_time) +
            ',' + optional_text(r.capture_rate) + ',' + optional_text(r.collapse_rate);
  }
  if (NewFields(layout)) line += integrator_text(r);
  if (SettleFields(layout)) line += settle_text(r) + ensemble_text(r);
  if (SpectrumFields(layout)) line += spectrum_text(r);
  return line;
}

std::optional<ColumnResult> parse_results_line(std::string_view line, ResultsLayout layout) {
  const std::vector<std::string_view> f = split(line, ',');
  if (f.size() != FieldCount(layout)) return std::nullopt;
  ColumnResult r;
  if (NewFields(layout)) {
    const std::size_t at = CaptureFieldsAt(layout);
    if (!f[at].empty()) {
      r.regime = column_regime_from_name(f[at]);
      if (!r.regime) return std::nullopt;
    }
    if (!read_optional_int(f[at + 1], r.captures) || !read_optional_real(f[at + 2], r.chaotic_time) ||
        !read_optional_real(f[at + 3], r.capture_rate) || !read_optional_real(f[at + 4], r.collapse_rate))
      return std::nullopt;
  }
  // Only a captured column leaves its figures empty.
  const bool figures = HasExponent(r);
  const auto figure = [figures](std::string_view field, Real& out) {
    return figures ? read_real(field, out) : field.empty();
  };
  const auto optional_figure = [figures](std::string_view field, std::optional<Real>& out) {
    return figures ? read_optional_real(field, out) : field.empty();
  };
  Real seconds = 0;
  const std::optional<ColumnEnd> end = column_end_from_name(f[5]);
  if (!read_int(f[0], r.column) || !read_real(f[1], r.damping) || !figure(f[2], r.exponent) ||
      !figure(f[3], r.spread) || !figure(f[4], r.mean_divergence) || !end || !read_int(f[6], r.passes) ||
      !read_int(f[7], r.measured_passes) || !read_real(f[8], seconds) ||
      !optional_figure(f[9], r.standard_error) || !read_int(f[10], r.blocks)) {
    return std::nullopt;
  }
  r.end = *end;
  r.seconds = static_cast<double>(seconds);
  if (layout != ResultsLayout::Plain) {
    if (!read_optional_int(f[11], r.large_passes) || !optional_figure(f[12], r.extrapolated) ||
        !optional_figure(f[13], r.tangent_exponent) || !optional_figure(f[14], r.tangent_standard_error))
      return std::nullopt;
  }
  if (SegmentField(layout) && !read_optional_int(f[15], r.segment)) return std::nullopt;
  if (NewFields(layout) && !read_integrator(&f[IntegratorFieldsAt(layout)], r)) return std::nullopt;
  if (SettleFields(layout) && !(read_settle(&f[SettleFieldsAt(layout)], r) &&
                                read_ensemble(&f[SettleFieldsAt(layout) + SettleFieldCount], r)))
    return std::nullopt;
  if (SpectrumFields(layout) && !read_spectrum(&f[SpectrumFieldsAt(layout)], r)) return std::nullopt;
  return r;
}

std::optional<std::vector<ColumnResult>> read_results_file(const std::string& path, std::string& error,
                                                           ResultsLayout* layout_read) {
  std::string text, reason;
  if (!read_regular_file(path, ResultsFileLimit, text, reason)) {
    error = path + ": " + reason;
    return std::nullopt;
  }
  std::vector<std::string_view> lines;
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t newline = text.find('\n', from);
    const std::size_t end = newline == std::string::npos ? text.size() : newline;
    lines.push_back(std::string_view(text).substr(from, end - from));
    from = end + 1;
  }
  if (lines.empty()) {
    error = path + ": empty file, not a flockchase results file";
    return std::nullopt;
  }
  const std::optional<ResultsLayout> found = ResultsLayoutOf(lines[0]);
  if (!found) {
    error = path + ": line 1 is not the header of a flockchase results file";
    return std::nullopt;
  }
  const ResultsLayout layout = *found;
  if (layout_read) *layout_read = layout;
  std::vector<ColumnResult> results;
  for (std::size_t number = 1; number < lines.size(); ++number) {
    std::optional<ColumnResult> r = parse_results_line(lines[number], layout);
    if (!r) {
      error = path + ": line " + std::to_string(number + 1) + " is damaged";
      return std::nullopt;
    }
    results.push_back(*r);
  }
  return results;
}

ResultsFile::~ResultsFile() {
  if (fd >= 0) close(fd);
}

bool results_start(ResultsFile& results, const std::string& path, const std::vector<ColumnResult>& kept,
                   std::string& error, ResultsLayout layout) {
  std::string text = std::string(ResultsHeaderOf(layout)) + '\n';
  for (const ColumnResult& r : kept) text += results_line(r, layout) + '\n';
  std::string reason;
  if (!replace_file(path, text, reason)) {
    error = "cannot write " + path + ": " + reason;
    return false;
  }
  // Never through a link planted since the rename.
  const int fd = open_regular_append(path, reason);
  if (fd < 0) {
    error = "cannot write " + path + ": " + reason;
    return false;
  }
  if (results.fd >= 0) close(results.fd);
  results.fd = fd;
  results.path = path;
  results.layout = layout;
  results.crc = crc_of(text);
  return true;
}

bool results_append(ResultsFile& results, const ColumnResult& result, std::string& error) {
  if (results.fd < 0) return false;
  const std::string line = results_line(result, results.layout) + '\n';
  return append_whole(results.fd, results.path, line, results.crc, error);
}
