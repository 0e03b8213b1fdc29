// Xlib's error handlers are process-wide. A window thread must neither die
// of a protocol error (focus refused because a window manager unmapped the
// window a moment ago) nor let a lost display connection end the process in
// the middle of a run; other connections keep the handling they had.
#pragma once

#include <cstdint>

// Installs the handlers once per process; call before the first window
// thread starts, on the thread that also makes other connections.
void x11_install_error_handlers();

// Marks the calling thread as a window thread: its protocol errors are
// counted, not fatal, and losing its connection is left to the thread.
void x11_mark_window_thread();

// Protocol errors seen so far on the calling window thread.
std::uint64_t x11_thread_errors();
