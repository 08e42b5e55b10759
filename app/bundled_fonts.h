#pragma once

namespace vorkal {

// Registers the fonts the program carries (on Windows); the call must follow the
// application object's creation.
void LoadBundledFonts();

}  // namespace vorkal
