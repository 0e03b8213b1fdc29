// Moving and raising the terminal's window, on a real X server (Xvfb) with
// windows the test makes to stand in for a terminal's.
#include "runtime/console_window.hpp"

// Before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "runtime/console.hpp"
#include "runtime/memory_screen.hpp"
#include "runtime/runtime_state.hpp"
#include "runtime/stream_screen.hpp"

extern char** environ;

namespace {

// An Xvfb of its own for this test program, on a display number it picks.
class XServer {
 public:
  XServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                          "-noreset", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (pid_ != 0 && poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
};

XServer& server() {
  static XServer s;  // stopped when the test program ends
  return s;
}

struct Geometry {
  int x, y;
};

class ConsoleWindow : public ::testing::Test {
 protected:
  Display* d = nullptr;
  MemoryScreen screen{80, 24};
  // A top-level window with a child, as a terminal emulator has (WINDOWID
  // names the child).
  Window top = 0;
  Window inner = 0;

  void SetUp() override {
    ASSERT_FALSE(server().display().empty()) << "Xvfb did not start";
    setenv("DISPLAY", server().display().c_str(), 1);
    unsetenv("WINDOWID");
    d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    top = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 300, 200, 0, 0, 0);
    inner = XCreateSimpleWindow(d, top, 0, 0, 300, 200, 0, 0, 0);
    XMapWindow(d, inner);
    XMapWindow(d, top);
    XSync(d, False);
    runtime_state().console_window = 0;
    console_install(&screen);
  }
  void TearDown() override {
    console_install(nullptr);
    runtime_state().console_window = 0;
    unsetenv("WINDOWID");
    if (d != nullptr) {
      XDestroyWindow(d, top);
      XCloseDisplay(d);
    }
  }
  // Titles the console sets show on the window, as a terminal does.
  void titles_show_on(Window w) {
    screen.on_title = [this, w](std::string_view title) {
      const std::string t(title);
      XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                      PropModeReplace, reinterpret_cast<const unsigned char*>(t.data()), static_cast<int>(t.size()));
      XStoreName(d, w, t.c_str());
      XSync(d, False);
    };
  }
  Geometry position(Window w) {
    XSync(d, False);
    Window root;
    int x, y;
    unsigned int width, height, border, depth;
    XGetGeometry(d, w, &root, &x, &y, &width, &height, &border, &depth);
    return {x, y};
  }
};

TEST_F(ConsoleWindow, DesktopSizeIsTheScreen) {
  const DesktopSize size = desktop_size();
  EXPECT_EQ(size.width, 1280);
  EXPECT_EQ(size.height, 1024);
}

TEST_F(ConsoleWindow, WindowIdNamesTheTerminal) {
  setenv("WINDOWID", std::to_string(inner).c_str(), 1);
  console_move_window(856, 0);
  const Geometry g = position(top);
  EXPECT_EQ(g.x, 856);
  EXPECT_EQ(g.y, 0);
  EXPECT_EQ(runtime_state().console_window, top);
  EXPECT_TRUE(screen.titles().empty());  // no title juggling needed
}

TEST_F(ConsoleWindow, FoundByItsTitle) {
  titles_show_on(top);
  console_set_title("flock");
  console_move_window(120, 45);
  const Geometry g = position(top);
  EXPECT_EQ(g.x, 120);
  EXPECT_EQ(g.y, 45);
  const std::vector<std::string> expected = {"flock", "flock             ", "flock"};
  EXPECT_EQ(screen.titles(), expected);
  // Kept: the second call needs no search.
  console_move_window(30, 40);
  EXPECT_EQ(screen.titles().size(), 3u);
  EXPECT_EQ(position(top).x, 30);
}

TEST_F(ConsoleWindow, StaleWindowIdFallsBackToTheTitle) {
  setenv("WINDOWID", "4194303", 1);  // no such window
  titles_show_on(top);
  console_move_window(70, 80);
  const Geometry g = position(top);
  EXPECT_EQ(g.x, 70);
  EXPECT_EQ(g.y, 80);
}

TEST_F(ConsoleWindow, NotFoundHasNoEffect) {
  console_set_title("flock");
  EXPECT_EQ(console_window(), 0u);
  console_move_window(500, 500);
  console_to_front();
  EXPECT_EQ(position(top).x, 10);
  EXPECT_EQ(console_get_title(), "flock");
  EXPECT_EQ(screen.titles().back(), "flock");  // the title is put back
  EXPECT_EQ(runtime_state().console_window, 0u);
}

TEST_F(ConsoleWindow, ToFrontRaisesAndFocuses) {
  Window other = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 400, 400, 0, 0, 0);
  XMapWindow(d, other);
  XSync(d, False);
  setenv("WINDOWID", std::to_string(inner).c_str(), 1);
  console_to_front();
  XSync(d, False);
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  ASSERT_TRUE(XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count));
  ASSERT_GT(count, 0u);
  EXPECT_EQ(children[count - 1], top);  // top of the stack
  XFree(children);
  Window focus;
  int revert;
  XGetInputFocus(d, &focus, &revert);
  EXPECT_EQ(focus, top);
  XDestroyWindow(d, other);
}

TEST_F(ConsoleWindow, StreamHasNoWindow) {
  StreamScreen stream(STDOUT_FILENO);
  console_install(&stream);
  setenv("WINDOWID", std::to_string(inner).c_str(), 1);
  EXPECT_EQ(console_window(), 0u);
  console_move_window(600, 600);
  EXPECT_EQ(position(top).x, 10);
}

TEST_F(ConsoleWindow, NoDisplayHasNoEffect) {
  unsetenv("DISPLAY");
  titles_show_on(top);
  console_move_window(600, 600);
  console_to_front();
  const DesktopSize size = desktop_size();
  EXPECT_EQ(size.width, 0);
  EXPECT_EQ(size.height, 0);
  EXPECT_TRUE(screen.titles().empty());  // not even a title search
  EXPECT_EQ(position(top).x, 10);
}

}  // namespace
