// What a graphic window asks of the window manager: its decorations and
// functions from the window style, and its title. Pure computation; the X11
// side turns the result into _MOTIF_WM_HINTS and the name properties.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Window style bits the style argument is made of.
constexpr std::uint32_t StylePopup = 0x80000000;
constexpr std::uint32_t StyleCaption = 0x00C00000;  // border and dialogue frame together
constexpr std::uint32_t StyleBorder = 0x00800000;
constexpr std::uint32_t StyleDialogFrame = 0x00400000;
constexpr std::uint32_t StyleSystemMenu = 0x00080000;
constexpr std::uint32_t StyleThickFrame = 0x00040000;
constexpr std::uint32_t StyleMinimizeBox = 0x00020000;
constexpr std::uint32_t StyleMaximizeBox = 0x00010000;

// Style 0: a bordered pop-up with system menu and minimise box, and a title
// bar only when there is a caption.
std::uint32_t effective_window_style(int style, std::string_view caption);

// Motif window manager hints (the fields of _MOTIF_WM_HINTS that we set).
constexpr long MotifHintFunctions = 1;
constexpr long MotifHintDecorations = 2;
constexpr long MotifFunctionMove = 4;
constexpr long MotifFunctionMinimize = 8;
constexpr long MotifFunctionClose = 32;
constexpr long MotifDecorBorder = 2;
constexpr long MotifDecorTitle = 8;
constexpr long MotifDecorMenu = 16;
constexpr long MotifDecorMinimize = 32;

struct MotifHints {
  long flags = MotifHintFunctions | MotifHintDecorations;
  long functions = 0;
  long decorations = 0;
  long input_mode = 0;
  long status = 0;
};

// The window is never resizable or maximisable, whatever the style says: its
// client area is the canvas, whose size is fixed.
MotifHints motif_hints_for_style(std::uint32_t style);

// The caption as UTF-8 for _NET_WM_NAME: kept when it is valid UTF-8,
// otherwise read as Windows-1252 like the canvas's text.
std::string caption_utf8(std::string_view caption);

// The caption as ISO 8859-1 for WM_NAME (type STRING): characters it lacks
// become '?', control characters other than tab and line feed too.
std::string caption_latin1(std::string_view caption);
