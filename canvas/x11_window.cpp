#include "canvas/x11_window.hpp"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "canvas/window_input.hpp"
#include "canvas/window_style.hpp"
#include "canvas/x11_create.hpp"
#include "canvas/x11_errors.hpp"
#include "canvas/x11_keys.hpp"
#include "canvas/xlib.hpp"
#include "runtime/printable.hpp"

namespace {

// What drawing threads share with a window thread. Held by shared_ptr so
// that a repaint hook fetched just before the window went away still finds
// it, sees that it has ended and returns.
struct WindowLink {
  std::mutex mutex;
  std::condition_variable painted_changed;
  std::uint64_t requested = 0;  // repaints asked for so far
  std::uint64_t painted = 0;    // the newest request whose paint is on the screen
  bool ended = false;           // no more paints: waiting is over
  int wake_fd = -1;             // eventfd polled by the window thread; written only while not ended
  unsigned long xid = 0;
};

struct LinkTable {
  std::mutex mutex;
  std::map<WindowHandle, std::shared_ptr<WindowLink>> links;
};

// Never destroyed: window threads run on while the process ends.
LinkTable& link_table() {
  static LinkTable* table = new LinkTable;
  return *table;
}

std::shared_ptr<WindowLink> find_link(WindowHandle window) {
  LinkTable& table = link_table();
  std::lock_guard<std::mutex> guard(table.mutex);
  auto found = table.links.find(window);
  return found != table.links.end() ? found->second : nullptr;
}

// The canvas's repaint hook, on the drawing thread: ask the window thread
// for a paint and wait until it has put the surface on the screen.
void repaint_window(void* context) {
  std::shared_ptr<WindowLink> link = find_link(reinterpret_cast<WindowHandle>(context));
  if (!link) return;
  std::unique_lock<std::mutex> lock(link->mutex);
  if (link->ended) return;
  const std::uint64_t ticket = ++link->requested;
  const std::uint64_t one = 1;
  // Fails only when the counter is near overflow, and then it is already set.
  [[maybe_unused]] const ssize_t written = write(link->wake_fd, &one, sizeof one);
  link->painted_changed.wait(lock, [&] { return link->ended || link->painted >= ticket; });
}

void on_connection_lost(Display*, void* lost) { *static_cast<bool*>(lost) = true; }

struct WindowThread {
  WindowHandle handle = 0;
  std::string display_name;
  X11Window x;
  std::shared_ptr<WindowLink> link;
  bool lost = false;       // the connection broke: no more Xlib calls but freeing
  bool closing = false;    // the window is to go
  bool destroyed = false;  // someone else destroyed the X window
  bool need_paint = false;
  bool focused = false;
  ClickTracker clicks;
};

void give_focus(WindowThread& t, Time time) {
  XSetInputFocus(t.x.display, t.x.window, RevertToParent, time);
}

void on_key(WindowThread& t, XKeyEvent& event) {
  char typed[8];
  KeySym keysym = NoSymbol;
  const int length = XLookupString(&event, typed, sizeof typed, &keysym, nullptr);
  const std::string_view text(typed, length > 0 ? static_cast<std::size_t>(length) : 0);
  if (auto key = canvas_key_from_x11(keysym, text, (event.state & Mod1Mask) != 0)) canvas_record_key(t.handle, *key);
}

void on_event(WindowThread& t, XEvent& event) {
  switch (event.type) {
    case Expose:
      t.need_paint = true;  // the whole surface, once the queue is empty
      break;
    case ClientMessage:
      if (event.xclient.message_type == t.x.wm_protocols && event.xclient.format == 32 &&
          static_cast<Atom>(event.xclient.data.l[0]) == t.x.wm_delete_window) {
        t.closing = true;
      }
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == t.x.window) t.closing = t.destroyed = true;
      break;
    case MapNotify:
      if (!t.focused) {
        t.focused = true;
        give_focus(t, CurrentTime);
      }
      break;
    case KeyPress:
      on_key(t, event.xkey);
      break;
    case ButtonPress:
      if (event.xbutton.button == Button1) {
        give_focus(t, event.xbutton.time);
        const bool double_click = click_is_double(t.clicks, event.xbutton.time, event.xbutton.x, event.xbutton.y);
        canvas_record_click(t.handle, event.xbutton.x, event.xbutton.y, double_click);
      }
      break;
    case FocusIn:
    case FocusOut:
      // Keyboard grabs (a window manager's switcher) lend the focus only for a moment.
      if (event.xfocus.detail != NotifyPointer && event.xfocus.mode != NotifyGrab &&
          event.xfocus.mode != NotifyUngrab) {
        canvas_record_focus(t.handle, event.type == FocusIn);
      }
      break;
    case MappingNotify:
      XRefreshKeyboardMapping(&event.xmapping);
      break;
    default:
      break;
  }
}

// Copies the surface into the window's image and shows it. False when the
// canvas is gone.
bool paint(WindowThread& t) {
  X11Window& x = t.x;
  const bool found = canvas_read_raster(t.handle, [&x](const Raster& raster) {
    if (raster.width == x.width && raster.height == x.height) {
      convert_raster(raster, x.format, reinterpret_cast<std::uint8_t*>(x.image->data),
                     static_cast<std::size_t>(x.image->bytes_per_line));
    }
  });
  if (!found) return false;
  x11_show_image(x);
  return true;
}

// No more paints: release every drawing thread waiting for one.
void end_link(WindowThread& t) {
  {
    LinkTable& table = link_table();
    std::lock_guard<std::mutex> guard(table.mutex);
    table.links.erase(t.handle);
  }
  {
    std::lock_guard<std::mutex> guard(t.link->mutex);
    t.link->ended = true;
  }
  t.link->painted_changed.notify_all();
}

void release(WindowThread& t) {
  x11_destroy_window(t.x, !t.lost);
  XCloseDisplay(t.x.display);
  close(t.link->wake_fd);
}

// Closing takes the window off the screen but keeps its canvas: the program
// goes on drawing off-screen, and the chart it saves at the end is whole.
void close_window(WindowThread& t) {
  canvas_record_close_request(t.handle);
  canvas_set_repaint_hook(t.handle, RepaintHook{});
  end_link(t);
  if (t.destroyed) t.x.window = 0;
  release(t);
  if (canvas_child(t.handle, 0) != 0) {
    std::fprintf(stderr, "%s: the chart window was closed; the chart is drawn off-screen from now on\n",
                 program_invocation_short_name);
    std::fflush(stderr);
  }
}

// The canvas lives on without a screen, so nothing drawn is lost.
void lose_connection(WindowThread& t) {
  canvas_set_repaint_hook(t.handle, RepaintHook{});
  end_link(t);
  std::fprintf(stderr, "%s: lost the connection to display \"%s\"; the chart is drawn off-screen from now on\n",
               program_invocation_short_name, escape_controls(t.display_name).c_str());
  std::fflush(stderr);
  release(t);
}

void run_loop(WindowThread& t) {
  Display* d = t.x.display;
  for (;;) {
    while (!t.lost && !t.closing && XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      on_event(t, event);
    }
    if (t.lost) return lose_connection(t);
    if (t.closing) return close_window(t);

    std::uint64_t target, shown;
    {
      std::lock_guard<std::mutex> guard(t.link->mutex);
      target = t.link->requested;
      shown = t.link->painted;
    }
    if (t.need_paint || target > shown) {
      // Requests that arrive while painting get a paint of their own.
      t.need_paint = false;
      if (!paint(t)) {
        t.closing = true;
        continue;
      }
      {
        std::lock_guard<std::mutex> guard(t.link->mutex);
        t.link->painted = target;
      }
      t.link->painted_changed.notify_all();
      continue;  // painting may have queued events
    }

    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {t.link->wake_fd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;  // interrupted
    if ((fds[1].revents & POLLIN) != 0) {
      std::uint64_t count;
      [[maybe_unused]] const ssize_t got = read(t.link->wake_fd, &count, sizeof count);
    }
  }
}

void window_thread(X11WindowRequest request, std::promise<X11Opening> opened) {
  x11_mark_window_thread();
  WindowThread t;
  t.display_name = request.display_name;
  Display* d = XOpenDisplay(request.display_name.c_str());
  const std::string quoted_name = "\"" + request.display_name + "\"";
  if (d == nullptr) {
    opened.set_value({X11Opening::Outcome::Unavailable, 0, "cannot open display " + quoted_name});
    return;
  }
  XSetIOErrorExitHandler(d, &on_connection_lost, &t.lost);

  auto fail = [&](X11Opening::Outcome outcome, const std::string& reason) {
    if (t.handle != 0) canvas_destroy_window(t.handle);
    XCloseDisplay(d);
    opened.set_value({outcome, 0, "cannot open a window on display " + quoted_name + ": " + reason});
  };
  t.handle = canvas_create_offscreen(request.width, request.height);
  if (t.handle == 0) return fail(X11Opening::Outcome::BadSize, "no canvas of that size");
  const X11WindowOptions options{request.caption, request.x, request.y, request.width, request.height,
                           effective_window_style(request.style, request.caption)};
  std::string reason;
  if (!x11_create_window(d, options, t.x, reason)) return fail(X11Opening::Outcome::Unavailable, reason);
  if (t.lost) {
    x11_destroy_window(t.x, false);
    return fail(X11Opening::Outcome::Unavailable, "the connection broke");
  }
  const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0) {
    x11_destroy_window(t.x, true);
    return fail(X11Opening::Outcome::Unavailable, std::string("no event descriptor: ") + std::strerror(errno));
  }

  t.link = std::make_shared<WindowLink>();
  t.link->wake_fd = wake_fd;
  t.link->xid = t.x.window;
  {
    LinkTable& table = link_table();
    std::lock_guard<std::mutex> guard(table.mutex);
    table.links[t.handle] = t.link;
  }
  canvas_set_repaint_hook(t.handle, RepaintHook{&repaint_window, reinterpret_cast<void*>(t.handle)});
  opened.set_value({X11Opening::Outcome::Created, t.handle, {}});
  run_loop(t);
}

}  // namespace

X11Opening x11_open_window(const X11WindowRequest& request) {
  x11_install_error_handlers();
  std::promise<X11Opening> opened;
  std::future<X11Opening> result = opened.get_future();
  // Signals stay with the program's threads.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  try {
    std::thread(window_thread, request, std::move(opened)).detach();
  } catch (const std::system_error& error) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return {X11Opening::Outcome::Unavailable, 0, std::string("cannot start the window thread: ") + error.what()};
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return result.get();
}

unsigned long x11_window_id(WindowHandle window) {
  std::shared_ptr<WindowLink> link = find_link(window);
  return link ? link->xid : 0;
}
