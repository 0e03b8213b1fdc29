// Splitting a sweep into segments for machines that run them apart (a
// batch scheduler's job array, GNU parallel): segment I of K is the I-th of
// K contiguous, nearly equal groups of the columns a run selects, right to
// left as the sweep goes. Every segment starts again from the initial
// state at its first column.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Segment {
  int index = 1;  // I, 1 to count
  int count = 1;  // K
};

// "I/K" with 1 <= I <= K <= 799; none otherwise.
std::optional<Segment> parse_segment(const std::string& text);
// "I-K", as the segment's files carry it: NAME.segI-K.csv.
std::string segment_tag(const Segment& segment);

// The columns of segment I of K among `columns` (right to left): elements
// floor((I - 1) n / K) to floor(I n / K) - 1 of the n columns. Empty when
// there are fewer columns than segments.
std::vector<std::int32_t> segment_columns(const std::vector<std::int32_t>& columns, const Segment& segment);
