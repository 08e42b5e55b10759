#pragma once
// Renders the current layout of a configuration image onto the preview canvas, as the
// display would show it.

#include "config_image.h"
#include "preview_canvas.h"

namespace vorkal {

constexpr int kNoSelection = -1;

// Draws catalogue element k (0 = the RSSI bar) of the selected layout if its font equals
// `pass`; stores the X it is drawn at in config.lastShownX. `selectedOffset` is the
// ElementOffset of the element chosen in the editor (kNoSelection for none).
void DrawElement(PreviewCanvas& canvas, ConfigImage& config, int k, int pass, int selectedOffset);

// The canvas work of UpdateGrid: clears the screen area and, once a configuration is
// loaded, draws texts in the big fonts first, the small font on top, then the bar and
// (128 x 64) the free lines. Layout = config.selectedLayout.
void RenderPreview(PreviewCanvas& canvas, ConfigImage& config, int selectedOffset);

// The canvas work of ClearPreview: screen area to paper, cursor to (0, 0).
void ClearPreview(PreviewCanvas& canvas, const ConfigImage& config);

}  // namespace vorkal
