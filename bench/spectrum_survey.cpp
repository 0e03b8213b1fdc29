// The whole spectrum at a few dampings, from a committed sweep state: a
// table, not a timing run. Each damping starts from the state after column
// 372 (damping 0.4025) or another, runs a transient and then the measured
// passes, and prints the exponents with their
// batch-means standard errors, the sum against the trace and its bound, the
// zero and positive exponents, the Kaplan-Yorke dimension, the folds of
// body 1 and the cost.
//   spectrum_survey [units=4000] [transient=10] [interval=10] [tolerance=1e-8] [K=32]
//       [state=after_column_372] [file=NAME.spectrum.csv] [flow=1] [D1 D2 ...]
// With flow=1, the flow engine's largest exponent over the same passes from
// the same state (its tangent on the diagonal) is printed beside.
// With file=, the spectra also go to a spectrum file, a line per damping
// as the column of that damping (50 + 800 D).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "app/files/spectrum_file.hpp"
#include "app/measure/flow_pass.hpp"
#include "app/measure/parameters.hpp"
#include "app/measure/spectrum_member.hpp"
#include "app/spectrum/spectrum_measure.hpp"
#include "flow_reference.hpp"

namespace {

const char* StateName = "after_column_372";

double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  double units = 4000, transient = 10, tolerance = FlowDefaultTolerance;
  int interval = SpectrumSettings{}.interval, tangents = SpectrumMostTangents;
  bool flow = false;
  std::vector<double> dampings;
  std::string file_name;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    const std::size_t eq = arg.find('=');
    const std::string key = eq == std::string::npos ? "" : arg.substr(0, eq);
    const double value = std::atof(arg.c_str() + (eq == std::string::npos ? 0 : eq + 1));
    if (key == "units") units = value;
    else if (key == "transient") transient = value;
    else if (key == "interval") interval = static_cast<int>(value);
    else if (key == "tolerance") tolerance = value;
    else if (key == "K") tangents = static_cast<int>(value);
    else if (key == "state") StateName = argv[a] + eq + 1;
    else if (key == "file") file_name = argv[a] + eq + 1;
    else if (key == "flow") flow = value != 0;
    else dampings.push_back(value);
  }
  if (dampings.empty()) dampings = {0.3, 0.4, 0.5, 0.7, 0.15};
  SpectrumSettings settings;
  settings.tangents = tangents;
  settings.interval = interval;
  settings.tolerance = tolerance;
  settings.transient = static_cast<int>(std::lround(transient * 100)) - 1;
  const std::int64_t measured = std::llround(units * 100 / settings.block) * settings.block;
  std::printf("K=%d interval=%d tolerance=%g transient=%d passes measured=%lld passes\n", tangents, interval,
              tolerance, settings.transient, static_cast<long long>(measured));
  SpectrumFile file;
  std::string error;
  if (!file_name.empty() && !spectrum_start(file, file_name, tangents, {}, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  for (const double damping : dampings) {
    const FlockState s = flow_test::checkpoint_state(StateName);
    double state[StateSize];
    for (int i = 0; i < StateSize; ++i) state[i] = static_cast<double>(s[i + 1]);
    const double begun = cpu_seconds();
    const SpectrumRun run = MeasureSpectrum(state, damping, measured, settings);
    const double seconds = cpu_seconds() - begun;
    const SpectrumSummary& m = run.summary;
    std::printf("\ndamping %.5f: %s, %lld passes, %.1f steps/unit, %lld rejected, %lld folds, %.3f ms/unit\n",
                damping, run.ok ? "ok" : "STOPPED", static_cast<long long>(run.passes),
                run.steps / (run.passes * settings.span), static_cast<long long>(run.rejected),
                static_cast<long long>(run.folds), 1e3 * seconds / (run.passes * settings.span));
    for (int k = 0; k < m.tangents; ++k) {
      std::printf("  l%-2d %+.6Lf +- %.6Lf%s", k + 1, m.exponents[k], m.errors[k], k % 4 == 3 ? "\n" : "");
    }
    std::printf("\n  sum %.10Lf trace %.10Lf residual %.3Le (%.2Le of the trace) bound %.3Le %s\n", m.sum, m.trace,
                m.sum - m.trace, std::fabs((m.sum - m.trace) / m.trace), m.sum_bound,
                m.sum_checked ? (m.sum_ok ? "ok" : "MISSED") : "unchecked");
    std::printf("  zeros %d positive %d (%s) Kaplan-Yorke %.4Lf +- %.4Lf\n", m.zero_exponents, m.positive_exponents,
                m.zeros_checked ? (m.zeros_ok ? "zeros ok" : "FEWER ZEROS") : "zeros unchecked", m.kaplan_yorke,
                m.kaplan_yorke_error);
    std::fflush(stdout);
    if (flow) {
      FlowPass engine;
      StartFlow(engine, FlockModel{damping}, s, tolerance);
      ColumnPass pass;
      pass.flow = true;
      pass.model = FlockModel{damping};
      Real exponent = 0, divergence = 0;
      const double flow_begun = cpu_seconds();
      for (std::int64_t p = 1; p <= run.passes; ++p) {
        ++pass.Iteration;
        if (!AdvanceFlow(engine)) break;
        FinishFlowPass(pass, engine, exponent, divergence);
      }
      const double flow_seconds = cpu_seconds() - flow_begun;
      std::printf("  flow engine: %.6Lf +- %.6Lf over %d measured passes, %.3f ms/unit; l1 - flow = %+.6Lf\n", exponent,
                  batch_standard_error(pass.batch).value_or(NAN), pass.MeasuredSteps,
                  1e3 * flow_seconds / (run.passes * settings.span), m.exponents[0] - exponent);
    }
    if (!file_name.empty() && !spectrum_append(file, SpectrumLineOf(static_cast<std::int32_t>(std::lround(50 + 800 * damping)), damping, m), error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}
