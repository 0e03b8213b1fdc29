// The controlling terminal's input mode: raw, unechoed, no signal keys while
// the program runs; the saved settings are put back on every way out.
#pragma once

// Switches a terminal standard input to raw mode (no-op otherwise) and
// installs the handlers that restore it on SIGTERM and SIGHUP.
void terminal_enter_raw_mode();
// Puts back the saved settings and writes the output reset bytes. Safe to
// call from a signal handler and more than once.
void terminal_restore();
// Bytes written to standard output by terminal_restore (for instance to show
// the cursor again and reset colours); at most 63 bytes are kept.
void terminal_set_reset_bytes(const char* bytes);
