#pragma once
// Text drawn by the write-text command into the display's framebuffer.

#include <string_view>

#include "display_memory.h"

namespace vorkal::sim {

// Draws `text` with its top left corner at (x, y). `font` is the command's font number:
// on 84 x 48, 0 = small (6 px cells), 1 = big (the 8 px medium font); on 128 x 64, whose
// firmware numbers its fonts from the 8 px one, 0 = medium, 1 = medium doubled (16 px).
// `inverse` swaps ink and paper. Every pixel of each character cell is written; pixels
// off the screen are dropped.
void DrawText(Framebuffer& screen, SimVariant variant, int x, int y, int font, bool inverse, std::string_view text);

// Shows layout `layout` of the settings memory with the configurator's sample values
// (without its alignment markers).
void DrawLayout(DisplayMemory& memory, int layout);

}  // namespace vorkal::sim
