#include "app/resume.hpp"

#include "app/parameters.hpp"
#include "app/results_file.hpp"
#include "runtime/random.hpp"

std::optional<Resumption> LoadResumption(const std::string& options_text, const Text& base_name, std::string& error,
                                         ResultsLayout layout) {
  std::optional<Checkpoint> checkpoint = read_checkpoint(base_name + ".checkpoint", error);
  if (!checkpoint) return std::nullopt;
  if (checkpoint->options != options_text) {
    error = "the checkpoint was written with other options (" + checkpoint->options + ")";
    return std::nullopt;
  }
  ResultsLayout layout_read = ResultsLayout::Plain;
  std::optional<std::vector<ColumnResult>> finished = read_results_file(base_name + ".csv", error, &layout_read);
  if (!finished) return std::nullopt;
  if (layout_read != layout) {
    error = base_name + ".csv was written by a run with other measurement options";
    return std::nullopt;
  }
  // A stop between the results line and the checkpoint leaves one line more.
  if (static_cast<std::int32_t>(finished->size()) < checkpoint->results_lines) {
    error = base_name + ".csv holds fewer columns than the checkpoint says";
    return std::nullopt;
  }
  finished->resize(static_cast<std::size_t>(checkpoint->results_lines));
  if (finished->back().column != checkpoint->column) {
    error = base_name + ".csv does not end with the checkpoint's column";
    return std::nullopt;
  }
  return Resumption{*checkpoint, std::move(*finished)};
}

Checkpoint CheckpointAfter(std::int32_t column, const SweepCarry& carry, const ArrayDescriptor& RefState,
                           const std::string& options_text, std::int32_t results_lines) {
  Checkpoint c;
  c.options = options_text;
  c.column = column;
  c.row = ExponentRow(carry.Exponent);
  c.results_lines = results_lines;
  c.first_point = carry.FirstPoint;
  c.random_state = random_state().state;
  c.random_last = random_state().last;
  c.exponent = carry.Exponent;
  c.mean_divergence = carry.MeanDivergence;
  c.spread = carry.Spread;
  for (std::int32_t i = 1; i <= StateSize; ++i) c.ref_state[i] = RefState[i];
  return c;
}

std::int32_t ResumeSweep(const Resumption& resumption, ArrayDescriptor& RefState, SweepCarry& carry, bool target_error) {
  for (const ColumnResult& r : resumption.finished) {
    carry.Exponent = r.exponent;
    carry.Spread = r.spread;
    carry.MeanDivergence = r.mean_divergence;
    ReportColumn(r.damping, carry, PlusMinusFigure(r, target_error));
    PlotColumn(r.column, carry);
  }
  const Checkpoint& c = resumption.checkpoint;
  for (std::int32_t i = 1; i <= StateSize; ++i) RefState[i] = c.ref_state[i];
  random_state().state = c.random_state;
  random_state().last = c.random_last;
  carry.Exponent = c.exponent;
  carry.MeanDivergence = c.mean_divergence;
  carry.Spread = c.spread;
  carry.FirstPoint = c.first_point;
  return c.column;
}
