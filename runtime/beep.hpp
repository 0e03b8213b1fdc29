// The default beep.
#pragma once

// Rings the bell of the controlling terminal, or the display's bell when
// there is no terminal. Never writes a bell byte into redirected output.
void beep();
