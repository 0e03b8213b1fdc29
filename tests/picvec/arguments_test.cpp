#include "tools/picvec/arguments.hpp"

#include <gtest/gtest.h>

namespace {

struct ArgumentCase {
  std::vector<std::string> arguments;
  PicvecAction action;
  std::string bmp;      // Convert
  std::string png;      // Convert
  std::string problem;  // UsageError: part of the message
};

const ArgumentCase Cases[] = {
    {{"flockchase"}, PicvecAction::Convert, "flockchase.bmp", "flockchase.png", ""},
    {{"out/chart"}, PicvecAction::Convert, "out/chart.bmp", "out/chart.png", ""},
    {{"chart.bmp"}, PicvecAction::Convert, "chart.bmp", "chart.png", ""},
    {{"CHART.BMP"}, PicvecAction::Convert, "CHART.BMP", "CHART.png", ""},
    {{"chart.old"}, PicvecAction::Convert, "chart.old.bmp", "chart.old.png", ""},
    {{"chart.bmp.bmp"}, PicvecAction::Convert, "chart.bmp.bmp", "chart.bmp.png", ""},
    {{"bmp"}, PicvecAction::Convert, "bmp.bmp", "bmp.png", ""},
    {{".bmp"}, PicvecAction::Convert, ".bmp", ".png", ""},
    {{"-"}, PicvecAction::Convert, "-.bmp", "-.png", ""},
    {{"--", "-chart"}, PicvecAction::Convert, "-chart.bmp", "-chart.png", ""},
    {{"--", "--help"}, PicvecAction::Convert, "--help.bmp", "--help.png", ""},
    {{"--help"}, PicvecAction::Help, "", "", ""},
    {{"-h"}, PicvecAction::Help, "", "", ""},
    {{"chart", "--help"}, PicvecAction::Help, "", "", ""},
    {{}, PicvecAction::UsageError, "", "", "missing NAME"},
    {{"--"}, PicvecAction::UsageError, "", "", "missing NAME"},
    {{""}, PicvecAction::UsageError, "", "", "NAME is empty"},
    {{"a", "b"}, PicvecAction::UsageError, "", "", "too many arguments"},
    {{"-x"}, PicvecAction::UsageError, "", "", "unknown option '-x'"},
    {{"--verbose", "chart"}, PicvecAction::UsageError, "", "", "unknown option '--verbose'"},
    {{"--bad\nname"}, PicvecAction::UsageError, "", "", "unknown option '--bad\\nname'"},
    {{"--help", "-h"}, PicvecAction::UsageError, "", "", "-h is given more than once"},
};

TEST(ParseArguments, Table) {
  for (const ArgumentCase& c : Cases) {
    std::string shown;
    for (const auto& a : c.arguments) shown += "[" + a + "]";
    const PicvecInvocation invocation = parse_arguments(c.arguments);
    EXPECT_EQ(invocation.action, c.action) << shown;
    if (c.action == PicvecAction::Convert) {
      EXPECT_EQ(invocation.bmp_path, c.bmp) << shown;
      EXPECT_EQ(invocation.png_path, c.png) << shown;
    }
    if (c.action == PicvecAction::UsageError) {
      EXPECT_NE(invocation.problem.find(c.problem), std::string::npos) << shown << ": " << invocation.problem;
      EXPECT_EQ(invocation.problem.find('\n'), std::string::npos) << shown;
    }
  }
}

TEST(HelpText, StartsWithTheUsageLineAndExplainsTheBmpEnding) {
  const std::string help(help_text());
  EXPECT_EQ(help.rfind(std::string(usage_line()) + "\n", 0), 0u);
  EXPECT_NE(help.find("ends in .bmp"), std::string::npos);
  EXPECT_EQ(help.back(), '\n');
}

TEST(Printable, ControlBytesAndBytesThatAreNotUtf8AreEscaped) {
  EXPECT_EQ(printable("a\nb\rc\x7f" "d\te\x1b"), "a\\nb\\rc\\x7fd\\te\\x1b");
  EXPECT_EQ(printable("grün"), "grün");
  // Latin-1, a C1 control in UTF-8 (U+0085, a line break to some), a lone
  // continuation byte.
  EXPECT_EQ(printable("d\xe9part \xc2\x85 \x80"), "d\\xe9part \\xc2\\x85 \\x80");
}

}  // namespace
