#include "canvas/x11_create.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>  // program_invocation_short_name
#include <climits>
#include <cstdlib>
#include <iterator>

#include "canvas/canvas.hpp"
#include "canvas/window_style.hpp"
#include "canvas/x11_errors.hpp"

namespace {

constexpr char WindowClass[] = "CORVANTILEGRAPH";

// The screen's visual when it is true colour, else its deepest true-colour
// visual (a colour-mapped screen may offer one beside its default).
bool choose_visual(Display* d, int screen, Visual*& visual, int& depth, bool& own_colormap) {
  visual = DefaultVisual(d, screen);
  depth = DefaultDepth(d, screen);
  own_colormap = false;
  if (visual->c_class == TrueColor) return true;
  XVisualInfo wanted{};
  wanted.screen = screen;
  wanted.c_class = TrueColor;
  int count = 0;
  XVisualInfo* found = XGetVisualInfo(d, VisualScreenMask | VisualClassMask, &wanted, &count);
  if (found == nullptr) return false;
  // Deeper is better, but a 32-bit visual carries alpha the window does not want.
  auto score = [](const XVisualInfo& info) { return info.depth <= 24 ? info.depth : 0; };
  const XVisualInfo* best = &found[0];
  for (int i = 1; i < count; ++i) {
    if (score(found[i]) > score(*best)) best = &found[i];
  }
  visual = best->visual;
  depth = best->depth;
  XFree(found);
  own_colormap = true;
  return true;
}

bool make_image(X11Window& w, Visual* visual, int depth, std::string& reason) {
  w.image = XCreateImage(w.display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                         static_cast<unsigned>(w.width), static_cast<unsigned>(w.height), 32, 0);
  if (w.image == nullptr) {
    reason = "cannot make an image of the window's size";
    return false;
  }
  w.format.red_mask = static_cast<std::uint32_t>(w.image->red_mask);
  w.format.green_mask = static_cast<std::uint32_t>(w.image->green_mask);
  w.format.blue_mask = static_cast<std::uint32_t>(w.image->blue_mask);
  w.format.bytes_per_pixel = w.image->bits_per_pixel / 8;
  w.format.most_significant_first = w.image->byte_order == MSBFirst;
  if (w.image->bits_per_pixel % 8 != 0 || !pixel_format_usable(w.format)) {
    reason = "the screen's pixel format is not supported";
    return false;
  }
  const auto bytes = static_cast<std::size_t>(w.image->bytes_per_line) * static_cast<std::size_t>(w.height);
  if (bytes > static_cast<std::size_t>(INT_MAX)) {
    reason = "the window is too large";
    return false;
  }
  w.image->data = static_cast<char*>(std::calloc(bytes, 1));
  if (w.image->data == nullptr) {
    reason = "out of memory";
    return false;
  }
  return true;
}

void set_names(X11Window& w, const X11WindowOptions& options) {
  Display* d = w.display;
  const std::string latin1 = caption_latin1(options.caption);
  XChangeProperty(d, w.window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(latin1.data()), static_cast<int>(latin1.size()));
  const std::string utf8 = caption_utf8(options.caption);
  XChangeProperty(d, w.window, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
  const long pid = static_cast<long>(getpid());
  XChangeProperty(d, w.window, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
}

bool set_hints(X11Window& w, const X11WindowOptions& options) {
  Display* d = w.display;
  XSizeHints* size = XAllocSizeHints();
  XWMHints* wm = XAllocWMHints();
  XClassHint* class_hint = XAllocClassHint();
  const bool allocated = size != nullptr && wm != nullptr && class_hint != nullptr;
  if (allocated) {
    // Placed where asked (the frame's outer corner), and never resized.
    size->flags = USPosition | USSize | PMinSize | PMaxSize | PWinGravity;
    size->x = options.x;
    size->y = options.y;
    size->width = size->min_width = size->max_width = options.width;
    size->height = size->min_height = size->max_height = options.height;
    size->win_gravity = NorthWestGravity;
    wm->flags = InputHint | StateHint;
    wm->input = True;
    wm->initial_state = NormalState;
    char class_name[sizeof WindowClass];
    std::copy(std::begin(WindowClass), std::end(WindowClass), class_name);
    class_hint->res_name = program_invocation_short_name;
    class_hint->res_class = class_name;
    XSetWMProperties(d, w.window, nullptr, nullptr, nullptr, 0, size, wm, class_hint);
  }
  if (size != nullptr) XFree(size);
  if (wm != nullptr) XFree(wm);
  if (class_hint != nullptr) XFree(class_hint);
  if (!allocated) return false;

  const MotifHints motif = motif_hints_for_style(options.style);
  const long motif_fields[5] = {motif.flags, motif.functions, motif.decorations, motif.input_mode, motif.status};
  const Atom motif_atom = XInternAtom(d, "_MOTIF_WM_HINTS", False);
  XChangeProperty(d, w.window, motif_atom, motif_atom, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(motif_fields), 5);

  w.wm_protocols = XInternAtom(d, "WM_PROTOCOLS", False);
  w.wm_delete_window = XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(d, w.window, &w.wm_delete_window, 1);
  return true;
}

}  // namespace

bool x11_create_window(Display* display, const X11WindowOptions& options, X11Window& w, std::string& reason) {
  w = X11Window{};
  w.display = display;
  w.width = options.width;
  w.height = options.height;
  const std::uint64_t errors_before = x11_thread_errors();
  const int screen = DefaultScreen(display);
  Visual* visual = nullptr;
  int depth = 0;
  bool own_colormap = false;
  if (!choose_visual(display, screen, visual, depth, own_colormap)) {
    reason = "the display has no true-colour visual";
    return false;
  }
  if (!make_image(w, visual, depth, reason)) {
    x11_destroy_window(w, true);
    return false;
  }
  const Window root = RootWindow(display, screen);
  if (own_colormap) w.colormap = XCreateColormap(display, root, visual, AllocNone);

  XSetWindowAttributes attributes{};
  attributes.background_pixel = screen_pixel(w.format, ButtonFaceColour);
  attributes.border_pixel = 0;
  attributes.colormap = own_colormap ? w.colormap : DefaultColormap(display, screen);
  attributes.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask | FocusChangeMask;
  w.window = XCreateWindow(display, root, options.x, options.y, static_cast<unsigned>(options.width),
                           static_cast<unsigned>(options.height), 0, depth, InputOutput, visual,
                           CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  if (w.window != 0) w.gc = XCreateGC(display, w.window, 0, nullptr);
  if (w.window == 0 || w.gc == nullptr || !set_hints(w, options)) {
    reason = "cannot create the window";
    x11_destroy_window(w, true);
    return false;
  }
  set_names(w, options);
  XMapWindow(display, w.window);
  XSync(display, False);
  if (x11_thread_errors() != errors_before) {
    reason = "the X server refused the window";
    x11_destroy_window(w, true);
    return false;
  }
  return true;
}

void x11_destroy_window(X11Window& w, bool connection_alive) {
  if (connection_alive && w.display != nullptr) {
    if (w.window != 0) XDestroyWindow(w.display, w.window);
    if (w.colormap != 0) XFreeColormap(w.display, w.colormap);
  }
  // Freeing the graphics context's client memory is safe on a lost connection.
  if (w.gc != nullptr) XFreeGC(w.display, w.gc);
  if (w.image != nullptr) XDestroyImage(w.image);  // frees the pixel data too
  if (connection_alive && w.display != nullptr) XSync(w.display, True);
  w.window = 0;
  w.colormap = 0;
  w.gc = nullptr;
  w.image = nullptr;
}

void x11_show_image(X11Window& w) {
  XPutImage(w.display, w.window, w.gc, w.image, 0, 0, 0, 0, static_cast<unsigned>(w.width),
            static_cast<unsigned>(w.height));
  XSync(w.display, False);
}
