#include "canvas/x11_keys.hpp"

#include <X11/keysym.h>

#include "canvas/window_input.hpp"

namespace {

struct ScanKey {
  unsigned long keysym;
  std::uint8_t scan_code;
};

// Keys that are stored by their scan code: the function keys, the keypad
// without Num Lock, the cursor block and the keys of the enhanced keyboard
// that type no character.
constexpr ScanKey ScanKeys[] = {
    {XK_F1, 0x3B},         {XK_F2, 0x3C},        {XK_F3, 0x3D},        {XK_F4, 0x3E},
    {XK_F5, 0x3F},         {XK_F6, 0x40},        {XK_F7, 0x41},        {XK_F8, 0x42},
    {XK_F9, 0x43},         {XK_F10, 0x44},       {XK_F11, 0x57},       {XK_F12, 0x58},
    {XK_KP_Home, 0x47},    {XK_KP_Up, 0x48},     {XK_KP_Prior, 0x49},  {XK_KP_Left, 0x4B},
    {XK_KP_Begin, 0x4C},   {XK_KP_Right, 0x4D},  {XK_KP_End, 0x4F},    {XK_KP_Down, 0x50},
    {XK_KP_Next, 0x51},    {XK_KP_Insert, 0x52}, {XK_KP_Delete, 0x53}, {XK_Home, 0x47},
    {XK_Up, 0x48},         {XK_Prior, 0x49},     {XK_Left, 0x4B},      {XK_Right, 0x4D},
    {XK_End, 0x4F},        {XK_Down, 0x50},      {XK_Next, 0x51},      {XK_Insert, 0x52},
    {XK_Delete, 0x53},     {XK_Control_R, 0x1D}, {XK_Num_Lock, 0x45},  {XK_Super_L, 0x5B},
    {XK_Super_R, 0x5C},    {XK_Menu, 0x5D},
};

}  // namespace

std::optional<std::uint16_t> canvas_key_from_x11(unsigned long keysym, std::string_view typed, bool alt) {
  for (const ScanKey& key : ScanKeys) {
    if (key.keysym != keysym) continue;
    // With Alt held only F10 counts: the others belong to the window manager.
    if (alt && keysym != XK_F10) return std::nullopt;
    return scan_code_key(key.scan_code);
  }
  if (alt || typed.size() != 1 || typed[0] == '\t') return std::nullopt;
  return static_cast<std::uint16_t>(static_cast<unsigned char>(typed[0]));
}
