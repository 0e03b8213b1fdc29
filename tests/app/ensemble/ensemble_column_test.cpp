// An ensemble column run in the process: its members the same bits on one
// and on two threads (the threads share nothing but the queue of members),
// member 0 alone drawing from the program's generator and its host, and
// the fresh members' starts their own.
#include <gtest/gtest.h>

#include "app/ensemble/ensemble_column.hpp"
#include "app/files/members_file.hpp"
#include "app/measure/column.hpp"
#include "app/measure/parameters.hpp"
#include "app/measure/sweep.hpp"
#include "runtime/random.hpp"

namespace {

struct Outcome {
  ColumnResult column;
  FlockState left;
  RandomState generator;
};

Outcome run(int threads, std::int32_t members) {
  random_state() = RandomState{};
  FlockState ref = FreshState();
  SweepSettings settings;
  settings.flow = true;
  settings.passes = 2500;
  settings.time_limit = 1e9;
  settings.members = members;
  settings.threads = threads;
  QuietHost host;
  const std::optional<ColumnResult> r =
      RunEnsembleColumn(242, FlockModel{ColumnDamping(242)}, ref, SweepCarry{}, settings, host, HistoryObserver{});
  EXPECT_TRUE(r);
  return {r.value_or(ColumnResult{}), ref, random_state()};
}

TEST(EnsembleColumn, TwoThreadsGiveTheSameMembersAsOne) {
  const Outcome one = run(1, 24), two = run(2, 24);
  ASSERT_EQ(one.column.member_results.size(), 24u);
  ASSERT_EQ(two.column.member_results.size(), 24u);
  for (std::size_t m = 0; m < 24; ++m) {
    EXPECT_EQ(members_line(two.column.member_results[m]), members_line(one.column.member_results[m])) << m;
  }
  EXPECT_EQ(two.left, one.left);
  EXPECT_EQ(two.generator.state, one.generator.state);
  EXPECT_EQ(two.column.ensemble_exponent, one.column.ensemble_exponent);
  EXPECT_EQ(two.column.escapes, one.column.escapes);
}

TEST(EnsembleColumn, FreshMembersDrawFromTheirOwnGenerators) {
  // Member 0 alone draws from the program's generator: its state after the
  // column is the same whether the column has 2 members or 9.
  const Outcome two = run(1, 2), nine = run(1, 9);
  EXPECT_EQ(nine.generator.state, two.generator.state);
  EXPECT_EQ(members_line(nine.column.member_results[1]), members_line(two.column.member_results[1]));
  // Distinct members start apart.
  EXPECT_NE(MemberGenerator(242, 1).state, MemberGenerator(242, 2).state);
  EXPECT_NE(MemberGenerator(242, 1).state, MemberGenerator(241, 1).state);
  EXPECT_EQ(MemberGenerator(242, 5).state, MemberGenerator(242, 5).state);
}

}  // namespace
