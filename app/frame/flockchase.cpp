#include "app/frame/flockchase.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>

#include "app/ensemble/ensemble_column.hpp"
#include "app/files/base_name.hpp"
#include "app/files/history_file.hpp"
#include "app/files/members_file.hpp"
#include "app/files/spectrum_file.hpp"
#include "app/files/results_file.hpp"
#include "app/files/resume.hpp"
#include "app/files/run_lock.hpp"
#include "app/frame/column_output.hpp"
#include "app/frame/merge.hpp"
#include "app/frame/options.hpp"
#include "app/frame/run_frame.hpp"
#include "app/frame/run_outputs.hpp"
#include "app/measure/column.hpp"
#include "app/measure/pair_stepper.hpp"
#include "app/measure/parameters.hpp"
#include "app/measure/sweep.hpp"
#include "app/model/gauss_deviate.hpp"
#include "runtime/console.hpp"
#include "runtime/replace_file.hpp"
#include "runtime/text.hpp"

namespace {

SweepSettings SettingsOf(const Options& options) {
  SweepSettings settings;
  settings.step = options.step;
  settings.time_limit = options.time_limit;
  settings.damping = options.damping;
  settings.robust = options.robust;
  settings.tangent = options.tangent;
  settings.passes = options.passes;
  settings.flow = options.flow;
  settings.tolerance = options.tolerance.value_or(FlowDefaultTolerance);
  settings.spectrum = options.spectrum;
  if (options.target_error) settings.target_error = static_cast<Real>(*options.target_error);
  const std::vector<std::int32_t> columns = RunColumns(options);
  settings.start_column = *std::max_element(columns.begin(), columns.end());
  settings.end_column = *std::min_element(columns.begin(), columns.end());
  settings.ascending = options.ascending;
  settings.members = options.members;
  settings.member_seed = options.seed;
  if (options.members > 1) settings.run_column = RunEnsembleColumn;
  return settings;
}

int ThreadsOf(const Options& options) {
  return options.threads != 0 ? options.threads : (std::thread::hardware_concurrency() >= 2 ? 2 : 1);
}

// The two trajectories of a pass on two threads, when the run has them.
std::unique_ptr<PairStepper> StepperFor(const Options& options, SweepSettings& settings) {
  const int threads = ThreadsOf(options);
  // The flow engine carries one trajectory: a second thread has nothing to do.
  if (threads != 2 || options.flow) return nullptr;
  auto stepper = std::make_unique<PairStepper>();
  PairStepper* const s = stepper.get();
  settings.advance = [s](const FlockModel& model, Real* reference, Real* shadow) {
    s->advance(model, reference, shadow);
  };
  settings.measured_advance = [s](const FlockModel& model, Real* reference, Real* shadow, Real* tangent, bool robust) {
    s->advance(model, reference, shadow, tangent, robust);
  };
  return stepper;
}

// The files of a sweep run: the lock held to the end of the process (a
// second run here would overwrite this one's files), the results file, the
// history, and the writes that failed.
struct RunFiles {
  RunLock lock;
  std::optional<Resumption> resumption;
  HistoryFile history;
  ResultsFile results;
  MembersFile members;  // with --members
  SpectrumFile spectrum;  // with --spectrum
  FailedWrites failed;
  std::int32_t results_lines = 0;
  // Set by the first failed write of the results, the checkpoint or the
  // history: from then on none of them is written, so that the checkpoint
  // still vouches for the results file and the history, and --resume
  // continues from it once the fault is mended.
  bool stopped = false;
  std::int32_t last_saved_column = 0;
};

// A failed write is reported once per file and makes the exit code 1; the
// run goes on drawing, but its files stay as the last checkpoint left them.
void StopWriting(RunFiles& files, const std::string& file, const std::string& why) {
  files.failed.add(file, why);
  if (files.stopped) return;
  files.stopped = true;
  std::fprintf(stderr, "flockchase: %s\n",
               files.last_saved_column != 0
                   ? ("the run's files stop after column " + std::to_string(files.last_saved_column) +
                      "; --resume continues from there")
                         .c_str()
                   : "the run's files stop before its first column; --resume cannot continue it");
}

// Takes the lock, loads what a resumption continues and starts the results
// file and the history; none, with the exit code in `refused`, when the run
// cannot start.
bool OpenRunFiles(RunFiles& files, const Options& options, const std::string& name, const std::string& base_name,
                  ResultsLayout layout, int& refused) {
  std::string error;
  if (const std::optional<std::string> fault = RunOutputsFault(options, name, base_name)) {
    refused = Fail(*fault);
    return false;
  }
  if (!take_run_lock(files.lock, name + ".lock", error)) {
    refused = Fail(error, files.lock.held_elsewhere ? Refused : WriteFailed);
    return false;
  }
  if (options.resume) {
    files.resumption = LoadResumption(ResultOptionsText(options), name, error, layout);
    if (files.resumption) {
      if (const std::optional<std::string> fault = ResumptionFault(*files.resumption, RunColumns(options))) {
        error = *fault;
        files.resumption.reset();
      }
    }
    if (files.resumption && options.spectrum > 0 && !files.resumption->checkpoint.spectrum_lines) {
      error = name + ".checkpoint vouches for no spectrum file";
      files.resumption.reset();
    }
    if (!files.resumption) {
      refused = Fail("cannot resume: " + error);
      return false;
    }
    files.last_saved_column = files.resumption->checkpoint.column;
  }
  // Temporaries of a run that was killed while it wrote them.
  for (const char* extension : {".csv", ".members.csv", ".spectrum.csv", ".checkpoint", ".bmp", ".png"})
    remove_stale_temporaries(name + extension);
  if (!options.history.empty()) {
    std::optional<std::int32_t> resumed_after;
    if (files.resumption) resumed_after = files.resumption->checkpoint.column;
    const HistoryOpened opened = history_open(files.history, options.history, resumed_after, error);
    if (opened != HistoryOpened::Open) {
      refused = Fail(error, opened == HistoryOpened::Refused ? Refused : WriteFailed);
      return false;
    }
  }
  const std::vector<ColumnResult> finished = files.resumption ? files.resumption->finished : std::vector<ColumnResult>{};
  if (!results_start(files.results, name + ".csv", finished, error, layout)) {
    refused = Fail(error, WriteFailed);
    return false;
  }
  files.results_lines = static_cast<std::int32_t>(finished.size());
  if (options.members > 1) {
    const std::vector<MemberResult> kept =
        files.resumption ? files.resumption->members : std::vector<MemberResult>{};
    if (!members_start(files.members, name + ".members.csv", kept, error)) {
      refused = Fail(error, WriteFailed);
      return false;
    }
  }
  if (options.spectrum > 0) {
    const std::vector<SpectrumLine> kept =
        files.resumption ? files.resumption->spectra : std::vector<SpectrumLine>{};
    if (!spectrum_start(files.spectrum, name + ".spectrum.csv", options.spectrum, kept, error)) {
      refused = Fail(error, WriteFailed);
      return false;
    }
  }
  return true;
}

// The results line, then the checkpoint: a checkpoint must not run ahead of
// the results file it vouches for.
ColumnObserver FileObserver(RunFiles& files, const ChartCurve& curve, const FlockState& ref, const Options& options,
                            const std::string& checkpoint_path) {
  return [&files, &curve, &ref, options_text = ResultOptionsText(options), checkpoint_path](const ColumnResult& r) {
    if (files.stopped) return;
    std::string why;
    // The members and the spectrum first: the results line and the
    // checkpoint vouch for them.
    if (files.members.fd >= 0 && !members_append(files.members, r.member_results, why))
      return StopWriting(files, files.members.path, why);
    if (files.spectrum.fd >= 0 && r.spectrum && !spectrum_append(files.spectrum, *r.spectrum, why))
      return StopWriting(files, files.spectrum.path, why);
    if (!results_append(files.results, r, why)) return StopWriting(files, files.results.path, why);
    ++files.results_lines;
    Checkpoint checkpoint =
        CheckpointAfter(r, curve.first_point, ref, options_text, files.results_lines, files.results.crc);
    if (files.members.fd >= 0) {
      checkpoint.members_lines = files.members.lines;
      checkpoint.members_crc = files.members.crc;
    }
    if (files.spectrum.fd >= 0) {
      checkpoint.spectrum_lines = files.spectrum.lines;
      checkpoint.spectrum_crc = files.spectrum.crc;
    }
    if (!write_checkpoint(checkpoint_path, checkpoint, why)) return StopWriting(files, checkpoint_path, why);
    files.last_saved_column = r.column;
  };
}

int SweepRun(const Options& options, SweepSettings& settings, const Text& base_name, ResultsLayout layout,
             FlockState ref) {
  // A segment's files carry its name, so that the segments of one sweep can
  // share a directory.
  const std::string name = RunName(base_name, options);
  RunFiles files;
  int refused = 0;
  if (!OpenRunFiles(files, options, name, base_name, layout, refused)) return refused;

  OpenChart(base_name, options.headless);
  const bool target = settings.target_error.has_value();
  ChartCurve curve;
  SweepCarry carry;
  if (files.resumption) {
    ReplayColumns(files.resumption->finished, DisplayObservers(target, curve));
    const std::int32_t last = ResumeSweep(*files.resumption, ref, carry, curve.first_point);
    if (options.ascending) {
      settings.end_column = last + options.step;
    } else {
      settings.start_column = last - options.step;
    }
  }

  const std::string checkpoint_path = name + ".checkpoint";
  SweepObservers observers;
  observers.columns = DisplayObservers(target, curve);
  observers.columns.push_back(FileObserver(files, curve, ref, options, checkpoint_path));
  if (files.history.fd >= 0) {
    observers.history = [&files, &options](const HistoryPoint& point) {
      std::string why;
      if (!files.stopped && !history_append(files.history, point, why)) StopWriting(files, options.history, why);
    };
  }

  std::unique_ptr<PairStepper> stepper = StepperFor(options, settings);
  settings.threads = ThreadsOf(options);
  ConsoleHost host;
  if (RunSweep(ref, carry, settings, host, observers) == SweepOutcome::Escaped) return files.failed.exit_code();
  stepper.reset();
  // A segment keeps its checkpoint: the merge checks the segment by it.
  // A segment on a compute node has nobody to look at its picture.
  // A run whose files stopped keeps its checkpoint for --resume.
  return EndRun(RunEnd{name, !options.segment || options.convert,
                       options.segment || files.stopped ? "" : checkpoint_path},
                files.failed);
}

}  // namespace

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
  const FlockState initial = FreshState();
  const Text base_name = BaseNameFromTitle(console_get_title());

  // Everything that can refuse to start is checked before anything is shown
  // or written.
  if (!SelectsAnyColumn(options)) {
    return Fail("--damping " + options.damping.text + " with --step " + std::to_string(options.step) +
                (options.segment ? " has fewer columns than the " + std::to_string(options.segment->count) + " segments"
                                 : " selects no column"));
  }
  SweepSettings settings = SettingsOf(options);
  const ResultsLayout layout = MeasurementOptions(settings) ? ResultsLayout::Extended : ResultsLayout::Plain;
  if (options.merge) return MergeRun(options, base_name, layout);
  return SweepRun(options, settings, base_name, layout, initial);
}
