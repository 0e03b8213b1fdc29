// The line after a report line that says a column's spectrum failed a check.
#include <gtest/gtest.h>

#include "app/frame/column_output.hpp"

namespace {

TEST(CertificateLine, SaysWhichCheckFailed) {
  struct Case {
    const char* certificate;
    bool spectrum;
    const char* line;  // none when null
  } cases[] = {
      {"ok", true, nullptr},
      {"unchecked", true, nullptr},
      {"", false, nullptr},
      {"sum", true, "  spectrum certificate failed: the exponents' sum misses the trace -19.7251 by 5e-05"},
      {"zeros", true, "  spectrum certificate failed: 3 exponents within three errors of zero, 4 expected"},
      {"sum+zeros", true,
       "  spectrum certificate failed: the exponents' sum misses the trace -19.7251 by 5e-05; 3 exponents within "
       "three errors of zero, 4 expected"},
  };
  for (const Case& c : cases) {
    ColumnResult r;
    r.spectrum_certificate = c.certificate;
    if (c.spectrum) {
      SpectrumLine s;
      s.sum = -19.725L;
      s.trace = -19.72505L;
      s.zero_exponents = 3;
      s.certificate = c.certificate;
      r.spectrum = s;
    }
    const std::optional<Text> line = CertificateLine(r);
    if (!c.line) {
      EXPECT_FALSE(line) << c.certificate;
    } else {
      ASSERT_TRUE(line) << c.certificate;
      EXPECT_EQ(*line, c.line);
    }
  }
}

}  // namespace
