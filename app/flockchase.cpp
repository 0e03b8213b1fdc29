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
#include "app/run_lock.hpp"
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

namespace {

constexpr int ShowNormal = 1;
constexpr int WaitForEnd = 0x8000;

// Exit codes: 0 a normal end (or Esc), 1 a file could not be written,
// 2 bad options, a refused resumption or a run already going on here.
constexpr int WriteFailed = 1;
constexpr int Refused = 2;

int fail(const std::string& message, int code = Refused) {
  std::fprintf(stderr, "flockchase: %s\n", message.c_str());
  return code;
}

}  // namespace

int FlockchaseMain(const MainArguments& main_arguments) {
  const OptionsResult parsed = ParseOptions(main_arguments.arguments);
  if (!parsed.options) {
    std::fprintf(stderr, "%s\n%s\n", parsed.error.c_str(), UsageText().c_str());
    return 2;
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
  if (!SelectsAnyColumn(options)) return fail("--damping " + options.damping.text + " with --step " +
                                              std::to_string(options.step) + " selects no column");
  std::string error;
  // Held to the end of the process: a second run here would overwrite this
  // one's files.
  RunLock lock;
  if (!take_run_lock(lock, BaseName + ".lock", error)) return fail(error);
  std::optional<Resumption> resumption;
  if (options.resume) {
    resumption = LoadResumption(ResultOptionsText(options), BaseName, error, layout);
    if (!resumption) return fail("cannot resume: " + error);
  }
  // Temporaries of a run that was killed while it wrote them.
  for (const char* extension : {".csv", ".checkpoint", ".bmp", ".png"}) remove_stale_temporaries(BaseName + extension);

  // A failed write is reported once per file and makes the exit code 1, but
  // the run goes on: what can still be kept is kept.
  std::set<std::string> failed_files;
  auto write_failed = [&failed_files](const std::string& file, const std::string& why) {
    if (failed_files.insert(file).second) std::fprintf(stderr, "flockchase: %s\n", why.c_str());
  };
  HistoryFile history;
  if (!options.history.empty() && !history_open(history, options.history, options.resume, error)) {
    if (!history.file) return fail(error, WriteFailed);
    write_failed(options.history, error);
  }
  ResultsFile results;
  const std::vector<ColumnResult> finished = resumption ? resumption->finished : std::vector<ColumnResult>{};
  if (!results_start(results, BaseName + ".csv", finished, error, layout)) return fail(error, WriteFailed);

  console_set_title(BaseName);
  console_clear();
  console_move_window(Margin + PlotWidth + 6, 0);
  console_clear();

  const WindowHandle window = options.headless
                                  ? canvas_create_offscreen(Margin + PlotWidth, PlotHeight + 24)
                                  : canvas_open_window(BaseName, 0, 0, Margin + PlotWidth, PlotHeight + 24, 0);
  canvas_attach(window, 0, true);
  canvas_set_foreground(0);
  canvas_set_background(0xFFFFFF);
  canvas_clear(-1, 0);

  DrawChartFrame(DampingMax[1]);

  SweepCarry carry;
  if (resumption) {
    settings.start_column =
        ResumeSweep(*resumption, RefState, carry, settings.target_error.has_value()) - options.step;
  } else {
    for (std::int32_t i = 1; i <= StateSize; ++i) RefState[i] = InitialState[i];
  }

  const std::string options_text = ResultOptionsText(options);
  const std::string checkpoint_path = BaseName + ".checkpoint";
  std::int32_t results_lines = static_cast<std::int32_t>(finished.size());
  settings.column_done = [&](const ColumnResult& result) {
    ++results_lines;
    std::string why;
    if (!results_append(results, result, why)) {
      write_failed(results.path, why);
      return;
    }
    // A checkpoint must not run ahead of the results file it vouches for.
    if (!write_checkpoint(checkpoint_path,
                          CheckpointAfter(result.column, carry, RefState, options_text, results_lines, results.crc),
                          why))
      write_failed(checkpoint_path, why);
  };
  if (history.file) {
    settings.history = [&](const HistoryPoint& point) {
      std::string why;
      if (!history_append(history, point, why)) write_failed(options.history, why);
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
  if (RunSweep(arrays, carry, settings) == SweepOutcome::Escaped) return failed_files.empty() ? 0 : WriteFailed;
  stepper.reset();

  console_print("Done!");
  console_newline();
  canvas_redraw();
  const std::string bitmap_path = BaseName + ".bmp";
  if (canvas_save_bmp(string_concat(BaseName, ".bmp"))) {
    // Only now is the sweep's result safe; until then --resume can still
    // finish it.
    unlink(checkpoint_path.c_str());
    clear_error();
    run_command(string_concat("picvec ", BaseName), ShowNormal | WaitForEnd, 0);
    if (last_error() != 0) {
      std::fprintf(stderr, "flockchase: cannot start the converter picvec: %s\n",
                   last_error() == 53 ? "not found on PATH" : ("run-time error " + std::to_string(last_error())).c_str());
    }
  } else {
    failed_files.insert(bitmap_path);
    std::fprintf(stderr, "flockchase: the converter is not started: %s was not written\n", bitmap_path.c_str());
  }
  std::fflush(stderr);
  key_wait();
  return failed_files.empty() ? 0 : WriteFailed;
}
