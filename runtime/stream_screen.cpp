#include "runtime/stream_screen.hpp"

#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>

#include "runtime/code_page_437.hpp"

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {  // someone made the descriptor non-blocking
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, -1);
        continue;
      }
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Wide enough that no line ever wraps; one row, so a new line scrolls.
CellSize StreamScreen::size() { return {INT_MAX, 1}; }

void StreamScreen::write_cells(CellPosition, std::string_view bytes, std::uint8_t) {
  write_all(fd_, cp437_to_utf8(bytes));
}

void StreamScreen::scroll_up(std::uint8_t) { write_all(fd_, "\n"); }
