#include "app/flockchase.hpp"

#include <cstdio>
#include <memory>
#include <set>
#include <thread>
#include <unistd.h>

#include "app/base_name.hpp"
#include "app/chart_frame.hpp"
#include "app/history_file.hpp"
#include "app/model/gauss_deviate.hpp"
#include "app/model/model_globals.hpp"
#include "app/options.hpp"
#include "app/pair_stepper.hpp"
#include "app/parameters.hpp"
#include "app/results_file.hpp"
#include "app/resume.hpp"
#include "app/run_frame.hpp"
#include "app/run_lock.hpp"
#include "app/merge.hpp"
#include "app/sweep.hpp"
#include "canvas/canvas.hpp"
#include "canvas/window.hpp"
#include "runtime/array.hpp"
#include "runtime/console.hpp"
#include "runtime/console_window.hpp"
#include "runtime/errors.hpp"
#include "runtime/keys.hpp"
#include "runtime/process.hpp"
#include "runtime/replace_file.hpp"
#include "runtime/text.hpp"


int FlockchaseMain(const MainArguments& main_arguments) {
  const OptionsResult parsed = ParseOptions(main_arguments.arguments);
  if (!parsed.options) {
    std::fprintf(stderr, "%s\n%s\n", parsed.error.c_str(), UsageText().c_str());
    return Refused;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    std::printf("%s\n", HelpText().c_str());
    return 0;
  }
  if (options.version) {
    std::printf("flockchase %s\n", FLOCKCHASE_VERSION);
    return 0;
  }

  ArrayDescriptor RefState, Derivs, InitialState, ShadowState, Separation, DampingMax, EstimateRing;
  array_dim(RefState, {{0, StateSize}});
  array_dim(Derivs, {{0, StateSize}});
  array_dim(InitialState, {{0, StateSize}});
  array_dim(ShadowState, {{0, StateSize}});
  array_dim(Separation, {{0, StateSize}});
  array_dim(DampingMax, {{0, 1}});
  array_dim(EstimateRing, {{0, BufferLength - 1}});

  Pi = 3.141592653589794L;
  DampingMax[1] = 1.0L;

  // Every body starts at a random position at rest; the table is the same
  // on every run.
  for (std::int32_t k = 1; k <= 8; ++k) {
    InitialState[4 * k - 3] = GaussDeviate();
    InitialState[4 * k - 2] = GaussDeviate();
    InitialState[4 * k - 1] = 0;
    InitialState[4 * k] = 0;
  }

  const Text BaseName = BaseNameFromTitle(console_get_title());

  SweepSettings settings;
  settings.step = options.step;
  settings.time_limit = options.time_limit;
  settings.damping = options.damping;
  settings.robust = options.robust;
  settings.tangent = options.tangent;
  settings.passes = options.passes;
  if (options.target_error) settings.target_error = static_cast<Real>(*options.target_error);
  const ResultsLayout layout = MeasurementOptions(settings) ? ResultsLayout::Extended : ResultsLayout::Plain;

  // Everything that can refuse to start is checked before anything is shown
  // or written.
  if (!SelectsAnyColumn(options)) {
    return Fail("--damping " + options.damping.text + " with --step " + std::to_string(options.step) +
                (options.segment ? " has fewer columns than the " + std::to_string(options.segment->count) + " segments"
                                 : " selects no column"));
  }
  if (options.merge) return MergeRun(options, BaseName, layout);
  // A segment's files carry its name, so that the segments of one sweep can
  // share a directory.
  const std::string Name = RunName(BaseName, options);
  const std::vector<std::int32_t> columns = RunColumns(options);
  settings.start_column = columns.front();
  settings.end_column = columns.back();
  std::string error;
  // Held to the end of the process: a second run here would overwrite this
  // one's files.
  RunLock lock;
  if (!take_run_lock(lock, Name + ".lock", error)) return Fail(error);
  std::optional<Resumption> resumption;
  if (options.resume) {
    resumption = LoadResumption(ResultOptionsText(options), Name, error, layout);
    if (!resumption) return Fail("cannot resume: " + error);
  }
  // Temporaries of a run that was killed while it wrote them.
  for (const char* extension : {".csv", ".checkpoint", ".bmp", ".png"}) remove_stale_temporaries(Name + extension);

  // A failed write is reported once per file and makes the exit code 1, but
  // the run goes on: what can still be kept is kept.
  FailedWrites failed;
  HistoryFile history;
  if (!options.history.empty() && !history_open(history, options.history, options.resume, error)) {
    if (!history.file) return Fail(error, WriteFailed);
    failed.add(options.history, error);
  }
  ResultsFile results;
  const std::vector<ColumnResult> finished = resumption ? resumption->finished : std::vector<ColumnResult>{};
  if (!results_start(results, Name + ".csv", finished, error, layout)) return Fail(error, WriteFailed);

  OpenChart(BaseName, options.headless, DampingMax[1]);

  SweepCarry carry;
  if (resumption) {
    settings.start_column =
        ResumeSweep(*resumption, RefState, carry, settings.target_error.has_value()) - options.step;
  } else {
    for (std::int32_t i = 1; i <= StateSize; ++i) RefState[i] = InitialState[i];
  }

  const std::string options_text = ResultOptionsText(options);
  const std::string checkpoint_path = Name + ".checkpoint";
  std::int32_t results_lines = static_cast<std::int32_t>(finished.size());
  settings.column_done = [&](const ColumnResult& result) {
    ++results_lines;
    std::string why;
    if (!results_append(results, result, why)) {
      failed.add(results.path, why);
      return;
    }
    // A checkpoint must not run ahead of the results file it vouches for.
    if (!write_checkpoint(checkpoint_path,
                          CheckpointAfter(result.column, carry, RefState, options_text, results_lines, results.crc),
                          why))
      failed.add(checkpoint_path, why);
  };
  if (history.file) {
    settings.history = [&](const HistoryPoint& point) {
      std::string why;
      if (!history_append(history, point, why)) failed.add(options.history, why);
    };
  }

  const int threads = options.threads != 0 ? options.threads : (std::thread::hardware_concurrency() >= 2 ? 2 : 1);
  std::unique_ptr<PairStepper> stepper;
  if (threads == 2) {
    stepper = std::make_unique<PairStepper>();
    settings.advance = [&stepper](Real* reference, Real* shadow) { stepper->advance(reference, shadow); };
    settings.measured_advance = [&stepper](Real* reference, Real* shadow, Real* tangent, bool robust) {
      stepper->advance(reference, shadow, tangent, robust);
    };
  }

  SweepArrays arrays{RefState, Derivs, ShadowState, Separation, DampingMax, EstimateRing};
  if (RunSweep(arrays, carry, settings) == SweepOutcome::Escaped) return failed.exit_code();
  stepper.reset();
  // A segment keeps its checkpoint: the merge checks the segment by it.
  // A segment on a compute node has nobody to look at its picture.
  return EndRun(RunEnd{Name, !options.segment || options.convert, options.segment ? "" : checkpoint_path}, failed);
}
