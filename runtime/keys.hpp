// Keys pressed on the console. Key results: "" for no key, one byte for a
// key with a character (Esc is 27), or a zero byte followed by the scan code
// for keys without a character and for Alt with a letter (F1 gives 0, 0x3B).
#pragma once

#include "runtime/cell_screen.hpp"
#include "runtime/text.hpp"

// A key pressed and not yet read, without waiting; "" when there is none or
// when standard input is not a terminal.
Text key_poll();
// The next key, waiting for it. Returns "" at once when standard input is not
// a terminal or has ended, since no key can come then.
Text key_wait();

// Keys come from standard input when it is a terminal: a thread reads what
// the terminal sends, one burst at a time, so that an Esc on its own is told
// apart from the start of an escape sequence.
//
// Tests feed the keys themselves: key_input_use_fake() empties the queue and
// stops the use of standard input (false: back to it); key_input_feed()
// decodes bytes as if the terminal had sent them at once; key_input_end()
// acts as the end of input.
void key_input_use_fake(bool fake = true);
void key_input_feed(std::string_view bytes);
void key_input_end();

// Waits up to `timeout_ms` for the terminal's answer to a cursor position
// query (ESC [ 6 n, sent by the caller after this was armed with
// key_input_expect_cursor_report). Returns false when none came; a late
// answer is then still kept out of the keys.
void key_input_expect_cursor_report();
bool key_input_cursor_report(int timeout_ms, CellPosition& position);
