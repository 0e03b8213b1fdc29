// What the plotter's process tests share: results files of known values,
// flockchase-plot run in a folder, and SVG markers counted by colour.
#pragma once

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/files/results_file.hpp"
#include "process_support.hpp"
#include "tools/plot/palette.hpp"

namespace fs = std::filesystem;

inline const std::string Header =
    "column,damping,exponent,spread,mean_divergence,end,passes,measured_passes,seconds,standard_error,blocks\n";

// Known values: a filled point with a bar of 0.3 to 0.7, a filled point with
// a bar of -0.35 to -0.15, a hollow point without standard error.
inline const std::string Known = Header +
                          "250,0.25,0.5,0.001,-12.6,converged,90000,89000,5.000,0.2,89\n"
                          "450,0.5,-0.25,0.001,-24,time_limit,90000,50000,100.000,0.1,50\n"
                          "650,0.75,1,0.001,-36,coinciding,9000,1500,1.000,,1\n";

// One column of each kind the plot tells apart, and the values it must
// survive: a NaN exponent (not drawn), an infinite standard error (hollow,
// no bar), no standard error (hollow), no measurement (a cross, no bar).
inline const std::string Mixed = Header +
                          "849,0.9,0.5,0.001,-40,converged,5000,4000,1.000,0.1,4\n"
                          "800,0.8,nan,0.001,-40,converged,5000,4000,1.000,0.1,4\n"
                          "700,0.7,-0.3,0.001,-40,time_limit,5000,4000,1.000,inf,4\n"
                          "600,0.6,0.2,0.001,-40,coinciding,5000,4000,1.000,,1\n"
                          "550,0.55,0.3,0.001,-40,iteration_ceiling,5000,2000,1.000,0.02,2\n"
                          "500,0.5,0.4,0.001,-40,time_limit,5000,0,1.000,0.3,0\n"
                          "400,0.4,0.1,0.001,-40,pass_limit,5000,3000,1.000,0.05,3\n"
                          "350,0.35,0.6,0.001,-40,stalled,5000,3000,1.000,0.05,3\n";
inline constexpr int MixedDrawn = 7;
inline constexpr int MixedBars = 4;

// A results file of the current extended layout (53 fields), its lines
// written by the program's own writer.
inline std::string extended_file(const std::vector<ColumnResult>& columns) {
  std::string text = std::string(ExtendedResultsHeader) + "\n";
  for (const ColumnResult& column : columns) text += results_line(column, ResultsLayout::Extended) + "\n";
  return text;
}

// A measured --flow column of the extended layout at `damping`.
inline ColumnResult flow_column(int column, double damping, double exponent, double standard_error) {
  ColumnResult c;
  c.column = column;
  c.damping = damping;
  c.exponent = exponent;
  c.spread = 0.001L;
  c.mean_divergence = -20;
  c.end = ColumnEnd::PassLimit;
  c.passes = 50000;
  c.measured_passes = 40000;
  c.seconds = 2;
  c.standard_error = standard_error;
  c.blocks = 40;
  c.regime = ColumnRegime::Chaotic;
  c.captures = 0;
  c.chaotic_time = 400;
  c.capture_rate = 0;
  c.integrator = "dopri5";
  c.tolerance = 1e-8L;
  c.steps = 60000;
  c.rejected_steps = 100;
  c.laminar_phases = 0;
  return c;
}

inline void write_text(const fs::path& path, const std::string& text) {
  write_file(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

inline std::string read_text(const fs::path& path) {
  const std::vector<std::uint8_t> bytes = read_file(path);
  return std::string(bytes.begin(), bytes.end());
}

inline ProcessResult run_plot(const std::vector<std::string>& arguments, const fs::path& directory) {
  std::vector<std::string> argv{PLOT_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run_process(argv, SpawnOptions{directory});
}

// The number of SVG path elements drawn in `colour`, as Cairo writes colours:
// rgb(R%,G%,B%).
inline int svg_paths_in(const std::string& svg, Rgb colour) {
  int count = 0;
  for (std::size_t at = svg.find("<path"); at != std::string::npos; at = svg.find("<path", at + 1)) {
    const std::string element = svg.substr(at, svg.find('>', at) - at);
    // A hollow marker is one element with a white fill and a coloured stroke.
    bool in_colour = false;
    for (std::size_t rgb = element.find(":rgb("); rgb != std::string::npos; rgb = element.find(":rgb(", rgb + 1)) {
      double r = -1, g = -1, b = -1;
      if (std::sscanf(element.c_str() + rgb, ":rgb(%lf%%,%lf%%,%lf%%)", &r, &g, &b) != 3) continue;
      in_colour = in_colour || (std::abs(r / 100 - colour.r) < 0.005 && std::abs(g / 100 - colour.g) < 0.005 &&
                                std::abs(b / 100 - colour.b) < 0.005);
    }
    count += in_colour;
  }
  return count;
}
