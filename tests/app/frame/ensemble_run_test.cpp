// Ensemble columns through the real binary: every member the same whatever
// the number of members, the threads or a split into segments, the column's
// fields summed from its members, and the settling relabelling a regular
// column.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "app/files/members_file.hpp"
#include "app/files/results_file.hpp"
#include "app/run_support.hpp"

namespace {

std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string>& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

// Eight columns at the lower edge of the lasting chaos, where fresh starts
// settle within a few hundred units.
const std::vector<std::string> EdgeRun = {"--headless", "--flow", "--passes", "3000", "--damping", "0.2375:0.24625"};

std::vector<MemberResult> members_of(const Sandbox& box, const std::string& name = "flockchase.members.csv") {
  std::string error;
  const auto members = read_members_file((box.dir / name).string(), error);
  EXPECT_TRUE(members) << error;
  return members ? *members : std::vector<MemberResult>{};
}

// A members line without its attractor label, which is the column's
// numbering among the members it has.
std::string without_label(const MemberResult& m) {
  MemberResult copy = m;
  copy.attractor.reset();
  return members_line(copy);
}

TEST(EnsembleRun, AMemberIsTheSameWhateverTheMembersAndThreads) {
  Sandbox sixteen, two_threads, four;
  for (auto [box, more] : {std::pair{&sixteen, std::vector<std::string>{"--members", "16", "--threads", "1"}},
                           std::pair{&two_threads, std::vector<std::string>{"--members", "16", "--threads", "2"}},
                           std::pair{&four, std::vector<std::string>{"--members", "4", "--threads", "1"}}}) {
    const RunOutput run = box->run(with(EdgeRun, more));
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }
  EXPECT_EQ(two_threads.file("flockchase.members.csv"), sixteen.file("flockchase.members.csv"));
  EXPECT_EQ(results_without_seconds(two_threads.file("flockchase.csv")),
            results_without_seconds(sixteen.file("flockchase.csv")));
  const std::vector<MemberResult> many = members_of(sixteen), few = members_of(four);
  ASSERT_EQ(many.size(), 8u * 16);
  ASSERT_EQ(few.size(), 8u * 4);
  for (std::size_t c = 0; c < 8; ++c) {
    for (std::size_t m = 0; m < 4; ++m) {
      EXPECT_EQ(without_label(few[c * 4 + m]), without_label(many[c * 16 + m])) << "column " << c << " member " << m;
    }
  }
}

// The column's counts, shares and exponent are its fresh members' as its
// members file has them.
TEST(EnsembleRun, TheColumnSumsUpItsFreshMembers) {
  Sandbox box;
  const RunOutput run = box.run(with(EdgeRun, {"--members", "16"}));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::string error;
  const auto columns = read_results_file((box.dir / "flockchase.csv").string(), error);
  ASSERT_TRUE(columns) << error;
  const std::vector<MemberResult> members = members_of(box);
  ASSERT_EQ(members.size(), columns->size() * 16);
  int settled_anywhere = 0;
  for (std::size_t c = 0; c < columns->size(); ++c) {
    const ColumnResult& r = (*columns)[c];
    ASSERT_EQ(r.members, 16);
    std::map<MemberFate, int> ends;
    double growth = 0, time = 0;
    for (std::size_t m = 1; m < 16; ++m) {
      const MemberResult& member = members[c * 16 + m];
      EXPECT_EQ(member.column, r.column);
      EXPECT_FALSE(member.continued);
      ++ends[member.fate];
      growth += static_cast<double>(member.log_growth);
      time += static_cast<double>(member.chaotic_time);
    }
    EXPECT_TRUE(members[c * 16].continued);
    EXPECT_EQ(r.ended_chaotic, ends[MemberFate::Chaotic]);
    EXPECT_EQ(r.ended_settled, ends[MemberFate::Settled]);
    EXPECT_EQ(r.ended_captured, ends[MemberFate::Captured]);
    EXPECT_EQ(r.escapes, ends[MemberFate::Settled] + ends[MemberFate::Captured]);
    ASSERT_TRUE(r.ensemble_exponent && r.ensemble_standard_error);
    EXPECT_NEAR(static_cast<double>(*r.ensemble_exponent), growth / time, 1e-12);
    ASSERT_TRUE(r.settled_share_low && r.settled_share_high);
    const double share = ends[MemberFate::Settled] / 15.0;
    EXPECT_LE(static_cast<double>(*r.settled_share_low), share);
    EXPECT_GE(static_cast<double>(*r.settled_share_high), share);
    ASSERT_TRUE(r.escape_rate_high);
    EXPECT_EQ(r.escape_rate.has_value(), *r.escapes > 0);
    // The column's regime is its ensemble's.
    EXPECT_EQ(r.regime, *r.escapes > 0 ? ColumnRegime::Transient : ColumnRegime::Chaotic);
    settled_anywhere += ends[MemberFate::Settled];
  }
  // The edge's chaos is a transient: some members settle within 30 units.
  EXPECT_GT(settled_anywhere, 0);
}

// Segments start their first column's member 0 afresh, as every segment
// does; the fresh members are the whole run's, and the merge is the
// segments' members one after the other.
TEST(EnsembleRun, SegmentsMergeTheirMembers) {
  Sandbox whole, apart;
  const std::vector<std::string> options = with(EdgeRun, {"--members", "8", "--threads", "1"});
  ASSERT_EQ(whole.run(options).exit_code, 0);
  std::string joined;
  for (const std::string i : {"1", "2"}) {
    const RunOutput r = apart.run(with(options, {"--segment", i + std::string("/2")}));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string text = apart.file("flockchase.seg" + i + std::string("-2.members.csv"));
    joined += text.substr(i == std::string("1") ? 0 : text.find('\n') + 1);
  }
  const RunOutput merged = apart.run(with(options, {"--merge"}));
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  EXPECT_EQ(apart.file("flockchase.members.csv"), joined);
  const std::vector<MemberResult> a = members_of(whole), b = members_of(apart);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].continued) continue;
    EXPECT_EQ(without_label(b[i]), without_label(a[i])) << i;
  }
}

// A column on a regular orbit throughout is regular: its exponent is that
// orbit's, and it runs to its end as before.
TEST(EnsembleRun, ARegularColumnReadsRegular) {
  Sandbox box;
  const RunOutput run = box.run({"--headless", "--flow", "--passes", "40000", "--damping", "0.9:0.9"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::string error;
  const auto columns = read_results_file((box.dir / "flockchase.csv").string(), error);
  ASSERT_TRUE(columns && columns->size() == 1) << error;
  const ColumnResult& r = columns->front();
  EXPECT_EQ(r.regime, ColumnRegime::Regular);
  EXPECT_EQ(r.end, ColumnEnd::PassLimit);
  EXPECT_EQ(r.chaotic_time, 0);
  ASSERT_TRUE(r.regular_exponent && r.standard_error);
  EXPECT_EQ(*r.regular_exponent, r.exponent);
  EXPECT_LT(std::fabs(static_cast<double>(r.exponent)), 3 * static_cast<double>(*r.standard_error) + 1e-3);
}

}  // namespace

namespace {

// Left to right: the columns in rising damping, each going on from the
// state the one before left (so the first differs from a right-to-left
// run's last, which starts elsewhere).
TEST(EnsembleRun, AscendingSweepsLeftToRight) {
  Sandbox up, down;
  const std::vector<std::string> options = {"--headless", "--flow", "--passes", "2000", "--damping", "0.5:0.50375"};
  ASSERT_EQ(up.run(with(options, {"--ascending"})).exit_code, 0);
  ASSERT_EQ(down.run(options).exit_code, 0);
  std::string error;
  const auto rising = read_results_file((up.dir / "flockchase.csv").string(), error);
  const auto falling = read_results_file((down.dir / "flockchase.csv").string(), error);
  ASSERT_TRUE(rising && falling) << error;
  ASSERT_EQ(rising->size(), 4u);
  ASSERT_EQ(falling->size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ((*rising)[i].column, 450 + static_cast<std::int32_t>(i));
    EXPECT_EQ((*falling)[i].column, 453 - static_cast<std::int32_t>(i));
  }
  EXPECT_NE((*rising)[0].exponent, (*falling)[3].exponent);
  const RunOutput refused = up.run(with(options, {"--ascending", "--segment", "1/2"}));
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find("--ascending goes with neither --segment nor --merge"), std::string::npos) << refused.err;
}

}  // namespace
