#include "bundled_fonts.h"

namespace vorkal {

// The Debian package depends on fonts-liberation; nothing to carry.
void LoadBundledFonts() {}

}  // namespace vorkal
