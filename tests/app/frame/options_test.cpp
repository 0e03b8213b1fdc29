#include "app/frame/options.hpp"

#include <gtest/gtest.h>

#include <cmath>

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

TEST(Options, PassBudgetAloneLiftsTheTimeLimit) {
  OptionsResult alone = ParseOptions({"--passes", "5000"});
  ASSERT_TRUE(alone.options) << alone.error;
  EXPECT_TRUE(std::isinf(alone.options->time_limit));
  OptionsResult both = ParseOptions({"--time-limit", "7", "--passes", "5000"});
  ASSERT_TRUE(both.options) << both.error;
  EXPECT_EQ(both.options->time_limit, 7.0);
  // A checkpoint of a plain run reads as it always did; the measurement
  // options are part of what a resume must match.
  EXPECT_EQ(ResultOptionsText(*ParseOptions({}).options), "step=1 time_limit=100 damping=0:1");
  EXPECT_EQ(ResultOptionsText(*ParseOptions({"--robust", "--tangent", "--passes", "5", "--target-error", "0.5"}).options),
            "step=1 time_limit=inf damping=0:1 robust tangent passes=5 target_error=0.5");
  // The flow engine's tolerance decides its results: a resume must match it.
  EXPECT_EQ(ResultOptionsText(*ParseOptions({"--flow"}).options), "step=1 time_limit=100 damping=0:1 flow tolerance=1e-08");
  EXPECT_EQ(ResultOptionsText(*ParseOptions({"--flow", "--tolerance", "2.5e-9"}).options),
            "step=1 time_limit=100 damping=0:1 flow tolerance=2.5000000000000001e-09");
}

// --spectrum's count may be left out: the next argument is the count only
// when it is a number.
TEST(Options, SpectrumCountIsOptional) {
  struct Case {
    std::vector<std::string> arguments;
    int spectrum;
  } cases[] = {{{"--flow", "--spectrum"}, 32},
               {{"--flow", "--spectrum", "6"}, 6},
               {{"--flow", "--spectrum=6"}, 6},
               {{"--spectrum", "--flow"}, 32},
               {{"--flow", "--spectrum", "--passes", "5"}, 32}};
  for (const Case& c : cases) {
    OptionsResult r = ParseOptions(c.arguments);
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->spectrum, c.spectrum) << c.arguments.size();
  }
  EXPECT_EQ(ResultOptionsText(*ParseOptions({"--flow", "--spectrum", "6"}).options),
            "step=1 time_limit=100 damping=0:1 flow tolerance=1e-08 spectrum=6");
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
      {{"--passes", "0"}, "--passes takes a whole number"},
      {{"--passes", "2000000001"}, "--passes takes a whole number"},
      {{"--passes", "1e4"}, "--passes takes a whole number"},
      {{"--passes"}, "--passes needs a value"},
      {{"--target-error", "0"}, "--target-error takes a positive"},
      {{"--target-error", "inf"}, "--target-error takes a positive"},
      {{"--target-error", "nan"}, "--target-error takes a positive"},
      {{"--robust=yes"}, "--robust takes no value"},
      {{"--tangent=1"}, "--tangent takes no value"},
      {{"--flow", "--robust"}, "--flow goes without --robust"},
      {{"--tolerance", "1e-8"}, "--tolerance goes with --flow"},
      {{"--flow", "--tolerance", "0"}, "--tolerance takes a number between"},
      {{"--flow", "--tolerance", "1"}, "--tolerance takes a number between"},
      {{"--flow", "--tolerance", "1e-17"}, "--tolerance takes a number between"},
      {{"--flow", "--tolerance", "nan"}, "--tolerance takes a number between"},
      // Whatever bytes a value holds, the error is one line: control bytes
      // are shown escaped.
      {{"--step", "2\n"}, "--step takes a whole number from 1 to 799, not '2\\n'"},
      {{"--passes", "5\n"}, "not '5\\n'"},
      {{"--threads", "1\n"}, "not '1\\n'"},
      {{"--time-limit", "3\r\n"}, "not '3\\r\\n'"},
      {{"--target-error", "0.1\n"}, "not '0.1\\n'"},
      {{"--flow", "--tolerance=1e-8\n"}, "not '1e-8\\n'"},
      {{"--damping", "0:1\x1b[2J"}, "not '0:1\\x1b[2J'"},
      {{"--segment", "1/2\t"}, "not '1/2\\t'"},
      {{"--st\nep", "2"}, "unknown option '--st\\nep'"},
      {{"--spectrum"}, "--spectrum goes with --flow"},
      {{"--flow", "--spectrum", "0"}, "--spectrum takes a whole number from 1 to 32"},
      {{"--flow", "--spectrum", "33"}, "--spectrum takes a whole number from 1 to 32"},
      {{"--flow", "--spectrum=all"}, "--spectrum takes a whole number from 1 to 32"},
      {{"--flow", "--spectrum", "--members", "4", "--passes", "9"}, "--spectrum goes without --members"},
  };
  for (const Case& c : cases) {
    OptionsResult r = ParseOptions(c.arguments);
    EXPECT_FALSE(r.options);
    EXPECT_NE(r.error.find(c.message_part), std::string::npos) << r.error;
    EXPECT_EQ(r.error.find('\n'), std::string::npos);
  }
}

}  // namespace
