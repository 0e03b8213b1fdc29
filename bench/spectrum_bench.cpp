// The whole spectrum against a largest-exponent column of the flow engine,
// per unit of model time on one core: the same 40 units of passes from a
// chaotic-band state (after column 372, carried 10 units further at its
// damping, 0.4025), the flow engine's pass with its tangent measured, the
// spectrum engine's with its 32 (or 6) tangents orthonormalised every 50
// passes. Beside them: the tangents' Jacobian by its blocks against a dense
// product, alone; the orthonormalisation every pass and every 10; and the
// 32 tangents on every vector target the machine has.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/lanes/batch_kernels.hpp"
#include "app/measure/flow_pass.hpp"
#include "app/measure/parameters.hpp"
#include "app/model/flow_reference.hpp"
#include "app/spectrum/spectrum_measure.hpp"
#include "ratio_reporter.hpp"

namespace {

constexpr int Units = 40;
constexpr int Passes = Units * 100;
constexpr double Damping = 0.4025;
const double Span = static_cast<double>(TimeStep);

const std::vector<double>& start() {
  static const std::vector<double> state = [] {
    FlowPass flow;
    StartFlow(flow, FlockModel{Damping}, flow_test::checkpoint_state(), FlowDefaultTolerance);
    for (int p = 0; p < 1000 && AdvanceFlow(flow); ++p) {
    }
    return std::vector<double>(flow.engine.x.begin(), flow.engine.x.begin() + StateSize);
  }();
  return state;
}

void report(benchmark::State& st) {
  st.counters["ms_per_unit"] =
      benchmark::Counter(Units / 1000.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A --flow column's passes: the engine's advance and folds, the tangent's
// growth measured and rescaled, the running exponent kept.
void BM_FlowColumn(benchmark::State& st) {
  FlockState s{};
  for (int i = 0; i < StateSize; ++i) s[i + 1] = start()[i];
  for (auto _ : st) {
    FlowPass flow;
    StartFlow(flow, FlockModel{Damping}, s, FlowDefaultTolerance);
    ColumnPass pass;
    pass.flow = true;
    pass.model = FlockModel{Damping};
    Real exponent = 0, divergence = 0;
    for (int p = 0; p < Passes; ++p) {
      ++pass.Iteration;
      AdvanceFlow(flow);
      FinishFlowPass(pass, flow, exponent, divergence);
    }
    benchmark::DoNotOptimize(exponent);
  }
  report(st);
}

// The spectrum's passes: the engine's pass, and every `interval` passes the
// tangents orthonormalised and their logarithms summed.
void BM_Spectrum(benchmark::State& st, int tangents, int interval, TangentKernels kernels) {
  SpectrumSettings settings;
  settings.tangents = tangents;
  settings.interval = interval;
  for (auto _ : st) {
    SpectrumEngine engine;
    SpectrumStart(engine, start().data(), tangents, Damping, FlowDefaultTolerance, Span, kernels);
    SpectrumSums sums;
    double lengths[SpectrumMostTangents];
    for (int p = 1; p <= Passes; ++p) {
      SpectrumPass(engine, Span);
      if (p % interval == 0) {
        SpectrumOrthonormalise(engine, lengths);
        SpectrumAdd(sums, lengths, interval, settings);
      }
    }
    benchmark::DoNotOptimize(sums.log_sum[0]);
  }
  report(st);
}

// The tangents' Jacobian alone, 32 tangents at the chaotic-band state: by
// its blocks or as a dense product.
void BM_TangentRates(benchmark::State& st, bool dense) {
  SpectrumEngine engine;
  SpectrumStart(engine, start().data(), SpectrumMostTangents, Damping, FlowDefaultTolerance, Span);
  const auto rates = dense ? engine.kernels.dense_rates : engine.kernels.rates;
  for (auto _ : st) {
    rates(engine.terms[0], engine.t, engine.t_end_dxdt, engine.stride);
    benchmark::DoNotOptimize(engine.t_end_dxdt[0]);
    benchmark::ClobberMemory();
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const auto add = [](const std::string& name, auto&&... args) {
    benchmark::RegisterBenchmark(name.c_str(), args...)->Unit(benchmark::kMillisecond)->UseRealTime();
  };
  const TangentKernels best = BestTangentKernels();
  add("BM_FlowColumn", BM_FlowColumn);
  add("BM_Spectrum/32", BM_Spectrum, 32, 50, best);
  add("BM_Spectrum/6", BM_Spectrum, 6, 50, best);
  add("BM_SpectrumEveryPass/32", BM_Spectrum, 32, 1, best);
  add("BM_SpectrumEvery10/32", BM_Spectrum, 32, 10, best);
  benchmark::RegisterBenchmark("BM_TangentRates/blocks", BM_TangentRates, false);
  benchmark::RegisterBenchmark("BM_TangentRates/dense", BM_TangentRates, true);
  std::vector<Ratio> ratios = {
      {"whole spectrum (32) / largest-exponent flow column", "BM_Spectrum/32", "BM_FlowColumn", 3, true},
      {"6 largest / largest-exponent flow column", "BM_Spectrum/6", "BM_FlowColumn", 0},
      {"the Jacobian on 32 tangents alone, dense / blocks", "BM_TangentRates/dense", "BM_TangentRates/blocks", 0},
      {"32 tangents, orthonormalised every pass / every 50", "BM_SpectrumEveryPass/32", "BM_Spectrum/32", 0},
      {"32 tangents, orthonormalised every 10 passes / every 50", "BM_SpectrumEvery10/32", "BM_Spectrum/32", 0},
  };
  for (const BatchTarget& t : BatchTargets()) {
    const TangentKernels kernels = TangentKernelsFor(t.target);
    if (kernels.target == best.target) continue;
    add("BM_Spectrum32/" + t.name, BM_Spectrum, 32, 50, kernels);
    ratios.push_back({"32 tangents on " + t.name + " / on " + BatchTargetName(best.target),
                      "BM_Spectrum32/" + t.name, "BM_Spectrum/32", 0});
  }
  RatioReporter reporter(benchmark::CreateDefaultDisplayReporter(), ratios);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
