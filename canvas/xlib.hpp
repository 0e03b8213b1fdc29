// Xlib for the canvas. Xlib calls a type Font, and so does the canvas; in
// code that sees both, Xlib's is XlibFont. Include Xlib only through here.
#pragma once

#define Font XlibFont
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef Font
