// The checkpoint written after every column, from which --resume continues a
// stopped sweep: the state that the next column starts from, exactly.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/measure/parameters.hpp"
#include "runtime/real.hpp"

struct Checkpoint {
  std::string options;            // the options that decide the results
  std::int32_t column = 0;        // the last finished column
  std::int32_t row = 0;           // its curve point
  std::int32_t results_lines = 0; // columns in the results file
  std::uint32_t results_crc = 0;  // CRC-32 of the results file up to them, header included
  // An ensemble run's members file: its member lines and their CRC-32,
  // header included. None for a run without one.
  std::optional<std::int32_t> members_lines;
  std::uint32_t members_crc = 0;
  // A --spectrum run's spectrum file: its column lines and their CRC-32,
  // header included. None for a run without one.
  std::optional<std::int32_t> spectrum_lines;
  std::uint32_t spectrum_crc = 0;
  bool first_point = true;
  std::uint32_t random_state = 0;
  std::uint32_t random_last = 0;
  Real exponent = 0;
  Real mean_divergence = 0;
  Real spread = 0;
  std::array<Real, StateSize + 1> ref_state{};  // element 0 unused
};

// The most a checkpoint is read of; one is a few kilobytes.
constexpr std::size_t CheckpointLimit = 1u << 20;

// The text ends with a CRC-32 of all before it, so that a damaged
// checkpoint is refused rather than resumed into other results.
std::string checkpoint_text(const Checkpoint& checkpoint);
std::optional<Checkpoint> parse_checkpoint(std::string_view text, std::string& error);

// Written to a temporary file and renamed, so a checkpoint is whole or absent.
bool write_checkpoint(const std::string& path, const Checkpoint& checkpoint, std::string& error);
std::optional<Checkpoint> read_checkpoint(const std::string& path, std::string& error);
