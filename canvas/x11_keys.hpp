// Keys pressed in a graphic window, as the canvas keeps them: the character
// typed, or for function, cursor and keypad keys their scan code in the high
// byte (F1 is 0x3B00, cursor up 0x4800).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The last-key value of a key press with keysym `keysym`, the characters it
// types (as XLookupString gives them, ISO 8859-1) and whether Alt is held;
// none when the press leaves the last key as it was (Tab, Alt with anything
// but F10, modifiers, keys that type nothing).
std::optional<std::uint16_t> canvas_key_from_x11(unsigned long keysym, std::string_view typed, bool alt);
