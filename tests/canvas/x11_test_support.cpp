#include "x11_test_support.hpp"

#include "support/drain_pipes.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "canvas/canvas.hpp"
#include "canvas/fonts.hpp"
#include "canvas/primitives.hpp"
#include "canvas/text.hpp"

extern char** environ;

namespace {

std::vector<char*> argument_vector(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  return args;
}

XvfbServer& shared_server() {
  static XvfbServer* server = new XvfbServer;
  return *server;
}

class XvfbEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { shared_server().stop(); }
};

[[maybe_unused]] ::testing::Environment* const xvfb_environment =
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

}  // namespace

std::string XvfbServer::start(const std::string& screen) {
  stop();
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return std::string("pipe: ") + std::strerror(errno);
  // Xvfb writes the display number it chose to descriptor 9 once it accepts
  // connections. It ends with the test process, even one that dies.
  constexpr int ReadyFd = 9;
  const std::vector<std::string> argv{"Xvfb", "-displayfd", std::to_string(ReadyFd), "-screen", "0", screen,
                                      "-nolisten", "tcp", "-noreset"};
  auto args = argument_vector(argv);
  const pid_t parent = getpid();
  pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int null_fd = open("/dev/null", O_RDWR);
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent || null_fd < 0 || dup2(null_fd, 0) < 0 ||
        dup2(null_fd, 1) < 0 || dup2(null_fd, 2) < 0 || dup2(ready[1], ReadyFd) < 0) {
      _exit(126);
    }
    execvp(args[0], args.data());
    _exit(127);
  }
  close(ready[1]);
  if (pid < 0) {
    close(ready[0]);
    pid = -1;
    return std::string("cannot start Xvfb: ") + std::strerror(errno);
  }
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd fd{ready[0], POLLIN, 0};
    if (poll(&fd, 1, 200) <= 0) continue;
    char buffer[32];
    const ssize_t n = read(ready[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, static_cast<std::size_t>(n));
  }
  close(ready[0]);
  if (number.find('\n') == std::string::npos) {
    stop();
    return "Xvfb did not report a display number";
  }
  display = number.substr(0, number.find('\n'));
  display.insert(display.begin(), ':');
  return {};
}

void XvfbServer::stop() {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  pid = -1;
  display.clear();
}

const std::string& shared_test_display() {
  XvfbServer& server = shared_server();
  if (server.pid <= 0) {
    const std::string failure = server.start();
    EXPECT_EQ(failure, "");
  }
  setenv("DISPLAY", server.display.c_str(), 1);
  return server.display;
}

ToolResult run_tool(const std::vector<std::string>& argv, const std::string& input_file) {
  ToolResult result;
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return result;
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input_file.empty() ? "/dev/null" : input_file.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  auto args = argument_vector(argv);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    result.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawned);
    return result;
  }
  drain_pipes(out_pipe[0], err_pipe[0], result.out, result.err);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  return result;
}

std::optional<Raster> parse_ppm(const std::string& ppm) {
  std::size_t at = 0;
  // Header fields separated by white space, comments skipped.
  auto field = [&]() -> std::optional<long> {
    while (at < ppm.size()) {
      if (std::isspace(static_cast<unsigned char>(ppm[at]))) {
        ++at;
      } else if (ppm[at] == '#') {
        while (at < ppm.size() && ppm[at] != '\n') ++at;
      } else {
        break;
      }
    }
    const std::size_t start = at;
    while (at < ppm.size() && std::isdigit(static_cast<unsigned char>(ppm[at]))) ++at;
    if (at == start) return std::nullopt;
    return std::stol(ppm.substr(start, at - start));
  };
  if (ppm.compare(0, 2, "P6") != 0) return std::nullopt;
  at = 2;
  const auto width = field(), height = field(), maxval = field();
  if (!width || !height || !maxval || *maxval != 255 || at >= ppm.size()) return std::nullopt;
  ++at;  // the single white space before the samples
  const std::size_t count = static_cast<std::size_t>(*width) * static_cast<std::size_t>(*height);
  if (ppm.size() - at < 3 * count) return std::nullopt;
  Raster raster = make_raster(static_cast<int>(*width), static_cast<int>(*height), 0);
  for (std::size_t i = 0; i < count; ++i) {
    const auto r = static_cast<unsigned char>(ppm[at + 3 * i]);
    const auto g = static_cast<unsigned char>(ppm[at + 3 * i + 1]);
    const auto b = static_cast<unsigned char>(ppm[at + 3 * i + 2]);
    raster.pixels[i] = Colour{r} | Colour{g} << 8 | Colour{b} << 16;
  }
  return raster;
}

std::optional<Raster> screenshot(unsigned long xid, std::string& why) {
  char name[] = "/tmp/window-shot-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) {
    why = "mkstemp failed";
    return std::nullopt;
  }
  close(fd);
  const ToolResult xwd = run_tool({"xwd", "-id", std::to_string(xid), "-silent", "-out", name});
  std::optional<Raster> raster;
  if (xwd.exit_code != 0) {
    why = "xwd: " + xwd.err;
  } else {
    const ToolResult pnm = run_tool({"xwdtopnm"}, name);
    if (pnm.exit_code != 0) {
      why = "xwdtopnm: " + pnm.err;
    } else {
      raster = parse_ppm(pnm.out);
      if (!raster) why = "xwdtopnm gave no 8-bit PPM";
    }
  }
  unlink(name);
  return raster;
}

std::optional<WindowGeometry> window_geometry(unsigned long xid) {
  const ToolResult info = run_tool({"xwininfo", "-id", std::to_string(xid)});
  if (info.exit_code != 0) return std::nullopt;
  WindowGeometry geometry;
  std::istringstream lines(info.out);
  std::string line;
  int found = 0;
  auto value_of = [](const std::string& text, const char* label, int& value) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return false;
    value = std::atoi(text.c_str() + at + std::strlen(label));
    return true;
  };
  while (std::getline(lines, line)) {
    found += value_of(line, "Absolute upper-left X:", geometry.x);
    found += value_of(line, "Absolute upper-left Y:", geometry.y);
    found += value_of(line, "Width:", geometry.width);
    found += value_of(line, "Height:", geometry.height);
    if (line.find("Map State: IsViewable") != std::string::npos) geometry.viewable = true;
  }
  if (found != 4) return std::nullopt;
  return geometry;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

int thread_count() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(tasks)) {
      if (entry->d_name[0] != '.') ++count;
    }
    closedir(tasks);
  }
  return count;
}

TestConnection::TestConnection() : display(XOpenDisplay(nullptr)) {}

TestConnection::~TestConnection() {
  if (display != nullptr) XCloseDisplay(display);
}

void TestConnection::send_delete_window(unsigned long xid) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = xid;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, xid, False, NoEventMask, &event);
  XSync(display, False);
}

void TestConnection::send_key(unsigned long xid, unsigned long keysym, unsigned int state) {
  XEvent event{};
  event.xkey.type = KeyPress;
  event.xkey.display = display;
  event.xkey.window = xid;
  event.xkey.root = DefaultRootWindow(display);
  event.xkey.subwindow = None;
  event.xkey.time = CurrentTime;
  event.xkey.same_screen = True;
  event.xkey.state = state;
  event.xkey.keycode = XKeysymToKeycode(display, keysym);
  XSendEvent(display, xid, False, KeyPressMask, &event);
  XSync(display, False);
}

void TestConnection::send_click(unsigned long xid, int x, int y, Time time) {
  XEvent event{};
  event.xbutton.type = ButtonPress;
  event.xbutton.display = display;
  event.xbutton.window = xid;
  event.xbutton.root = DefaultRootWindow(display);
  event.xbutton.time = time;
  event.xbutton.x = x;
  event.xbutton.y = y;
  event.xbutton.button = Button1;
  event.xbutton.same_screen = True;
  XSendEvent(display, xid, False, ButtonPressMask, &event);
  XSync(display, False);
}

std::optional<std::string> TestConnection::string_property(unsigned long xid, const char* name, const char* type) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<std::string> value;
  if (XGetWindowProperty(display, xid, XInternAtom(display, name, False), 0, 65536, False,
                         XInternAtom(display, type, False), &actual, &format, &count, &after, &data) == Success &&
      actual != None && format == 8) {
    value = std::string(reinterpret_cast<const char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  return value;
}

std::optional<std::vector<long>> TestConnection::long_property(unsigned long xid, const char* name) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<std::vector<long>> value;
  if (XGetWindowProperty(display, xid, XInternAtom(display, name, False), 0, 65536, False, AnyPropertyType, &actual,
                         &format, &count, &after, &data) == Success &&
      actual != None && format == 32) {
    const long* longs = reinterpret_cast<const long*>(data);
    value = std::vector<long>(longs, longs + count);
  }
  if (data != nullptr) XFree(data);
  return value;
}

std::string first_difference(const Raster& a, const Raster& b) {
  if (a.width != b.width || a.height != b.height) {
    return "sizes " + std::to_string(a.width) + "x" + std::to_string(a.height) + " and " + std::to_string(b.width) +
           "x" + std::to_string(b.height);
  }
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      if (a.at(x, y) != b.at(x, y)) {
        std::ostringstream text;
        text << "pixel (" << x << ", " << y << "): " << std::hex << a.at(x, y) << " and " << b.at(x, y);
        return text.str();
      }
    }
  }
  return {};
}

void draw_test_chart(int width, int height) {
  constexpr int White = 0xFFFFFF, Black = 0, Grey = 0x808080, Blue = 0xC00000;
  const int left = 50, top = 10, right = width - 10, bottom = height - 30;
  canvas_set_background(White);
  canvas_clear(White, 0);
  canvas_set_foreground(Black);
  canvas_box(static_cast<float>(left), static_cast<float>(top), static_cast<float>(right),
             static_cast<float>(bottom), 0, Black, -2, 0);
  for (int i = 0; i <= 10; ++i) {
    const int x = left + (right - 1 - left) * i / 10;
    canvas_move_to(x, bottom - 1);
    canvas_line_to(x, bottom - 6, Black);
    canvas_move_to(x, top);
    canvas_line_to(x, top + 5, Black);
  }
  canvas_set_style(2);
  const int middle = (top + bottom) / 2;
  canvas_move_to(left + 1, middle);
  canvas_line_to(right - 1, middle, Grey);
  canvas_set_style(0);

  canvas_set_font(font_new("MS Sans Serif", 14, 1, 0, 0, 0));
  canvas_move_to(left - 8, bottom + 4);
  canvas_print("0");
  const TextSize one = canvas_text_size("1");
  canvas_move_to(right - 1 - one.width / 2, bottom + 4);
  canvas_print("1");
  canvas_set_font(font_new("symbol", 18, 1, 2, 0, 0));
  canvas_move_to(left - 30, middle - 12);
  canvas_print("l");

  canvas_move_to(left + 1, middle);
  for (int x = left + 1; x < right - 1; ++x) {
    const double t = static_cast<double>(x - left) / (right - left);
    const double y = middle - (middle - top - 10) * std::sin(6.2831853 * 1.5 * t) * std::exp(-1.2 * t);
    canvas_line_to(x, std::round(y), Blue);
  }
}
