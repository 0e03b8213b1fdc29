// The settling detector over many trajectories: for each damping given,
// eight lanes of the batch engine per seed from fresh states (standard
// normal positions, velocities of 0.01), each fed to a detector of its own
// for the units asked. A table: member-time, settlings (with their median
// start), laminar phases (with the longest), the lowest window rate seen
// in chaos (the detector's margin), and what settled trajectories did
// after: each runs on to the units asked. Not a timing run.
//   settle_survey UNITS SEEDS DAMPING...
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "app/lanes/batch_engine.hpp"
#include "app/model/flow_engine.hpp"
#include "app/model/settle_detector.hpp"

namespace {

struct Tally {
  double member_time = 0;
  int settled = 0;
  int laminar = 0;
  double longest_laminar = 0;
  std::vector<double> starts;
  double lowest_window = 1e300;  // growth rate over SettleWindow, in chaos
  // After a settling, the trajectory is followed for as long again as it
  // ran: the most its log growth rose above its lowest since, and how many
  // became chaotic again (a rise of 20: e^20, no regular orbit's band).
  double highest_rise = 0;
  int relapsed = 0;
};

class Survey final : public LaneClient {
 public:
  Survey(long passes, Tally& tally) : passes_(passes), tally_(tally) {
    for (auto& g : window_) g.assign(static_cast<std::size_t>(SettleWindow * 100), 0.0);
  }
  void on_mark(BatchEngine& engine, int lane, const LaneMark& mark) override {
    if (!mark.ok) {
      finish(engine, lane);
      return;
    }
    ++done_[lane];
    auto& ring = window_[lane];
    const std::size_t at = static_cast<std::size_t>(done_[lane]) % ring.size();
    sum_[lane] += mark.log_growth - ring[at];
    ring[at] = mark.log_growth;
    if (!watching_[lane] && !detectors_[lane].suspecting() && done_[lane] >= static_cast<long>(ring.size())) {
      tally_.lowest_window = std::min(tally_.lowest_window, sum_[lane] / SettleWindow);
    }
    const auto e = detectors_[lane].observe(mark.log_growth);
    if (e && e->kind == SettleEvent::Kind::Laminar) {
      ++tally_.laminar;
      tally_.longest_laminar = std::max(tally_.longest_laminar, (e->declared - e->start) * 0.01);
    }
    if (e && e->kind == SettleEvent::Kind::Settled) {
      ++tally_.settled;
      tally_.starts.push_back(e->start * 0.01);
      watching_[lane] = true;
      growth_[lane] = lowest_[lane] = 0;
    }
    if (watching_[lane] && !e) {
      growth_[lane] += mark.log_growth;
      lowest_[lane] = std::min(lowest_[lane], growth_[lane]);
      tally_.highest_rise = std::max(tally_.highest_rise, growth_[lane] - lowest_[lane]);
      if (growth_[lane] - lowest_[lane] > 20 && !relapsed_[lane]) {
        relapsed_[lane] = true;
        ++tally_.relapsed;
      }
    }
    if (done_[lane] >= passes_) finish(engine, lane);
  }

 private:
  void finish(BatchEngine& engine, int lane) {
    tally_.member_time += done_[lane] * 0.01;
    BatchStop(engine, lane);
  }
  long passes_;
  Tally& tally_;
  long done_[BatchLanes] = {};
  SettleDetector detectors_[BatchLanes];
  std::vector<double> window_[BatchLanes];
  double sum_[BatchLanes] = {};
  bool watching_[BatchLanes] = {};
  bool relapsed_[BatchLanes] = {};
  double growth_[BatchLanes] = {};
  double lowest_[BatchLanes] = {};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: settle_survey UNITS SEEDS DAMPING...\n");
    return 2;
  }
  const long units = std::atol(argv[1]);
  const int seeds = std::atoi(argv[2]);
  std::printf("| damping | member-time | settled | median start | laminar | longest laminar | lowest window rate in chaos | highest rise after settling | relapsed |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (int a = 3; a < argc; ++a) {
    const double damping = std::atof(argv[a]);
    Tally tally;
    for (int seed = 1; seed <= seeds; ++seed) {
      std::mt19937_64 random(static_cast<std::uint64_t>(seed) * 1000003u + static_cast<std::uint64_t>(a));
      std::normal_distribution<double> normal(0, 1);
      BatchEngine engine(0.01);
      for (int lane = 0; lane < BatchLanes; ++lane) {
        double s[StateSize];
        for (int k = 0; k < 8; ++k) {
          s[4 * k] = normal(random);
          s[4 * k + 1] = normal(random);
          s[4 * k + 2] = 0.01 * normal(random);
          s[4 * k + 3] = 0.01 * normal(random);
        }
        BatchStart(engine, lane, damping, FlowDefaultTolerance, s);
      }
      Survey survey(units * 100, tally);
      RunBatch(engine, survey);
    }
    std::sort(tally.starts.begin(), tally.starts.end());
    const double median = tally.starts.empty() ? 0 : tally.starts[tally.starts.size() / 2];
    std::printf("| %.5g | %.0f | %d | %.0f | %d | %.0f | %.3f | %.2f | %d |\n", damping, tally.member_time,
                tally.settled, median, tally.laminar, tally.longest_laminar, tally.lowest_window, tally.highest_rise,
                tally.relapsed);
    std::fflush(stdout);
  }
  return 0;
}
