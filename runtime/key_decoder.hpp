// Turns the bytes a terminal sends for key presses into key results: "" for
// no key, one byte for a key with a character, or a zero byte followed by the
// PC scan code for keys without a character (function keys, cursor keys) and
// for Alt with a letter.
#pragma once

#include <string_view>
#include <vector>

#include "runtime/text.hpp"

struct KeyInputItem {
  Text key;
  // ESC [ row ; column R is either a cursor position report (the answer to
  // ESC [ 6 n) or F3 with a modifier; `key` holds F3 and the receiver decides.
  bool cursor_report = false;
  int row = 0;
  int column = 0;
};

// PC scan codes of the keys a terminal can report.
namespace scan_code {
constexpr unsigned char F1 = 0x3B, F2 = 0x3C, F3 = 0x3D, F4 = 0x3E, F5 = 0x3F, F6 = 0x40, F7 = 0x41,
                        F8 = 0x42, F9 = 0x43, F10 = 0x44, F11 = 0x85, F12 = 0x86;
constexpr unsigned char Home = 0x47, Up = 0x48, PageUp = 0x49, Left = 0x4B, Centre = 0x4C, Right = 0x4D,
                        End = 0x4F, Down = 0x50, PageDown = 0x51, Insert = 0x52, Delete = 0x53;
}  // namespace scan_code

// The key result "\0" + code.
Text scan_key(unsigned char code);
// The scan code of the letter key for a-z or A-Z; 0 for other bytes.
unsigned char letter_scan_code(unsigned char letter);

// Decodes a chunk of input, the bytes the terminal sent at one time. Escape
// sequences are complete within a chunk: an Esc at its end is the Esc key,
// Esc followed by a letter is Alt with that letter. Characters arrive as
// UTF-8 and become bytes of code page 437; characters it lacks are dropped,
// as are sequences that stand for no key.
std::vector<KeyInputItem> decode_key_input(std::string_view chunk);

// Whether `chunk` ends inside an escape sequence or a UTF-8 character, so
// that the rest of it may still be on its way.
bool key_input_incomplete(std::string_view chunk);
