// The named colours of the canvas and its colour arguments.
#pragma once

#include <cstdint>

#include "canvas/raster.hpp"

// System colours standing for the window-text and 3-D face colours.
constexpr Colour WindowTextColour = 0x000000;
constexpr Colour ButtonFaceColour = 0xF0F0F0;

// Colour arguments: the canvas's default for that slot, or none.
constexpr std::int32_t DefaultColour = -1;
constexpr std::int32_t NoColour = -2;
