#include "app/options.hpp"

#include <gtest/gtest.h>

namespace {

TEST(Options, DefaultsAreTheFullRun) {
  OptionsResult r = ParseOptions({});
  ASSERT_TRUE(r.options);
  EXPECT_EQ(r.options->step, 1);
  EXPECT_EQ(r.options->time_limit, 100.0);
  EXPECT_FALSE(r.options->headless);
}

TEST(Options, ValuesInBothForms) {
  OptionsResult r = ParseOptions({"--step", "100", "--time-limit=5", "--headless"});
  ASSERT_TRUE(r.options) << r.error;
  EXPECT_EQ(r.options->step, 100);
  EXPECT_EQ(r.options->time_limit, 5.0);
  EXPECT_TRUE(r.options->headless);
}

TEST(Options, BadOnesSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> arguments;
    const char* message_part;
  };
  const Case cases[] = {
      {{"--step"}, "--step needs a value"},
      {{"--step", "0"}, "--step takes a whole number"},
      {{"--step", "800"}, "--step takes a whole number"},
      {{"--step", "2x"}, "--step takes a whole number"},
      {{"--time-limit", "-1"}, "--time-limit takes a positive"},
      {{"--time-limit", "nan"}, "--time-limit takes a positive"},
      {{"--time-limit="}, "--time-limit takes a positive"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"extra"}, "unknown option 'extra'"},
      {{"--headless=1"}, "--headless takes no value"},
  };
  for (const Case& c : cases) {
    OptionsResult r = ParseOptions(c.arguments);
    EXPECT_FALSE(r.options);
    EXPECT_NE(r.error.find(c.message_part), std::string::npos) << r.error;
    EXPECT_EQ(r.error.find('\n'), std::string::npos);
  }
}

}  // namespace
