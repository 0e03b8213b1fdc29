#include "runtime/console_window.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "runtime/console.hpp"
#include "runtime/runtime_state.hpp"
#include "runtime/terminal_screen.hpp"

namespace {

constexpr int SearchDepth = 4;

// Errors on our own short-lived connection (a window that has gone, focus
// refused) are expected and ignored; any other connection's errors go to the
// handler that was there before.
Display* own_display = nullptr;
XErrorHandler previous_handler = nullptr;

int on_error(Display* display, XErrorEvent* event) {
  if (display == own_display) return 0;
  return previous_handler != nullptr ? previous_handler(display, event) : 0;
}

struct Connection {
  Display* display;
  Connection() : display(XOpenDisplay(nullptr)) {
    if (display != nullptr) {
      own_display = display;
      previous_handler = XSetErrorHandler(&on_error);
    }
  }
  ~Connection() {
    if (display != nullptr) {
      XSync(display, False);
      XSetErrorHandler(previous_handler);
      own_display = nullptr;
      XCloseDisplay(display);
    }
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
};

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::optional<std::string> text_property(Display* d, Window w, Atom property, Atom type) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<std::string> result;
  if (XGetWindowProperty(d, w, property, 0, 4096, False, type, &actual, &format, &count, &after, &data) ==
          Success &&
      data != nullptr && actual != None && format == 8) {
    result = std::string(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  return result;
}

bool has_name(Display* d, Window w, const std::string& name) {
  Atom net_name = XInternAtom(d, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  if (auto n = text_property(d, w, net_name, utf8)) return *n == name;
  if (auto n = text_property(d, w, XA_WM_NAME, AnyPropertyType)) return *n == name;
  return false;
}

Window find_named(Display* d, Window w, const std::string& name, int depth) {
  if (depth > 0 && has_name(d, w, name)) return w;
  if (depth == SearchDepth) return 0;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  // Children come bottom first; the top ones are the likelier match.
  for (unsigned int i = count; i > 0 && found == 0; --i) found = find_named(d, children[i - 1], name, depth + 1);
  if (children != nullptr) XFree(children);
  return found;
}

bool exists(Display* d, Window w) {
  XWindowAttributes attributes;
  return w != 0 && XGetWindowAttributes(d, w, &attributes) != 0;
}

// The client's top-level window that holds `w`: the first ancestor that the
// window manager marked with WM_STATE, else the one just below the root.
Window top_level(Display* d, Window w) {
  Atom wm_state = XInternAtom(d, "WM_STATE", False);
  for (int guard = 0; guard < 64; ++guard) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, w, wm_state, 0, 0, False, AnyPropertyType, &type, &format, &count, &after, &data);
    if (data != nullptr) XFree(data);
    if (type != None) return w;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
    if (children != nullptr) XFree(children);
    if (parent == root || parent == 0) return w;
    w = parent;
  }
  return w;
}

Window window_from_environment(Display* d) {
  const char* id = std::getenv("WINDOWID");
  if (id == nullptr || *id == 0) return 0;
  char* end = nullptr;
  unsigned long value = std::strtoul(id, &end, 10);
  if (*end != 0 || !exists(d, value)) return 0;
  return top_level(d, value);
}

// Makes the terminal show a title nobody else has for a moment and looks for
// the window that carries it.
Window window_by_title(Display* d) {
  const Text title = console_get_title();
  const Text probe = title + std::string(13, ' ');
  console_set_title(probe);
  pause_ms(200);
  Window found = find_named(d, DefaultRootWindow(d), printable_title(probe), 0);
  console_set_title(title);
  return found != 0 ? top_level(d, found) : 0;
}

Window find_console_window(Display* d) {
  RuntimeState& state = runtime_state();
  if (state.console_window != 0) return state.console_window;
  if (console_screen().is_stream()) return 0;
  Window w = window_from_environment(d);
  if (w == 0) w = window_by_title(d);
  state.console_window = w;
  return w;
}

bool supports(Display* d, const char* hint) {
  Atom supported = XInternAtom(d, "_NET_SUPPORTED", False);
  Atom wanted = XInternAtom(d, hint, False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found = false;
  if (XGetWindowProperty(d, DefaultRootWindow(d), supported, 0, 4096, False, XA_ATOM, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr && format == 32) {
    const Atom* atoms = reinterpret_cast<const Atom*>(data);
    for (unsigned long i = 0; i < count && !found; ++i) found = atoms[i] == wanted;
  }
  if (data != nullptr) XFree(data);
  return found;
}

}  // namespace

unsigned long console_window() {
  Connection c;
  if (c.display == nullptr) return 0;
  return find_console_window(c.display);
}

void console_move_window(int x, int y) {
  Connection c;
  if (c.display == nullptr) return;
  Window w = find_console_window(c.display);
  if (w == 0) return;
  XMoveWindow(c.display, w, x, y);
}

void console_to_front() {
  Connection c;
  if (c.display == nullptr) return;
  Window w = find_console_window(c.display);
  if (w == 0) return;
  pause_ms(100);
  if (supports(c.display, "_NET_ACTIVE_WINDOW")) {
    // With a window manager, ask it: it owns stacking and focus.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom(c.display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // request from an application
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(c.display, DefaultRootWindow(c.display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
  } else {
    XRaiseWindow(c.display, w);
    XSetInputFocus(c.display, w, RevertToParent, CurrentTime);
  }
}

DesktopSize desktop_size() {
  Connection c;
  if (c.display == nullptr) return {0, 0};
  const int screen = DefaultScreen(c.display);
  return {DisplayWidth(c.display, screen), DisplayHeight(c.display, screen)};
}
