#include "runtime/keys.hpp"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <poll.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "runtime/key_decoder.hpp"
#include "runtime/runtime_state.hpp"

namespace {

// How long the rest of an escape sequence may take after its first bytes.
constexpr int SequenceGapMs = 30;

struct KeyInput {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Text> keys;
  bool ended = false;
  bool fake = false;
  bool reader_started = false;
  int reports_awaited = 0;
  bool have_report = false;
  CellPosition report{0, 0};
};

// Never freed: the reader thread may still be blocked in read() at exit.
KeyInput& input() {
  static KeyInput* state = new KeyInput;
  return *state;
}

bool wait_readable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    int n = poll(&p, 1, timeout_ms);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

// One read of whatever the terminal has sent; false at the end of input.
bool read_some(int fd, std::string& chunk) {
  char buffer[256];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      chunk.append(buffer, static_cast<std::size_t>(n));
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {  // someone made the descriptor non-blocking
      wait_readable(fd, -1);
      continue;
    }
    return false;
  }
}

void read_terminal() {
  for (;;) {
    std::string chunk;
    if (!read_some(STDIN_FILENO, chunk)) break;
    while (key_input_incomplete(chunk) && wait_readable(STDIN_FILENO, SequenceGapMs)) {
      if (!read_some(STDIN_FILENO, chunk)) break;
    }
    key_input_feed(chunk);
  }
  key_input_end();
}

// Whether keys can come at all; starts the reader on first need.
bool keys_available(KeyInput& k) {
  std::lock_guard<std::mutex> lock(k.mutex);
  if (k.fake) return true;
  if (!runtime_state().stdin_is_terminal) return false;
  if (!k.reader_started) {
    k.reader_started = true;
    try {
      std::thread(read_terminal).detach();
    } catch (const std::system_error&) {
      k.ended = true;  // no reader: no key will come, and nothing waits for one
    }
  }
  return true;
}

}  // namespace

void key_input_use_fake(bool fake) {
  KeyInput& k = input();
  std::lock_guard<std::mutex> lock(k.mutex);
  k.fake = fake;
  k.keys.clear();
  k.ended = false;
  k.reports_awaited = 0;
  k.have_report = false;
}

void key_input_feed(std::string_view bytes) {
  KeyInput& k = input();
  std::vector<KeyInputItem> items = decode_key_input(bytes);
  {
    std::lock_guard<std::mutex> lock(k.mutex);
    for (KeyInputItem& item : items) {
      if (item.cursor_report && k.reports_awaited > 0) {
        --k.reports_awaited;
        k.have_report = true;
        k.report = {item.column - 1, item.row - 1};
      } else {
        k.keys.push_back(std::move(item.key));
      }
    }
  }
  k.changed.notify_all();
}

void key_input_end() {
  KeyInput& k = input();
  {
    std::lock_guard<std::mutex> lock(k.mutex);
    k.ended = true;
  }
  k.changed.notify_all();
}

Text key_poll() {
  KeyInput& k = input();
  if (!keys_available(k)) return Text();
  std::lock_guard<std::mutex> lock(k.mutex);
  if (k.keys.empty()) return Text();
  Text key = std::move(k.keys.front());
  k.keys.pop_front();
  return key;
}

Text key_wait() {
  KeyInput& k = input();
  if (!keys_available(k)) return Text();
  std::unique_lock<std::mutex> lock(k.mutex);
  k.changed.wait(lock, [&] { return !k.keys.empty() || k.ended; });
  if (k.keys.empty()) return Text();
  Text key = std::move(k.keys.front());
  k.keys.pop_front();
  return key;
}

void key_input_expect_cursor_report() {
  KeyInput& k = input();
  if (!keys_available(k)) return;
  std::lock_guard<std::mutex> lock(k.mutex);
  ++k.reports_awaited;
  k.have_report = false;
}

bool key_input_cursor_report(int timeout_ms, CellPosition& position) {
  KeyInput& k = input();
  if (!keys_available(k)) return false;
  std::unique_lock<std::mutex> lock(k.mutex);
  const bool got = k.changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                      [&] { return k.have_report || k.ended; });
  if (!got || !k.have_report) return false;
  k.have_report = false;
  position = k.report;
  return true;
}
